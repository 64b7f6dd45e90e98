#include "foundation/kpl/case_mapping.h"
#include "foundation/kpl/codepage.h"
#include "foundation/kpl/utf8.h"

#include "tests/support/guarded_buffer.h"

#include <doctest/doctest.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned> units_of(const char* text, size_t length, size_t out_size = 64) {
    std::vector<wchar_t> out(out_size + 1, L'#');
    size_t n = length == kpl::text_npos ? kpl::utf8_to_utf16(out.data(), out_size, text)
                                        : kpl::utf8_to_utf16_counted(out.data(), out_size, text, length);
    if (out_size > 0) REQUIRE(out[n] == 0);
    std::vector<unsigned> units;
    for (size_t i = 0; i < n; ++i) units.push_back(static_cast<uint16_t>(out[i]));
    return units;
}

}  // namespace

TEST_CASE("utf8_decode_char: sequence lengths, overlong forms and bad continuations") {
    struct {
        const char* bytes;
        size_t length;  // what decoding reports
        uint32_t code_point;
    } cases[] = {
        {"A", 1, 0x41},
        {"", 0, 0},
        {"\xC3\xA9", 2, 0xE9},
        {"\xE2\x82\xAC", 3, 0x20AC},
        {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
        {"\xF8\x88\x80\x80\x80", 5, 0x200000},
        {"\xFD\xBF\xBF\xBF\xBF\xBF", 6, 0x7FFFFFFF},
        {"\xC0\x80", 0, 0},              // overlong NUL
        {"\xC1\xBF", 0, 0},              // overlong 0x7F
        {"\xE0\x80\xAF", 0, 0},          // overlong '/'
        {"\xF0\x82\x82\xAC", 0, 0},      // overlong euro sign
        {"\x80", 0, 0},                  // a continuation byte cannot lead
        {"\xFE", 0, 0},
        {"\xFF", 0, 0},
        {"\xC3" "A", 0, 0},              // continuation must be 10xxxxxx
        {"\xE2\x82", 0, 0},              // cut by the terminator
    };
    for (auto& c : cases) {
        CAPTURE(c.bytes);
        uint32_t cp = 12345;
        CHECK(kpl::utf8_decode_char(c.bytes, &cp) == c.length);
        CHECK(cp == c.code_point);
        // The counted form reads only the bytes it is given.
        size_t n = std::strlen(c.bytes);
        guarded_text g(c.bytes, n);
        CHECK(kpl::utf8_decode_char(g.data(), &cp, n) == c.length);
        if (n > 1) CHECK(kpl::utf8_decode_char(g.data(), &cp, n - 1) == 0);  // one byte short
    }

    struct {
        uint32_t code_point;
        const char* bytes;
    } encodings[] = {
        {0x41, "A"}, {0xE9, "\xC3\xA9"}, {0x20AC, "\xE2\x82\xAC"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
        {0x200000, "\xF8\x88\x80\x80\x80"}, {0x7FFFFFFF, "\xFD\xBF\xBF\xBF\xBF\xBF"},
    };
    for (auto& e : encodings) {
        char out[6];
        size_t n = kpl::utf8_encode_char(e.code_point, out);
        CHECK(std::string(out, n) == e.bytes);
        CHECK(kpl::utf8_encode_char(e.code_point, nullptr) == n);
    }
    CHECK(kpl::utf8_encode_char(0x80000000u, nullptr) == 0);
}

TEST_CASE("UTF-8 to UTF-16: surrogates, '?' beyond U+10FFFF and the stop at an invalid sequence") {
    using U = std::vector<unsigned>;
    struct {
        const char* text;
        U units;
    } cases[] = {
        {"ab", U{'a', 'b'}},
        {"\xF4\x8F\xBF\xBF", U{0xDBFF, 0xDFFF}},
        {"\xF0\x9F\x8E\xB5", U{0xD83C, 0xDFB5}},
        {"\xF8\x88\x80\x80\x80", U{'?'}},
        {"ab\xFF" "cd", U{'a', 'b'}},
        {"x\xC0\x80y", U{'x'}},
        {"caf\xC3\xA9", U{'c', 'a', 'f', 0xE9}},
    };
    for (auto& c : cases) {
        CAPTURE(c.text);
        CHECK(units_of(c.text, kpl::text_npos) == c.units);
        size_t n = std::strlen(c.text);
        guarded_text g(c.text, n);
        CHECK(units_of(g.data(), n) == c.units);
        CHECK(kpl::utf16_length_of_utf8(c.text) == c.units.size() + 1);
        CHECK(kpl::utf16_length_of_utf8_counted(g.data(), n) == c.units.size() + 1);
    }
    // A bounded output keeps room for the terminator and never splits a surrogate pair.
    CHECK(units_of("abc", kpl::text_npos, 3) == U{'a', 'b'});
    CHECK(units_of("a\xF4\x8F\xBF\xBF", kpl::text_npos, 3) == U{'a'});
    CHECK(units_of("abc", kpl::text_npos, 1).empty());
    wchar_t untouched = L'#';
    CHECK(kpl::utf8_to_utf16(&untouched, 0, "abc") == 0);
    CHECK(untouched == L'#');
}

TEST_CASE("UTF-16 to UTF-8: pairs joined, unpaired units kept, bounds held") {
    struct {
        std::vector<wchar_t> units;
        const char* text;
    } cases[] = {
        {{L'a', 0xE9}, "a\xC3\xA9"},
        {{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
        {{0xD800, L'x'}, "\xED\xA0\x80x"},  // an unpaired high surrogate is encoded as it is
        {{0xDC00}, "\xED\xB0\x80"},
        {{L'a', 0, L'b'}, "a"},             // a zero unit ends the text
    };
    for (auto& c : cases) {
        char out[32];
        size_t n = kpl::utf16_to_utf8_counted(out, sizeof out, c.units.data(), c.units.size());
        CHECK(std::string(out, n) == c.text);
        CHECK(out[n] == 0);
        CHECK(kpl::utf8_length_of_utf16(c.units.data(), c.units.size()) == std::strlen(c.text) + 1);
    }
    // A high surrogate as the last counted unit is not joined with what lies beyond the count.
    const wchar_t pair[] = {0xD83C, 0xDFB5, 0};
    char out[16];
    CHECK(std::string(out, kpl::utf16_to_utf8_counted(out, sizeof out, pair, 1)) == "\xED\xA0\xBC");
    CHECK(std::string(out, kpl::utf16_to_utf8_counted(out, 4, pair, 2)) == "");  // 4 bytes + zero do not fit
    CHECK(kpl::utf8_string_from_utf16(L"caf\xE9") == "caf\xC3\xA9");
    CHECK(kpl::utf8_string_from_utf16(L"abcdef", 3) == "abc");

    const uint32_t ucs4[] = {'a', 0xE9, 0x10FFFF};
    CHECK(kpl::utf8_length_of_ucs4(ucs4, 3) == 1 + 2 + 4 + 1);
}

TEST_CASE("utf8 helpers: offsets, checks, counts") {
    const char* text = "a\xC3\xA9\xE2\x82\xAC" "b";  // a é € b
    CHECK(kpl::utf8_offset_of_char(text, 0) == 0);
    CHECK(kpl::utf8_offset_of_char(text, 2) == 3);
    CHECK(kpl::utf8_offset_of_char(text, 4) == 7);
    CHECK(kpl::utf8_offset_of_char(text, 99) == 7);  // stops at the end
    CHECK(kpl::utf8_char_count(text, kpl::text_npos) == 4);
    CHECK(kpl::utf8_char_count(text, 4) == 2);  // the euro sign does not fit in 4 bytes

    size_t valid = 99;
    CHECK(kpl::utf8_check(text, kpl::text_npos, &valid));
    CHECK(valid == 7);
    CHECK(kpl::utf8_check(text, 3, &valid));
    CHECK_FALSE(kpl::utf8_check(text, 5, &valid));  // ends inside the euro sign
    CHECK(valid == 3);
    CHECK_FALSE(kpl::utf8_check("ab\xFF" "cd", 5, &valid));
    CHECK(valid == 2);
    CHECK_FALSE(kpl::utf8_check("a\0b", 3, &valid));  // a zero byte is not text
    CHECK(valid == 1);
    guarded_text g("\xE2\x82", 2);
    CHECK_FALSE(kpl::utf8_check(g.data(), 2, &valid));
    CHECK(valid == 0);
}

TEST_CASE("case mapping both ways through the platform") {
    struct {
        uint32_t upper, lower;
    } pairs[] = {{'A', 'a'}, {0xC9, 0xE9}, {0x416, 0x436}, {0x391, 0x3B1}};
    for (auto& p : pairs) {
        CHECK(kpl::codepoint_to_lower(p.upper) == p.lower);
        CHECK(kpl::codepoint_to_upper(p.lower) == p.upper);
    }
    CHECK(kpl::codepoint_to_lower('1') == '1');
    CHECK(kpl::codepoint_to_upper(0x1F3B5) == 0x1F3B5);  // beyond U+FFFF: unchanged

    kpl::utf8_string_pow2 out("> ");
    kpl::utf8_append_upper(out, "\xC3\xA9t\xC3\xA9 \xF0\x9F\x8E\xB5 z");
    CHECK(out == "> \xC3\x89T\xC3\x89 \xF0\x9F\x8E\xB5 Z");
    out.reset();
    kpl::utf8_append_upper(out, "ab\xFF" "cd");
    CHECK(out == "AB");  // stops at the invalid byte
    out.reset();
    guarded_text g("xyz", 3);
    kpl::utf8_append_upper(out, g.data(), 2);
    CHECK(out == "XY");

    out.reset();
    kpl::string_append_codepoint(out, 0x20AC);
    kpl::string_append_codepoint(out, 0x80000000u);  // cannot be encoded: nothing
    CHECK(out == "\xE2\x82\xAC");
}

TEST_CASE("code pages: UTF-8 to a code page, the system code page to UTF-8") {
    kpl::array<char> bytes;
    kpl::utf8_to_codepage(bytes, "caf\xC3\xA9", kpl::text_npos, 28591);
    REQUIRE(bytes.count() == 5);
    CHECK(std::string(bytes.data()) == "caf\xE9");

    kpl::utf8_to_codepage(bytes, "a\xE2\x82\xAC" "b", kpl::text_npos, 20127);  // US-ASCII lacks the euro
    REQUIRE(bytes.count() == 4);
    CHECK(bytes[0] == 'a');
    CHECK(bytes[2] == 'b');
    CHECK(bytes[3] == 0);

    kpl::utf8_to_codepage(bytes, "ok\xFF" "bad", kpl::text_npos, 28591);  // stops at the invalid byte
    CHECK(std::string(bytes.data()) == "ok");
    kpl::utf8_to_codepage(bytes, "", kpl::text_npos, 28591);
    REQUIRE(bytes.count() == 1);
    CHECK(bytes[0] == 0);

    CHECK(kpl::ansi_to_utf8("plain text") == "plain text");
    CHECK(kpl::ansi_to_utf8("abcdef", 3) == "abc");
    CHECK(kpl::ansi_to_utf8("") == "");
    guarded_text g("abc", 3);
    CHECK(kpl::ansi_to_utf8(g.data(), 3) == "abc");

    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, "caf\xC3\xA9");
    REQUIRE(w.count() == 5);
    CHECK(std::wstring(w.c_str()) == L"caf\xE9");
    kpl::utf8_to_wide_array(w, "abc\xFF", 4);
    CHECK(std::wstring(w.c_str()) == L"abc");
}
