// track_info_packed: the read-only snapshot: same content as its source, one block, shared constant names,
// the sorted index beyond 20 fields, and a stop of the process on any change.
#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "metadata/track_info.h"
#include "tests/metadata/crash_probe.h"
#include "tests/metadata/info_text.h"

namespace {

using namespace metadata_test;

constexpr uint32_t npos = track_info::npos;

// An info whose fields are given as lists, including fields without values (which no store builds).
class listed_info final : public track_info {
public:
    struct field {
        std::string name;
        std::vector<std::string> values;
    };
    std::vector<field> fields;

    double get_length() const override { return 7.25; }
    void set_length(double) override { throw kpl::exception_not_implemented(); }
    void set_replaygain(const replaygain_values&) override { throw kpl::exception_not_implemented(); }
    replaygain_values get_replaygain() const override { return {}; }
    uint32_t meta_count() const override { return static_cast<uint32_t>(fields.size()); }
    const char* meta_name(uint32_t i) const override { return fields[i].name.c_str(); }
    uint32_t meta_value_count(uint32_t i) const override { return static_cast<uint32_t>(fields[i].values.size()); }
    const char* meta_value(uint32_t i, uint32_t j) const override { return fields[i].values[j].c_str(); }
    uint32_t meta_set(const char*, uint32_t, const char*, uint32_t) override { throw kpl::exception_not_implemented(); }
    void meta_insert_value(uint32_t, uint32_t, const char*, uint32_t) override { throw kpl::exception_not_implemented(); }
    uint32_t meta_remove_mask(const kpl::bit_mask&) override { throw kpl::exception_not_implemented(); }
    void meta_reorder(const size_t*) override { throw kpl::exception_not_implemented(); }
    void meta_remove_values(uint32_t, const kpl::bit_mask&) override { throw kpl::exception_not_implemented(); }
    void meta_modify_value(uint32_t, uint32_t, const char*, uint32_t) override { throw kpl::exception_not_implemented(); }
    uint32_t info_count() const override { return 0; }
    const char* info_name(uint32_t) const override { return ""; }
    const char* info_value(uint32_t) const override { return ""; }
    uint32_t info_set(const char*, uint32_t, const char*, uint32_t) override { throw kpl::exception_not_implemented(); }
    uint32_t info_remove_mask(const kpl::bit_mask&) override { throw kpl::exception_not_implemented(); }
    uint32_t meta_add(const char*, uint32_t, const char*, uint32_t) override { throw kpl::exception_not_implemented(); }
    uint32_t info_add(const char*, uint32_t, const char*, uint32_t) override { throw kpl::exception_not_implemented(); }
};

std::string numbered_fields(uint32_t n) {
    std::string text;
    for (uint32_t i = 0; i < n; ++i) {
        if (i) text += ';';
        text += "Name" + std::to_string(i) + "=v" + std::to_string(i);
    }
    return text;
}

// Every change operation, by number, on a snapshot of a small info.
void change_snapshot(int operation) {
    track_info_store source = info_from_text("artist=A,B");
    source.info_add("codec", npos, "FLAC", npos);
    track_info_packed packed(source);
    track_info& info = packed;
    const kpl::bit_mask_all_set all;
    const size_t order[] = {0};
    switch (operation) {
        case 0: info.set_length(1); break;
        case 1: info.set_replaygain(replaygain_values()); break;
        case 2: info.meta_set("a", npos, "b", npos); break;
        case 3: info.meta_insert_value(0, 0, "x", npos); break;
        case 4: info.meta_remove_mask(all); break;
        case 5: info.meta_reorder(order); break;
        case 6: info.meta_remove_values(0, all); break;
        case 7: info.meta_modify_value(0, 0, "x", npos); break;
        case 8: info.info_set("a", npos, "b", npos); break;
        case 9: info.info_remove_mask(all); break;
        case 10: info.meta_add("a", npos, "b", npos); break;
        case 11: info.info_add("a", npos, "b", npos); break;
        case 12: info.copy_meta(source); break;
        case 13: info.copy_info(source); break;
        case 14: info.reset(); break;
        case 15: info.meta_add_value("x", 0); break;
        default: break;
    }
}

}  // namespace

TEST_CASE("track_info_packed: a snapshot reads like its source") {
    track_info_store source = info_from_text("Title=T;artist=A,B,C;My Field=x;comment=;TITLE=second");
    source.info_add("codec", npos, "FLAC", npos);
    source.info_add("My Info", npos, "1", npos);
    source.set_length(181.5);
    replaygain_values rg;
    rg.album_gain = -7.5f;
    rg.track_peak = 0.99f;
    source.set_replaygain(rg);

    track_info_packed packed(source);
    CHECK(meta_text(packed) == meta_text(source));
    CHECK(info_text(packed) == info_text(source));
    CHECK(packed.get_length() == 181.5);
    CHECK(packed.get_replaygain() == rg);
    CHECK(packed.meta_value_count(1) == 3);
    CHECK(std::string(packed.meta_value(1, 2)) == "C");
    CHECK(std::strcmp(packed.meta_value(3, 0), "") == 0);
    CHECK_FALSE(packed.has_sorted_index());
    CHECK(packed.meta_find("title") == 0);  // linear search: the first of two
    CHECK(packed.info_find("MY INFO") == 1);

    // Reading never changes it; copying again rebuilds it from the new source.
    const std::string before = meta_text(packed);
    CHECK(meta_text(packed) == before);
    track_info_store other = info_from_text("genre=Jazz");
    packed.copy(other);
    CHECK(meta_text(packed) == "genre=Jazz");
    CHECK(packed.info_count() == 0);
    CHECK(packed.get_length() == 0);
    packed.copy(packed);  // onto itself: nothing
    CHECK(meta_text(packed) == "genre=Jazz");

    // A snapshot of a snapshot, and a store made from a snapshot.
    track_info_packed again(source);
    track_info_packed second(again);
    track_info_store back(second);
    CHECK(meta_text(back) == meta_text(source));
    CHECK(info_text(back) == info_text(source));
}

