#pragma once
// The volume control's arithmetic: slider positions and decibels, the slider's geometry and the volume
// button's icon.
//
//     volume_scale::position_to_db(50) == -10.0;    // 0 at the top is loudest, 100 is silence (-100 dB)
//     volume_scale::db_to_position(-20.0) == 75;
//     volume_scale::position_from_point(y, client, 0, 100, pos);   // false when the slider is too short
//     volume_scale::icon_for(-12.0) == IDR_PNG_VOLUME_MEDIUM;      // the Volume button's picture

#include <windows.h>

namespace volume_scale {

constexpr double silent_db = -100.0;

// dB = 10 log2(1 - p / 100); -100 when 1 - p / 100 is not above 0 or the result is below -100.
double position_to_db(int position);
// p = floor((1 - 2^(dB / 10)) x 100 + 0.5), with 2^(dB / 10) limited to 0 .. 1.
int db_to_position(double db);

// The slider position under client y: margin m = w / 3, length L = height - 2m; false when L <= 0.
// t = (y - m) / L limited to 0 .. 1; position = min + floor(t (max - min) + 0.5) within min .. max; an empty
// range (min >= max) gives 0.
bool position_from_point(int y, const RECT& client, int range_min, int range_max, int& position);
// The thumb's rectangle for a position; false (no thumb) for an empty range, a position below the range or
// L <= 0. A position above the range draws at the bottom.
bool thumb_rect(int position, const RECT& client, int range_min, int range_max, RECT& out);

// The wheel in the popup: positions moved by a WM_MOUSEWHEEL delta (10 per notch; away from the user, a
// positive delta, moves up and is louder), the result kept within 0 .. 100.
int wheel_position(int position, int delta);

// The resource id of the Volume button's picture for a volume: silent (-100 dB), below -15, below -5, else
// loud.
int icon_for(double db);

}  // namespace volume_scale
