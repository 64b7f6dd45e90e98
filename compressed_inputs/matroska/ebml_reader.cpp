#include "compressed_inputs/matroska/ebml_reader.h"

#include <cstring>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/utf8.h"

namespace Matroska {

ebml_reader::ebml_reader(file_stream_ref file, const abort_signal& abort) : m_file(std::move(file)), m_abort(abort) {
    const uint64_t size = m_file->get_size(abort);
    if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    m_remaining = size;
    m_position = m_file->get_position(abort);
}

void ebml_reader::read(void* buffer, uint64_t n) {
    check(n);
    m_file->read_exact(buffer, static_cast<size_t>(n), m_abort);
    m_remaining -= n;
    m_position += n;
}

uint8_t ebml_reader::read_byte() {
    uint8_t b;
    read(&b, 1);
    return b;
}

void ebml_reader::skip(uint64_t n) {
    check(n);
    if (n == 0) return;
    m_file->seek(m_position + n, m_abort);
    m_remaining -= n;
    m_position += n;
}

void ebml_reader::check(uint64_t n) const {
    if (n > m_remaining) throw ketrel_io::exception_io_data();
}

uint64_t ebml_reader::position() { return m_position; }

void ebml_reader::seek(uint64_t p) {
    const uint64_t end = m_position + m_remaining;
    if (p > end) throw ketrel_io::exception_io_data();
    m_file->seek(p, m_abort);
    m_position = p;
    m_remaining = end - p;
}

void ebml_reader::reset(uint64_t p, uint64_t end) {
    if (p > end) throw ketrel_io::exception_io_data();
    m_file->seek(p, m_abort);
    m_position = p;
    m_remaining = end - p;
}

uint64_t ebml_reader::size() {
    const uint64_t size = m_file->get_size(m_abort);
    if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    return size;
}

void ebml_reader::truncate(uint64_t p) {
    m_file->resize(p, m_abort);
    m_position = m_file->get_position(m_abort);
    m_remaining = p > m_position ? p - m_position : 0;
}

void ebml_reader::write(const void* data, size_t n) {
    if (m_undo) {
        ebml_undo_entry entry{m_position, {}};
        const uint64_t size = m_file->get_size(m_abort);
        if (m_position < size) {
            const uint64_t old = size - m_position < n ? size - m_position : n;
            entry.bytes.resize(static_cast<size_t>(old));
            m_file->read_exact(entry.bytes.data(), entry.bytes.size(), m_abort);
            m_file->seek(m_position, m_abort);
        }
        m_undo->push_back(std::move(entry));
    }
    m_file->write(data, n, m_abort);
    m_position += n;
    m_remaining = n < m_remaining ? m_remaining - n : 0;
}

uint32_t ebml_read_id(ebml_reader& reader) {
    const uint8_t first = reader.read_byte();
    int length = 0;
    for (int bit = 7; bit >= 4; --bit) {
        if (first & (1u << bit)) {
            length = 8 - bit;
            break;
        }
    }
    if (length == 0) throw ketrel_io::exception_io_data();
    uint32_t id = first & ~(0x80u >> (length - 1)) & 0xFF;
    for (int i = 1; i < length; ++i) id = id << 8 | reader.read_byte();
    return id;
}

bool ebml_parse_id(const uint8_t* data, size_t n, uint32_t& id) {
    if (n == 0) return false;
    int length = 0;
    for (int bit = 7; bit >= 4; --bit) {
        if (data[0] & (1u << bit)) {
            length = 8 - bit;
            break;
        }
    }
    if (length == 0 || static_cast<size_t>(length) != n) return false;
    id = data[0] & ~(0x80u >> (length - 1)) & 0xFF;
    for (int i = 1; i < length; ++i) id = id << 8 | data[i];
    return true;
}

uint64_t ebml_read_size(ebml_reader& reader) {
    const uint8_t first = reader.read_byte();
    if (first == 0xFF) return ~uint64_t(0);
    if (first == 0) throw ketrel_io::exception_io_data();
    int length = 1;
    while (!(first & (0x80u >> (length - 1)))) ++length;
    uint64_t value = first & ~(0x80u >> (length - 1)) & 0xFF;
    for (int i = 1; i < length; ++i) value = value << 8 | reader.read_byte();
    return value;
}

void ebml_walk_children(ebml_reader& reader, ebml_element_handler& handler) {
    handler.begin(reader);
    while (!reader.at_end() && handler.want_more()) {
        handler.child_start = reader.position();
        const uint32_t id = ebml_read_id(reader);
        const uint64_t size = ebml_read_size(reader);
        reader.check(size);
        const uint64_t parent_rest = reader.remaining() - size;
        reader.set_remaining(size);
        handler.child(id, size, reader);
        reader.skip(reader.remaining());
        reader.set_remaining(parent_rest);
    }
    handler.end();
    handler.parsed = true;
}

void ebml_read_element(ebml_reader& reader, uint32_t expected, ebml_element_handler& handler) {
    if (ebml_read_id(reader) != expected) throw ketrel_io::exception_io_data();
    const uint64_t size = ebml_read_size(reader);
    reader.check(size);
    const uint64_t parent_rest = reader.remaining() - size;
    reader.set_remaining(size);
    ebml_walk_children(reader, handler);
    reader.skip(reader.remaining());
    reader.set_remaining(parent_rest);
}

void ebml_parse_once(ebml_element_handler& handler, ebml_reader& reader) {
    if (handler.parsed) throw ketrel_io::exception_io_data();
    ebml_walk_children(reader, handler);
}

uint64_t read_unsigned(ebml_reader& reader) {
    const uint64_t n = reader.remaining();
    if (n == 0 || n > 8) throw ketrel_io::exception_io_data();
    uint8_t bytes[8];
    reader.read(bytes, n);
    uint64_t value = 0;
    for (uint64_t i = 0; i < n; ++i) value = value << 8 | bytes[i];
    return value;
}

uint32_t read_unsigned32(ebml_reader& reader) {
    const uint64_t value = read_unsigned(reader);
    if (value > 0xFFFFFFFFu) throw ketrel_io::exception_io_data();
    return static_cast<uint32_t>(value);
}

uint64_t read_unsigned_nonzero(ebml_reader& reader) {
    const uint64_t value = read_unsigned(reader);
    if (value == 0) throw ketrel_io::exception_io_data();
    return value;
}

bool read_boolean(ebml_reader& reader) { return read_unsigned(reader) != 0; }

double read_float(ebml_reader& reader) {
    const uint64_t n = reader.remaining();
    uint8_t b[8];
    if (n == 4) {
        reader.read(b, 4);
        const uint32_t bits = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    if (n == 8) {
        reader.read(b, 8);
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = bits << 8 | b[i];
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    throw ketrel_io::exception_io_data();
}

namespace {

// The element's bytes up to the first zero; every byte after it must be zero.
std::string read_zero_padded(ebml_reader& reader) {
    const uint64_t n = reader.remaining();
    if (n > 0xFFFFFFFFu) throw ketrel_io::exception_io_data();
    std::string bytes(static_cast<size_t>(n), '\0');
    if (n) reader.read(&bytes[0], n);
    const size_t zero = bytes.find('\0');
    if (zero != std::string::npos) {
        for (size_t i = zero; i < bytes.size(); ++i) {
            if (bytes[i] != 0) throw ketrel_io::exception_io_data();
        }
        bytes.resize(zero);
    }
    return bytes;
}

}  // namespace

std::string read_ascii_string(ebml_reader& reader) {
    std::string text = read_zero_padded(reader);
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7E) throw ketrel_io::exception_io_data();
    }
    return text;
}

std::string read_utf8_string(ebml_reader& reader) {
    std::string text = read_zero_padded(reader);
    if (!text.empty() && !kpl::utf8_check(text.data(), text.size())) throw ketrel_io::exception_io_data();
    return text;
}

std::vector<uint8_t> read_binary(ebml_reader& reader) {
    const uint64_t n = reader.remaining();
    if (n > 0xFFFFFFFFu) throw ketrel_io::exception_io_data();
    std::vector<uint8_t> bytes(static_cast<size_t>(n));
    if (n) reader.read(bytes.data(), n);
    return bytes;
}

}  // namespace Matroska