TEST_CASE("track_info_packed: names of the common-name tables are shared, other spellings copied") {
    track_info_store source = info_from_text("Title=a;TiTle=b;tracknumber=1;ALBUM ARTIST=x;Album artist=y;Custom=z");
    source.info_add("codec", npos, "x", npos);
    source.info_add("Codec", npos, "x", npos);
    source.info_add("samplerate", npos, "44100", npos);
    track_info_packed packed(source);
    struct row {
        uint32_t index;
        bool shared;
    } meta_rows[] = {{0, true}, {1, false}, {2, true}, {3, true}, {4, false}, {5, false}};
    for (const row& r : meta_rows) {
        CAPTURE(packed.meta_name(r.index));
        CHECK(track_info_packed::is_known_name_text(packed.meta_name(r.index)) == r.shared);
    }
    CHECK(track_info_packed::is_known_name_text(packed.info_name(0)));
    CHECK_FALSE(track_info_packed::is_known_name_text(packed.info_name(1)));
    CHECK(track_info_packed::is_known_name_text(packed.info_name(2)));
    // Shared names take no room: the block is smaller than with all names copied.
    track_info_store unknown = info_from_text("Xitle=a;XiTle=b;xracknumber=1;XLBUM ARTIST=x;Xlbum artist=y;Custom=z");
    unknown.info_add("xodec", npos, "x", npos);
    unknown.info_add("Codec", npos, "x", npos);
    unknown.info_add("xamplerate", npos, "44100", npos);
    track_info_packed copied(unknown);
    CHECK(copied.block_size() - packed.block_size() == 6 + 12 + 13 + 6 + 11);
}

TEST_CASE("track_info_packed: beyond 20 meta fields meta_find uses a sorted index") {
    for (uint32_t n : {20u, 21u, 64u}) {
        CAPTURE(n);
        track_info_store source = info_from_text(numbered_fields(n));
        track_info_packed packed(source);
        CHECK(packed.has_sorted_index() == (n > 20));
        CHECK(meta_text(packed) == meta_text(source));  // the index does not change the field order
        for (uint32_t i = 0; i < n; ++i) {
            std::string lower = "name" + std::to_string(i);
            std::string upper = "NAME" + std::to_string(i);
            CHECK(packed.meta_find(lower.c_str()) == static_cast<int32_t>(i));
            CHECK(packed.meta_find(upper.c_str()) == static_cast<int32_t>(i));
            CHECK(packed.meta_find((upper + "xyz").c_str(), static_cast<uint32_t>(upper.size())) == static_cast<int32_t>(i));
        }
        CHECK(packed.meta_find("name") == -1);
        CHECK(packed.meta_find("name999") == -1);
        CHECK(packed.meta_find("") == -1);
        CHECK(packed.meta_find("zzz") == -1);
    }
}

TEST_CASE("track_info_packed: value counts 0, 1 and several") {
    listed_info source;
    source.fields = {{"empty", {}}, {"one", {"1"}}, {"three", {"a", "b", "c"}}, {"after", {""}}};
    track_info_packed packed(source);
    CHECK(packed.meta_count() == 4);
    CHECK(packed.meta_value_count(0) == 0);
    CHECK(packed.meta_value_count(1) == 1);
    CHECK(std::string(packed.meta_value(1, 0)) == "1");
    CHECK(packed.meta_value_count(2) == 3);
    CHECK(meta_text(packed) == "empty=;one=1;three=a,b,c;after=");
    CHECK(packed.get_length() == 7.25);
    CHECK(packed.meta_get_first("empty") == nullptr);

    // A store keeps a field without values when it copies one.
    track_info_store store;
    store.copy(packed);
    CHECK(store.meta_value_count(0) == 0);
    CHECK(meta_text(store) == "empty=;one=1;three=a,b,c;after=");
}

TEST_CASE("track_info_packed: an empty snapshot") {
    track_info_packed packed;
    CHECK(packed.meta_count() == 0);
    CHECK(packed.info_count() == 0);
    CHECK(packed.meta_find("x") == -1);
    CHECK(packed.get_replaygain().count_valid() == 0);
    track_info_store empty;
    packed.copy(empty);
    CHECK(packed.block_size() == 0);
}

TEST_CASE("probe: change a track_info snapshot" * doctest::skip()) {
    crash_probe_child_setup();
    change_snapshot(std::stoi(crash_probe_argument()));
}

TEST_CASE("track_info_packed: every change operation stops the process") {
    for (int operation = 0; operation <= 15; ++operation) {
        CAPTURE(operation);
        CHECK(crash_probe_run("probe: change a track_info snapshot", std::to_string(operation).c_str()) ==
              kpl::crash_exception_code);
    }
}
