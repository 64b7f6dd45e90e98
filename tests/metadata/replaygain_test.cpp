// ReplayGain values: their tag texts, parsing, the playback scale, and the helpers that put them into and
// merge them between infos.
#include <doctest/doctest.h>

#include <float.h>

#include <cmath>
#include <cstring>
#include <string>

#include "metadata/replaygain.h"
#include "metadata/track_info.h"
#include "playback/replaygain_settings.h"
#include "tests/metadata/info_text.h"

namespace {

using namespace metadata_test;

constexpr uint32_t npos = track_info::npos;

replaygain_values values(float album_gain, float track_gain, float album_peak, float track_peak) {
    replaygain_values rg;
    rg.album_gain = album_gain;
    rg.track_gain = track_gain;
    rg.album_peak = album_peak;
    rg.track_peak = track_peak;
    return rg;
}

constexpr float no_gain = replaygain_values::gain_invalid;
constexpr float no_peak = replaygain_values::peak_invalid;

}  // namespace

TEST_CASE("replaygain: presence, count and merge") {
    replaygain_values fresh;
    CHECK_FALSE(fresh.has_album_gain());
    CHECK_FALSE(fresh.has_track_gain());
    CHECK_FALSE(fresh.has_album_peak());
    CHECK_FALSE(fresh.has_track_peak());
    CHECK(fresh.count_valid() == 0);
    uint32_t gain_bits, peak_bits;
    std::memcpy(&gain_bits, &fresh.album_gain, 4);
    std::memcpy(&peak_bits, &fresh.track_peak, 4);
    CHECK(gain_bits == 0xC47A0000);
    CHECK(peak_bits == 0xBF800000);

    // Zero is a present value; only the exact markers are absent.
    CHECK(values(0, no_gain, 0, no_peak).count_valid() == 2);
    CHECK(values(-999.99f, -1000.01f, -0.99f, -1.01f).count_valid() == 4);

    replaygain_values mine = values(-3, no_gain, no_peak, 0.5f);
    replaygain_values other = values(-5, -6, 0.9f, 0.8f);
    CHECK(replaygain_values::merge(mine, other) == values(-3, -6, 0.9f, 0.5f));
    CHECK(replaygain_values::merge(replaygain_values(), replaygain_values()).count_valid() == 0);
    mine.reset();
    CHECK(mine.count_valid() == 0);
}

TEST_CASE("replaygain: gain and peak texts") {
    struct row {
        float value;
        bool present;
        const char* text;
    };
    const row gains[] = {
        {-6.5f, true, "-6.50 dB"},         {0.0f, true, "+0.00 dB"},       {6.0f, true, "+6.00 dB"},
        {-0.125f, true, "-0.13 dB"},       {0.125f, true, "+0.13 dB"},      {12.345678f, true, "+12.35 dB"},
        {-1000.0f, false, ""},             {123456792.0f, true, "+123456792. dB"},  // cut to 11 characters
    };
    for (const row& r : gains) {
        CAPTURE(r.value);
        char text[replaygain_gain_text_size];
        std::memset(text, 'x', sizeof text);
        CHECK(replaygain_gain_to_text(text, r.value) == r.present);
        CHECK(std::string(text) == r.text);
    }
    const row peaks[] = {
        {1.0f, true, "1.000000"},          {0.988f, true, "0.988000"},     {0.0f, true, "0.000000"},
        {1.2345675f, true, "1.234568"},    {-1.0f, false, ""},             {123456792.0f, true, "123456792.00000"},
    };
    for (const row& r : peaks) {
        CAPTURE(r.value);
        char text[replaygain_peak_text_size];
        std::memset(text, 'x', sizeof text);
        CHECK(replaygain_peak_to_text(text, r.value) == r.present);
        CHECK(std::string(text) == r.text);
    }
    // Absurd values still fit the buffers.
    for (float value : {1e20f, -3e38f, FLT_MAX}) {
        CAPTURE(value);
        char gain[replaygain_gain_text_size + 1];
        char peak[replaygain_peak_text_size + 1];
        gain[replaygain_gain_text_size] = peak[replaygain_peak_text_size] = 'x';
        CHECK(replaygain_gain_to_text(gain, value));
        CHECK(replaygain_peak_to_text(peak, value));
        CHECK(std::strlen(gain) <= 14);
        CHECK(std::string(gain).substr(std::strlen(gain) - 3) == " dB");
        CHECK(std::strlen(peak) <= 15);
        CHECK(gain[replaygain_gain_text_size] == 'x');
        CHECK(peak[replaygain_peak_text_size] == 'x');
    }
}

