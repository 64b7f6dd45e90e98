#pragma once
// The cue sheet text of a FLAC CUESHEET block, so that its tracks become subsongs like those of a
// "cuesheet" comment.
//
//     CUESHEET at 44100 Hz, 3 audio tracks at samples 0, 7938000 (180 s) and 17640000 (400 s), lead-out
//     at 26460000:
//     kpl::utf8_string_pow2 text;
//     flac_cuesheet_text(block, 44100, 26460000, text);
//         FILE "CDImage.wav" WAVE
//           TRACK 01 AUDIO
//             INDEX 01 00:00:00
//           TRACK 02 AUDIO
//             INDEX 01 03:00:00
//           ...                                          (CR LF line ends)
//
// Data tracks and track numbers 0 and 100 and above (the lead-out) give no cue track. A track's indexes
// are its offset plus the index offsets; a missing INDEX 01 is the track's start and a missing INDEX 00
// the INDEX 01 time. Times are written in frames of 1/75 second, which CD layouts (multiples of 588
// samples at 44100 Hz) meet exactly.
//
// No sample rate, no track record, a record that starts after the next one, or a layout that does not
// read back as a cue sheet (repeated numbers, indexes out of order): ketrel_io::exception_io_data, and
// `out` is unchanged.

#include <cstdint>

#include <FLAC/format.h>

#include "foundation/kpl/string.h"

void flac_cuesheet_text(const FLAC__StreamMetadata_CueSheet& block, uint32_t sample_rate, uint64_t total_samples,
                        kpl::utf8_string& out);
