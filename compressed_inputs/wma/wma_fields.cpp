#include "compressed_inputs/wma/wma_fields.h"

#include <cmath>
#include <cstring>

#include "foundation/kpl/bit_array.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/kpl/utf8.h"
#include "metadata/replaygain.h"
#include "metadata/track_info.h"

const char* const wma_field_prefix = "ketrel/";

namespace {

struct name_pair {
    const char* attribute;
    const char* field;
};

const name_pair g_field_table[] = {
    {"Description", "comment"},
    {"Title", "title"},
    {"WM/AlbumArtist", "album artist"},
    {"WM/AlbumTitle", "album"},
    {"Author", "artist"},
    {"Rating", "rating"},
    {"Copyright", "copyright"},
    {"WM/BeatsPerMinute", "bpm"},
    {"WM/Category", "category"},
    {"WM/Composer", "composer"},
    {"WM/Conductor", "conductor"},
    {"WM/EncodedBy", "encoded by"},
    {"WM/Genre", "genre"},
    {"WM/ISRC", "isrc"},
    {"WM/Language", "language"},
    {"WM/Lyrics", "lyrics"},
    {"WM/MediaCredits", "credits"},
    {"WM/Mood", "mood"},
    {"WM/OriginalAlbumTitle", "original album"},
    {"WM/OriginalArtist", "original artist"},
    {"WM/OriginalLyricist", "original lyricist"},
    {"WM/OriginalReleaseTime", "original release time"},
    {"WM/OriginalReleaseYear", "original release date"},
    {"WM/PartOfSet", "discnumber"},
    {"WM/Producer", "producer"},
    {"WM/Publisher", "publisher"},
    {"WM/SubTitle", "subtitle"},
    {"WM/SubTitleDescription", "subtitle description"},
    {"WM/TrackNumber", "tracknumber"},
    {"TotalTracks", "totaltracks"},
    {"WM/Writer", "writer"},
    {"WM/Year", "date"},
};
static_assert(sizeof g_field_table / sizeof g_field_table[0] == 32, "32 field pairs");

// Names a rewrite removes although they are never written under these names.
const name_pair g_managed_table[] = {
    {"WM/TrackNumber", "tracknumber"},
    {"WM/Track", "tracknumber"},
};

const char* const g_multi_value[] = {
    "Author", "WM/AlbumArtist", "WM/AlbumCoverURL", "WM/Category", "WM/Composer", "WM/Conductor",
    "WM/Director", "WM/Genre", "WM/GenreID", "WM/Language", "WM/Lyrics_Synchronised", "WM/Mood",
    "WM/Picture", "WM/Producer", "WM/PromotionURL", "WM/UserWebURL", "WM/Writer",
};

const char* const g_replaygain_names[] = {
    "replaygain_track_gain", "replaygain_track_peak", "replaygain_album_gain", "replaygain_album_peak",
};

bool has_prefix(const char* name) { return std::strncmp(name, wma_field_prefix, 7) == 0; }

bool is_replaygain_name(const char* name) {
    for (const char* rg : g_replaygain_names) {
        if (kpl::stricmp_ascii(name, rg) == 0) return true;
    }
    return false;
}

uint32_t read_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint64_t read_le64(const uint8_t* p) { return uint64_t(read_le32(p)) | uint64_t(read_le32(p + 4)) << 32; }

// A file may hold one text twice under one name (ffmpeg stores "Title" and "Author" both in the Content
// Description and as extended attributes); a field gets each value once.
void add_value(track_info& info, const char* field, const std::string& value) {
    int32_t i = info.meta_find(field);
    if (i >= 0) {
        for (uint32_t j = 0; j < info.meta_value_count(static_cast<uint32_t>(i)); ++j) {
            if (value == info.meta_value(static_cast<uint32_t>(i), j)) return;
        }
    }
    if (i < 0) {
        info.meta_add(field, track_info::npos, value.c_str(), static_cast<uint32_t>(value.size()));
    } else {
        info.meta_add_value(value.c_str(), static_cast<uint32_t>(i), static_cast<uint32_t>(value.size()));
    }
}

}  // namespace

