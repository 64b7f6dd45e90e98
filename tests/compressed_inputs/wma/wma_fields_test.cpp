#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "compressed_inputs/wma/wma_check.h"
#include "compressed_inputs/wma/wma_fields.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/text_compare.h"
#include "metadata/track_info.h"

namespace {

wma_attribute text(const char* name, const char* value, uint16_t stream = 0) {
    wma_attribute a;
    a.name = name;
    a.type = wma_type_string;
    a.stream = stream;
    a.value = wma_utf16_from_text(value);
    return a;
}

wma_attribute dword(const char* name, uint32_t v) {
    wma_attribute a;
    a.name = name;
    a.type = wma_type_dword;
    for (int i = 0; i < 4; ++i) a.value.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return a;
}

wma_attribute qword(const char* name, uint64_t v) {
    wma_attribute a;
    a.name = name;
    a.type = wma_type_qword;
    for (int i = 0; i < 8; ++i) a.value.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return a;
}

// "name=v1|v2" per field, in field order.
std::string fields_of(const track_info& info) {
    std::string out;
    for (uint32_t i = 0; i < info.meta_count(); ++i) {
        if (!out.empty()) out += ", ";
        out += info.meta_name(i);
        out += "=";
        for (uint32_t j = 0; j < info.meta_value_count(i); ++j) {
            if (j) out += "|";
            out += info.meta_value(i, j);
        }
    }
    return out;
}

std::string attributes_of(const std::vector<wma_string_attribute>& list) {
    std::string out;
    for (const wma_string_attribute& a : list) {
        if (!out.empty()) out += ", ";
        out += a.name + "=" + a.value;
    }
    return out;
}

}  // namespace

TEST_CASE("WMA field table: fields and attribute names both ways, the prefix for the rest") {
    struct row {
        const char* field;
        const char* attribute;
    };
    const row rows[] = {
        {"artist", "Author"},          {"ARTIST", "Author"},
        {"album", "WM/AlbumTitle"},    {"comment", "Description"},
        {"date", "WM/Year"},           {"discnumber", "WM/PartOfSet"},
        {"totaltracks", "TotalTracks"}, {"original release date", "WM/OriginalReleaseYear"},
        {"album artist", "WM/AlbumArtist"}, {"tracknumber", "WM/TrackNumber"},
        {"encoded by", "WM/EncodedBy"}, {"credits", "WM/MediaCredits"},
        {"mood", "WM/Mood"},           {"catalog", "ketrel/catalog"},
        {"totaldiscs", "ketrel/totaldiscs"},
    };
    for (const row& r : rows) {
        CAPTURE(r.field);
        CHECK(wma_attribute_for_field(r.field) == r.attribute);
        std::string back = wma_field_for_attribute(r.attribute);
        CHECK(kpl::stricmp_ascii(back.c_str(), r.field) == 0);
    }
    CHECK(wma_field_for_attribute("wm/albumtitle") == "album");   // any case
    CHECK(wma_field_for_attribute("WM/Track") == "");              // managed, but no name to read
    CHECK(wma_field_for_attribute("KETREL/x") == "");              // the prefix is case-sensitive
    CHECK(wma_field_for_attribute("WM/Picture") == "");

    for (const char* managed : {"Title", "wm/year", "WM/Track", "WM/TrackNumber", "REPLAYGAIN_TRACK_GAIN",
                                "ketrel/anything"}) {
        CAPTURE(managed);
        CHECK(wma_attribute_is_managed(managed));
    }
    for (const char* other : {"WM/Picture", "WM/EncodingSettings", "Duration", "Ketrel/x", "WM/Director"}) {
        CAPTURE(other);
        CHECK_FALSE(wma_attribute_is_managed(other));
    }
    CHECK(wma_attribute_is_multi_value("WM/Genre"));
    CHECK(wma_attribute_is_multi_value("Author"));
    CHECK_FALSE(wma_attribute_is_multi_value("Description"));
    CHECK_FALSE(wma_attribute_is_multi_value("Title"));
}

