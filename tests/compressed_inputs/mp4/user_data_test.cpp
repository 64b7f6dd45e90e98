// The user data: "ilst" items read and written, chapters, the index map, the "tags" box and the folding of
// chapter fields, over boxes built in the test.

#include <doctest/doctest.h>

#include "compressed_inputs/mp4/atomkit/box_buffer.h"
#include "compressed_inputs/mp4/atomkit/box_header.h"
#include "tests/compressed_inputs/mp4/movie_builder.h"

using namespace atomkit_test;
using atomkit::fourcc;

namespace {

using values = std::vector<std::string>;

// Reads an "ilst" payload into a fresh user_data with the given flags.
atomkit::user_data read_items(const bytes& items, uint32_t flags = 0x5B) {
    atomkit::user_data ud;
    const bytes udta_payload = meta_ilst(items);
    atomkit::memory_atom_stream s(udta_payload.data(), udta_payload.size());
    atomkit::read_user_data(s, udta_payload.size(), flags, ud);
    return ud;
}

bytes written_items(const atomkit::user_data& ud) {
    atomkit::box_buffer out;
    atomkit::write_ilst_items(ud, out);
    return bytes(out.data(), out.data() + out.size());
}

values get(const atomkit::field_set& f, const char* name) {
    auto it = f.find(name);
    return it == f.end() ? values{"<none>"} : it->second.values;
}

atomkit::field_set fields(std::initializer_list<std::pair<const char*, values>> list) {
    atomkit::field_set f;
    for (auto& p : list) f[p.first].values = p.second;
    return f;
}

}  // namespace

TEST_CASE("ilst items read into fields") {
    const atomkit::user_data ud = read_items(cat({
        item("tmpo", 21, {0, 120}),
        item("gnre", 0, {0, 18}),
        item("trkn", 0, {0, 0, 0, 3, 0, 12, 0, 0}),
        item("disk", 0, {0, 0, 0, 1, 0, 0}),
        item("cpil", 21, {1}),
        item("pcst", 21, {0xFF}),
        item("\xA9" "ART", 1, text("A")),
        item("\xA9" "ART", 1, text("B")),
        item("\xA9too", 1, text("enc 1")),
        item("\xA9" "day", 1, text("2001")),
        freeform("iTunSMPB", " 0 840 0 3F31F6"),
        freeform("tracknumber", "x"),
        freeform("My Field", "v"),
    }));
    CHECK(ud.has_ilst);
    const atomkit::field_set& f = ud.ilst_fields;
    CHECK(get(f, "tempo") == values{"00120 BPM"});
    CHECK(get(f, "genre") == values{"Rock"});
    CHECK(get(f, "TRACK") == values{"3", "x"});  // the number from "trkn", then the freeform "tracknumber"
    CHECK(get(f, "totaltracks") == values{"12"});
    CHECK(get(f, "disc") == values{"1"});
    CHECK(get(f, "totaldiscs") == values{"<none>"});
    CHECK(get(f, "itunescompilation") == values{"1"});
    CHECK(get(f, "itunespodcast") == values{"-1"});
    CHECK(get(f, "artist") == values{"A", "B"});
    CHECK(get(f, "year") == values{"2001"});
    CHECK_FALSE(f.at("tool").is_meta);
    CHECK_FALSE(f.at("ITUNSMPB").is_meta);
    CHECK(get(f, "itunsmpb") == values{" 0 840 0 3F31F6"});
    CHECK(get(f, "my field") == values{"v"});
    CHECK(ud.raw_items.empty());
}

TEST_CASE("ilst items that are not fields") {
    SUBCASE("an unknown item is kept raw with flag 0x40 and dropped without") {
        const bytes unknown = item("xid ", 1, text("raw"));
        atomkit::user_data ud = read_items(unknown);
        REQUIRE(ud.raw_items.size() == 1);
        CHECK(ud.raw_items[0].type == fourcc("xid "));
        CHECK(box("xid ", ud.raw_items[0].payload) == unknown);
        CHECK(read_items(unknown, 0x13).raw_items.empty());
    }
    SUBCASE("a short gnre payload and a genre outside the list") {
        atomkit::user_data ud = read_items(cat({item("gnre", 0, {0}), item("tmpo", 21, {})}));
        CHECK(ud.raw_items.size() == 2);
        ud = read_items(item("gnre", 0, {0, 200}));
        CHECK(ud.ilst_fields.empty());
        CHECK(ud.raw_items.empty());  // recognised, stores nothing
    }
    SUBCASE("the cover: the last data box wins, only with flag 0x08") {
        const bytes covr = box("covr", cat({box("data", cat({bytes{0, 0, 0, 13, 0, 0, 0, 0}, text("first")})),
                                            box("data", cat({bytes{0, 0, 0, 14, 0, 0, 0, 0}, text("second")}))}));
        atomkit::user_data ud = read_items(covr);
        REQUIRE(ud.cover.get() != nullptr);
        CHECK(ud.cover->data == text("second"));
        CHECK(ud.cover->name == "front cover");
        CHECK(read_items(covr, 0x13).cover.get() == nullptr);
    }
    SUBCASE("a damaged item drops the whole block") {
        atomkit::user_data ud = read_items(cat({item("\xA9nam", 1, text("T")), box("\xA9" "ART", raw_header(3, "data"))}));
        CHECK_FALSE(ud.has_ilst);
        CHECK(ud.ilst_fields.empty());
    }
}

