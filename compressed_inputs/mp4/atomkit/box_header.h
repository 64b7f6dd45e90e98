#pragma once
// Box headers, big-endian primitives and the walk over the children of a box.
//
// A box starts with u32 size (the whole box, header included) and four type bytes, each 0x20 or above; size 1
// is followed by a u64 largesize (header 16). A size below the header size - size 0 included - is invalid.
// Types are compared as fourcc("moov"): the four bytes in file order read as a little-endian word.
//
//     // 00 00 00 10 'f' 'r' 'e' 'e' + 8 payload bytes
//     box_header h;
//     read_box_header(stream, h, false);  // true; h.type == fourcc("free"), h.header_size 8, h.payload_size 8
//
//     walk_children(stream, payload_size, visitor);   // visitor.on_box(child, type, payload) per child box;
//                                                     // a child running past its parent is cut at the parent's end
//
// Inside a box, read_child_header throws atomkit::exception "invalid box/atom header" where read_box_header
// would answer false; short data throws exception_truncation.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "compressed_inputs/mp4/atomkit/atom_stream.h"
#include "compressed_inputs/mp4/atomkit/byte_stream.h"

namespace atomkit {

class box_buffer;

constexpr uint32_t fourcc(const char (&t)[5]) {
    return uint32_t(uint8_t(t[0])) | uint32_t(uint8_t(t[1])) << 8 | uint32_t(uint8_t(t[2])) << 16 |
           uint32_t(uint8_t(t[3])) << 24;
}
// The four characters of a type: fourcc_text(fourcc("mdat")) == "mdat".
std::string fourcc_text(uint32_t type);

struct box_header {
    uint32_t type = 0;
    uint32_t header_size = 0;
    uint64_t payload_size = 0;
};

uint16_t read_u16(byte_stream& s);
uint32_t read_u24(byte_stream& s);
uint32_t read_u32(byte_stream& s);
uint64_t read_u64(byte_stream& s);
void read_u32_array(byte_stream& s, std::vector<uint32_t>& out, uint32_t count);
void read_u64_array(byte_stream& s, std::vector<uint64_t>& out, uint32_t count);
// Reads count u32 chunk offsets, widened to u64.
void read_u32_array_widened(byte_stream& s, std::vector<uint64_t>& out, uint32_t count);
// Up to 4 bytes of 7 bits, most significant first, continuing while a byte's top bit is set.
uint32_t read_descriptor_length(byte_stream& s);

// The top-level form: false at the end of data (fewer than 8 bytes), on a type byte below 0x20, a size below
// the header size, a cut largesize, and - with allow_tag_check - on "TAG" whose implied size does not fit
// (an ID3v1 block where a box should be).
bool read_box_header(byte_stream& s, box_header& out, bool allow_tag_check);
// The form used inside a box holding `available` more bytes; throws "invalid box/atom header".
box_header read_child_header(byte_stream& s, uint64_t available);

class box_visitor {
public:
    virtual ~box_visitor() = default;
    virtual void on_box(atom_stream& child, uint32_t type, uint64_t payload_size) = 0;
};
// Visits the children of a box whose payload of `total` bytes is next on the stream.
void walk_children(byte_stream& s, uint64_t total, box_visitor& visitor);

void write_u32_be(box_buffer& out, uint32_t value);
// u32 size, then the four type bytes.
void write_box_header(box_buffer& out, uint32_t size, uint32_t type);
// A whole box: header with size payload + 8, then the payload. A payload too large for a 32-bit size throws
// std::bad_alloc.
void write_box(box_buffer& out, uint32_t type, const void* payload, size_t payload_size);

}  // namespace atomkit
