#pragma once
// The structure check of a whole file and its one repair. The check walks the top-level boxes by their
// headers only (payloads are skipped, never read), stops at the first problem and reports in plain words;
// it never throws for a malformed file and changes nothing.
//
//     structure_report report;
//     uint64_t garbage_start = atomkit::unknown_size;
//     check_structure(file, report, garbage_start);
//     // a file ftyp, moov, mdat cut short:
//     //   "Object \"mdat\" at 1032 bytes is truncated."
//     //   "Media data is truncated, the file may not be playable completely."
//     // then, from the counts of top-level types: no moov, several moov, no mdat, no ftyp.
//
// remove_trailing_garbage runs the check and, when the file ends in a 128-byte ID3v1 block ("TAG" exactly
// 128 bytes before the end), truncates it away and reports "Removed 128 bytes of trailing garbage.". Nothing
// else is ever removed.

#include <cstdint>
#include <string>
#include <vector>

#include "compressed_inputs/mp4/atomkit/byte_stream.h"

namespace atomkit {

struct structure_report {
    std::vector<std::string> messages;
    void add(std::string text) { messages.push_back(std::move(text)); }
};

// garbage_start is left alone unless the check finds a trailing ID3v1 block; callers set it to unknown_size.
void check_structure(file_backed_stream& file, structure_report& report, uint64_t& garbage_start);
void remove_trailing_garbage(file_backed_stream& file, structure_report& report);

}  // namespace atomkit
