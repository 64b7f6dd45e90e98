#pragma once
// track_record: what the movie parser knows about one track ("trak"): its sample description, the decoder
// setup bytes and the sample tables that map times to samples and samples to file offsets.
//
//     const atomkit::track_record& t = *model.tracks[0];
//     t.kind == atomkit::kind_mp4a;           // an "mp4a" sample entry
//     t.object_type == 64;                    // MPEG-4 audio; t.decoder_setup holds the AudioSpecificConfig
//     t.time_to_sample[0].count;              // the first "stts" run
//
// All fields are zero until their box is read; media_duration is unknown_duration when "mdhd" says so.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace atomkit {

enum track_kind : uint32_t {
    kind_none = 0,     // no "stsd" read yet
    kind_unknown = 1,  // never decoded
    kind_mp4a = 2,
    kind_alac = 3,
    kind_mp4v = 4,
    kind_avc1 = 5,
    kind_amr = 7,  // "samr", "damr"
    kind_sawp = 8,
};
inline bool is_audio_kind(uint32_t k) { return k == kind_mp4a || k == kind_alac || k == kind_amr || k == kind_sawp; }
inline bool is_video_kind(uint32_t k) { return k == kind_mp4v || k == kind_avc1; }

constexpr uint64_t unknown_duration = ~uint64_t(0);

struct stts_entry {
    uint32_t count = 0, delta = 0;
};
struct stsc_entry {
    uint32_t first_chunk = 0, samples_per_chunk = 0, description_index = 0;
};
struct ctts_entry {
    uint32_t count = 0, offset = 0;
};

struct track_record {
    uint32_t kind = kind_none;
    uint32_t channels = 0;
    uint32_t bits_per_sample = 0;
    uint32_t sample_rate = 0;
    uint32_t object_type = 0;
    uint32_t sample_count = 0;
    uint32_t constant_sample_size = 0;
    std::vector<uint32_t> sample_sizes;
    std::vector<stts_entry> time_to_sample;
    std::vector<stsc_entry> sample_to_chunk;
    std::vector<uint64_t> chunk_offsets;
    std::vector<ctts_entry> composition_offsets;
    std::vector<uint8_t> decoder_setup;
    uint8_t es_flags = 0;
    uint32_t max_bitrate = 0, avg_bitrate = 0;
    uint32_t time_scale = 0;
    uint64_t media_duration = 0;
    uint16_t width = 0, height = 0;
    std::string compressor_name;
    std::vector<uint32_t> sync_samples;

    bool has_stts = false;
};
using track_ptr = std::shared_ptr<track_record>;

}  // namespace atomkit
