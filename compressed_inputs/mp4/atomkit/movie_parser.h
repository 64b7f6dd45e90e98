#pragma once
// The movie box ("moov") parser: the movie header and the tracks with their sample descriptions and
// sample tables. A track whose boxes are damaged is left out; the movie header's errors end the parse.
//
//     atomkit::movie_file model;                  // flags set by the caller
//     atomkit::parse_movie_box(model, child, payload_size);
//     // model.movie_time_scale, model.movie_duration, model.tracks (file order), model.user data
//
// Audio sample entries of QuickTime's sound description versions 1 and 2 are read past their extra fields, and a
// "wave" box around the setup box is looked into, so QuickTime-style movies keep their decoder setup.
//
// Texts of the errors: "unknown mvhd version", "unknown mdhd version", "invalid stsd atom", "esds atom not
// expected here", "alac atom not expected here", "ALAC decoder setup too big", "invalid esds atom (1)" to
// "(3)", "expected damr header", "avcC not expected here", "esds not expected here", "invalid avcC chunk (1)"
// and "(2)", "duplicate stts data", "duplicate ctts data", "invalid stss data".

#include <cstdint>

#include "compressed_inputs/mp4/atomkit/byte_stream.h"

namespace atomkit {

class movie_file;
struct track_record;

void parse_movie_box(movie_file& model, byte_stream& s, uint64_t size);
// One "stsd" payload; for the tests of sample entries.
void parse_sample_description(track_record& track, byte_stream& s, uint64_t size, uint32_t flags);

}  // namespace atomkit
