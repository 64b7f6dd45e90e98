#pragma once
// The preamp sliders of the ReplayGain settings panel: positions 0..400 stand for -20.0 .. +20.0 dB in steps
// of 0.1 dB (200 is 0 dB).
//
//     replaygain_preamp_position(1.5f)   == 215     // dB x 10 rounded half away from zero, + 200, kept in range
//     replaygain_preamp_position(25.0f)  == 400
//     replaygain_preamp_value(215)       == 1.5f
//     replaygain_preamp_label(215)       == "+1.5dB"   ("-20.0dB", "\u00B10.0dB" at 200; UTF-8)

#include <string>

enum : int { replaygain_preamp_min_position = 0, replaygain_preamp_max_position = 400 };

int replaygain_preamp_position(float db);
float replaygain_preamp_value(int position);
std::string replaygain_preamp_label(int position);
