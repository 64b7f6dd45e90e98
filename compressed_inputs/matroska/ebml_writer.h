#pragma once
// Writing EBML in place: size and ID encodings, Void padding, and the placement of a new Tags element.
//
//     ebml_encode(16383)                 -> 20 3F FF   (3 bytes: 7F FF would be the unknown size)
//     ebml_encode(id::tags)              -> 12 54 C3 67
//     ebml_write_void(r, 100, 12)        -> EC 01 00 00 00 00 00 00 03 at 100, the 3 payload bytes untouched
//
// matroska_place_tags puts the content of a new Tags element into the file without rewriting it: over an old
// Tags element and the Voids behind it, or at the end of the Segment (the Segment's size rewritten in its width).
// Old Tags elements become Voids, and so do their Seek entries; an appended Tags gets a Seek entry. The place is
// chosen before anything is written, and the writes go in the order that keeps the file readable after a failure
// at any of them: the Tags bytes, the Segment size, the new Seek entry, then the Voids over retired elements.
// When a write fails the earlier writes are undone (best effort) and the file is cut back to its size.
// A file whose Segment is followed by other data is never appended to or cut: only a place inside the Segment is
// used. false means no place (Matroska::FileNotTaggable for the caller); nothing is written then.

#include <cstdint>
#include <vector>

#include "compressed_inputs/matroska/matroska_index.h"
#include "foundation/kpl/io_exceptions.h"

namespace Matroska {

class FileNotTaggable : public ketrel_io::exception_io_data {
public:
    FileNotTaggable() noexcept
        : ketrel_io::exception_io_data("File can't be retagged, please re-mux it with up-to-date Matroska tools") {}
};

std::vector<uint8_t> ebml_encode(uint64_t value);
// The encoding in exactly n bytes; false when the value does not fit (not below 2^(7n) - 1).
bool ebml_encode_width(uint64_t value, int n, std::vector<uint8_t>& out);
// An unsigned value in the fewest bytes (one byte up to 255).
std::vector<uint8_t> ebml_unsigned_bytes(uint64_t value);
// ID, size and data.
std::vector<uint8_t> ebml_element(uint32_t id, const std::vector<uint8_t>& data);

// Makes the n bytes at position one Void element (n = 1: exception_io_data; 0: nothing).
void ebml_write_void(ebml_reader& reader, uint64_t position, uint64_t n);
// The length of the element at position (it must carry `expected`) and of the Voids directly behind it that end
// by parent_end.
uint64_t ebml_space_at(ebml_reader& reader, uint64_t position, uint32_t expected, uint64_t parent_end);
void ebml_blank(ebml_reader& reader, uint64_t position, uint32_t expected, uint64_t parent_end);
// Writes one element into `room` bytes and a Void over the rest; false (nothing written) when it does not fit or
// would leave exactly one byte.
bool ebml_write_in_region(ebml_reader& reader, uint64_t position, uint64_t room, uint32_t id,
                          const std::vector<uint8_t>& data);
// Rewrites an element's size in the width it has; false when the size does not fit it. check_only writes nothing.
bool ebml_rewrite_size(ebml_reader& reader, uint64_t position, uint32_t expected, uint64_t size, bool check_only = false);

bool matroska_place_tags(matroska_index& index, ebml_reader& reader, const std::vector<uint8_t>& content);

}  // namespace Matroska
