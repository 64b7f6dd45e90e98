#pragma once
// replaygain_settings: how playback applies ReplayGain, as the playback engine hands it to
// replaygain_compute_scale (metadata/replaygain.h). Four 32-bit fields in this order.
//
//     replaygain_settings s;                     // source none, processing none, preamps 0 dB
//     s.source = replaygain_settings::source_album;
//     s.processing = replaygain_settings::processing_apply_gain_and_prevent_clipping;
//
// Values outside the named ones mean "none".

#include <cstdint>

struct replaygain_settings {
    enum : uint32_t { source_none = 0, source_track = 1, source_album = 2 };
    enum : uint32_t {
        processing_none = 0,
        processing_apply_gain = 1,
        processing_apply_gain_and_prevent_clipping = 2,
        processing_prevent_clipping = 3,
    };

    uint32_t source = source_none;
    uint32_t processing = processing_none;
    float preamp_without_gain = 0.0f;  // dB, used when the track has no gain of the chosen kinds
    float preamp_with_gain = 0.0f;     // dB, used with a known gain
};
