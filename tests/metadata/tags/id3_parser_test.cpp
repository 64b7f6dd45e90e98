#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "metadata/tags/id3_tag.h"
#include "metadata/tags/id3_text.h"
#include "tests/metadata/tags/tag_bytes.h"
#include "tests/support/guarded_buffer.h"

using namespace tag_bytes;
using id3parser::frameFilter;
using id3parser::frameId;

namespace {

// Read from a copy that ends at a no-access page: a read past the tag crashes the test.
id3parser::tag parse(const bytes& data, const frameFilter& filter = frameFilter::everything()) {
    guarded_text guarded(data);
    id3parser::memoryReader in(guarded.bytes(), guarded.size());
    id3parser::tag t;
    id3parser::parseTag(in, t, filter);
    return t;
}

bytes write(const id3parser::tag& t, uint64_t available = 0, uint64_t maxPadding = 16384) {
    id3parser::vectorWriter out;
    id3parser::writeTag(out, t, available, maxPadding);
    return out.bytes();
}

std::string ids(const id3parser::tag& t) {
    std::string out;
    for (const id3parser::frame& f : t.frames) {
        if (!out.empty()) out += ",";
        for (int shift = 24; shift >= 0; shift -= 8) out += char((f.id >> shift) & 0xFF);
    }
    return out;
}

}  // namespace

TEST_CASE("unsynchronisation: tag-wide in 2.2 and 2.3, per frame in 2.4, literal otherwise") {
    const bytes plain{3, 'a', 0xFF, 0x00, 0xFF, 0xE1, 'b'};
    const bytes encoded = id3parser::unsynchronise(plain);
    CHECK(encoded == bytes{3, 'a', 0xFF, 0x00, 0x00, 0xFF, 0x00, 0xE1, 'b'});
    struct row {
        const char* what;
        bytes tag;
        bytes expected;
    } rows[] = {
        {"2.3 header flag 0x80", id3_header(3, 0x80, id3parser::unsynchronise(frame23("TIT2", plain))), plain},
        {"2.2 header flag 0x80", id3_header(2, 0x80, id3parser::unsynchronise(frame22("TT2", plain))), plain},
        {"2.3 without the flag", id3_header(3, 0, frame23("TIT2", encoded)), encoded},
        {"2.4 header flag only (ignored)", id3_header(4, 0x80, frame24("TIT2", encoded)), encoded},
        {"2.4 without any flag", id3_header(4, 0x00, frame24("TIT2", encoded)), encoded},
        {"2.4 frame flags 0x03 with data length", id3_header(4, 0, frame24("TIT2", cat({syncsafe(7), encoded}), 0x03)), plain},
        {"2.4 frame flag 0x02 alone", id3_header(4, 0, frame24("TIT2", encoded, 0x02)), plain},
        {"2.4 frame flag 0x01 alone", id3_header(4, 0, frame24("TIT2", cat({syncsafe(9), encoded}), 0x01)), encoded},
    };
    for (const row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        id3parser::tag t = parse(r.tag);
        REQUIRE(t.frames.size() == 1);
        CHECK(t.frames[0].id == frameId("TIT2"));
        CHECK(t.frames[0].data == r.expected);
    }
}

TEST_CASE("an unsynchronised 2.4 payload larger than the read chunks comes back whole") {
    bytes payload(5000);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(i * 7);
    payload[255] = 0xFF;  // a partner that falls exactly behind the first chunk
    payload[256] = 0xF0;
    bytes encoded = id3parser::unsynchronise(payload);
    id3parser::tag t = parse(id3_header(4, 0, frame24("PRIV", encoded, 0x02)));
    REQUIRE(t.frames.size() == 1);
    CHECK(t.frames[0].data == payload);
}

TEST_CASE("the unsynchronisation reader keeps a partner byte across reads") {
    const bytes raw{'a', 0xFF, 0x41, 0xFF, 0x00, 'z'};
    guarded_text guarded_raw(raw);
    id3parser::memoryReader mem(guarded_raw.bytes(), guarded_raw.size());
    id3parser::unsyncReader in(mem);
    bytes got;
    uint8_t c;
    while (in.read(&c, 1) == 1) got.push_back(c);
    CHECK(got == bytes{'a', 0xFF, 0x41, 0xFF, 'z'});

    const bytes bad[] = {{'a', 0xFF, 0xE0}, {'a', 0xFF}};
    for (const bytes& data : bad) {
        guarded_text guarded(data);
        id3parser::memoryReader m(guarded.bytes(), guarded.size());
        id3parser::unsyncReader u(m);
        uint8_t buffer[8];
        CHECK_THROWS_AS(u.read(buffer, sizeof buffer), id3parser::parseError);
    }
}

