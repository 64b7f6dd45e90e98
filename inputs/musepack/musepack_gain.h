#pragma once
// Musepack's 16-bit ReplayGain fields.
//
// Version 8 ("RG" and "CT" packets, 0 = not present):
//     musepack_sv8_gain(-10.0) == 19154          gain = 64.82 - value / 256 dB
//     musepack_sv8_peak(1.0)   == 23119          peak = 10^(value / 5120) / 32768
// Version 7 header: gains in hundredths of a dB (0 -> -1, since 0 means "none"), peaks x 32768.

#include <cstdint>

uint16_t musepack_sv8_gain(float gain_db);       // unset (-1000): 0
uint16_t musepack_sv8_peak(float peak);          // unset (-1) or not above 0: 0
float musepack_sv8_gain_value(uint16_t value);
float musepack_sv8_peak_value(uint16_t value);

int16_t musepack_sv7_gain(float gain_db);        // unset: 0
uint16_t musepack_sv7_peak(float peak);          // unset or below 0: 0; the low 16 bits
uint16_t musepack_sv7_max_level(float peak);
