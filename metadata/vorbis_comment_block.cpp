#include "metadata/vorbis_comment_block.h"

#include <cstring>

#include "foundation/fs/byte_stream.h"
#include "foundation/fs/memory_sink.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "metadata/replaygain.h"
#include "metadata/tags/tag_exceptions.h"
#include "metadata/tag_space.h"
#include "metadata/track_info.h"
#include "metadata/vorbis_comment_fields.h"

namespace {

void write_u32(byte_sink& sink, uint32_t value) {
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                        static_cast<uint8_t>(value >> 24)};
    sink.write(bytes, 4, abort_never);
}

uint32_t checked_u32(size_t n) {
    if (n > UINT32_MAX) kpl::throw_overflow();
    return static_cast<uint32_t>(n);
}

void write_counted(byte_sink& sink, const void* bytes, size_t n) {
    write_u32(sink, checked_u32(n));
    if (n) sink.write(bytes, n, abort_never);
}

// The present ReplayGain values as entries; returns how many were written.
uint32_t write_replaygain_entries(byte_sink& sink, const replaygain_values& rg) {
    uint32_t written = 0;
    char gain[replaygain_gain_text_size];
    char peak[replaygain_peak_text_size];
    if (replaygain_gain_to_text(gain, rg.album_gain)) {
        vorbis_comment_write_entry(sink, replaygain_field_album_gain, gain);
        ++written;
    }
    if (replaygain_peak_to_text(peak, rg.album_peak)) {
        vorbis_comment_write_entry(sink, replaygain_field_album_peak, peak);
        ++written;
    }
    if (replaygain_gain_to_text(gain, rg.track_gain)) {
        vorbis_comment_write_entry(sink, replaygain_field_track_gain, gain);
        ++written;
    }
    if (replaygain_peak_to_text(peak, rg.track_peak)) {
        vorbis_comment_write_entry(sink, replaygain_field_track_peak, peak);
        ++written;
    }
    return written;
}

// Reads a block in memory; running past its end is malformed data.
class block_reader {
public:
    block_reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    void skip(size_t n) {
        need(n);
        m_position += n;
    }
    uint32_t read_u32() {
        need(4);
        const uint8_t* p = m_data + m_position;
        m_position += 4;
        return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
               static_cast<uint32_t>(p[3]) << 24;
    }
    // The position of the next n bytes, which are then stepped over.
    const uint8_t* take(size_t n) {
        need(n);
        const uint8_t* p = m_data + m_position;
        m_position += n;
        return p;
    }

private:
    void need(size_t n) const {
        if (n > m_size - m_position) throw ketrel_io::exception_io_data();
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};

struct kept_entry {
    const uint8_t* text;
    uint32_t length;
};

bool entry_is_picture(const uint8_t* text, uint32_t length) {
    const void* equals = std::memchr(text, '=', length);
    if (!equals) return false;
    uint32_t name_length = static_cast<uint32_t>(static_cast<const uint8_t*>(equals) - text);
    if (std::memchr(text, 0, name_length)) return false;
    kpl::utf8_string_pow2 name(reinterpret_cast<const char*>(text), name_length);
    return vorbis_field_is_picture(name.c_str());
}

void take_sink(kpl::array<uint8_t>& out, const memory_sink& sink) { byte_buffer_set(out, sink.data(), sink.size()); }

}  // namespace

void vorbis_comment_check_field_names(const track_info& info) {
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        const char* name = info.meta_name(i);
        const char* written = vorbis_field_canonical_name(name);
        if (!track_info::is_valid_field_name(written) || std::strchr(written, '~')) {
            throw exception_tag_field_name(name, "a Vorbis comment");
        }
    }
}

void vorbis_comment_write_entry(byte_sink& sink, const char* name, const char* value) {
    size_t name_length = std::strlen(name);
    size_t value_length = std::strlen(value);
    if (name_length > UINT32_MAX - 1 || value_length > UINT32_MAX - 1 - name_length) kpl::throw_overflow();
    write_u32(sink, static_cast<uint32_t>(name_length + 1 + value_length));
    sink.write(name, name_length, abort_never);
    sink.write("=", 1, abort_never);
    if (value_length) sink.write(value, value_length, abort_never);
}

void vorbis_comment_write(const track_info& info, const char* vendor, kpl::array<uint8_t>& out) {
    vorbis_comment_check_field_names(info);
    const replaygain_values rg = info.get_replaygain();
    const uint32_t n = rg.count_valid() + info.meta_total_value_count();
    memory_sink sink;
    write_counted(sink, vendor, std::strlen(vendor));
    write_u32(sink, n);
    uint32_t written = 0;
    const uint32_t fields = info.meta_count();
    for (uint32_t i = 0; i < fields; ++i) {
        const char* name = vorbis_field_canonical_name(info.meta_name(i));
        const uint32_t values = info.meta_value_count(i);
        for (uint32_t j = 0; j < values; ++j) {
            vorbis_comment_write_entry(sink, name, info.meta_value(i, j));
            ++written;
        }
    }
    written += write_replaygain_entries(sink, rg);
    kpl::dynamic_assert(written == n);
    take_sink(out, sink);
}

void vorbis_comment_rewrite(const uint8_t* old_packet, size_t old_size, const uint8_t* magic, size_t magic_length,
                            bool framing, const track_info& info, kpl::array<uint8_t>& out) {
    vorbis_comment_check_field_names(info);
    // The old packet: vendor and picture entries are kept (as positions in the old packet).
    block_reader reader(old_packet, old_size);
    reader.skip(magic_length);
    const uint32_t vendor_length = reader.read_u32();
    const uint8_t* vendor = reader.take(vendor_length);
    const uint32_t old_count = reader.read_u32();
    kpl::array<kept_entry> pictures;
    for (uint32_t k = 0; k < old_count; ++k) {
        const uint32_t length = reader.read_u32();
        const uint8_t* text = reader.take(length);
        if (entry_is_picture(text, length)) pictures.append(kept_entry{text, length});
    }

    // The new packet.
    const replaygain_values rg = info.get_replaygain();
    const uint32_t fields = info.meta_count();
    uint32_t n = rg.count_valid() + pictures.count();
    for (uint32_t i = 0; i < fields; ++i) {
        if (!vorbis_field_is_picture(vorbis_field_canonical_name(info.meta_name(i)))) n += info.meta_value_count(i);
    }
    memory_sink sink;
    if (magic_length) sink.write(magic, magic_length, abort_never);
    write_counted(sink, vendor, vendor_length);
    write_u32(sink, n);
    uint32_t written = 0;
    for (uint32_t i = 0; i < fields; ++i) {
        const char* name = vorbis_field_canonical_name(info.meta_name(i));
        if (vorbis_field_is_picture(name)) continue;
        const uint32_t values = info.meta_value_count(i);
        for (uint32_t j = 0; j < values; ++j) {
            vorbis_comment_write_entry(sink, name, info.meta_value(i, j));
            ++written;
        }
    }
    written += write_replaygain_entries(sink, rg);
    for (const kept_entry& picture : pictures) {
        write_counted(sink, picture.text, picture.length);
        ++written;
    }
    kpl::dynamic_assert(written == n);
    if (framing) sink.write("\x01", 1, abort_never);
    take_sink(out, sink);
}

void vorbis_comment_read_vendor(const uint8_t* block, size_t length, kpl::utf8_string& out) {
    block_reader reader(block, length);
    const uint32_t vendor_length = reader.read_u32();
    const uint8_t* vendor = reader.take(vendor_length);
    out.assign(reinterpret_cast<const char*>(vendor), vendor_length);
}
