// track_info_store: the editable container's operations, its name matching and the helpers over any info.
#include <doctest/doctest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "metadata/track_info.h"
#include "tests/metadata/info_text.h"

namespace {

using namespace metadata_test;

constexpr uint32_t npos = track_info::npos;

class select_indexes final : public kpl::bit_mask {
public:
    explicit select_indexes(std::vector<uint32_t> indexes) : m_indexes(std::move(indexes)) {}
    bool get(uint32_t index) const override {
        for (uint32_t i : m_indexes) {
            if (i == index) return true;
        }
        return false;
    }

private:
    std::vector<uint32_t> m_indexes;
};

// "f0=v;f1=v;..." with n fields.
std::string numbered_fields(uint32_t n) {
    std::string text;
    for (uint32_t i = 0; i < n; ++i) {
        if (i) text += ';';
        text += "f" + std::to_string(i) + "=v" + std::to_string(i);
    }
    return text;
}

}  // namespace

TEST_CASE("track_info: field names match without regard to ASCII letter case only") {
    track_info_store info = info_from_text("artist=A;Title=T;\xC3\xA9t\xC3\xA9=E;artist=Second");
    info.info_set("Codec", npos, "FLAC", npos);
    struct row {
        const char* name;
        uint32_t length;
        int32_t meta;
        int32_t info;
    } rows[] = {
        {"ARTIST", npos, 0, -1},
        {"artist", npos, 0, -1},        // the first of two fields with the name
        {"TITLE", npos, 1, -1},
        {"\xC3\xA9t\xC3\xA9", npos, 2, -1},
        {"\xC3\x89T\xC3\x89", npos, -1, -1},  // other letters must match byte for byte
        {"artistX", 6, 0, -1},           // the length ends the name
        {"art\0ist", npos, -1, -1},      // so does a zero byte
        {"CODEC", npos, -1, 0},
        {"", npos, -1, -1},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        CHECK(info.meta_find(r.name, r.length) == r.meta);
        CHECK(info.info_find(r.name, r.length) == r.info);
    }
    CHECK(track_info_compare_names("a", npos, "B", npos) < 0);
    CHECK(track_info_compare_names("Z", npos, "a", npos) > 0);
    // Bytes compare as signed values: every non-ASCII byte sorts before ASCII.
    CHECK(track_info_compare_names("\xC3", npos, "a", npos) < 0);
}

TEST_CASE("track_info_store: editing operations") {
    struct row {
        const char* what;
        const char* before;
        std::function<void(track_info&)> edit;
        const char* after;
    };
    const std::vector<row> rows = {
        {"meta_set of an existing name replaces all values and moves the field to the end", "artist=A,B;title=T",
         [](track_info& i) { CHECK(i.meta_set("ARTIST", npos, "C", npos) == 1); }, "title=T;ARTIST=C"},
        {"meta_set of a new name appends", "title=T",
         [](track_info& i) { CHECK(i.meta_set("genre", npos, "Rock", npos) == 1); }, "title=T;genre=Rock"},
        {"meta_set replaces only the first of two equal names", "a=1;b=2;A=3",
         [](track_info& i) { i.meta_set("a", npos, "x", npos); }, "b=2;A=3;a=x"},
        {"meta_add of a name twice gives two fields", "",
         [](track_info& i) {
             i.meta_add("x", npos, "1", npos);
             i.meta_add("X", npos, "2", npos);
             CHECK(i.meta_find("x") == 0);
         },
         "x=1;X=2"},
        {"meta_add takes the given byte counts", "",
         [](track_info& i) { i.meta_add("genre!", 5, "Rockabilly", 4); }, "genre=Rock"},
        {"meta_insert_value past the end appends", "a=1,2",
         [](track_info& i) { i.meta_insert_value(0, 100, "3", npos); }, "a=1,2,3"},
        {"meta_insert_value at the front", "a=1,2",
         [](track_info& i) { i.meta_insert_value(0, 0, "0", npos); }, "a=0,1,2"},
        {"meta_insert_value in the middle", "a=1,3;b=x",
         [](track_info& i) { i.meta_insert_value(0, 1, "2", npos); }, "a=1,2,3;b=x"},
        {"removing the only value removes the field", "a=1;b=2;c=3",
         [](track_info& i) { i.meta_remove_values(1, select_indexes({0})); }, "a=1;c=3"},
        {"removing some values keeps the order of the rest", "a=1,2,3,4",
         [](track_info& i) { i.meta_remove_values(0, select_indexes({0, 2})); }, "a=2,4"},
        {"removing all values removes the field", "a=1,2;b=3",
         [](track_info& i) { i.meta_remove_values(0, select_indexes({0, 1})); }, "b=3"},
        {"removing by mask keeps the order", "a=1;b=2;c=3;d=4",
         [](track_info& i) { CHECK(i.meta_remove_mask(select_indexes({0, 2})) == 2); }, "b=2;d=4"},
        {"a mask selecting nothing changes nothing", "a=1;b=2",
         [](track_info& i) { CHECK(i.meta_remove_mask(select_indexes({})) == 2); }, "a=1;b=2"},
        {"meta_modify_value", "a=1,2",
         [](track_info& i) { i.meta_modify_value(0, 1, "two", npos); }, "a=1,two"},
        {"meta_modify_value with a value from the info itself", "a=1,2",
         [](track_info& i) { i.meta_modify_value(0, 0, i.meta_value(0, 1), npos); }, "a=2,2"},
        {"meta_reorder puts order[k] at k", "a=1;b=2;c=3;d=4",
         [](track_info& i) {
             const size_t order[] = {2, 0, 3, 1};
             i.meta_reorder(order);
         },
         "c=3;a=1;d=4;b=2"},
        {"an empty value reads as \"\"", "",
         [](track_info& i) {
             i.meta_add("a", npos, "", npos);
             CHECK(std::strcmp(i.meta_value(0, 0), "") == 0);
         },
         "a="},
        {"meta_remove_all", "a=1;b=2", [](track_info& i) { i.meta_remove_all(); }, ""},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        track_info_store info = info_from_text(r.before);
        r.edit(info);
        CHECK(meta_text(info) == r.after);
    }
}