TEST_CASE("replaygain: formatting restores the caller's rounding mode") {
    const unsigned saved = _controlfp(0, 0) & _MCW_RC;
    for (unsigned mode : {_RC_DOWN, _RC_UP, _RC_CHOP}) {
        _controlfp(mode, _MCW_RC);
        char gain[replaygain_gain_text_size];
        char peak[replaygain_peak_text_size];
        replaygain_gain_to_text(gain, -6.5f);
        replaygain_peak_to_text(peak, 0.988f);
        CHECK((_controlfp(0, 0) & _MCW_RC) == mode);
        CHECK(std::string(gain) == "-6.50 dB");
        CHECK(std::string(peak) == "0.988000");
    }
    _controlfp(saved, _MCW_RC);
}

TEST_CASE("replaygain: parsing tag fields") {
    struct row {
        const char* name;
        const char* value;
        uint32_t length;
        bool recognised;
        replaygain_values expected;
    };
    const replaygain_values start = values(1, 2, 0.25f, 0.5f);
    const row rows[] = {
        {"replaygain_track_peak", "-0.5", npos, true, values(1, 2, 0.25f, 0.0f)},  // a negative peak is 0
        {"REPLAYGAIN_TRACK_GAIN", "-3.2 dB", npos, true, values(1, -3.2f, 0.25f, 0.5f)},
        {"ReplayGain_Album_Gain", "+1.5", npos, true, values(1.5f, 2, 0.25f, 0.5f)},
        {"replaygain_album_peak", "  0,75", npos, true, values(1, 2, 0.75f, 0.5f)},
        {"replaygain_album_gain", "-12.5", 3, true, values(-12, 2, 0.25f, 0.5f)},  // only the given bytes
        {"replaygain_track_gain", "loud", npos, true, values(1, 0, 0.25f, 0.5f)},   // no number reads as 0
        {"replaygain_track_gain", "", npos, true, values(1, 0, 0.25f, 0.5f)},
        {"replaygain_track_gain", "1e999", npos, true, values(1, 0, 0.25f, 0.5f)},  // too large for a float
        {"replaygain_track_gain", "-1e39", npos, true, values(1, 0, 0.25f, 0.5f)},
        {"replaygain_track_gain", "-1000", npos, true, values(1, no_gain, 0.25f, 0.5f)},
        {"replaygain_reference_loudness", "89 dB", npos, false, start},
        {"replaygain_track_gain_2", "1", npos, false, start},
        {"replaygain_", "1", npos, false, start},
        {"artist", "1", npos, false, start},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        CAPTURE(r.value);
        replaygain_values rg = start;
        CHECK(replaygain_parse_field(r.name, r.value, r.length, rg) == r.recognised);
        CHECK(rg == r.expected);
    }
}

TEST_CASE("replaygain: the playback scale") {
    using s = replaygain_settings;
    struct row {
        const char* what;
        replaygain_values rg;
        uint32_t source, processing;
        float preamp_without, preamp_with;
        double expected;
    };
    const row rows[] = {
        {"track gain -6 dB", values(no_gain, -6, no_peak, no_peak), s::source_track, s::processing_apply_gain, 0, 0,
         std::pow(10.0, -0.3)},
        {"clipping prevented: 10^0.3 x 0.9 exceeds 1", values(no_gain, 6, no_peak, 0.9f), s::source_track,
         s::processing_apply_gain_and_prevent_clipping, 0, 0, 1 / 0.9},
        {"no clipping: the gain stays", values(no_gain, -6, no_peak, 0.9f), s::source_track,
         s::processing_apply_gain_and_prevent_clipping, 0, 0, std::pow(10.0, -0.3)},
        {"clipping only, peak 1.25", values(no_gain, -6, no_peak, 1.25f), s::source_track,
         s::processing_prevent_clipping, 0, 0, 0.8},
        {"clipping only, no peak", values(no_gain, 6, no_peak, no_peak), s::source_track,
         s::processing_prevent_clipping, 0, 0, 1.0},
        {"album source with only a track gain uses it and the preamp for a known gain",
         values(no_gain, -4, no_peak, no_peak), s::source_album, s::processing_apply_gain, 10, 2,
         std::pow(10.0, -0.1)},
        {"album source prefers the album values", values(-8, -4, 2.0f, 1.0f), s::source_album,
         s::processing_apply_gain_and_prevent_clipping, 0, 0, std::pow(10.0, -0.4)},
        {"album source, album peak 4 limits", values(6, -4, 4.0f, 1.0f), s::source_album,
         s::processing_apply_gain_and_prevent_clipping, 0, 0, 0.25},
        {"track source falls back to the album gain and peak", values(-2, no_gain, 2.0f, no_peak), s::source_track,
         s::processing_apply_gain_and_prevent_clipping, 0, 0, 0.5},
        {"no gain known: the other preamp", values(no_gain, no_gain, no_peak, no_peak), s::source_track,
         s::processing_apply_gain, -6, 6, std::pow(10.0, -0.3)},
        {"no source: no gain", values(-6, -6, 0.5f, 0.5f), s::source_none, s::processing_apply_gain, 0, 20, 1.0},
        {"unknown source value counts as none", values(-6, -6, 2.0f, 2.0f), 7, s::processing_apply_gain_and_prevent_clipping,
         0, 0, 1.0},
        {"no processing", values(-6, -6, 4.0f, 4.0f), s::source_track, s::processing_none, 0, 0, 1.0},
        {"unknown processing value counts as none", values(-6, -6, 4.0f, 4.0f), s::source_track, 9, 0, 0, 1.0},
        {"an absurd gain does not give an infinite factor", values(no_gain, 900, no_peak, no_peak), s::source_track,
         s::processing_apply_gain, 0, 0, 1.0},
        {"an absurd gain with clipping prevention", values(no_gain, 900, no_peak, 0.5f), s::source_track,
         s::processing_apply_gain_and_prevent_clipping, 0, 0, 2.0},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        replaygain_settings settings;
        settings.source = r.source;
        settings.processing = r.processing;
        settings.preamp_without_gain = r.preamp_without;
        settings.preamp_with_gain = r.preamp_with;
        float scale = replaygain_compute_scale(r.rg, settings);
        CHECK(std::isfinite(scale));
        CHECK(scale == doctest::Approx(r.expected).epsilon(1e-6));
    }
}