TEST_CASE("WMA attributes to fields: DWORD and string forms, track numbers, ReplayGain, prefix, duplicates") {
    track_info_store info;
    std::vector<wma_attribute> attrs = {
        text("Title", "Song"),
        text("Author", "A"),
        text("Author", "B"),
        text("WM/Track", "99"),                 // the string form of WM/Track is not read
        dword("WM/Track", 4),                   // the DWORD form gives value + 1
        text("WM/TrackNumber", "7"),            // a later track number is dropped
        dword("WM/TrackNumber", 8),
        text("WM/PartOfSet", "1"),
        text("WM/PartOfSet", "2"),
        dword("Bitrate", 128499),
        dword("SomethingElse", 1),
        text("replaygain_track_gain", "-6.20 dB"),
        text("REPLAYGAIN_ALBUM_PEAK", "0.5"),
        text("ketrel/catalog", "X-1"),
        text("ketrel/", "no name"),
        text("WM/EncodingSettings", "Lavf"),
        text("title", "Song"),                  // the same text again under another spelling
        text("WM/Genre", ""),                   // empty values are skipped
        qword("Duration", 30180000),
    };
    wma_info_from_attributes(attrs, info);
    wma_keep_first_numbers(info);
    CHECK(fields_of(info) == "title=Song, artist=A|B, tracknumber=5, discnumber=1, catalog=X-1");
    CHECK(info.info_get_int("bitrate") == 128);
    CHECK(info.get_replaygain().track_gain == doctest::Approx(-6.2));
    CHECK(info.get_replaygain().album_peak == doctest::Approx(0.5));
    double seconds = 0;
    REQUIRE(wma_duration_seconds(attrs, seconds));
    CHECK(seconds == doctest::Approx(3.018));

    SUBCASE("a DWORD or QWORD of the wrong size is damage") {
        wma_attribute bad = dword("Bitrate", 1);
        bad.value.pop_back();
        CHECK_THROWS_AS(wma_info_from_attributes({bad}, info), ketrel_io::exception_io_data);
        wma_attribute badq = qword("Duration", 1);
        badq.value.push_back(0);
        CHECK_THROWS_AS(wma_info_from_attributes({badq}, info), ketrel_io::exception_io_data);
        CHECK_THROWS_AS(wma_duration_seconds({badq}, seconds), ketrel_io::exception_io_data);
    }
    SUBCASE("no duration") { CHECK_FALSE(wma_duration_seconds({text("Title", "x")}, seconds)); }
}

TEST_CASE("WMA fields to attributes: multi-value names, joined values, the prefix, ReplayGain texts") {
    track_info_store info;
    info.meta_add("mood", track_info::npos, "calm", track_info::npos);
    info.meta_add_value("dark", 0);
    info.meta_add("comment", track_info::npos, "a", track_info::npos);
    info.meta_add_value("b", 1);
    info.meta_add("catalog", track_info::npos, "X", track_info::npos);
    info.meta_add("Artist", track_info::npos, "A", track_info::npos);
    replaygain_values rg;
    rg.track_gain = -6.5f;
    rg.album_peak = 1.0f;
    info.set_replaygain(rg);
    std::vector<wma_string_attribute> out;
    wma_attributes_from_info(info, out);
    CHECK(attributes_of(out) ==
          "WM/Mood=calm, WM/Mood=dark, Description=a; b, ketrel/catalog=X, Author=A, "
          "replaygain_track_gain=-6.50 dB, replaygain_album_peak=1.000000");

    // And back: the same fields and ReplayGain.
    std::vector<wma_attribute> attrs;
    for (const wma_string_attribute& a : out) attrs.push_back(text(a.name.c_str(), a.value.c_str()));
    track_info_store read;
    wma_info_from_attributes(attrs, read);
    CHECK(fields_of(read) == "mood=calm|dark, comment=a; b, catalog=X, artist=A");
    CHECK(read.get_replaygain() == info.get_replaygain());
}

TEST_CASE("WMA texts: UTF-16 both ways") {
    const std::string text = "Caf\xC3\xA9 \xF0\x9F\x8E\xB5";
    std::vector<uint8_t> wide = wma_utf16_from_text(text);
    CHECK(wide.size() == 2 * (5 + 2 + 1));   // five units, a surrogate pair, the zero
    CHECK(wide[wide.size() - 1] == 0);
    CHECK(wide[wide.size() - 2] == 0);
    CHECK(wma_text_from_utf16(wide.data(), wide.size()) == text);
    CHECK(wma_text_from_utf16(wide.data(), 3) == "C");   // an odd byte count reads whole units only
    CHECK(wma_text_from_utf16(nullptr, 0) == "");
}

