#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "metadata/tags/id3_tag.h"
#include "metadata/tags/id3_text.h"
#include "tests/metadata/tags/tag_bytes.h"
#include "tests/support/guarded_buffer.h"

using namespace tag_bytes;
using id3parser::frameId;

namespace {

id3parser::frame make(const char* id, const bytes& payload) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | uint8_t(id[i]);
    return id3parser::frame(value, payload);
}

std::vector<std::string> allValues(const id3parser::frame& f, bool strict = false) {
    std::vector<std::string> out;
    uint32_t n = id3parser::valueCount(f);
    id3parser::textCursor cursor;
    for (uint32_t i = 0; i < n; ++i) out.push_back(id3parser::getValue(f, i, cursor, strict));
    return out;
}

}  // namespace

TEST_CASE("strings are counted and read by their terminators") {
    using list = std::vector<std::string>;
    struct row {
        const char* what;
        const char* id;
        bytes payload;
        list values;
    } rows[] = {
        {"two terminated", "TPE1", text3(std::string("a\0b\0", 4)), {"a", "b"}},
        {"last unterminated", "TPE1", text3(std::string("a\0b", 3)), {"a", "b"}},
        {"second empty", "TPE1", text3(std::string("a\0\0", 3)), {"a", ""}},
        {"empty middle string is passed over", "TPE1", text3(std::string("a\0\0c", 4)), {"a", "c", ""}},
        {"only the encoding byte", "TPE1", {3}, {}},
        {"comment with language and empty description", "COMM", cat({{3}, b("eng"), {0}, b("text")}), {"", "text"}},
        {"comment with only its language", "COMM", cat({{0}, b("eng")}), {}},
        {"UTF-16 with marks", "TPE1", text1({u"A\u00e9", u"\u4e2d"}), {"A\xC3\xA9", "\xE4\xB8\xAD"}},
        {"UTF-16 big-endian mark", "TPE1", {1, 0xFE, 0xFF, 0, 'h', 0, 'i'}, {"hi"}},
        {"UTF-16 without mark reads little-endian", "TPE1", {1, 'h', 0, 'i', 0}, {"hi"}},
        {"UTF-16BE (encoding 2)", "TPE1", {2, 0, 'h', 0, 'i', 0, 0, 0, 'x'}, {"hi", "x"}},
        {"odd last byte of UTF-16 ignored", "TPE1", {2, 0, 'h', 0}, {"h"}},
        {"code page text", "TPE1", text0("caf\xE9"), {"caf\xC3\xA9"}},
        {"invalid UTF-8 falls back to the code page", "TPE1", text3("caf\xE9"), {"caf\xC3\xA9"}},
        {"surrogate pair", "TPE1", text1({u"\U0001F3B5"}), {"\xF0\x9F\x8E\xB5"}},
    };
    for (const row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        id3parser::frame f = make(r.id, r.payload);
        CHECK(allValues(f) == r.values);
    }
}

TEST_CASE("strict reading rejects what lenient reading repairs") {
    struct row {
        const char* what;
        bytes payload;
        bool strictFails;
    } rows[] = {
        {"code page bytes above 0x7F", text0("caf\xE9"), true},
        {"plain ASCII", text0("cafe"), false},
        {"UTF-16 without mark", {1, 'h', 0}, true},
        {"UTF-16 with mark", text1({u"h"}), false},
        {"invalid UTF-8", text3("\xC3("), true},
        {"valid UTF-8", text3("\xC3\xA9"), false},
    };
    for (const row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        id3parser::frame f = make("TIT2", r.payload);
        CHECK_NOTHROW(id3parser::getValue(f, 0, false));
        if (r.strictFails) {
            CHECK_THROWS_AS(id3parser::getValue(f, 0, true), id3parser::parseError);
        } else {
            CHECK_NOTHROW(id3parser::getValue(f, 0, true));
        }
    }
}

TEST_CASE("text payload errors") {
    id3parser::frame zeros1024 = make("TXXX", cat({{3}, bytes(1024, 0)}));
    CHECK(id3parser::valueCount(zeros1024) == 1024);
    id3parser::frame zeros1025 = make("TXXX", cat({{3}, bytes(1025, 0)}));
    CHECK_THROWS_AS(id3parser::valueCount(zeros1025), id3parser::parseError);

    const std::pair<const char*, bytes> bad[] = {
        {"TIT2", {}},             // no encoding byte
        {"TIT2", {4, 'a'}},       // unknown encoding
        {"COMM", {0, 'e', 'n'}},  // language cut short
    };
    for (const auto& r : bad) {
        id3parser::frame f = make(r.first, r.second);
        CHECK_THROWS_AS(id3parser::valueCount(f), id3parser::parseError);
        CHECK_THROWS_AS(id3parser::getValue(f, 0), id3parser::parseError);
    }
}

