// Slider positions and decibels, the slider's geometry and the volume icon.
#include "ui/volume_scale.h"

#include <cmath>

#include "resources/resource_ids.h"

namespace volume_scale {

double position_to_db(int position) {
    double linear = 1.0 - position / 100.0;
    if (!(linear > 0.0)) return silent_db;
    double db = 10.0 * std::log2(linear);
    return db < silent_db ? silent_db : db;
}

int db_to_position(double db) {
    double a = std::pow(2.0, db * 0.1);
    if (!(a >= 0.0)) a = 0.0;  // also NaN
    if (a > 1.0) a = 1.0;
    return static_cast<int>(std::floor((1.0 - a) * 100.0 + 0.5));
}

namespace {

int usable_length(const RECT& client, int margin) { return client.bottom - 2 * margin - client.top; }

}  // namespace

bool position_from_point(int y, const RECT& client, int range_min, int range_max, int& position) {
    int width = client.right - client.left;
    int margin = width / 3;
    int length = usable_length(client, margin);
    if (length <= 0) return false;
    if (range_min >= range_max) {
        position = 0;
        return true;
    }
    double t = static_cast<double>(y - margin) / length;
    if (t < 0.0) t = 0.0;
    if (t > 1.0) t = 1.0;
    double span = static_cast<double>(range_max) - range_min;
    double value = range_min + std::floor(t * span + 0.5);
    if (value < range_min) value = range_min;
    if (value > range_max) value = range_max;
    position = static_cast<int>(value);
    return true;
}

bool thumb_rect(int position, const RECT& client, int range_min, int range_max, RECT& out) {
    int width = client.right - client.left;
    int length = usable_length(client, width / 3);
    if (range_max <= range_min || length <= 0) return false;
    double fraction = (static_cast<double>(position) - range_min) / (static_cast<double>(range_max) - range_min);
    if (fraction < 0.0) return false;
    if (fraction > 1.0) fraction = 1.0;
    int centre = width / 3 + static_cast<int>(std::floor(fraction * length + 0.5));
    out = {client.left + width / 8, centre - width / 4, client.right - width / 8, centre + width / 4};
    return true;
}

int wheel_position(int position, int delta) {
    int moved = position + MulDiv(-delta, 100, 1200);
    if (moved < 0) return 0;
    if (moved > 100) return 100;
    return moved;
}

int icon_for(double db) {
    if (db <= silent_db) return IDR_PNG_VOLUME_MUTED;
    if (db < -15.0) return IDR_PNG_VOLUME_LOW;
    if (db < -5.0) return IDR_PNG_VOLUME_MEDIUM;
    return IDR_PNG_VOLUME_HIGH;
}

}  // namespace volume_scale
