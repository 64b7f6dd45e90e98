#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/kpl/io_exceptions.h"
#include "metadata/tags/ape_tag.h"
#include "tests/metadata/tags/tag_bytes.h"
#include "tests/metadata/tags/tag_info_text.h"
#include "tests/support/guarded_buffer.h"

using namespace tag_bytes;
using tag_test::info_from;
using tag_test::info_text;
using tag_test::meta_text;

namespace {

bytes item(uint32_t flags, const std::string& key, const std::string& value) {
    return cat({le32(uint32_t(value.size())), le32(flags), b(key), {0}, b(value)});
}

void add(ape_item_list& items, const char* key, const std::string& value, uint32_t type = 0, uint8_t read_only = 0) {
    ape_list_append(items, key, type, read_only, value.data(), uint32_t(value.size()));
}

// Items as "key[flags]=value" with zero bytes shown as '|'.
std::string items_text(const ape_item_list& items) {
    std::string out;
    for (ape_item* i = items.first_node(); i; i = i->next) {
        if (!out.empty()) out += ", ";
        out += i->key.c_str();
        if (i->read_only || i->type) out += "[" + std::to_string(i->read_only) + std::to_string(i->type) + "]";
        out += "=";
        for (uint32_t k = 0; k < i->value.count(); ++k) out += i->value[k] ? char(i->value[k]) : '|';
    }
    return out;
}

// Parsed from a copy that ends at a no-access page: a read past the data crashes the test.
std::string parsed(const bytes& data, uint32_t count, uint32_t version = ape_version_2) {
    ape_item_list items;
    guarded_text guarded(data);
    ape_parse_items(guarded.bytes(), uint32_t(guarded.size()), count, version, items);
    return items_text(items);
}

}  // namespace

TEST_CASE("APE items are parsed until the count, the buffer or a broken item ends them") {
    const bytes two = cat({item(0, "Artist", "A"), item(3, "Cover", "\x89PNG")});
    bytes too_large = cat({le32(0x1000001), le32(0), b("Big"), {0}, b("x")});
    struct row {
        const char* what;
        bytes data;
        uint32_t count;
        uint32_t version;
        const char* items;
    } rows[] = {
        {"text and binary", two, 2, ape_version_2, "Artist=A, Cover[11]=\x89PNG"},
        {"count stops early", two, 1, ape_version_2, "Artist=A"},
        {"huge count", two, 0xFFFFFFFF, ape_version_2, "Artist=A, Cover[11]=\x89PNG"},
        {"APEv1 ignores flags", two, 2, ape_version_1, "Artist=A, Cover=\x89PNG"},
        {"value too large", cat({item(0, "A", "1"), too_large}), 5, ape_version_2, "A=1"},
        {"no key terminator", cat({item(0, "A", "1"), le32(1), le32(0), b("Key")}), 5, ape_version_2, "A=1"},
        {"value past the end", cat({item(0, "A", "1"), le32(50), le32(0), b("K"), {0}, b("short")}), 5, ape_version_2, "A=1"},
        {"header cut short", cat({item(0, "A", "1"), {1, 2, 3}}), 5, ape_version_2, "A=1"},
        {"multi-value", item(0, "Artist", std::string("A\0B", 3)), 1, ape_version_2, "Artist=A|B"},
    };
    for (const row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        CHECK(parsed(r.data, r.count, r.version) == r.items);
    }
}

