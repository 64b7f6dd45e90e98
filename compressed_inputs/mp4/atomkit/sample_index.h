#pragma once
// The sample index of one track: time to sample, sample to file offset and size, and the summary the input
// sets decoding up from.
//
//     atomkit::sample_cursor c;
//     atomkit::cursor_seek(c, track, 0);
//     do {
//         atomkit::sample_info i = atomkit::cursor_info(c, track);   // i.file_offset, i.size, i.duration
//     } while (atomkit::cursor_next(c, track));
//     uint64_t rem;
//     uint32_t n = atomkit::time_to_sample(track, 44100, rem);      // sample 43, remainder 77 for deltas of 1024
//
// A track without chunk offsets reads every chunk at offset 8. Sample numbers or times past the tables throw
// exception_out_of_range.

#include <cstdint>

#include "compressed_inputs/mp4/atomkit/track_record.h"

namespace atomkit {

struct sample_cursor {
    uint32_t sample = 0;
    int64_t ctts_entry = -1, ctts_pos = -1;
    int64_t stts_entry = -1, stts_pos = -1;
    uint64_t decode_time = 0;
    uint32_t stsc_next = 0;
    uint32_t run_first_sample = 0;
    uint32_t chunk = 1;
    uint32_t chunk_first_sample = 0;
    uint64_t offset_in_chunk = 0;
};

struct sample_info {
    uint32_t duration = 0;
    uint32_t composition_offset = 0;
    uint64_t composition_time = 0;
    uint32_t time_scale = 0;
    uint64_t file_offset = 0;
    uint32_t size = 0;
};

struct track_summary {
    uint32_t sample_rate = 0, channels = 0;
    uint64_t bitrate = 0;
    uint32_t max_bitrate = 0, bits_per_sample = 0, time_scale = 0, sample_count = 0;
    uint64_t media_duration = 0, priming = 0;
    uint32_t width = 0, height = 0;
};

void cursor_seek(sample_cursor& c, const track_record& t, uint32_t n);
bool cursor_next(sample_cursor& c, const track_record& t);
sample_info cursor_info(const sample_cursor& c, const track_record& t);
uint32_t time_to_sample(const track_record& t, uint64_t ticks, uint64_t& remainder);
uint64_t chunk_offset(const track_record& t, uint32_t k);
uint32_t sample_size(const track_record& t, uint32_t n);
uint64_t samples_size(const track_record& t, uint32_t a, uint32_t n);
uint64_t priming(const track_record& t);
track_summary summary(const track_record& t);

}  // namespace atomkit