TEST_CASE("frames are kept, skipped or dropped by their flags and the filter") {
    const bytes tit2 = frame23("TIT2", text3("t"));
    const bytes apic = frame23("APIC", bytes{0, 'i', 'm', 'a', 'g', 'e', '/', 'p', 'n', 'g', 0, 3, 0, 1, 2});
    struct row {
        const char* what;
        bytes tag;
        frameFilter filter;
        std::string expected;
    } rows[] = {
        {"all frames", id3_header(3, 0, cat({tit2, apic})), frameFilter::everything(), "TIT2,APIC"},
        {"pictures filtered", id3_header(3, 0, cat({apic, tit2})), frameFilter::allBut(frameId("APIC")), "TIT2"},
        {"only COMM", id3_header(3, 0, cat({tit2, frame23("COMM", text3("engd\0x"))})), frameFilter::only(frameId("COMM")),
         "COMM"},
        {"year and date", id3_header(3, 0, cat({tit2, frame23("TYER", text0("1999")), frame23("TDAT", text0("0605"))})),
         frameFilter::yearAndDate(), "TYER,TDAT"},
        {"2.3 encrypted and grouped frames skipped",
         id3_header(3, 0, cat({frame23("TALB", text3("x"), 0, 0x40), frame23("TPE1", text3("x"), 0, 0x20), tit2})),
         frameFilter::everything(), "TIT2"},
        {"2.3 compressed frame dropped, the others kept",
         id3_header(3, 0, cat({frame23("TALB", cat({be32(10), b("zzzz")}), 0, 0x80), tit2})), frameFilter::everything(),
         "TIT2"},
        {"2.3 empty frame skipped", id3_header(3, 0, cat({frame23("TALB", {}), tit2})), frameFilter::everything(), "TIT2"},
        {"2.4 status flags skip", id3_header(4, 0, cat({frame24("TALB", text3("x"), 0, 0x40), frame24("TIT2", text3("t"))})),
         frameFilter::everything(), "TIT2"},
        {"2.4 grouping and encryption skip",
         id3_header(4, 0, cat({frame24("TALB", text3("x"), 0x40), frame24("TPE1", text3("x"), 0x04), frame24("TIT2", text3("t"))})),
         frameFilter::everything(), "TIT2"},
        {"padding ends the list", id3_header(3, 0, cat({tit2, bytes(20, 0)})), frameFilter::everything(), "TIT2"},
        {"a short id at the end ends the list", id3_header(3, 0, cat({tit2, b("TA")})), frameFilter::everything(), "TIT2"},
        {"2.3 extended header", id3_header(3, 0x40, cat({be32(6), bytes(6, 0), tit2})), frameFilter::everything(), "TIT2"},
        {"2.4 extended header", id3_header(4, 0x40, cat({syncsafe(6), {1, 0}, frame24("TIT2", text3("t"))})),
         frameFilter::everything(), "TIT2"},
        {"2.4 footer flag allowed", id3_header(4, 0x10, frame24("TIT2", text3("t"))), frameFilter::everything(), "TIT2"},
    };
    for (const row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        CHECK(ids(parse(r.tag, r.filter)) == r.expected);
    }
}

