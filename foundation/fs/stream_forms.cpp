#include "foundation/fs/stream_forms.h"

#include <cstring>

#include "foundation/kpl/array.h"
#include "foundation/kpl/io_exceptions.h"

namespace {

const uint32_t single_step_limit = 65536;

uint32_t le32(const uint8_t* p) {
    return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// Fills a string's buffer of n bytes with one exact read; the buffer is closed again also when the read
// fails.
void read_into_buffer(kpl::utf8_string& out, uint32_t n, byte_source& source, const abort_signal& abort) {
    char* buffer = out.begin_write(n);
    try {
        source.read_exact(buffer, n, abort);
    } catch (...) {
        out.end_write();
        throw;
    }
    out.end_write();
}

}  // namespace

uint32_t stream_reader::read_uint32() {
    uint8_t bytes[4];
    read(bytes, 4);
    return le32(bytes);
}

float stream_reader::read_float() {
    const uint32_t bits = read_uint32();
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

void stream_reader::read_string(kpl::utf8_string& out) {
    uint32_t length = read_uint32();
    read_string_body(out, length, m_source, m_abort);
}

kpl::guid stream_reader::read_guid() {
    uint8_t bytes[16];
    read(bytes, 16);
    kpl::guid value;
    value.data1 = le32(bytes);
    value.data2 = static_cast<uint16_t>(bytes[4] | (bytes[5] << 8));
    value.data3 = static_cast<uint16_t>(bytes[6] | (bytes[7] << 8));
    std::memcpy(value.data4, bytes + 8, 8);
    return value;
}

void stream_writer::write_uint32(uint32_t value) {
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    write(bytes, 4);
}

void stream_writer::write_float(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    write_uint32(bits);
}

void stream_writer::write_string(const char* text) {
    size_t length = std::strlen(text);
    write_uint32(static_cast<uint32_t>(length));
    write(text, length);
}

void read_string_body(kpl::utf8_string& out, uint32_t n, byte_source& source, const abort_signal& abort) {
    if (n <= single_step_limit) {
        read_into_buffer(out, n, source, abort);
        return;
    }
    kpl::array<char> bytes;
    uint32_t step = single_step_limit;
    while (bytes.count() < n) {
        uint32_t filled = bytes.count();
        uint32_t target = step < n ? step : n;
        bytes.resize_exact(target);
        source.read_exact(bytes.data() + filled, target - filled, abort);
        if (step <= n / 2)
            step *= 2;
        else
            step = n;
    }
    out.assign(bytes.data(), n);
}

void read_all_text(kpl::utf8_string& out, byte_source& source, const abort_signal& abort) {
    out.reset();
    char block[256];
    for (;;) {
        size_t got = source.read(block, sizeof(block), abort);
        out.append(block, static_cast<uint32_t>(got));
        if (got < sizeof(block)) break;
    }
}

kpl::shared_string read_into_shared_string(byte_source& source, uint32_t n, const abort_signal& abort) {
    kpl::shared_string text = kpl::shared_string::make("");
    read_into_buffer(*text, n, source, abort);
    return text;
}
