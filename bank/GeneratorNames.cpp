#include "bank/GeneratorNames.h"

#include <array>

#include "bank/GeneratorMap.h"

namespace kbn {
namespace {

// By SoundFont generator number.
constexpr std::array<const char*, 59> kSoundFontNames = {
    "startAddrsOffset", "endAddrsOffset", "startloopAddrsOffset", "endloopAddrsOffset",
    "startAddrsCoarseOffset", "modLfoToPitch", "vibLfoToPitch", "modEnvToPitch", "initialFilterFc",
    "initialFilterQ", "modLfoToFilterFc", "modEnvToFilterFc", "endAddrsCoarseOffset", "modLfoToVolume",
    "unused1", "chorusEffectsSend", "reverbEffectsSend", "pan", "unused2", "unused3", "unused4",
    "delayModLFO", "freqModLFO", "delayVibLFO", "freqVibLFO", "delayModEnv", "attackModEnv", "holdModEnv",
    "decayModEnv", "sustainModEnv", "releaseModEnv", "keynumToModEnvHold", "keynumToModEnvDecay",
    "delayVolEnv", "attackVolEnv", "holdVolEnv", "decayVolEnv", "sustainVolEnv", "releaseVolEnv",
    "keynumToVolEnvHold", "keynumToVolEnvDecay", "instrument", "reserved1", "keyRange", "velRange",
    "startloopAddrsCoarseOffset", "keynum", "velocity", "initialAttenuation", "reserved2",
    "endloopAddrsCoarseOffset", "coarseTune", "fineTune", "sampleID", "sampleModes", "reserved3",
    "scaleTuning", "exclusiveClass", "overridingRootKey",
};

}  // namespace

const char* GeneratorNameText(uint16_t bankId) {
    if (const auto number = SoundFontGeneratorOf(bankId)) return kSoundFontNames[*number];
    return "";
}

std::string GeneratorName(uint16_t bankId) {
    if (SoundFontGeneratorOf(bankId)) return GeneratorNameText(bankId);
    return "generator" + std::to_string(bankId);
}

}  // namespace kbn
