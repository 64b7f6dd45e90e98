#include "metadata/browse_fields.h"

#include <cstring>

#include "foundation/fs/byte_stream.h"
#include "foundation/fs/stream_forms.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/text_compare.h"
#include "metadata/track_info.h"

namespace {

const char* const g_field_names[browse_field_count] = {
    "Title", "Artist", "Album Artist", "Genre", "Album", "TrackNumber", "DiscNumber", "Date",
};

const char* const g_value_separator = "; ";

// Album endings that carry a disc number; '%' stands for the run of digits.
const char* const g_disc_patterns[] = {
    " Disc %", " Disc%", " CD %", " CD%", " (Disc %)", " (Disc%)", " (CD %)", " (CD%)",
};

constexpr uint32_t first_read_step = 16384;

char fold_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Matches the pattern against the end of the album, from the last character backwards. On a match,
// `prefix` is the number of album bytes in front of the pattern (at least 1) and [digits, digits_end)
// the disc number.
bool match_disc_pattern(const char* album, uint32_t length, const char* pattern, uint32_t& prefix,
                        uint32_t& digits, uint32_t& digits_end) {
    int64_t a = static_cast<int64_t>(length) - 1;
    int64_t p = static_cast<int64_t>(std::strlen(pattern)) - 1;
    bool number_found = false;
    while (p >= 0) {
        if (a < 0) return false;
        if (pattern[p] == '%') {
            if (!is_digit(album[a])) return false;
            digits_end = static_cast<uint32_t>(a + 1);
            while (a >= 0 && is_digit(album[a])) --a;
            digits = static_cast<uint32_t>(a + 1);
            number_found = true;
        } else {
            if (fold_ascii(album[a]) != fold_ascii(pattern[p])) return false;
            --a;
        }
        --p;
    }
    if (a < 0 || !number_found) return false;  // at least one album character stays in front
    prefix = static_cast<uint32_t>(a + 1);
    return true;
}

void write_u32(byte_sink& sink, uint32_t value, const abort_signal& abort) {
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                        static_cast<uint8_t>(value >> 24)};
    sink.write(bytes, 4, abort);
}

uint32_t read_u32(byte_source& source, const abort_signal& abort) {
    uint8_t b[4];
    source.read_exact(b, 4, abort);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
           static_cast<uint32_t>(b[3]) << 24;
}

// The record's length and text size; a size below 8 cannot hold eight texts.
void read_header(byte_source& source, const abort_signal& abort, float& length, uint32_t& n) {
    length = stream_reader(source, abort).read_float();
    n = read_u32(source, abort);
    if (n < browse_field_count) throw ketrel_io::exception_io_data();
}

// Reads the n text bytes, growing the buffer as they arrive (first up to 16384 bytes, then doubling what
// was read), so a false size fails at the end of the stream instead of allocating it all at once.
void read_text_block(byte_source& source, const abort_signal& abort, uint32_t n, kpl::array<char>& block) {
    uint32_t have = 0;
    uint32_t target = n < first_read_step ? n : first_read_step;
    while (have < n) {
        block.resize_exact(target);
        source.read_exact(block.data() + have, target - have, abort);
        have = target;
        target = have > n - have ? n : have * 2;
    }
}

// Splits the block at its zero bytes into exactly eight texts that end exactly at its end.
void split_texts(const kpl::array<char>& block, const char* (&texts)[browse_field_count]) {
    uint32_t position = 0;
    const uint32_t n = block.count();
    for (uint32_t k = 0; k < browse_field_count; ++k) {
        if (position >= n) throw ketrel_io::exception_io_data();
        const void* zero = std::memchr(block.data() + position, 0, n - position);
        if (!zero) throw ketrel_io::exception_io_data();  // a text running past the end
        texts[k] = block.data() + position;
        position = static_cast<uint32_t>(static_cast<const char*>(zero) - block.data()) + 1;
    }
    if (position != n) throw ketrel_io::exception_io_data();  // bytes after the eighth text
}

}  // namespace

const char* browse_field_name(uint32_t index) { return index < browse_field_count ? g_field_names[index] : ""; }

int32_t browse_field_index(const char* name, uint32_t length) {
    uint32_t n = kpl::strnlen(name, length);
    for (uint32_t k = 0; k < browse_field_count; ++k) {
        const char* field = g_field_names[k];
        if (kpl::stricmp_ascii_counted(field, std::strlen(field), name, n) == 0) return static_cast<int32_t>(k);
    }
    return -1;
}

// ---- browse_fields ------------------------------------------------------------------------------------

void browse_fields::write(byte_sink& sink, const abort_signal& abort) const {
    uint32_t n = browse_field_count;
    for (uint32_t k = 0; k < browse_field_count; ++k) {
        size_t text_length = std::strlen(get(k));
        if (text_length > UINT32_MAX - n) kpl::throw_overflow();
        n += static_cast<uint32_t>(text_length);
    }
    stream_writer(sink, abort).write_float(length);
    write_u32(sink, n, abort);
    for (uint32_t k = 0; k < browse_field_count; ++k) {
        const char* text = get(k);
        sink.write(text, std::strlen(text) + 1, abort);
    }
}

void browse_fields::skip(byte_source& source, const abort_signal& abort) {
    float record_length;
    uint32_t n;
    read_header(source, abort, record_length, n);
    source.skip_exact(n, abort);
}

// ---- browse_fields_builder ----------------------------------------------------------------------------