TEST_CASE("replaygain: fields into an info") {
    track_info_store info;
    CHECK(info.replaygain_try_set_field("replaygain_album_gain", "-7.25 dB"));
    CHECK_FALSE(info.replaygain_try_set_field("album", "x"));
    CHECK(info.get_replaygain() == values(-7.25f, no_gain, no_peak, no_peak));

    info.set_info_or_replaygain("REPLAYGAIN_TRACK_PEAK", "0.5");
    info.set_info_or_replaygain("cuesheet", "FILE x", 4);
    CHECK(info.get_replaygain() == values(-7.25f, no_gain, no_peak, 0.5f));
    CHECK(info_text(info) == "cuesheet=FILE");
    CHECK(info.meta_count() == 0);

    info.replaygain_reset();
    CHECK(info.get_replaygain().count_valid() == 0);
}

TEST_CASE("tag merging: copy and merge the infos of two tags") {
    struct row {
        const char* what;
        const char* target_tagtype;
        const char* source_tagtype;
        const char* copied_tagtype;  // after copy_tags_from (null: none)
        const char* merged_tagtype;  // after merge_tags_from
    } rows[] = {
        {"both", "id3v2.3", "apev2", "apev2", "id3v2.3|apev2"},
        {"only the target", "id3v1", nullptr, "id3v1", "id3v1"},
        {"only the source", nullptr, "apev2", "apev2", "apev2"},
        {"neither", nullptr, nullptr, nullptr, nullptr},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        track_info_store source = info_from_text("artist=S1,S2;title=ST");
        source.set_replaygain(values(-1, no_gain, 0.5f, no_peak));
        if (r.source_tagtype) source.info_set("tagtype", npos, r.source_tagtype, npos);

        for (bool merge : {false, true}) {
            CAPTURE(merge);
            track_info_store target = info_from_text("album=T");
            target.info_add("codec", npos, "MP3", npos);
            target.set_replaygain(values(no_gain, -2, no_peak, 0.9f));
            if (r.target_tagtype) target.info_set("tagtype", npos, r.target_tagtype, npos);

            if (merge) {
                target.merge_tags_from(source);
                CHECK(meta_text(target) == "album=T");
            } else {
                target.copy_tags_from(source);
                CHECK(meta_text(target) == "artist=S1,S2;title=ST");
            }
            CHECK(target.get_replaygain() == values(-1, -2, 0.5f, 0.9f));
            CHECK(std::string(target.info_get_by_name("codec")) == "MP3");
            const char* expected = merge ? r.merged_tagtype : r.copied_tagtype;
            const char* tagtype = target.info_get_by_name("tagtype");
            if (expected) {
                REQUIRE(tagtype);
                CHECK(std::string(tagtype) == expected);
            } else {
                CHECK(tagtype == nullptr);
            }
        }
    }
}