std::string wma_attribute_for_field(const char* field) {
    for (const name_pair& p : g_field_table) {
        if (kpl::stricmp_ascii(p.field, field) == 0) return p.attribute;
    }
    return std::string(wma_field_prefix) + field;
}

std::string wma_field_for_attribute(const char* attribute) {
    for (const name_pair& p : g_field_table) {
        if (kpl::stricmp_ascii(p.attribute, attribute) == 0) return p.field;
    }
    if (has_prefix(attribute)) return attribute + 7;
    return std::string();
}

bool wma_attribute_is_managed(const char* attribute) {
    for (const name_pair& p : g_field_table) {
        if (kpl::stricmp_ascii(p.attribute, attribute) == 0) return true;
    }
    for (const name_pair& p : g_managed_table) {
        if (kpl::stricmp_ascii(p.attribute, attribute) == 0) return true;
    }
    return is_replaygain_name(attribute) || has_prefix(attribute);
}

bool wma_attribute_is_multi_value(const char* attribute) {
    for (const char* m : g_multi_value) {
        if (kpl::stricmp_ascii(m, attribute) == 0) return true;
    }
    return false;
}

std::string wma_text_from_utf16(const uint8_t* data, size_t size) {
    std::vector<wchar_t> units;
    units.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) {
        wchar_t unit = static_cast<wchar_t>(data[i] | data[i + 1] << 8);
        if (unit == 0) break;
        units.push_back(unit);
    }
    if (units.empty()) return std::string();
    size_t room = kpl::utf8_length_of_utf16(units.data(), units.size());
    std::string out(room, '\0');
    size_t n = kpl::utf16_to_utf8_counted(&out[0], room, units.data(), units.size());
    out.resize(n);
    return out;
}

std::vector<uint8_t> wma_utf16_from_text(const std::string& text) {
    size_t room = kpl::utf16_length_of_utf8_counted(text.data(), text.size());
    std::vector<wchar_t> units(room + 1, 0);
    size_t n = kpl::utf8_to_utf16_counted(units.data(), units.size(), text.data(), text.size());
    std::vector<uint8_t> out;
    out.reserve(2 * (n + 1));
    for (size_t i = 0; i <= n; ++i) {
        uint16_t u = i < n ? static_cast<uint16_t>(units[i]) : 0;
        out.push_back(static_cast<uint8_t>(u));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    return out;
}

void wma_info_from_attributes(const std::vector<wma_attribute>& attributes, track_info& info) {
    for (const wma_attribute& a : attributes) {
        const char* name = a.name.c_str();
        if (a.type == wma_type_dword) {
            if (a.value.size() != 4) throw ketrel_io::exception_io_data();
            uint32_t v = read_le32(a.value.data());
            if (std::strcmp(name, "Bitrate") == 0) {
                info.info_set_int("bitrate", (int64_t(v) + 500) / 1000);
            } else if (std::strcmp(name, "WM/TrackNumber") == 0) {
                add_value(info, "tracknumber", std::to_string(v));
            } else if (std::strcmp(name, "WM/Track") == 0) {
                add_value(info, "tracknumber", std::to_string(uint64_t(v) + 1));
            }
        } else if (a.type == wma_type_string) {
            std::string value = wma_text_from_utf16(a.value.data(), a.value.size());
            if (value.empty()) continue;
            bool in_table = false;
            for (const name_pair& p : g_field_table) {
                if (kpl::stricmp_ascii(p.attribute, name) == 0) {
                    add_value(info, p.field, value);
                    in_table = true;
                    break;
                }
            }
            if (in_table) continue;
            if (is_replaygain_name(name)) {
                info.replaygain_try_set_field(name, value.c_str(), static_cast<uint32_t>(value.size()));
            } else if (has_prefix(name) && track_info::is_valid_field_name(name + 7)) {
                add_value(info, name + 7, value);
            }
        } else if (a.type == wma_type_qword) {
            if (a.value.size() != 8) throw ketrel_io::exception_io_data();
        }
    }
}

void wma_keep_first_numbers(track_info& info) {
    for (const char* field : {"tracknumber", "totaltracks", "discnumber", "totaldiscs"}) {
        int32_t i = info.meta_find(field);
        if (i < 0 || info.meta_value_count(static_cast<uint32_t>(i)) < 2) continue;
        const kpl::bit_mask_one first(0);
        info.meta_remove_values(static_cast<uint32_t>(i), kpl::bit_mask_not(first));
    }
}

void wma_attributes_from_info(const track_info& info, std::vector<wma_string_attribute>& out) {
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        const std::string name = wma_attribute_for_field(info.meta_name(i));
        const uint32_t count = info.meta_value_count(i);
        if (count == 0) continue;
        if (wma_attribute_is_multi_value(name.c_str())) {
            for (uint32_t j = 0; j < count; ++j) out.push_back({name, info.meta_value(i, j)});
        } else {
            std::string joined;
            for (uint32_t j = 0; j < count; ++j) {
                if (j) joined += "; ";
                joined += info.meta_value(i, j);
            }
            out.push_back({name, joined});
        }
    }
    const replaygain_values rg = info.get_replaygain();
    char text[replaygain_peak_text_size];
    if (replaygain_gain_to_text(text, rg.album_gain)) out.push_back({"replaygain_album_gain", text});
    if (replaygain_gain_to_text(text, rg.track_gain)) out.push_back({"replaygain_track_gain", text});
    if (replaygain_peak_to_text(text, rg.album_peak)) out.push_back({"replaygain_album_peak", text});
    if (replaygain_peak_to_text(text, rg.track_peak)) out.push_back({"replaygain_track_peak", text});
}