TEST_CASE("malformed tags raise the parse error and nothing else") {
    const bytes tit2 = frame23("TIT2", text3("t"));
    bytes badSyncsafe = id3_header(3, 0, tit2);
    badSyncsafe[8] |= 0x80;
    bytes truncated = id3_header(3, 0, tit2);
    truncated.resize(truncated.size() - 2);
    bytes pastEnd = id3_header(3, 0, frame23("TIT2", text3("abc")));
    pastEnd[10 + 7] = 0x40;  // frame size 0x40 in a tag of a dozen bytes
    bytes huge = id3_header(3, 0, cat({b("PRIV"), be32(0x3FFFFFF), {0, 0}, b("x")}));
    struct row {
        const char* what;
        bytes tag;
    } rows[] = {
        {"not ID3", cat({b("ID4"), {3, 0, 0}, syncsafe(0)})},
        {"header cut short", b("ID3\x03")},
        {"bad syncsafe size", badSyncsafe},
        {"version 5", id3_header(5, 0, tit2)},
        {"version 1", id3_header(1, 0, tit2)},
        {"2.2 with flag 0x40", id3_header(2, 0x40, frame22("TT2", text3("t")))},
        {"2.3 with flag 0x10", id3_header(3, 0x10, tit2)},
        {"2.4 with flag 0x01", id3_header(4, 0x01, frame24("TIT2", text3("t")))},
        {"2.4 extended header below 6", id3_header(4, 0x40, cat({syncsafe(5), {0}, frame24("TIT2", text3("t"))}))},
        {"2.4 extended header past the tag", id3_header(4, 0x40, cat({syncsafe(600), {0, 0}}))},
        {"2.3 extended header past the tag", id3_header(3, 0x40, cat({be32(600), {0, 0}}))},
        {"tag body shorter than declared", truncated},
        {"frame past the end of the tag", pastEnd},
        {"huge frame size with one byte behind it", huge},
        {"frame size 0x4000000", id3_header(3, 0, cat({b("TIT2"), be32(0x4000000), {0, 0}}))},
        {"2.4 frame size with bit 7", id3_header(4, 0, cat({b("TIT2"), {0, 0, 0, 0x81}, {0, 0}, text3("t")}))},
        {"2.4 compressed frame", id3_header(4, 0, frame24("TIT2", text3("t"), 0x08))},
        {"2.3 compressed frame below 4 bytes", id3_header(3, 0, frame23("TIT2", {1, 2}, 0, 0x80))},
        {"2.4 data length indicator below 4 bytes", id3_header(4, 0, frame24("TIT2", {1, 2}, 0x01))},
        {"2.4 unsynchronised FF E0", id3_header(4, 0, frame24("TIT2", {3, 0xFF, 0xE0}, 0x02))},
        {"2.4 unsynchronised final FF", id3_header(4, 0, frame24("TIT2", {3, 'a', 0xFF}, 0x02))},
        {"2.3 tag-wide final FF", id3_header(3, 0x80, frame23("TIT2", {3, 'a', 0xFF}))},
        {"2.2 frame header cut", id3_header(2, 0, b("TT2\x00"))},
        {"2.2 picture with encoding 2", id3_header(2, 0, frame22("PIC", {2, 'J', 'P', 'G', 3, 0}))},
        {"2.2 picture of 3 bytes", id3_header(2, 0, frame22("PIC", {0, 'J', 'P'}))},
    };
    for (const row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        CHECK_THROWS_AS(parse(r.tag), id3parser::parseError);
    }
}

TEST_CASE("2.2 frames take their 2.3 ids; pictures get a MIME type; unknown frames vanish") {
    struct row {
        const char* format;
        const char* mime;
    } rows[] = {{"JPG", "image/jpeg"}, {"PNG", "image/png"}, {"GIF", "image/gif"}, {"BMP", "image/x-unknown"}};
    for (const row& r : rows) {
        std::string format = r.format;
        CAPTURE(format);
        bytes pic = cat({{0}, b(r.format), {3}, b("desc"), {0}, {0xDE, 0xAD}});
        bytes tag = id3_header(2, 0, cat({frame22("TT2", text0("Title")), frame22("ULT", text0("engx\0lyrics")),
                                          frame22("PIC", pic), frame22("COM", text0("eng\0c")), frame22("TYE", text0("1999"))}));
        // The 2.2 filter is not consulted: pictures come through even with pictures filtered out.
        id3parser::tag t = parse(tag, frameFilter::allBut(frameId("APIC")));
        CHECK(t.version == 2);
        REQUIRE(ids(t) == "TIT2,APIC,COMM,TYER");
        CHECK(t.frames[1].data == cat({{0}, b(r.mime), {0, 3}, b("desc"), {0}, {0xDE, 0xAD}}));
    }
}

TEST_CASE("padding fills the old space up to the maximum, else 2048 bytes") {
    struct row {
        uint64_t available;
        size_t frameBytes;
        uint64_t maxPadding;
        uint64_t expectedPadding;
    } rows[] = {
        {1000, 500, 16384, 490},   {20000, 500, 16384, 2048}, {0, 500, 16384, 2048}, {1005, 1000, 16384, 2048},
        {1010, 1000, 16384, 0},    {510, 500, 16384, 0},      {4000, 2000, 16384, 1990}, {4000, 3995, 16384, 2048},
        {3000, 500, 1000, 1000},   {0, 500, 100, 100},
    };
    for (const row& r : rows) {
        CAPTURE(r.available);
        CAPTURE(r.frameBytes);
        id3parser::tag t;
        t.version = 3;
        t.frames.emplace_back(frameId("PRIV"), bytes(r.frameBytes - 10, 'x'));
        bytes out = write(t, r.available, r.maxPadding);
        CHECK(out.size() == 10 + r.frameBytes + r.expectedPadding);
        CHECK(id3parser::syncsafeDecode(&out[6]) == r.frameBytes + r.expectedPadding);
        for (size_t i = 10 + r.frameBytes; i < out.size(); ++i) REQUIRE(out[i] == 0);
    }
}