TEST_CASE("ilst items written: sizes, codes and round trips") {
    atomkit::user_data ud;
    ud.has_ilst = true;
    ud.ilst_fields = fields({{"track", {"3"}}, {"totaltracks", {"12"}}, {"discnumber", {"2"}}, {"tempo", {"00120 BPM"}},
                             {"itunescompilation", {"1"}}, {"genre", {"rock"}}, {"artist", {"A", "B"}},
                             {"my field", {"v"}}});
    ud.ilst_fields["codec"] = {false, {"ALAC"}};
    auto cover = std::make_shared<atomkit::picture_entry>();
    cover->data = {0xFF, 0xD8, 1, 2};
    ud.cover = cover;
    ud.raw_items.push_back({fourcc("xid "), box("data", cat({bytes{0, 0, 0, 1, 0, 0, 0, 0}, text("raw")}))});
    const bytes out = written_items(ud);
    const bytes expected = cat({
        item("trkn", 0, {0, 0, 0, 3, 0, 12, 0, 0}),  // 32 bytes
        item("disk", 0, {0, 0, 0, 2, 0, 0}),         // 30
        item("tmpo", 21, {0, 120}),                  // 26
        item("cpil", 21, {1}),                       // 25
        item("gnre", 0, {0, 18}),                    // 26
        item("\xA9" "ART", 1, text("A")),
        item("\xA9" "ART", 1, text("B")),
        freeform("cdec", "ALAC"),
        freeform("my field", "v"),
        item("covr", 13, {0xFF, 0xD8, 1, 2}),
        box("xid ", ud.raw_items[0].payload),
    });
    CHECK(out == expected);
    CHECK(item("trkn", 0, {0, 0, 0, 3, 0, 12, 0, 0}).size() == 32);
    CHECK(freeform("ab", "xyz").size() == 64 + 2 + 3);

    const atomkit::user_data back = read_items(out);
    CHECK(get(back.ilst_fields, "artist") == values{"A", "B"});
    CHECK(get(back.ilst_fields, "tempo") == values{"00120 BPM"});
    CHECK(get(back.ilst_fields, "disc") == values{"2"});
    CHECK(get(back.ilst_fields, "codec") == values{"ALAC"});
    CHECK_FALSE(back.ilst_fields.at("codec").is_meta);
    CHECK(back.raw_items.size() == 1);
}

TEST_CASE("ilst writing: what is not a number or a listed genre") {
    const struct {
        atomkit::field_set in;
        bytes out;
    } rows[] = {
        {fields({{"track", {"3/12"}}}), freeform("track", "3/12")},
        {fields({{"track", {"70000"}}}), freeform("track", "70000")},  // would not fit the 16 bits of "trkn"
        {fields({{"disc", {"65535"}}}), item("disk", 0, {0, 0, 0xFF, 0xFF, 0, 0})},
        {fields({{"genre", {"Crossover"}}}), item("\xA9gen", 1, text("Crossover"))},
        {fields({{"genre", {"Hard Rock"}}}), item("gnre", 0, {0, 80})},
        {fields({{"genre", {"A", "B"}}}), cat({freeform("genre", "A"), freeform("genre", "B")})},  // not single-valued
        {fields({{"year", {"1999"}}}), item("\xA9" "day", 1, text("1999"))},
        {fields({{"album artist", {"V"}}}), item("aART", 1, text("V"))},
        {fields({{"track", {""}}, {"tracknumber", {"5"}}}), item("trkn", 0, {0, 0, 0, 5, 0, 0, 0, 0})},
    };
    for (const auto& r : rows) {
        atomkit::user_data ud;
        ud.ilst_fields = r.in;
        CAPTURE(r.in.begin()->first);
        CHECK(written_items(ud) == r.out);
    }
}

