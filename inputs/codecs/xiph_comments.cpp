#include "inputs/codecs/xiph_comments.h"

#include <cstring>

#include "foundation/kpl/array.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/kpl/utf8.h"
#include "inputs/codecs/opus_head.h"
#include "inputs/field_value_map.h"
#include "metadata/track_info.h"
#include "metadata/vorbis_comment_fields.h"

namespace {

const char* reader_name(const char* name) {
    static const char* const pairs[][2] = {{"ORGANIZATION", "PUBLISHER"},
                                           {"ALBUMARTIST", "ALBUM ARTIST"},
                                           {"TRACKTOTAL", "TOTALTRACKS"},
                                           {"DISCTOTAL", "TOTALDISCS"}};
    for (const auto& pair : pairs)
        if (kpl::stricmp_ascii(name, pair[0]) == 0) return pair[1];
    return name;
}

// An R128 gain as atoi reads it (leading blanks, a sign, the digits up to the first other character; no
// digit reads 0), but checked: false when the number leaves the 16-bit range of a Q7.8 gain.
bool parse_r128_gain(const char* text, int32_t& out) {
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\v' || *text == '\f') ++text;
    bool negative = false;
    if (*text == '-' || *text == '+') negative = *text++ == '-';
    int32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > 32768) return false;
    }
    if (negative) value = -value;
    if (value > 32767) return false;
    out = value;
    return true;
}

}  // namespace

void xiph_comments_to_info(track_info& info, const char* vendor, size_t vendor_length,
                           const xiph_comment_text* comments, size_t count, xiph_comment_rules rules,
                           int32_t output_gain) {
    info.info_set("tool", track_info::npos, vendor, static_cast<uint32_t>(vendor_length));
    field_value_map fields;
    kpl::utf8_string_pow2 name, value;
    for (size_t i = 0; i < count; ++i) {
        const char* text = comments[i].text;
        size_t length = comments[i].length;
        if (rules == xiph_comment_rules::vorbis && !kpl::utf8_check(text, length)) continue;
        const char* eq = static_cast<const char*>(std::memchr(text, '=', length));
        if (!eq) continue;
        size_t name_length = static_cast<size_t>(eq - text);
        if (rules == xiph_comment_rules::vorbis && name_length == 0) continue;
        name.assign(text, static_cast<uint32_t>(name_length));
        if (name.length() != name_length) continue;  // a zero byte inside the name
        value.assign(eq + 1, static_cast<uint32_t>(length - name_length - 1));
        if (rules == xiph_comment_rules::opus && kpl::stricmp_ascii(name.c_str(), "R128_TRACK_GAIN") == 0) {
            int32_t v;
            if (parse_r128_gain(value.c_str(), v)) {
                replaygain_values rg;
                rg.album_gain = static_cast<float>(output_gain / 256.0 + opus_gain_reference_db);
                rg.track_gain = static_cast<float>((double(output_gain) + v) / 256.0 + opus_gain_reference_db);
                info.set_replaygain(rg);
            }
            continue;
        }
        if (vorbis_field_is_picture(name.c_str())) continue;
        const char* mapped = reader_name(name.c_str());
        if (info.replaygain_try_set_field(mapped, value.c_str(), value.length())) continue;
        fields.add(mapped, value.c_str(), value.length());
    }
    fields.clean_up();
    fields.store_into_info(info);
}

void opus_tags_read(const uint8_t* packet, size_t size, int32_t output_gain, track_info& info) {
    if (!packet || size < 16 || std::memcmp(packet, "OpusTags", 8) != 0) throw ketrel_io::exception_io_data();
    size_t pos = 8;
    auto read_u32 = [&](uint32_t& v) {
        if (size - pos < 4) throw ketrel_io::exception_io_data();
        v = packet[pos] | (uint32_t(packet[pos + 1]) << 8) | (uint32_t(packet[pos + 2]) << 16) |
            (uint32_t(packet[pos + 3]) << 24);
        pos += 4;
    };
    uint32_t vendor_length;
    read_u32(vendor_length);
    if (size - pos < vendor_length) throw ketrel_io::exception_io_data();
    const char* vendor = reinterpret_cast<const char*>(packet + pos);
    pos += vendor_length;
    uint32_t count;
    read_u32(count);
    kpl::array<xiph_comment_text> comments;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length;
        read_u32(length);
        if (size - pos < length) throw ketrel_io::exception_io_data();
        comments.append(xiph_comment_text{reinterpret_cast<const char*>(packet + pos), length});
        pos += length;
    }
    xiph_comments_to_info(info, vendor, vendor_length, comments.data(), comments.count(), xiph_comment_rules::opus,
                          output_gain);
}
