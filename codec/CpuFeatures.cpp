#include "codec/CpuFeatures.h"

namespace kbn::cpu {

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
bool HasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    }();
    return has;
}

bool HasAvx512() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("popcnt") && HasAvx2();
    }();
    return has;
}
#else
bool HasAvx2() { return false; }
bool HasAvx512() { return false; }
#endif

}  // namespace kbn::cpu
