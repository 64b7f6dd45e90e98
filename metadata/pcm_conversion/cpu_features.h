#pragma once
// Processor features, tested once with the CPUID instruction.
//
// The sample conversion kernels use vector code only where the processor has it. The features are read at
// static initialisation and never change afterwards:
//
//     if (cpu_has_features(cpu_feature_sse | cpu_feature_sse2)) { ... both are present ... }
//
// A processor without CPUID (a 486) answers false for every feature.

#include <cstdint>

enum : uint32_t {
    cpu_feature_3dnow = 0x1,      // CPUID 0x80000001, EDX bit 31
    cpu_feature_3dnow_ext = 0x2,  // CPUID 0x80000001, EDX bit 30
    cpu_feature_sse = 0x4,        // CPUID 1, EDX bit 25
    cpu_feature_sse2 = 0x8,       // CPUID 1, EDX bit 26
    cpu_feature_sse3 = 0x10,      // CPUID 1, ECX bit 0
};

// True when every feature named in `flags` is present (true for flags 0).
bool cpu_has_features(uint32_t flags);