TEST_CASE("track_info_store: info fields") {
    track_info_store info;
    CHECK(info.info_add("codec", npos, "MP3", npos) == 0);
    CHECK(info.info_add("bitrate", npos, "128", npos) == 1);
    CHECK(info.info_add("codec", npos, "second", npos) == 2);
    CHECK(info_text(info) == "codec=MP3;bitrate=128;codec=second");
    CHECK(std::string(info.info_get_by_name("CODEC")) == "MP3");
    CHECK(info.info_get_by_name("missing") == nullptr);

    CHECK(info.info_set("Codec", npos, "FLAC", npos) == 2);  // the first "codec" goes, the new pair comes last
    CHECK(info_text(info) == "bitrate=128;codec=second;Codec=FLAC");
    CHECK(info.info_remove_mask(select_indexes({1})) == 2);
    CHECK(info_text(info) == "bitrate=128;Codec=FLAC");
    info.info_remove_all();
    CHECK(info.info_count() == 0);
}

TEST_CASE("track_info_store: the first ten fields live inside the object, the rest in the overflow") {
    track_info_store info = info_from_text(numbered_fields(12));
    CHECK(info.meta_count() == 12);
    for (uint32_t i = 0; i < 12; ++i) CHECK(info.meta_is_inline(i) == (i < 10));

    // Removing field 3 moves field 10 into the inline part; the visible order only loses field 3.
    info.meta_remove_mask(select_indexes({3}));
    CHECK(meta_text(info) == "f0=v0;f1=v1;f2=v2;f4=v4;f5=v5;f6=v6;f7=v7;f8=v8;f9=v9;f10=v10;f11=v11");
    CHECK(info.meta_is_inline(9));
    CHECK(std::string(info.meta_name(9)) == "f10");
    CHECK_FALSE(info.meta_is_inline(10));

    // Growing again, and operations that span both parts.
    info.meta_add("f12", npos, "v12", npos);
    info.meta_set("f0", npos, "again", npos);
    CHECK(meta_text(info) == "f1=v1;f2=v2;f4=v4;f5=v5;f6=v6;f7=v7;f8=v8;f9=v9;f10=v10;f11=v11;f12=v12;f0=again");
    CHECK(info.meta_find("F12") == 10);
    info.meta_remove_values(10, select_indexes({0}));
    CHECK(info.meta_find("f12") == -1);
    CHECK(info.meta_count() == 11);
    info.meta_remove_mask(select_indexes({0, 1, 2, 3, 4, 5, 6, 7}));
    CHECK(meta_text(info) == "f10=v10;f11=v11;f0=again");
    CHECK(info.meta_is_inline(2));
}

