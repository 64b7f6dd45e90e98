#include "metadata/replaygain.h"

#include <float.h>

#include <cmath>
#include <cstring>

#include "foundation/kpl/number_format.h"
#include "foundation/kpl/number_parse.h"
#include "foundation/kpl/text_compare.h"
#include "metadata/track_info.h"
#include "playback/replaygain_settings.h"

const char* const replaygain_field_album_gain = "replaygain_album_gain";
const char* const replaygain_field_album_peak = "replaygain_album_peak";
const char* const replaygain_field_track_gain = "replaygain_track_gain";
const char* const replaygain_field_track_peak = "replaygain_track_peak";

namespace {

// Rounding to nearest for the lifetime of the object; the caller's rounding mode comes back afterwards.
class round_to_nearest_scope {
public:
    round_to_nearest_scope() : m_saved(_controlfp(0, 0) & _MCW_RC) { _controlfp(_RC_NEAR, _MCW_RC); }
    ~round_to_nearest_scope() { _controlfp(m_saved, _MCW_RC); }
    round_to_nearest_scope(const round_to_nearest_scope&) = delete;
    round_to_nearest_scope& operator=(const round_to_nearest_scope&) = delete;

private:
    unsigned m_saved;
};

}  // namespace

uint32_t replaygain_values::count_valid() const {
    return (has_album_gain() ? 1u : 0u) + (has_track_gain() ? 1u : 0u) + (has_album_peak() ? 1u : 0u) +
           (has_track_peak() ? 1u : 0u);
}

replaygain_values replaygain_values::merge(const replaygain_values& mine, const replaygain_values& other) {
    replaygain_values out = mine;
    if (!out.has_album_gain()) out.album_gain = other.album_gain;
    if (!out.has_track_gain()) out.track_gain = other.track_gain;
    if (!out.has_album_peak()) out.album_peak = other.album_peak;
    if (!out.has_track_peak()) out.track_peak = other.track_peak;
    return out;
}

bool replaygain_gain_to_text(char* out, float gain) {
    out[0] = 0;
    if (gain == replaygain_values::gain_invalid) return false;
    round_to_nearest_scope rounding;
    kpl::format_fixed_to_buffer(gain, 2, true, out, 12);  // at most 11 characters
    std::strcat(out, " dB");
    return true;
}

bool replaygain_peak_to_text(char* out, float peak) {
    out[0] = 0;
    if (peak == replaygain_values::peak_invalid) return false;
    round_to_nearest_scope rounding;
    kpl::format_fixed_to_buffer(peak, 6, false, out, replaygain_peak_text_size);  // at most 15 characters
    return true;
}

bool replaygain_parse_field(const char* name, const char* value, uint32_t length, replaygain_values& record) {
    float* target = nullptr;
    bool peak = false;
    if (kpl::stricmp_ascii(name, replaygain_field_album_gain) == 0) {
        target = &record.album_gain;
    } else if (kpl::stricmp_ascii(name, replaygain_field_album_peak) == 0) {
        target = &record.album_peak;
        peak = true;
    } else if (kpl::stricmp_ascii(name, replaygain_field_track_gain) == 0) {
        target = &record.track_gain;
    } else if (kpl::stricmp_ascii(name, replaygain_field_track_peak) == 0) {
        target = &record.track_peak;
        peak = true;
    } else {
        return false;
    }
    double number = kpl::parse_double(value, kpl::strnlen(value, length));
    // A number a float cannot hold (or no number at all) reads as 0, like unparsable text.
    if (!(std::fabs(number) <= FLT_MAX)) number = 0;
    if (peak && number < 0) number = 0;
    *target = static_cast<float>(number);
    return true;
}

float replaygain_compute_scale(const replaygain_values& record, const replaygain_settings& settings) {
    bool has_gain = false;
    double gain = 0;
    double peak = 1.0;
    if (settings.source == replaygain_settings::source_track) {
        if (record.has_track_gain()) {
            has_gain = true;
            gain = record.track_gain;
        } else if (record.has_album_gain()) {
            has_gain = true;
            gain = record.album_gain;
        }
        if (record.has_track_peak()) {
            peak = record.track_peak;
        } else if (record.has_album_peak()) {
            peak = record.album_peak;
        }
    } else if (settings.source == replaygain_settings::source_album) {
        if (record.has_album_gain()) {
            has_gain = true;
            gain = record.album_gain;
        } else if (record.has_track_gain()) {
            has_gain = true;
            gain = record.track_gain;
        }
        if (record.has_album_peak()) {
            peak = record.album_peak;
        } else if (record.has_track_peak()) {
            peak = record.track_peak;
        }
    }
    double preamp = has_gain ? settings.preamp_with_gain : settings.preamp_without_gain;
    const uint32_t processing = settings.processing;
    const bool apply_gain = processing == replaygain_settings::processing_apply_gain ||
                            processing == replaygain_settings::processing_apply_gain_and_prevent_clipping;
    const bool prevent_clipping = processing == replaygain_settings::processing_apply_gain_and_prevent_clipping ||
                                  processing == replaygain_settings::processing_prevent_clipping;
    double scale = apply_gain ? std::pow(10.0, (preamp + gain) * 0.05) : 1.0;
    if (prevent_clipping && scale * peak > 1.0) scale = 1.0 / peak;
    if (!(std::fabs(scale) <= FLT_MAX)) return 1.0f;  // not a number a float can hold
    return static_cast<float>(scale);
}

// ---- track_info helpers -------------------------------------------------------------------------------

void track_info::replaygain_reset() { set_replaygain(replaygain_values()); }

bool track_info::replaygain_try_set_field(const char* name, const char* value, uint32_t value_length) {
    replaygain_values record = get_replaygain();
    if (!replaygain_parse_field(name, value, value_length, record)) return false;
    set_replaygain(record);
    return true;
}

void track_info::set_info_or_replaygain(const char* name, const char* value, uint32_t value_length) {
    if (!replaygain_try_set_field(name, value, value_length)) info_set(name, npos, value, value_length);
}