TEST_CASE("WMA codec table and seek start") {
    struct row {
        uint16_t tag;
        const char* codec;
        const char* profile;
        const char* encoding;
        const char* bits;
    };
    const row rows[] = {
        {0x161, "WMA", "V8", "lossy", nullptr},     {0x162, "WMA", "V9", "lossy", nullptr},
        {0x163, "WMA", "Lossless", "lossless", "24"}, {0x0A, "WMA", "Voice", "lossy", nullptr},
        {0x55, "MP3", nullptr, "lossy", nullptr},   {0x130, "ACELP", nullptr, "lossy", nullptr},
        {0x01, "PCM", nullptr, "lossless", "24"},
    };
    for (const row& r : rows) {
        CAPTURE(r.tag);
        track_info_store info;
        REQUIRE(wma_codec_fields(wma_subtype_of_format_tag(r.tag), 24, info));
        CHECK(std::string(info.info_get_by_name("codec")) == r.codec);
        CHECK((info.info_get_by_name("codec_profile") ? std::string(info.info_get_by_name("codec_profile")) : "") ==
              (r.profile ? r.profile : ""));
        CHECK(std::string(info.info_get_by_name("encoding")) == r.encoding);
        CHECK((info.info_get_by_name("bitspersample") ? std::string(info.info_get_by_name("bitspersample")) : "") ==
              (r.bits ? r.bits : ""));
    }
    track_info_store none;
    CHECK_FALSE(wma_codec_fields(wma_subtype_of_format_tag(0x160), 16, none));
    kpl::guid other = wma_subtype_of_format_tag(0x161);
    other.data4[7] ^= 1;   // a subtype whose tail is not the audio one
    CHECK_FALSE(wma_codec_fields(other, 16, none));
    CHECK(none.info_count() == 0);

    CHECK(wma_seek_start(0, 44100) == 0);
    CHECK(wma_seek_start(-1, 44100) == 0);
    CHECK(wma_seek_start(1.5, 44100) == 15000000);
    CHECK(wma_seek_start(1.0 / 44100 * 0.5, 44100) == 0);     // within the first sample
    CHECK(wma_seek_start(1.0, 22050) == 10000000);
    CHECK(wma_seek_start(0.00005, 22050) == 453);               // sample 1 of 22050 Hz: 453.5 units, floored
    CHECK(wma_seek_start(10, 0) == 0);
}

TEST_CASE("WMA error texts: the runtime's own codes, system texts, unknown codes") {
    CHECK(wma_error_text(static_cast<int32_t>(0xC00D0BBD), "IWMSyncReader::OpenStream") ==
          "IWMSyncReader::OpenStream failed : Playback of DRM-protected files is not supported (0xC00D0BBD)");
    CHECK(wma_error_text(static_cast<int32_t>(0xC00D0006), nullptr) ==
          "Unable to establish a connection to the server (0xC00D0006)");
    CHECK(wma_error_text(static_cast<int32_t>(0xC00D0026), "WMCreateSyncReader") ==
          "WMCreateSyncReader failed : Unrecognized stream type (0xC00D0026)");
    const std::string system = wma_error_text(static_cast<int32_t>(0x80070005), "X");
    CHECK(system.rfind("X failed : ", 0) == 0);
    CHECK(system.find("(0x80070005)") == system.size() - 12);
    CHECK(system.find("Unknown error code") == std::string::npos);
    CHECK(system.find('\n') == std::string::npos);
    CHECK(system[system.size() - 14] != ' ');   // trailing blanks of the system text are cut
    CHECK(wma_error_text(static_cast<int32_t>(0xA0DE0001), nullptr) == "Unknown error code (0xA0DE0001)");

    CHECK_NOTHROW(wma_check(0, "x"));
    CHECK_NOTHROW(wma_check(1, "x"));
    try {
        wma_check(static_cast<int32_t>(0xC00D0BBD), "IWMSyncReader::GetNextSample");
        FAIL("no exception");
    } catch (const ketrel_io::exception_io& e) {
        CHECK(std::string(e.what()) ==
              "IWMSyncReader::GetNextSample failed : Playback of DRM-protected files is not supported (0xC00D0BBD)");
    }
}