void browse_fields_builder::set(uint32_t index, const char* text, uint32_t length) { m_texts[index].assign(text, length); }

void browse_fields_builder::add(uint32_t index, const char* text, uint32_t length) {
    if (!m_texts[index].is_empty()) m_texts[index].append(g_value_separator);
    m_texts[index].append(text, length);
}

void browse_fields_builder::clear() {
    for (auto& text : m_texts) text.reset();
}

void browse_fields_builder::fill_from_info(const track_info& info) {
    length = static_cast<float>(info.get_length());
    bool album_split = false;
    const char* album = info.meta_get_first("album");
    if (album) {
        const uint32_t album_length = static_cast<uint32_t>(std::strlen(album));
        for (const char* pattern : g_disc_patterns) {
            uint32_t prefix = 0, digits = 0, digits_end = 0;
            if (!match_disc_pattern(album, album_length, pattern, prefix, digits, digits_end)) continue;
            while (prefix > 0 && album[prefix - 1] == ' ') --prefix;
            while (digits + 1 < digits_end && album[digits] == '0') ++digits;  // no leading zeros, one digit stays
            m_texts[browse_album].assign(album, prefix);
            m_texts[browse_disc_number].assign(album + digits, digits_end - digits);
            album_split = true;
            break;
        }
    }
    for (uint32_t k = 0; k < browse_field_count; ++k) {
        if (album_split && (k == browse_album || k == browse_disc_number)) continue;
        m_texts[k].reset();
        int32_t field = info.meta_find(g_field_names[k]);
        if (field < 0) continue;
        const uint32_t values = info.meta_value_count(field);
        for (uint32_t j = 0; j < values; ++j) add(k, info.meta_value(field, j));
    }
}

void browse_fields_builder::read(byte_source& source, const abort_signal& abort) {
    float record_length;
    uint32_t n;
    read_header(source, abort, record_length, n);
    kpl::array<char> block;
    read_text_block(source, abort, n, block);
    const char* texts[browse_field_count];
    split_texts(block, texts);
    for (uint32_t k = 0; k < browse_field_count; ++k) m_texts[k].assign(texts[k]);
    length = record_length;
}

void browse_fields_builder::copy_from(const browse_fields& other) {
    if (&other == this) return;
    for (uint32_t k = 0; k < browse_field_count; ++k) m_texts[k].assign(other.get(k));
}

// ---- browse_fields_packed -----------------------------------------------------------------------------

browse_fields_packed::browse_fields_packed() { point_texts(); }

browse_fields_packed::browse_fields_packed(const browse_fields_packed& other) : browse_fields() {
    point_texts();
    copy_from(other);
    length = other.length;
}

browse_fields_packed& browse_fields_packed::operator=(const browse_fields_packed& other) {
    if (&other != this) {
        copy_from(other);
        length = other.length;
    }
    return *this;
}

void browse_fields_packed::point_texts() {
    if (m_block.count() == 0) {
        for (auto& offset : m_offsets) offset = 0;
        return;
    }
    const char* start = m_block.data();
    const char* p = start;
    for (auto& offset : m_offsets) {
        p += std::strlen(p) + 1;
        const size_t at = static_cast<size_t>(p - start);
        offset = at < far_text ? static_cast<uint16_t>(at) : far_text;
    }
}

const char* browse_fields_packed::find_text(uint32_t index) const {
    const char* p = m_block.data();
    for (uint32_t k = 0; k < index; ++k) p += std::strlen(p) + 1;
    return p;
}

void browse_fields_packed::set(uint32_t, const char*, uint32_t) { kpl::crash(); }

void browse_fields_packed::add(uint32_t, const char*, uint32_t) { kpl::crash(); }

void browse_fields_packed::clear() {
    m_block.clear();
    point_texts();
}

void browse_fields_packed::fill_from_info(const track_info& info) {
    browse_fields_builder builder;
    builder.fill_from_info(info);
    copy_from(builder);
    length = builder.length;
}

void browse_fields_packed::read(byte_source& source, const abort_signal& abort) {
    try {
        float record_length;
        uint32_t n;
        read_header(source, abort, record_length, n);
        kpl::array<char> block;
        read_text_block(source, abort, n, block);
        const char* texts[browse_field_count];
        split_texts(block, texts);
        m_block.swap(block);
        point_texts();
        length = record_length;
    } catch (...) {
        clear();
        length = 0;
        throw;
    }
}

void browse_fields_packed::copy_from(const browse_fields& other) {
    if (&other == this) return;
    uint32_t total = 0;
    for (uint32_t k = 0; k < browse_field_count; ++k) {
        size_t text_length = std::strlen(other.get(k));
        if (text_length >= UINT32_MAX - total) kpl::throw_bad_alloc();
        total += static_cast<uint32_t>(text_length) + 1;
    }
    kpl::array<char> block;
    block.resize_exact(total);
    char* p = block.data();
    for (uint32_t k = 0; k < browse_field_count; ++k) {
        const char* text = other.get(k);
        size_t size = std::strlen(text) + 1;
        std::memcpy(p, text, size);
        p += size;
    }
    m_block.swap(block);
    point_texts();
}

void browse_fields_packed::swap(browse_fields_packed& other) noexcept {
    m_block.swap(other.m_block);
    for (uint32_t k = 0; k + 1 < browse_field_count; ++k) {
        const uint16_t t = m_offsets[k];
        m_offsets[k] = other.m_offsets[k];
        other.m_offsets[k] = t;
    }
    float l = length;
    length = other.length;
    other.length = l;
}