bool wma_duration_seconds(const std::vector<wma_attribute>& attributes, double& seconds) {
    for (const wma_attribute& a : attributes) {
        if (a.stream != 0 || a.name != "Duration") continue;
        if (a.type != wma_type_qword || a.value.size() != 8) throw ketrel_io::exception_io_data();
        seconds = static_cast<double>(read_le64(a.value.data())) / 10000000.0;
        return true;
    }
    return false;
}

kpl::guid wma_subtype_of_format_tag(uint16_t format_tag) {
    return kpl::guid{format_tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

bool wma_codec_fields(const kpl::guid& subtype, uint32_t bits_per_sample, track_info& info) {
    struct codec_row {
        uint16_t tag;
        const char* codec;
        const char* profile;
        bool lossless;
    };
    static const codec_row rows[] = {
        {0x55, "MP3", nullptr, false},       {0x130, "ACELP", nullptr, false}, {0x163, "WMA", "Lossless", true},
        {0x161, "WMA", "V8", false},         {0x162, "WMA", "V9", false},      {0x0A, "WMA", "Voice", false},
        {0x01, "PCM", nullptr, true},
    };
    for (const codec_row& row : rows) {
        if (!kpl::guid_equal(subtype, wma_subtype_of_format_tag(row.tag))) continue;
        info.info_set("codec", track_info::npos, row.codec, track_info::npos);
        if (row.profile) info.info_set("codec_profile", track_info::npos, row.profile, track_info::npos);
        info.info_set("encoding", track_info::npos, row.lossless ? "lossless" : "lossy", track_info::npos);
        if (row.lossless) info.info_set_int("bitspersample", bits_per_sample);
        return true;
    }
    return false;
}

uint64_t wma_seek_start(double seconds, uint32_t sample_rate) {
    if (!(seconds > 0) || sample_rate == 0) return 0;
    double samples = std::floor(seconds * sample_rate);
    return static_cast<uint64_t>(std::floor(10000000.0 * samples / sample_rate));
}
