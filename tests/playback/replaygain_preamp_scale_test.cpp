// The preamp slider scale: rounding half away from zero, the ends of the range, and the label texts.
#include <doctest/doctest.h>

#include "playback/replaygain_preamp_scale.h"

#include <cmath>

TEST_CASE("preamp dB map to slider positions and labels") {
    struct row {
        float db;
        int position;
        const char* label;
    };
    const row rows[] = {
        {0.0f, 200, "\xC2\xB1" "0.0dB"},
        {-0.04f, 200, "\xC2\xB1" "0.0dB"},
        {0.04f, 200, "\xC2\xB1" "0.0dB"},
        {-0.05f, 199, "-0.1dB"},  // half away from zero, not to even
        {0.05f, 201, "+0.1dB"},
        {0.15f, 202, "+0.2dB"},
        {1.5f, 215, "+1.5dB"},
        {-6.5f, 135, "-6.5dB"},
        {20.0f, 400, "+20.0dB"},
        {-20.0f, 0, "-20.0dB"},
        {25.0f, 400, "+20.0dB"},  // shown at the end of the slider
        {-1000.0f, 0, "-20.0dB"},
        {INFINITY, 400, "+20.0dB"},
        {NAN, 200, "\xC2\xB1" "0.0dB"},
    };
    for (const row& r : rows) {
        CAPTURE(r.db);
        const int position = replaygain_preamp_position(r.db);
        CHECK(position == r.position);
        CHECK(replaygain_preamp_label(position) == r.label);
    }
}

TEST_CASE("every slider position reads back as its own value") {
    for (int position = 0; position <= 400; ++position) {
        CAPTURE(position);
        const float db = replaygain_preamp_value(position);
        CHECK(std::fabs(db - (position - 200) / 10.0) < 1e-5);
        CHECK(replaygain_preamp_position(db) == position);
    }
}
