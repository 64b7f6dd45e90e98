#pragma once
// replaygain_values: the four ReplayGain numbers of a track, their tag texts and the playback scale.
//
// A gain is in dB, a peak is linear (1.0 = full scale). A value is present unless it is exactly its
// marker: -1000.0 for a gain, -1.0 for a peak. A fresh record has all four absent.
//
//     replaygain_values rg;                                   // all absent
//     replaygain_parse_field("REPLAYGAIN_TRACK_GAIN", "-3.2 dB", replaygain_values::npos, rg);
//     rg.track_gain == -3.2f;  rg.count_valid() == 1;
//     char text[replaygain_gain_text_size];
//     replaygain_gain_to_text(text, rg.track_gain);           // "-3.20 dB"
//     char peak[replaygain_peak_text_size];
//     replaygain_peak_to_text(peak, 1.0f);                    // "1.000000"
//
// The tag field names are the four replaygain_field_* texts below; they are matched without regard to
// ASCII letter case.

#include <cstdint>

struct replaygain_settings;

struct replaygain_values {
    static constexpr uint32_t npos = 0xFFFFFFFF;
    static constexpr float gain_invalid = -1000.0f;
    static constexpr float peak_invalid = -1.0f;

    float album_gain = gain_invalid;
    float track_gain = gain_invalid;
    float album_peak = peak_invalid;
    float track_peak = peak_invalid;

    bool has_album_gain() const { return album_gain != gain_invalid; }
    bool has_track_gain() const { return track_gain != gain_invalid; }
    bool has_album_peak() const { return album_peak != peak_invalid; }
    bool has_track_peak() const { return track_peak != peak_invalid; }

    // All four absent.
    void reset() { *this = replaygain_values(); }

    // How many of the four values are present (0 to 4).
    uint32_t count_valid() const;

    // My present values, and the other's for each value I lack.
    //     mine {gain -3, rest absent} + other {gain -5, peak 0.9}  ->  {gain -3, peak 0.9}
    static replaygain_values merge(const replaygain_values& mine, const replaygain_values& other);
};

inline bool operator==(const replaygain_values& a, const replaygain_values& b) {
    return a.album_gain == b.album_gain && a.track_gain == b.track_gain && a.album_peak == b.album_peak &&
           a.track_peak == b.track_peak;
}
inline bool operator!=(const replaygain_values& a, const replaygain_values& b) { return !(a == b); }

extern const char* const replaygain_field_album_gain;  // "replaygain_album_gain"
extern const char* const replaygain_field_album_peak;  // "replaygain_album_peak"
extern const char* const replaygain_field_track_gain;  // "replaygain_track_gain"
extern const char* const replaygain_field_track_peak;  // "replaygain_track_peak"

// Buffer sizes of the two text forms (terminator included).
constexpr unsigned replaygain_gain_text_size = 15;
constexpr unsigned replaygain_peak_text_size = 16;

// The gain as its tag text: a sign always ('+' for zero and above), two decimals rounded half up on the
// magnitude, at most 11 characters, then " dB". An absent gain gives "" and false.
//     -6.5 -> "-6.50 dB"     0.0 -> "+0.00 dB"     -1000.0 -> "" (false)
// `out` holds replaygain_gain_text_size bytes. Runs with rounding to nearest; the caller's floating-point
// rounding mode is restored afterwards.
bool replaygain_gain_to_text(char* out, float gain);

// The peak as its tag text: six decimals, no plus sign, at most 15 characters. An absent peak gives ""
// and false.     1.0 -> "1.000000"     0.988 -> "0.988000"
// `out` holds replaygain_peak_text_size bytes.
bool replaygain_peak_to_text(char* out, float peak);

// When `name` is one of the four field names (any ASCII letter case), reads the value text (up to
// `length` bytes or its first zero byte) as a decimal number into the matching value and answers true.
// Reading stops at the first character that is not part of the number ("-3.2 dB" reads -3.2); text
// without a number, and a number too large for a float, read as 0. A negative peak is stored as 0.
// Any other name answers false and leaves the record alone (also "replaygain_reference_loudness").
bool replaygain_parse_field(const char* name, const char* value, uint32_t length, replaygain_values& record);

// The linear factor that playback multiplies a track's samples by.
//   1. The gain and the peak of the chosen source (track or album) are used, falling back to the other
//      kind when absent; no source means no gain. A missing peak counts as 1.0.
//   2. preamp = settings.preamp_with_gain when a gain was found, else settings.preamp_without_gain.
//   3. scale = 10^((preamp + gain) / 20) when processing applies gain, else 1.0.
//   4. When processing prevents clipping and scale * peak > 1, the result is 1 / peak.
//     source track, processing apply gain, preamps 0, track gain -6      -> 0.501 (10^-0.3)
//     source track, processing gain + clip, track gain +6, track peak 0.9 -> 1 / 0.9
//     processing clip only, track peak 1.25                               -> 0.8
// A factor that would not be a finite number (an absurd gain from a damaged tag) gives 1.0.
float replaygain_compute_scale(const replaygain_values& record, const replaygain_settings& settings);