TEST_CASE("the cursor reads forward and restarts for an earlier string") {
    id3parser::frame f = make("TPE1", text3(std::string("a\0b\0c", 5)));
    id3parser::textCursor cursor;
    CHECK(id3parser::getValue(f, 2, cursor, false) == "c");
    CHECK(id3parser::getValue(f, 0, cursor, false) == "a");
    CHECK(id3parser::getValue(f, 1, cursor, false) == "b");
    CHECK(id3parser::getValue(f, 5, cursor, false) == "");
}

TEST_CASE("text is written in the encoding asked for, one terminator per string") {
    struct row {
        const char* id;
        uint8_t encoding;
        bytes expected;
    } rows[] = {
        {"TPE1", 3, cat({{3}, b("A\xC3\xA9"), {0}, b("B"), {0}})},
        {"TPE1", 1, cat({text1({u"A\u00e9", u"B"})})},
        {"TPE1", 0, cat({{0}, b("A?"), {0}, b("B"), {0}})},
        {"COMM", 1, text1({u"A\u00e9", u"B"}, "eng")},
        {"USLT", 3, cat({{3}, b("eng"), b("A\xC3\xA9"), {0}, b("B"), {0}})},
    };
    for (const row& r : rows) {
        std::string id = r.id;
        CAPTURE(id);
        CAPTURE(int(r.encoding));
        id3parser::frame f = make(r.id, {});
        id3parser::setText(f, "A\xC3\xA9", r.encoding);
        id3parser::appendText(f, "B");
        CHECK(f.data == r.expected);
    }

    id3parser::frame f(frameId("TIT2"));
    CHECK_THROWS_AS(id3parser::setText(f, "x", 2), id3parser::writeError);
    CHECK_THROWS_AS(id3parser::appendText(f, "x"), id3parser::parseError);  // empty payload
    f.data = {2, 0, 'x'};
    CHECK_THROWS_AS(id3parser::appendText(f, "x"), id3parser::parseError);

    id3parser::setAsciiText(f, "2004-05-06\xE2\x82\xAC");
    CHECK(f.data == cat({{0}, b("2004-05-06?"), {0}}));
}

TEST_CASE("URL frames") {
    id3parser::frame url(frameId("WOAR"));
    id3parser::setUrl(url, "http://x/\xC3\xA9\xE2\x82\xAC");
    CHECK(url.data == b("http://x/\xE9?"));
    CHECK(id3parser::urlText(url) == "http://x/\xC3\xA9?");
    url.data.clear();
    CHECK_THROWS_AS(id3parser::urlText(url), id3parser::parseError);

    struct row {
        bytes payload;
        const char* expected;
    } rows[] = {
        {cat({{0}, b("desc"), {0}, b("http://a")}), "http://a"},
        {cat({{1}, {0xFF, 0xFE, 'd', 0, 0, 0}, b("http://b")}), "http://b"},
        {cat({{3}, {0}, b("http://\xE9")}), "http://\xC3\xA9"},
    };
    for (const row& r : rows) CHECK(id3parser::userUrl(make("WXXX", r.payload)) == r.expected);
    CHECK_THROWS_AS(id3parser::userUrl(make("WXXX", cat({{0}, b("no terminator")}))), id3parser::parseError);
    CHECK_THROWS_AS(id3parser::userUrl(make("WXXX", cat({{5}, {0}, b("x")}))), id3parser::parseError);
}

TEST_CASE("text conversions read only the bytes they are given") {
    using convert_fn = std::string (*)(const uint8_t* bytes, size_t size);
    struct row {
        const char* what;
        std::string bytes;
        convert_fn convert;
        const char* expected;
    } rows[] = {
        {"UTF-16LE, whole units", std::string("a\0\xE9\0", 4),
         [](const uint8_t* p, size_t n) { return id3parser::utf8FromUtf16(p, n / 2, false); }, "a\xC3\xA9"},
        {"UTF-16BE, whole units", std::string("\0a\0\xE9", 4),
         [](const uint8_t* p, size_t n) { return id3parser::utf8FromUtf16(p, n / 2, true); }, "a\xC3\xA9"},
        {"Latin-1 up to the last byte", "caf\xE9", &id3parser::utf8FromLatin1, "caf\xC3\xA9"},
        {"system code page, plain ASCII", "plain", &id3parser::utf8FromAnsi, "plain"},
        {"valid UTF-8", "caf\xC3\xA9",
         [](const uint8_t* p, size_t n) { return std::string(id3parser::isValidUtf8(p, n) ? "valid" : "invalid"); },
         "valid"},
        {"UTF-8 cut inside a character at the end", "caf\xC3",
         [](const uint8_t* p, size_t n) { return std::string(id3parser::isValidUtf8(p, n) ? "valid" : "invalid"); },
         "invalid"},
    };
    for (const row& r : rows) {
        CAPTURE(std::string(r.what));
        guarded_text input(r.bytes.data(), r.bytes.size());  // ends at a no-access page
        CHECK(r.convert(input.bytes(), input.size()) == r.expected);
    }
}
