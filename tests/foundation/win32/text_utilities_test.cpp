// Escaping, character references, case-insensitive text and wildcards.
#include <doctest/doctest.h>

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "foundation/kpl/string.h"
#include "foundation/kpl/text_lookup.h"
#include "foundation/win32/ampersands.h"
#include "foundation/win32/char_reference.h"
#include "foundation/win32/text_nocase.h"
#include "foundation/win32/wildcard.h"
#include "foundation/win32/win_string.h"

TEST_CASE("ampersand escaping for menus and for list labels") {
    struct {
        const char* text;
        const char* escaped;
        const char* label;
    } const cases[] = {
        {"", "", ""},
        {"plain", "plain", "plain"},
        {"Rock & Roll", "Rock && Roll", "Rock &&& Roll"},
        {"a&&b", "a&&&&b", "a&&&&&b"},
        {"&", "&&", "&&&"},
        {"&x&", "&&x&&", "&&&x&&&"},
        {"&&&", "&&&&&&", "&&&&&&&"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.text);
        kpl::utf8_string_pow2 escaped("prefix:"), label;
        escape_ampersands(c.text, escaped);
        escape_ampersands_for_label(c.text, label);
        CHECK(escaped == (kpl::utf8_string_pow2("prefix:") << c.escaped));  // appends, keeps what was there
        CHECK(label == c.label);
    }
}

TEST_CASE("numeric character references") {
    struct {
        const char* text;
        bool ok;
        uint32_t value;
    } const cases[] = {
        {"#x41", true, 65},      {"#X41", true, 65},   {"x41", true, 65},        {"#65", true, 65},
        {"65", true, 65},        {"#xfF", true, 255},  {"#xFFFFFFFF", true, 0xFFFFFFFFu},
        {"#4294967295", true, 0xFFFFFFFFu},
        {"#x", false, 0},        {"#", false, 0},      {"", false, 0},           {"4294967296", false, 0},
        {"#x100000000", false, 0}, {"#6a", false, 0},  {"#x4G", false, 0},       {"#-1", false, 0},
        {"# 65", false, 0},
    };
    for (const auto& c : cases) {
        CAPTURE(c.text);
        uint32_t value = 77;
        CHECK(parse_char_reference(c.text, std::strlen(c.text), value) == c.ok);
        CHECK(value == (c.ok ? c.value : 77u));  // left alone on failure
    }
    uint32_t value = 0;
    CHECK(parse_char_reference("#x41;junk", 4, value));  // only the given length counts
    CHECK(value == 65);
}

TEST_CASE("case-insensitive comparison of UTF-8 text") {
    struct {
        const char* a;
        const char* b;
        int sign;
    } const cases[] = {
        {"", "", 0},
        {"abc", "ABC", 0},
        {"Straße", "STRASSE", 1},  // no multi-character folding: 'ß' stays one character
        {"Ärger", "äRGER", 0},
        {"Москва", "МОСКВА", 0},
        {"a", "b", -1},
        {"B", "a", 1},
        {"abc", "abcd", -1},
        {"abcd", "ABC", 1},
        {"x\xF0\x9F\x8E\xB5", "X\xF0\x9F\x8E\xB5", 0},  // beyond the BMP: compared as they are
    };
    auto sign = [](int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; };
    for (const auto& c : cases) {
        CAPTURE(c.a);
        CAPTURE(c.b);
        CHECK(sign(utf8_compare_nocase_fast(c.a, c.b)) == c.sign);
        CHECK(sign(utf8_compare_nocase_fast(c.b, c.a)) == -c.sign);
        if (c.sign == 0) CHECK(utf8_compare_nocase(c.a, c.b) == 0);
        else CHECK(sign(utf8_compare_nocase(c.a, c.b)) != 0);
    }
    CHECK(utf8_compare_nocase("apple", "Banana") < 0);  // the locale's order, not the code points'
    CHECK(utf8_compare_nocase("Banana", "apple") > 0);

    CHECK(utf8_compare_nocase_len("ABCdef", 3, "abcXYZ", 3) == 0);
    CHECK(utf8_compare_nocase_len("ABC", size_t(-1), "abc", 3) == 0);
    CHECK(utf8_compare_nocase_len("AB", 2, "abc", 3) < 0);
    CHECK(utf8_compare_nocase_n("ÄBCd", "äbcX", 3) == 0);
    CHECK(utf8_compare_nocase_n("ÄBCd", "äbcX", 4) < 0);

    CHECK(utf8_starts_with_nocase("Über alles", "üB"));
    CHECK(utf8_starts_with_nocase("Über alles", "üBERx", 4));
    CHECK_FALSE(utf8_starts_with_nocase("Üb", "übe"));
    CHECK(utf8_starts_with_nocase("anything", ""));

    // Invalid UTF-8 ends a text.
    CHECK(utf8_compare_nocase_fast("ab\xFF" "cd", "AB") == 0);
}

