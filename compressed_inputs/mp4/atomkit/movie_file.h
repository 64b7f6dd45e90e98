#pragma once
// movie_file: what atomkit knows about one opened MP4 file: where its movie box lies, the movie header, the
// tracks, the user data, and built from these the chapters (the subsongs, each with its fields and start)
// and the end of the playable range. sample_index.h walks the samples of one track.
//
//     atomkit::movie_file model;
//     model.open(stream, atomkit::parse_for_playback, true);   // stream at the file's start
//     model.chapter_count();                                   // 1 for a plain song
//     model.chapter_start_seconds(0);                          // e.g. 2112 / 44100 with iTunSMPB delay 2112
//     model.chapter_end_seconds(0);                            // end_ticks x 1e-7
//
// Times are 100-ns ticks: to_ticks(2112, 44100) == 478912. Errors are atomkit exceptions: "moov box not
// found", "duplicate moov box", "attempting to stream a non-optimized file" (mdat before moov on a stream that
// cannot seek), "invalid or missing mvhd data", and those of the movie and user-data parsers.

#include <cstdint>
#include <vector>

#include "compressed_inputs/mp4/atomkit/byte_stream.h"
#include "compressed_inputs/mp4/atomkit/field_set.h"
#include "compressed_inputs/mp4/atomkit/track_record.h"
#include "compressed_inputs/mp4/atomkit/user_data.h"

namespace atomkit {

// (value x 10,000,000 + time_scale / 2) / time_scale, the product wrapping in 64 bits; time scale 0 throws
// exception_invalid_timescale.
uint64_t to_ticks(uint64_t value, uint32_t time_scale);
// The iTunSMPB value: hexadecimal fields separated by spaces, delay = field 1, length = field 3. False for a
// length of 0 or an overflowing sum.
bool parse_itunsmpb(const std::string& value, uint64_t& delay, uint64_t& length);

class movie_file {
public:
    void open(byte_stream& s, uint32_t flags, bool allow_unoptimized);
    void reset();

    size_t chapter_count() const { return chapters.size(); }
    double chapter_start_seconds(size_t i) const;
    double chapter_end_seconds(size_t i) const;
    // The time scale of the first audio track that has one; 0 for none.
    uint32_t audio_time_scale() const;

    // The decode range and chapters from the tracks and user data (run by open).
    void build_chapters();
    // Folds the chapters' fields into file-level and per-chapter content for writing; mode 1: "ilst",
    // 3: "ilst" and the "tags" box.
    void prepare_user_data(uint32_t mode);

    uint32_t flags = 0;
    uint64_t moov_offset = 0, moov_size = 0, data_end = 0;
    uint32_t movie_time_scale = 0;
    uint64_t movie_duration = 0;
    std::vector<track_ptr> tracks;
    std::vector<chapter_entry> chapters;
    field_set fields;
    std::vector<picture_ptr> pictures;
    uint64_t end_ticks = 0;
    user_data ud;

private:
    void scan_movie(byte_stream& s, bool allow_unoptimized);
};

}  // namespace atomkit
