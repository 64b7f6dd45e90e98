#include "compressed_inputs/mp4/atomkit/box_header.h"

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/box_buffer.h"
#include "foundation/kpl/exceptions.h"

namespace atomkit {

namespace {

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint64_t be64(const uint8_t* p) { return uint64_t(be32(p)) << 32 | be32(p + 4); }

bool type_bytes_valid(const uint8_t* p) { return p[0] >= 0x20 && p[1] >= 0x20 && p[2] >= 0x20 && p[3] >= 0x20; }

}  // namespace

std::string fourcc_text(uint32_t type) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) s[i] = char((type >> (8 * i)) & 0xFF);
    return s;
}

uint16_t read_u16(byte_stream& s) {
    uint8_t b[2];
    s.read_exact(b, 2);
    return uint16_t(b[0] << 8 | b[1]);
}

uint32_t read_u24(byte_stream& s) {
    uint8_t b[3];
    s.read_exact(b, 3);
    return uint32_t(b[0]) << 16 | uint32_t(b[1]) << 8 | b[2];
}

uint32_t read_u32(byte_stream& s) {
    uint8_t b[4];
    s.read_exact(b, 4);
    return be32(b);
}

uint64_t read_u64(byte_stream& s) {
    uint8_t b[8];
    s.read_exact(b, 8);
    return be64(b);
}

// The arrays are sized only once the stream holds all their values, so a damaged count costs an error, not
// gigabytes of memory.
void read_u32_array(byte_stream& s, std::vector<uint32_t>& out, uint32_t count) {
    s.check_available(uint64_t(count) * 4);
    out.resize(count);
    for (uint32_t i = 0; i < count; ++i) out[i] = read_u32(s);
}

void read_u64_array(byte_stream& s, std::vector<uint64_t>& out, uint32_t count) {
    s.check_available(uint64_t(count) * 8);
    out.resize(count);
    for (uint32_t i = 0; i < count; ++i) out[i] = read_u64(s);
}

void read_u32_array_widened(byte_stream& s, std::vector<uint64_t>& out, uint32_t count) {
    s.check_available(uint64_t(count) * 4);
    out.resize(count);
    uint8_t block[256 * 4];
    for (uint32_t done = 0; done < count;) {
        uint32_t n = count - done < 256 ? count - done : 256;
        s.read_exact(block, size_t(n) * 4);
        for (uint32_t i = 0; i < n; ++i) out[done + i] = be32(block + 4 * i);
        done += n;
    }
}

uint32_t read_descriptor_length(byte_stream& s) {
    uint32_t length = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t b;
        s.read_exact(&b, 1);
        length = length << 7 | (b & 0x7F);
        if (!(b & 0x80)) break;
    }
    return length;
}

bool read_box_header(byte_stream& s, box_header& out, bool allow_tag_check) {
    uint8_t b[8];
    if (s.read(b, 8) < 8) return false;
    if (allow_tag_check && b[0] == 'T' && b[1] == 'A' && b[2] == 'G') {
        try {
            s.check_available(uint64_t(be32(b)) - 8);
        } catch (const exception_truncation&) {
            return false;
        }
    }
    if (!type_bytes_valid(b + 4)) return false;
    uint64_t size = be32(b);
    uint32_t header_size = 8;
    if (size == 1) {
        uint8_t l[8];
        try {
            s.read_exact(l, 8);
        } catch (const exception_truncation&) {
            return false;
        }
        size = be64(l);
        header_size = 16;
    }
    if (size < header_size) return false;
    out.type = uint32_t(b[4]) | uint32_t(b[5]) << 8 | uint32_t(b[6]) << 16 | uint32_t(b[7]) << 24;
    out.header_size = header_size;
    out.payload_size = size - header_size;
    return true;
}

box_header read_child_header(byte_stream& s, uint64_t available) {
    box_header h;
    if (!read_box_header(s, h, false) || h.header_size > available) throw exception("invalid box/atom header");
    if (h.payload_size > available - h.header_size) h.payload_size = available - h.header_size;
    return h;
}

void walk_children(byte_stream& s, uint64_t total, box_visitor& visitor) {
    uint64_t consumed = 0;
    while (consumed < total) {
        box_header h = read_child_header(s, total - consumed);
        s.check_available(h.payload_size);
        atom_stream child(s, h.payload_size);
        visitor.on_box(child, h.type, h.payload_size);
        child.finish();
        consumed += h.header_size + h.payload_size;
    }
}

void write_u32_be(box_buffer& out, uint32_t value) {
    uint8_t b[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    out.append(b, 4);
}

void write_box_header(box_buffer& out, uint32_t size, uint32_t type) {
    write_u32_be(out, size);
    uint8_t t[4] = {uint8_t(type), uint8_t(type >> 8), uint8_t(type >> 16), uint8_t(type >> 24)};
    out.append(t, 4);
}

void write_box(box_buffer& out, uint32_t type, const void* payload, size_t payload_size) {
    if (payload_size > UINT32_MAX - 8) kpl::throw_bad_alloc();
    write_box_header(out, uint32_t(payload_size + 8), type);
    out.append(payload, payload_size);
}

}  // namespace atomkit