TEST_CASE("track_info_store: copies") {
    track_info_store source = info_from_text(numbered_fields(11) + ";multi=a,b,c");
    source.info_add("codec", npos, "Opus", npos);
    source.set_length(12.5);
    replaygain_values rg;
    rg.track_gain = -3.0f;
    source.set_replaygain(rg);

    SUBCASE("onto a fresh store and onto one with more fields than the source") {
        track_info_store fresh(source);
        track_info_store bigger = info_from_text(numbered_fields(15) + ";x=1,2,3,4");
        bigger.info_add("a", npos, "1", npos);
        bigger.info_add("b", npos, "2", npos);
        bigger.copy(source);
        for (const track_info_store* copy : {&fresh, &bigger}) {
            CHECK(meta_text(*copy) == meta_text(source));
            CHECK(info_text(*copy) == "codec=Opus");
            CHECK(copy->get_length() == 12.5);
            CHECK(copy->get_replaygain() == rg);
        }
    }
    SUBCASE("onto itself changes nothing") {
        const std::string before = meta_text(source);
        source.copy(source);
        source.copy_meta(source);
        source.copy_info(source);
        CHECK(meta_text(source) == before);
        CHECK(info_text(source) == "codec=Opus");
        CHECK(source.get_length() == 12.5);
    }
    SUBCASE("single fields") {
        track_info_store target = info_from_text("x=1");
        CHECK(target.copy_meta_field(source, 11) == 1);
        CHECK(target.copy_info_field(source, 0) == 0);
        CHECK(meta_text(target) == "x=1;multi=a,b,c");
        CHECK(info_text(target) == "codec=Opus");
    }
}

TEST_CASE("track_info: a fresh or reset store is empty with absent ReplayGain") {
    track_info_store info = info_from_text("a=1");
    info.info_add("codec", npos, "x", npos);
    info.set_length(3);
    replaygain_values rg;
    rg.album_peak = 0.5f;
    info.set_replaygain(rg);
    info.reset();
    track_info_store fresh;
    for (const track_info_store* i : {&info, &fresh}) {
        CHECK(i->meta_count() == 0);
        CHECK(i->info_count() == 0);
        CHECK(i->get_length() == 0);
        CHECK(i->get_replaygain().count_valid() == 0);
    }
}

TEST_CASE("track_info: reading helpers") {
    track_info_store info = info_from_text("artist=A,B;title=T");
    CHECK(std::string(info.meta_get_first("ARTIST")) == "A");
    CHECK(info.meta_get_first("album") == nullptr);
    CHECK(info.meta_total_value_count() == 3);

    kpl::utf8_string_pow2 joined("old");
    CHECK(info.meta_get_joined(joined, "artist"));
    CHECK(joined == "A, B");
    CHECK_FALSE(info.meta_get_joined(joined, "album"));
    CHECK(joined == "");
    info.meta_join_values(joined, 0, " / ");
    CHECK(joined == "A / B");
}

TEST_CASE("track_info: numbers in info fields") {
    struct row {
        const char* text;
        int64_t value;
    } rows[] = {
        {"42", 42}, {"  -12kbps", -12}, {"+7", 7}, {"x1", 0}, {"", 0}, {"9223372036854775807", INT64_MAX},
    };
    for (const row& r : rows) {
        CAPTURE(r.text);
        track_info_store info;
        info.info_set("n", npos, r.text, npos);
        CHECK(info.info_get_int("n") == r.value);
    }
    track_info_store info;
    CHECK(info.info_get_int("absent") == 0);
    info.info_set_int("samplerate", -44100);
    CHECK(std::string(info.info_get_by_name("samplerate")) == "-44100");

    // bitrate = floor(bytes * 8 / (seconds * 1000) + 0.5)
    info.set_bitrate_from_size(1000000, 60.0);  // 133.33
    CHECK(std::string(info.info_get_by_name("bitrate")) == "133");
    info.set_bitrate_from_size(1000, 0.016);  // 500
    CHECK(std::string(info.info_get_by_name("bitrate")) == "500");
    info.set_bitrate_from_size(1000, 0.0);    // no duration: left alone
    CHECK(std::string(info.info_get_by_name("bitrate")) == "500");
}

TEST_CASE("track_info: effective bits per sample") {
    struct row {
        const char* decoded;
        const char* stored;
        uint32_t expected;
    } rows[] = {
        {nullptr, nullptr, 0}, {nullptr, "16", 16}, {"24", "16", 24}, {"0", "16", 16},
        {"257", "32", 32},     {"256", "8", 256},   {"-5", "300", 0},
    };
    for (const row& r : rows) {
        track_info_store info;
        if (r.decoded) info.info_set("decoded_bitspersample", npos, r.decoded, npos);
        if (r.stored) info.info_set("bitspersample", npos, r.stored, npos);
        CAPTURE(r.expected);
        CHECK(info.effective_bits_per_sample() == r.expected);
    }
}

TEST_CASE("track_info: valid field names") {
    struct row {
        const char* name;
        bool valid;
    } rows[] = {
        {"ARTIST", true},  {"album artist", true}, {"~!@#$^&*()", true}, {"", false},     {"a%b", false},
        {"a<b", false},    {"a=b", false},         {"a>b", false},       {"a\tb", false}, {"\xC3\xA9", false},
        {"a\x7F", false},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        CHECK(track_info::is_valid_field_name(r.name) == r.valid);
    }
    CHECK(track_info::is_valid_field_name("ab=", 2));  // only the given bytes count
}