TEST_CASE("meta box, chpl and index map written") {
    atomkit::user_data ud;
    atomkit::box_buffer meta;
    atomkit::write_meta_box(ud, meta);
    REQUIRE(meta.size() == 4 + 33 + 8);
    CHECK(bytes(meta.data() + 4, meta.data() + 37) ==
          box("hdlr", cat({filler(8, 0), text("mdirappl"), filler(9, 0)})));

    std::vector<atomkit::chapter_entry> chapters(1);
    CHECK_FALSE(atomkit::chpl_wanted(chapters));
    chapters[0].start = 478912;
    CHECK(atomkit::chpl_wanted(chapters));
    chapters[0].start = 0;
    chapters.resize(2);
    chapters[0].fields = fields({{"title", {std::string(254, 'a') + "\xC3\xA9"}}});  // 256 bytes
    chapters[1].fields = fields({{"title", {"x", "y"}}});
    chapters[1].start = 20000000;
    atomkit::box_buffer chpl;
    atomkit::write_chpl(chapters, chpl);
    bytes expected = {1, 0, 0, 0, 0};
    put32(expected, 2), put64(expected, 0);
    expected.push_back(254);  // cut before the two-byte character
    expected.insert(expected.end(), 254, 'a');
    put64(expected, 20000000);
    expected.push_back(0);  // two values: no title
    CHECK(bytes(chpl.data(), chpl.data() + chpl.size()) == expected);

    atomkit::user_data back;
    const bytes chpl_box = box("chpl", expected);
    atomkit::memory_atom_stream s(chpl_box.data(), chpl_box.size());
    atomkit::read_user_data(s, chpl_box.size(), 0x13, back);
    REQUIRE(back.chpl_chapters.size() == 2);
    CHECK(back.chpl_chapters[1].start == 20000000);
    CHECK(back.chpl_chapters[0].title == std::string(254, 'a'));

    std::vector<atomkit::index_entry> map(1);
    map[0].pregap = 7;
    map[0].points = {1, 2};
    atomkit::box_buffer indx;
    atomkit::write_index_map(map, indx);
    const bytes indx_box = box("indx", bytes(indx.data(), indx.data() + indx.size()));
    atomkit::memory_atom_stream s2(indx_box.data(), indx_box.size());
    atomkit::user_data back2;
    atomkit::read_user_data(s2, indx_box.size(), 0x13, back2);
    REQUIRE(back2.index_map.size() == 1);
    CHECK(back2.index_map[0].points == std::vector<uint64_t>{1, 2});
}