TEST_CASE("2.4 frames are unsynchronised only when needed; the header flag only when all are") {
    id3parser::tag t;
    t.version = 4;
    t.frames.emplace_back(frameId("PRIV"), bytes{'o', 'k', 0xFF});
    bytes out = write(t, 0, 0);
    // One frame, unsynchronised: format 0x03, size = encoded + 4, the data length before encoding.
    CHECK(out[5] == 0x80);
    CHECK(bytes(out.begin() + 10, out.end()) == cat({b("PRIV"), syncsafe(8), {0, 0x03}, syncsafe(3), {'o', 'k', 0xFF, 0x00}}));

    t.frames.emplace_back(frameId("APIC"), bytes{0xFF, 0x00, 0xD8});  // FF 00 stays literal: no unsync needed
    out = write(t, 0, 0);
    CHECK(out[5] == 0x00);
    CHECK(bytes(out.end() - 13, out.end()) == cat({b("APIC"), syncsafe(3), {0, 0}, {0xFF, 0x00, 0xD8}}));
    id3parser::tag back = parse(out);
    REQUIRE(back.frames.size() == 2);
    CHECK(back.frames[0].data == t.frames[0].data);
    CHECK(back.frames[1].data == t.frames[1].data);

    // 2.3 never unsynchronises and writes plain sizes.
    t.version = 3;
    out = write(t, 0, 0);
    CHECK(out[5] == 0x00);
    CHECK(bytes(out.begin() + 10, out.begin() + 23) == cat({b("PRIV"), be32(3), {0, 0}, {'o', 'k', 0xFF}}));
}

TEST_CASE("writing needs version 3 or 4 and sizes within 28 bits") {
    for (int version : {0, 2, 5}) {
        id3parser::tag t;
        t.version = version;
        CHECK_THROWS_AS(write(t), id3parser::writeError);
    }
    uint8_t out[4];
    CHECK_THROWS_AS(id3parser::syncsafeEncode(0x10000000, out), id3parser::writeError);
    id3parser::syncsafeEncode(0x0FFFFFFF, out);
    CHECK(bytes(out, out + 4) == bytes{0x7F, 0x7F, 0x7F, 0x7F});
}

TEST_CASE("a written tag reads back with the same frames in both versions") {
    for (int version : {3, 4}) {
        CAPTURE(version);
        id3parser::tag t;
        t.version = version;
        id3parser::frame title(frameId("TIT2"));
        id3parser::setText(title, "Caf\xC3\xA9", version == 3 ? 1 : 3);
        t.frames.push_back(title);
        t.frames.emplace_back(frameId("APIC"), bytes{0, 'i', 0, 3, 0, 0xFF, 0xD8, 0xFF, 0xE0, 0xFF});
        id3parser::tag back = parse(write(t, 0, 16384));
        CHECK(back.version == version);
        REQUIRE(back.frames.size() == 2);
        CHECK(back.frames[0].data == t.frames[0].data);
        CHECK(back.frames[1].data == t.frames[1].data);
        CHECK(id3parser::getValue(back.frames[0], 0) == "Caf\xC3\xA9");
    }
}

TEST_CASE("converting for 2.3 keeps pictures, comments and lyrics, and their text") {
    id3parser::tag t;
    t.version = 2;
    t.frames.emplace_back(frameId("TIT2"), text3("x"));
    t.frames.emplace_back(frameId("APIC"), bytes{0, 'i', 0, 3, 0, 1});
    t.frames.emplace_back(frameId("COMM"), cat({{3}, b("deu"), b("d"), {0}, b("\xC3\xBC" "ber")}));
    t.frames.emplace_back(frameId("USLT"), cat({{0}, b("eng"), {0}, b("la")}));
    t.frames.emplace_back(frameId("COMM"), bytes{1, 'e', 'n'});           // too short
    t.frames.emplace_back(frameId("COMM"), cat({{7}, b("eng"), b("x")}));  // unknown encoding
    t.frames.emplace_back(frameId("COMM"), cat({{2}, b("eng")}));          // no string
    id3parser::convertForVersion(t, 3);
    REQUIRE(ids(t) == "APIC,COMM,USLT");
    const id3parser::frame& comm = t.frames[1];
    CHECK(comm.data[0] == 1);
    CHECK(std::string(comm.data.begin() + 1, comm.data.begin() + 4) == "deu");
    CHECK(id3parser::getValue(comm, 0) == "d");
    CHECK(id3parser::getValue(comm, 1) == "\xC3\xBC" "ber");
    CHECK(t.frames[2].data == cat({{0}, b("eng"), {0}, b("la")}));

    id3parser::tag v4;
    v4.frames.emplace_back(frameId("COMM"), cat({{3}, b("deu"), b("d"), {0}, b("x")}));
    id3parser::convertForVersion(v4, 4);
    CHECK(v4.frames[0].data == cat({{3}, b("deu"), b("d"), {0}, b("x")}));
}
