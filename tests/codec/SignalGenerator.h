#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace kbn::test {

// Test signals of the kinds a bank holds, and the extremes that break coders.
enum class Signal { Silence, Sine, Noise, Square, Extremes, Ramp, QuietNoise };

inline std::string SignalName(Signal s) {
    switch (s) {
        case Signal::Silence: return "Silence";
        case Signal::Sine: return "Sine";
        case Signal::Noise: return "Noise";
        case Signal::Square: return "Square";
        case Signal::Extremes: return "Extremes";
        case Signal::Ramp: return "Ramp";
        case Signal::QuietNoise: return "QuietNoise";
    }
    return "Unknown";
}

inline std::vector<int16_t> MakeSignal(Signal kind, std::size_t length, uint32_t seed = 1) {
    std::mt19937 random(seed);
    std::vector<int16_t> samples(length);
    for (std::size_t i = 0; i < length; ++i) {
        int32_t v = 0;
        switch (kind) {
            case Signal::Silence: v = 0; break;
            case Signal::Sine: v = static_cast<int32_t>(20000 * std::sin(static_cast<double>(i) * 0.05)); break;
            case Signal::Noise: v = static_cast<int32_t>(random() % 65536) - 32768; break;
            case Signal::Square: v = (i / 50) % 2 ? 32767 : -32768; break;
            case Signal::Extremes: v = (random() % 2) ? 32767 : -32768; break;
            case Signal::Ramp: v = static_cast<int32_t>(i * 37 % 65536) - 32768; break;
            case Signal::QuietNoise: v = static_cast<int32_t>(random() % 17) - 8; break;
        }
        samples[i] = static_cast<int16_t>(v);
    }
    return samples;
}

}  // namespace kbn::test