TEST_CASE("the tags box: round trip and its errors") {
    atomkit::user_data ud;
    ud.tags_fields = fields({{"album", {"Al"}}});
    ud.tags_fields[std::string(300, 'n')].values = {std::string(0x100001, 'v')};
    ud.tags_fields["tool"] = {false, {"t"}};
    auto pic = std::make_shared<atomkit::picture_entry>();
    pic->name = "back cover";
    pic->index = 4;
    pic->data = {1, 2, 3};
    ud.tags_pictures.push_back(pic);
    ud.tag_segments.push_back({2, fields({{"title", {"Ch3"}}})});
    atomkit::box_buffer out;
    atomkit::write_tags_box(ud, out);
    const bytes tags = box("tags", bytes(out.data(), out.data() + out.size()));

    atomkit::user_data back;
    atomkit::memory_atom_stream s(tags.data(), tags.size());
    atomkit::read_user_data(s, tags.size(), 0x5B, back);
    REQUIRE(back.has_tags);
    CHECK(get(back.tags_fields, "album") == values{"Al"});
    CHECK_FALSE(back.tags_fields.at("tool").is_meta);
    CHECK(get(back.tags_fields, std::string(255, 'n').c_str())[0].size() == 0xFFFFF);
    REQUIRE(back.tags_pictures.size() == 1);
    CHECK(back.tags_pictures[0]->name == "back cover");
    CHECK(back.tags_pictures[0]->index == 4);
    REQUIRE(back.tag_segments.size() == 1);
    CHECK(back.tag_segments[0].chapter == 2);
    CHECK(get(back.tag_segments[0].fields, "title") == values{"Ch3"});

    auto read_tags = [](const bytes& payload, uint32_t flags = 0x5B) {
        atomkit::user_data u;
        const bytes b = box("tags", payload);
        atomkit::memory_atom_stream st(b.data(), b.size());
        atomkit::read_user_data(st, b.size(), flags, u);
        return u;
    };
    bytes tshd, big_tshd, count_big, null_meta;
    put32(tshd, 1), put32(big_tshd, 1001), put32(count_big, 65536), put32(null_meta, 0), put32(null_meta, 0);
    const bytes bad[] = {
        box("tseg", box("meta", full(0))),                                   // no tshd
        box("tseg", cat({box("tshd", tshd), box("tshd", tshd)})),            // two
        box("tseg", box("tshd", big_tshd)),                                  // above 1000
        box("tseg", box("tshd", bytes{0, 1})),                               // size
        box("tshd", tshd),                                                   // not in a segment
        box("meta", count_big),                                              // field count
        box("meta", null_meta),                                              // false null meta
        box("covr", bytes{0, 0}),                                            // cover size
    };
    for (const bytes& b : bad) {
        const atomkit::user_data u = read_tags(cat({box("meta", cat({bytes{0, 0, 0, 1, 0x80, 0, 1, 'a', 0, 1},
                                                                          bytes{0, 0, 0, 1, 'x'}})),
                                                     b}));
        CHECK_FALSE(u.has_tags);
        CHECK(u.tags_fields.empty());
    }
    // Two "tags" boxes leave none.
    atomkit::user_data two;
    const bytes both = cat({tags, tags});
    atomkit::memory_atom_stream st(both.data(), both.size());
    atomkit::read_user_data(st, both.size(), 0x5B, two);
    CHECK_FALSE(two.has_tags);
    CHECK(two.tag_segments.empty());
    // The legacy "covr": one picture, or counted pictures named by the flags.
    bytes legacy = {0xFF, 0xD8, 0xFF, 0xE0, 9};
    CHECK(read_tags(box("covr", legacy)).tags_pictures.at(0)->data == legacy);
    bytes counted;
    put32(counted, 0), put32(counted, 2), put32(counted, 1), counted.push_back(7), put32(counted, 1), counted.push_back(8);
    const atomkit::user_data c = read_tags(box("covr", counted));
    REQUIRE(c.tags_pictures.size() == 2);
    CHECK(c.tags_pictures[1]->name == "booklet");
    CHECK(c.tags_pictures[1]->index == 1);
    CHECK(c.tags_pictures[1]->data == bytes{8});
}

TEST_CASE("prepare_user_data folds chapter fields") {
    atomkit::movie_file m;
    m.chapters.resize(2);
    m.chapters[0].fields = fields({{"album", {"Al"}}, {"title", {"One"}}, {"artist", {"A"}}});
    m.chapters[1].fields = fields({{"ALBUM", {"Al"}}, {"title", {"Two"}}, {"artist", {"B", "A"}}});
    auto front = std::make_shared<atomkit::picture_entry>();
    front->name = "front cover";
    auto back = std::make_shared<atomkit::picture_entry>();
    back->name = "back cover";
    m.pictures = {back, front};
    m.prepare_user_data(3);
    CHECK(m.ud.has_ilst);
    CHECK(m.ud.has_tags);
    CHECK(m.ud.ilst_fields.size() == 1);
    CHECK(get(m.ud.ilst_fields, "album") == values{"Al"});
    CHECK(m.ud.cover.get() == front.get());
    CHECK(m.ud.tags_pictures.size() == 2);
    REQUIRE(m.ud.tag_segments.size() == 2);
    CHECK(m.ud.tag_segments[1].chapter == 1);
    CHECK(get(m.ud.tag_segments[1].fields, "title") == values{"Two"});
    CHECK(get(m.ud.tag_segments[1].fields, "artist") == values{"B", "A"});
    CHECK(get(m.ud.tag_segments[1].fields, "album") == values{"<none>"});

    m.chapters.resize(1);
    m.prepare_user_data(1);
    CHECK_FALSE(m.ud.has_tags);
    CHECK(m.ud.ilst_fields.size() == 3);
}

TEST_CASE("cut_utf8 ends on a character boundary") {
    CHECK(atomkit::cut_utf8("a\xC3\xA9", 2) == "a");
    CHECK(atomkit::cut_utf8("a\xC3\xA9", 3) == "a\xC3\xA9");
    CHECK(atomkit::cut_utf8("\xF0\x9F\x8E\xB5x", 3) == "");
    CHECK(atomkit::cut_utf8("abc", 2) == "ab");
}
