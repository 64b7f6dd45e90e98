#include "inputs/picture_comments.h"

#include <windows.h>
#include <objidl.h>

#include <cstring>

#include "foundation/kpl/base64.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/kpl/utf8.h"
#include "foundation/win32/gdiplus.h"
#include "inputs/ogg_stream_handler.h"
#include "metadata/tag_space.h"
#include "metadata/tags/id3v2_tag_io.h"
#include "metadata/vorbis_comment_fields.h"

namespace {

struct comment_span {
    const uint8_t* data;
    uint32_t length;
};

// The vendor and the comments of a packet after its magic.
void split_comments(const uint8_t* packet, size_t size, size_t magic_length, comment_span& vendor,
                    kpl::array<comment_span>& comments) {
    if (size < magic_length) throw ketrel_io::exception_io_data();
    size_t pos = magic_length;
    auto u32 = [&]() {
        if (size - pos < 4) throw ketrel_io::exception_io_data();
        uint32_t v = packet[pos] | (uint32_t(packet[pos + 1]) << 8) | (uint32_t(packet[pos + 2]) << 16) |
                     (uint32_t(packet[pos + 3]) << 24);
        pos += 4;
        return v;
    };
    uint32_t length = u32();
    if (size - pos < length) throw ketrel_io::exception_io_data();
    vendor = {packet + pos, length};
    pos += length;
    uint32_t count = u32();
    for (uint32_t i = 0; i < count; ++i) {
        length = u32();
        if (size - pos < length) throw ketrel_io::exception_io_data();
        comments.append(comment_span{packet + pos, length});
        pos += length;
    }
}

uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]; }

void put_be32(kpl::byte_array& out, uint32_t v) {
    for (int k = 3; k >= 0; --k) out.append(static_cast<uint8_t>(v >> (8 * k)));
}
void put_le32(kpl::byte_array& out, uint32_t v) {
    for (int k = 0; k < 4; ++k) out.append(static_cast<uint8_t>(v >> (8 * k)));
}
void put_bytes(kpl::byte_array& out, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) out.append(p[i]);
}

// One "METADATA_BLOCK_PICTURE" block into the map; false when it cannot be decoded.
bool read_picture_block(const kpl::byte_array& block, album_art_map& out) {
    const uint8_t* p = block.data();
    size_t size = block.count(), pos = 0;
    auto field = [&](uint32_t& v) {
        if (size - pos < 4) return false;
        v = be32(p + pos);
        pos += 4;
        return true;
    };
    uint32_t type, mime_length, description_length, skip, data_length;
    if (!field(type) || !field(mime_length) || size - pos < mime_length) return false;
    pos += mime_length;
    if (!field(description_length) || size - pos < description_length) return false;
    pos += description_length;
    for (int i = 0; i < 4; ++i)
        if (!field(skip)) return false;
    if (!field(data_length) || size - pos < data_length) return false;
    kpl::guid kind;
    if (!picture_type_to_album_art_kind(type, kind)) return true;  // a type without a kind: skipped
    out.set(kind, album_art_data_make(p + pos, data_length));
    return true;
}

bool decode_base64(const char* text, uint32_t length, kpl::byte_array& out) {
    try {
        uint32_t n = kpl::base64_decoded_size(text, length);
        out.resize_exact(n);
        kpl::base64_decode(text, length, out.data());
        return true;
    } catch (const kpl::exception_invalid_params&) {
        return false;
    }
}

}  // namespace

void picture_comments_read(const uint8_t* packet, size_t size, size_t magic_length, album_art_map& out) {
    comment_span vendor;
    kpl::array<comment_span> comments;
    split_comments(packet, size, magic_length, vendor, comments);
    kpl::byte_array bytes;
    for (const comment_span& c : comments) {
        const char* text = reinterpret_cast<const char*>(c.data);
        if (!kpl::utf8_check(text, c.length)) continue;
        const char* eq = static_cast<const char*>(std::memchr(text, '=', c.length));
        if (!eq) continue;
        const size_t name_length = static_cast<size_t>(eq - text);
        const char* value = eq + 1;
        const uint32_t value_length = static_cast<uint32_t>(c.length - name_length - 1);
        if (kpl::stricmp_ascii_counted(text, name_length, "COVERART", 8) == 0) {
            if (decode_base64(value, value_length, bytes))
                out.set(album_art_kind_front, album_art_data_make(bytes.data(), bytes.count()));
        } else if (kpl::stricmp_ascii_counted(text, name_length, "METADATA_BLOCK_PICTURE", 22) == 0) {
            if (decode_base64(value, value_length, bytes)) read_picture_block(bytes, out);
        }
    }
}