TEST_CASE("case-insensitive replacement and case conversion") {
    struct {
        const char* text;
        const char* pattern;
        const char* replacement;
        const char* result;
        size_t count;
    } const cases[] = {
        {"aAa", "a", "bb", "bbbbbb", 3},
        {"The the THE", "the", "a", "a a a", 3},
        {"aaaa", "aa", "b", "bb", 2},  // matches do not overlap
        {"aaa", "aa", "b", "ba", 1},
        {"Öl und öl", "ÖL", "Fett", "Fett und Fett", 2},
        {"nothing here", "xyz", "!", "nothing here", 0},
        {"abc", "", "x", "", 0},  // an empty pattern appends nothing
        {"", "a", "b", "", 0},
    };
    for (const auto& c : cases) {
        CAPTURE(c.text);
        CAPTURE(c.pattern);
        kpl::utf8_string_pow2 out;
        CHECK(utf8_replace_nocase(out, c.text, c.pattern, c.replacement) == c.count);
        CHECK(out == c.result);
    }

    kpl::utf8_string_pow2 lower, upper, part;
    utf8_to_lower(lower, "ÄÖÜ Straße МОСКВА ABC");
    utf8_to_upper(upper, "äöü straße москва abc");
    utf8_to_lower(part, "ABCDEF", 3);
    CHECK(lower == "äöü straße москва abc");
    CHECK(upper == "ÄÖÜ STRAßE МОСКВА ABC");
    CHECK(part == "abc");
    CHECK(unicode_char_to_lower(0x1F3B5) == 0x1F3B5);
    CHECK(unicode_char_to_upper('q') == 'Q');
}

TEST_CASE("wildcard patterns") {
    struct {
        const char* text;
        const char* pattern;
        bool as_list;
        bool match;
    } const cases[] = {
        {"Track 01.flac", "*.FLAC", false, true},
        {"Track 01.flac", "*.mp3", false, false},
        {"a.flac", "*", false, true},
        {"", "*", false, true},
        {"", "?", false, false},
        {"ab", "a?", false, true},
        {"abc", "a?", false, false},
        {"ä", "?", false, true},  // one character, two bytes
        {"ÄRGER.txt", "ärger.*", false, true},
        {"abcabc", "*bc", false, true},
        {"abcabd", "*bc", false, false},
        {"mississippi", "m*iss*ppi", false, true},
        {"mississippi", "m*iss*pp", false, false},
        {"a.mp3", "*.flac;*.mp3", true, false},  // only the first pattern of a list
        {"a.flac", "*.flac;*.mp3", true, true},
        {"a.flac;x", "*.flac;x", false, true},  // without the list flag ';' is a character
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*c", false, false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.text);
        CAPTURE(c.pattern);
        CHECK(wildcard_match(c.text, c.pattern, c.as_list) == c.match);
    }
    CHECK(wildcard_has_wildcards("*.flac"));
    CHECK(wildcard_has_wildcards("a?c"));
    CHECK_FALSE(wildcard_has_wildcards("C:\\Music\\a.flac"));
}

namespace {

bool test_texts(const char* id, kpl::utf8_string& out) {
    if (std::strcmp(id, "ui_size") != 0) return false;
    out = "Größe";
    return true;
}

}  // namespace

TEST_CASE("Windows text arguments: UTF-8, null, resource ids and localized texts") {
    struct {
        const char* text;
        const wchar_t* wide;
    } const cases[] = {
        {"", L""},
        {"plain", L"plain"},
        {"Größe 東京", L"Größe 東京"},
        {"\xF0\x9F\x8E\xB5", L"\xD83C\xDFB5"},  // beyond the BMP: a surrogate pair
        {"ab\xFF" "cd", L"ab"},                  // conversion stops at invalid UTF-8
    };
    for (const auto& c : cases) {
        CAPTURE(c.text);
        const win_string_param p(c.text);
        REQUIRE(p.get() != nullptr);
        CHECK(std::wcscmp(p.get(), c.wide) == 0);
        CHECK(p.utf8() == c.text);
        CHECK_FALSE(p.is_id());
        CHECK(utf16_to_utf8_string(c.wide) == kpl::utf8_string_pow2(c.text, uint32_t(std::strcspn(c.text, "\xFF"))));
    }
    const win_string_param none(nullptr);
    CHECK(none.get() == nullptr);
    CHECK(none.utf8() == nullptr);
    const win_string_param id = win_string_param::from_id(104);
    CHECK(id.is_id());
    CHECK(id.id() == 104);
    CHECK(id.get() == MAKEINTRESOURCEW(104));
    CHECK(id.utf8() == nullptr);
    CHECK(utf16_to_utf8_string(L"abcdef", 3) == "abc");
    CHECK(utf16_to_utf8_string(nullptr) == "");

    const kpl::text_lookup_function previous = kpl::set_text_lookup(&test_texts);
    CHECK(std::wcscmp(localized_wide_string("ui_size").get(), L"Größe") == 0);
    CHECK(std::wcscmp(localized_wide_string("no_such_id").get(), L"") == 0);
    kpl::set_text_lookup(previous);
}
