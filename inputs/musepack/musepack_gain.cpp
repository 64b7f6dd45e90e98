#include "inputs/musepack/musepack_gain.h"

#include <cmath>

namespace {

const double reference = static_cast<double>(64.82f);

uint16_t clamp16(double v) {
    if (!(v > 0)) return 0;
    if (v > 65535) return 65535;
    return static_cast<uint16_t>(v);
}

bool gain_set(float g) { return g > -1000.0f; }

}  // namespace

uint16_t musepack_sv8_gain(float gain_db) {
    if (!gain_set(gain_db)) return 0;
    return clamp16(std::floor((reference - gain_db) * 256 + 0.5));
}

uint16_t musepack_sv8_peak(float peak) {
    if (!(peak > 0)) return 0;
    return clamp16(std::floor(20 * std::log10(static_cast<double>(peak) * 32768) * 256 + 0.5));
}

float musepack_sv8_gain_value(uint16_t value) { return static_cast<float>(reference - value / 256.0); }

float musepack_sv8_peak_value(uint16_t value) { return static_cast<float>(std::pow(10.0, value / 5120.0) / 32768); }

int16_t musepack_sv7_gain(float gain_db) {
    if (!gain_set(gain_db)) return 0;
    long v = static_cast<long>(std::floor(static_cast<double>(gain_db) * 100 + 0.5));
    if (v == 0) v = -1;
    return static_cast<int16_t>(static_cast<uint16_t>(v & 0xFFFF));
}

uint16_t musepack_sv7_peak(float peak) {
    if (!(peak > 0)) return 0;
    return static_cast<uint16_t>(static_cast<uint64_t>(std::floor(static_cast<double>(peak) * 32768 + 0.5)) & 0xFFFF);
}

uint16_t musepack_sv7_max_level(float peak) {
    if (!(peak > 0)) return 0;
    return static_cast<uint16_t>(
        static_cast<uint64_t>(std::floor(static_cast<double>(peak) * 32768 * 0.8474576271186441 + 0.5)) & 0xFFFF);
}
