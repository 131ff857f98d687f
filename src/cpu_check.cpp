// Refuses to start on a processor without the instruction set the program was
// built for, with one line that names the build to use instead, rather than
// dying of an illegal instruction. This file is compiled for the baseline
// instruction set, outside link-time optimisation, and runs as a constructor
// of the highest priority: before any static initialiser of the files built
// for the higher level, and so before any of their code.
#if defined(KESTRUNE_REQUIRED_LEVEL) && (defined(__x86_64__) || defined(_M_X64))

#include <cstdio>
#include <cstdlib>

namespace {

// 0 = x86-64, 2 = x86-64-v2, 3 = x86-64-v3: the highest level this CPU runs.
int supported_level() {
    __builtin_cpu_init();
    const bool v2 = __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("sse3") &&
                    __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("sse4.1") &&
                    __builtin_cpu_supports("sse4.2");
    const bool v3 = v2 && __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2") &&
                    __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma");
    return v3 ? 3 : v2 ? 2 : 0;
}

const char* level_name(int level) { return level == 3 ? "x86-64-v3" : level == 2 ? "x86-64-v2" : "x86-64"; }

__attribute__((constructor(101))) void check_cpu_level() {
    const int supported = supported_level();
    if (supported >= KESTRUNE_REQUIRED_LEVEL) {
        return;
    }
    std::fprintf(stderr,
                 "kestrune: this build needs an %s processor (%s), which this one is not; use the %s build instead\n",
                 level_name(KESTRUNE_REQUIRED_LEVEL),
                 KESTRUNE_REQUIRED_LEVEL == 3 ? "AVX2, BMI2, FMA" : "POPCNT, SSE4.2", level_name(supported));
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}

}  // namespace

#endif