const char* picture_mime_type(const uint8_t* data, size_t size) {
    static const uint8_t png[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    if (size > 7 && std::memcmp(data, png, 8) == 0) return "image/png";
    if (size > 1 && data[0] == 0xFF && data[1] == 0xD8) return "image/jpeg";
    if (size >= 3 && std::memcmp(data, "GIF", 3) == 0) return "image/gif";
    return "";
}

void picture_dimensions(const void* data, size_t size, uint32_t& width, uint32_t& height, uint32_t& depth) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (!memory) kpl::throw_bad_alloc();
    void* target = GlobalLock(memory);
    if (size) std::memcpy(target, data, size);
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
        GlobalFree(memory);
        kpl::throw_bad_alloc();
    }
    try {
        gdiplus_token gdiplus;
        gdiplus_bitmap picture(stream);
        gdiplus_check(picture.status());
        width = picture.width();
        height = picture.height();
        depth = (picture.pixel_format() >> 8) & 0xFF;
    } catch (...) {
        stream->Release();
        throw;
    }
    stream->Release();
}

void picture_block_make(uint32_t type, const void* data, size_t size, kpl::byte_array& out) {
    uint32_t width = 0, height = 0, depth = 0;
    picture_dimensions(data, size, width, height, depth);
    const char* mime = picture_mime_type(static_cast<const uint8_t*>(data), size);
    out.clear();
    put_be32(out, type);
    put_be32(out, static_cast<uint32_t>(std::strlen(mime)));
    put_bytes(out, mime, std::strlen(mime));
    put_be32(out, 0);
    put_be32(out, width);
    put_be32(out, height);
    put_be32(out, depth);
    put_be32(out, 0);
    put_be32(out, static_cast<uint32_t>(size));
    put_bytes(out, data, size);
}

void picture_comments_write(const uint8_t* old_packet, size_t old_size, const ogg_comment_magic& magic,
                            const album_art_map& pictures, kpl::byte_array& out) {
    comment_span vendor;
    kpl::array<comment_span> comments;
    split_comments(old_packet, old_size, magic.length, vendor, comments);
    kpl::array<comment_span> kept;
    kpl::utf8_string_pow2 name;
    for (const comment_span& c : comments) {
        const char* text = reinterpret_cast<const char*>(c.data);
        const char* eq = static_cast<const char*>(std::memchr(text, '=', c.length));
        if (eq) {
            name.assign(text, static_cast<uint32_t>(eq - text));
            if (vorbis_field_is_picture(name.c_str())) continue;
        }
        kept.append(c);  // every other comment stays as it was, valid UTF-8 or not
    }
    kpl::array<kpl::utf8_string_pow2> blocks;
    kpl::byte_array block;
    for (uint32_t i = 0; i < pictures.count(); ++i) {
        uint32_t type;
        if (!album_art_kind_to_picture_type(pictures[i].kind, type)) continue;
        const album_art_data& data = *pictures[i].data;
        picture_block_make(type, data.get_data(), data.get_size(), block);
        kpl::utf8_string_pow2 entry("METADATA_BLOCK_PICTURE=");
        kpl::utf8_string_pow2 encoded;
        kpl::base64_encode(block.data(), block.count(), encoded);
        entry.append(encoded.c_str(), encoded.length());
        blocks.append(entry);
    }
    out.clear();
    put_bytes(out, magic.bytes, magic.length);
    put_le32(out, vendor.length);
    put_bytes(out, vendor.data, vendor.length);
    put_le32(out, kept.count() + blocks.count());
    for (const comment_span& c : kept) {
        put_le32(out, c.length);
        put_bytes(out, c.data, c.length);
    }
    for (const auto& entry : blocks) {
        put_le32(out, entry.length());
        put_bytes(out, entry.c_str(), entry.length());
    }
    if (magic.framing) out.append(1);
    byte_buffer_pad_tag_space(old_size, out);
}
