#include "playback/replaygain_preamp_scale.h"

#include <cmath>
#include <cstdio>

int replaygain_preamp_position(float db) {
    const double tenths = std::round(static_cast<double>(db) * 10.0);  // half away from zero
    if (!(tenths > -200.0)) return std::isnan(tenths) ? 200 : replaygain_preamp_min_position;
    if (tenths > 200.0) return replaygain_preamp_max_position;
    return static_cast<int>(tenths) + 200;
}

float replaygain_preamp_value(int position) { return static_cast<float>((position - 200) * 0.1); }

std::string replaygain_preamp_label(int position) {
    const int d = position - 200;
    const char* sign = d < 0 ? "-" : d > 0 ? "+" : "\xC2\xB1";
    const unsigned magnitude = static_cast<unsigned>(d < 0 ? -d : d);
    char text[32];
    std::snprintf(text, sizeof text, "%s%u.%udB", sign, magnitude / 10, magnitude % 10);
    return text;
}