TEST_CASE("APE items become fields, technical fields and ReplayGain") {
    ape_item_list items;
    add(items, "Track", "3/10");
    add(items, "Disc", "/2");
    add(items, "Year", "1999");
    add(items, "Artist", std::string("A\0\0B", 4));
    add(items, "Comment", "kept as info", 0, 1);
    add(items, "Cover Art (Front)", "\xFF\xD8", 1);
    add(items, "REPLAYGAIN_TRACK_GAIN", "-6.20 dB");
    add(items, "Bad=Key", "x");
    add(items, "Empty", "");
    add(items, "album artist", "AA");
    track_info_store info = info_from({"old=gone"});
    ape_items_to_info(items, ape_version_2, info);
    CHECK(meta_text(info) == "album artist=AA|Artist=A|Artist=|Artist=B|date=1999|totaldiscs=2|totaltracks=10|tracknumber=3");
    CHECK(info_text(info, "Comment") == "kept as info");
    CHECK(info_text(info, "tagtype") == "apev2");
    CHECK(info.get_replaygain().track_gain == doctest::Approx(-6.2));

    ape_item_list v1;
    add(v1, "Track", "4");
    track_info_store info1;
    ape_items_to_info(v1, ape_version_1, info1);
    CHECK(meta_text(info1) == "tracknumber=4");
    CHECK(info_text(info1, "tagtype") == "apev1");
}

TEST_CASE("fields become APE items; read-only and binary items stay") {
    ape_item_list items;
    add(items, "Comment", "read-only", 0, 1);
    add(items, "Title", "old title");
    add(items, "Cover Art (Front)", "\xFF\xD8", 1);
    add(items, "Link", "http://x", 2);
    track_info_store info = info_from({"tracknumber=3", "date=1999", "album artist=AA", "CATALOG_NUMBER=C1", "artist=A",
                                       "artist=B", "totaldiscs=2", "title=T"});
    replaygain_values rg;
    rg.track_peak = 0.5f;
    rg.album_gain = -1.25f;
    info.set_replaygain(rg);
    ape_items_from_info(info, items);
    CHECK(items_text(items) ==
          "Comment[10]=read-only, Cover Art (Front)[01]=\xFF\xD8, Link[02]=http://x, Track=3, Year=1999, "
          "Album artist=AA, Catalog_number=C1, Artist=A|B, Title=T, replaygain_album_gain=-1.25 dB, "
          "replaygain_track_peak=0.500000");

    ape_item_list numbers;
    ape_items_from_info(info_from({"tracknumber=3", "totaltracks=10", "discnumber=1", "totaldiscs=2"}), numbers);
    CHECK(items_text(numbers) == "Track=3/10, Disc=1/2");
}

TEST_CASE("a tag is header, items and footer; a body is a header-only tag without its magic") {
    ape_item_list items;
    add(items, "Artist", "A");
    kpl::array<uint8_t> tag;
    ape_serialize(items, true, tag);
    bytes items_bytes = item(0, "Artist", "A");
    uint32_t size = uint32_t(items_bytes.size()) + 32;
    bytes expected = cat({b("APETAGEX"), le32(2000), le32(size), le32(1), le32(0xA0000000), bytes(8, 0), items_bytes,
                          b("APETAGEX"), le32(2000), le32(size), le32(1), le32(0x80000000), bytes(8, 0)});
    CHECK(bytes(tag.begin(), tag.end()) == expected);

    kpl::array<uint8_t> body;
    ape_body_serialize(items, body);
    CHECK(bytes(body.begin(), body.end()) ==
          cat({le32(2000), le32(uint32_t(items_bytes.size())), le32(1), le32(0xA0000000), bytes(8, 0), items_bytes}));
    ape_item_list back;
    guarded_text guarded_body(bytes(body.begin(), body.end()));
    ape_body_parse(guarded_body.bytes(), uint32_t(guarded_body.size()), back);
    CHECK(items_text(back) == "Artist=A");

    const bytes bad[] = {
        bytes(23, 0),                                                   // shorter than 24
        cat({le32(3000), le32(0), le32(0), le32(0), bytes(8, 0)}),       // unknown version
        cat({le32(2000), le32(100), le32(0), le32(0), bytes(8, 0)}),     // size beyond the body
    };
    for (const bytes& data : bad) {
        guarded_text guarded(data);
        CHECK_THROWS_AS(ape_body_parse(guarded.bytes(), uint32_t(guarded.size()), back), ketrel_io::exception_io_data);
    }
}
