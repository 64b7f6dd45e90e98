#include "inputs/flac/flac_metadata.h"

#include <cstring>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/number_format.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/kpl/utf8.h"
#include "inputs/field_value_map.h"
#include "metadata/audio_block.h"
#include "metadata/vorbis_comment_fields.h"

void flac_streaminfo_to_info(const FLAC__StreamMetadata_StreamInfo& streaminfo, track_info& info) {
    if (streaminfo.sample_rate == 0 || streaminfo.channels == 0) throw ketrel_io::exception_io_data();
    info.info_set_int("samplerate", streaminfo.sample_rate);
    info.info_set_int("channels", streaminfo.channels);
    info.info_set_int("bitspersample", streaminfo.bits_per_sample);
    bool zero = true;
    for (uint8_t b : streaminfo.md5sum) zero = zero && b == 0;
    if (!zero) {
        static const char digits[] = "0123456789ABCDEF";
        char text[33];
        for (int i = 0; i < 16; ++i) {
            text[2 * i] = digits[streaminfo.md5sum[i] >> 4];
            text[2 * i + 1] = digits[streaminfo.md5sum[i] & 15];
        }
        text[32] = 0;
        info.info_set("md5", track_info::npos, text, 32);
    }
    info.set_length(static_cast<double>(streaminfo.total_samples) / streaminfo.sample_rate);
}

void flac_comments_to_info(const FLAC__StreamMetadata_VorbisComment& comments, track_info& info) {
    field_value_map map;
    kpl::utf8_string_tight name;
    for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
        const char* entry = reinterpret_cast<const char*>(comments.comments[i].entry);
        const uint32_t length = comments.comments[i].length;
        if (!entry || !kpl::utf8_check(entry, length)) continue;
        const char* equals = static_cast<const char*>(std::memchr(entry, '=', length));
        if (!equals) continue;
        name.set_counted(entry, static_cast<uint32_t>(equals - entry));
        const char* value = equals + 1;
        const uint32_t value_length = length - static_cast<uint32_t>(value - entry);
        if (kpl::stricmp_ascii(name.c_str(), flac_channel_mask_field) == 0) {
            info.info_set(name.c_str(), name.length(), value, value_length);
            continue;
        }
        const char* field = vorbis_field_from_canonical(name.c_str());
        if (info.replaygain_try_set_field(field, value, value_length)) continue;
        map.add(field, value, value_length);
    }
    map.clean_up();
    map.store_into_info(info);
    if (comments.vendor_string.entry && comments.vendor_string.length > 0) {
        info.info_set("tool", track_info::npos, reinterpret_cast<const char*>(comments.vendor_string.entry),
                      comments.vendor_string.length);
    }
}

bool flac_channel_mask_parse(const char* value, uint32_t length, uint32_t& mask) {
    if (length < 3 || length > 10 || value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return false;
    uint32_t result = 0;
    for (uint32_t i = 2; i < length; ++i) {
        const char c = value[i];
        unsigned digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return false;
        result = result << 4 | digit;
    }
    mask = result;
    return true;
}

uint32_t flac_channel_mask(uint32_t stored, uint32_t channels) {
    if (channels == 0) return 0;
    if (stored != 0 && channel_mask_count(stored) == channels) return stored;
    static const uint32_t defaults[9] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
    return channels <= 8 ? defaults[channels] : 0;
}
