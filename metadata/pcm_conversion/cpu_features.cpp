#include "metadata/pcm_conversion/cpu_features.h"

#include <cpuid.h>

static uint32_t cpu_read_features() {
    uint32_t found = 0;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    // __get_cpuid first checks that the instruction exists (the ID flag of EFLAGS can be toggled) and that
    // the leaf is within the highest one the processor reports, so it cannot fault.
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        if (edx & (1u << 25)) found |= cpu_feature_sse;
        if (edx & (1u << 26)) found |= cpu_feature_sse2;
        if (ecx & 1u) found |= cpu_feature_sse3;
    }
    // The extended leaf counts only when the highest extended leaf is above 0x80000000.
    if (__get_cpuid(0x80000001u, &eax, &ebx, &ecx, &edx)) {
        if (edx & (1u << 31)) found |= cpu_feature_3dnow;
        if (edx & (1u << 30)) found |= cpu_feature_3dnow_ext;
    }
    return found;
}

bool cpu_has_features(uint32_t flags) {
    static const uint32_t features = cpu_read_features();
    return (features & flags) == flags;
}
