#include "foundation/kpl/path_names.h"
#include "foundation/kpl/text_compare.h"

#include "tests/support/guarded_buffer.h"

#include <doctest/doctest.h>

#include <string>

TEST_CASE("byte-wise and case-insensitive comparisons") {
    struct {
        const char* a;
        const char* b;
        int strcmp, stricmp_ascii, stricmp_utf8;
    } cases[] = {
        {"", "", 0, 0, 0},
        {"abc", "abc", 0, 0, 0},
        {"abc", "abd", -1, -1, -1},
        {"ab", "abc", -1, -1, -1},
        {"ABC", "abc", -1, 0, 0},
        {"a", "\xC3\xA9", -1, 1, -1},           // é: unsigned bytes sort after ASCII, signed ones before
        {"\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9", -1, -1, 0},  // ÉTÉ / été: only the full fold matches
        {"\xD0\x96", "\xD0\xB6", -1, -1, 0},    // Ж / ж
        {"Z", "a", -1, 1, 1},
        {"[", "A", 1, -1, -1},                  // '[' lies between the cases: folding decides
    };
    for (auto& c : cases) {
        CAPTURE(c.a);
        CAPTURE(c.b);
        CHECK(kpl::strcmp(c.a, c.b) == c.strcmp);
        CHECK(kpl::strcmp(c.b, c.a) == -c.strcmp);
        CHECK(kpl::compare_cstr(c.a, c.b) == c.strcmp);
        CHECK(kpl::stricmp_ascii(c.a, c.b) == c.stricmp_ascii);
        CHECK(kpl::stricmp_ascii(c.b, c.a) == -c.stricmp_ascii);
        CHECK(kpl::stricmp_utf8(c.a, c.b) == c.stricmp_utf8);
        CHECK(kpl::stricmp_utf8(c.b, c.a) == -c.stricmp_utf8);
    }
    // Invalid bytes compare as themselves and never stop the walk early or read past the end.
    CHECK(kpl::stricmp_utf8("a\xFF" "b", "A\xFF" "B") == 0);
    CHECK(kpl::stricmp_utf8("a\xFF" "b", "A\xFF" "C") == -1);
    CHECK(kpl::stricmp_utf8("\xE2\x82", "\xE2\x82") == 0);  // a cut sequence at the end

    // Counted forms stop at their lengths; bytes compare as signed.
    guarded_text a("abcX", 4), b("ABCy", 4);
    CHECK(kpl::stricmp_ascii_counted(a.data(), 3, b.data(), 3) == 0);
    CHECK(kpl::stricmp_ascii_counted(a.data(), 4, b.data(), 4) == -1);
    CHECK(kpl::stricmp_ascii_counted(a.data(), 2, b.data(), 3) == -1);
    CHECK(kpl::compare_counted(a.data(), 4, a.data(), 4) == 0);
    CHECK(kpl::compare_counted(a.data(), 3, a.data(), 4) == -1);
    CHECK(kpl::compare_counted("\x80", 1, "a", 1) == -1);
    CHECK(kpl::compare_counted("a\0b", 3, "a\0c", 3) == -1);  // zero bytes count like any other
}

TEST_CASE("searching, line breaks and byte replacement") {
    guarded_text g("abcabc");
    CHECK(kpl::find_substring(g.data(), g.size(), "ca", 0) == 2);
    CHECK(kpl::find_substring(g.data(), g.size(), "abc", 1) == 3);
    CHECK(kpl::find_substring(g.data(), g.size(), "abcd", 0) == -1);
    CHECK(kpl::find_substring(g.data(), g.size(), "c", 6) == -1);
    CHECK(kpl::find_substring(g.data(), g.size(), "", 6) == 6);
    CHECK(kpl::find_substring(g.data(), g.size(), "a", 100) == -1);
    CHECK(kpl::find_substring(g.data(), 4, "cab", 0) == -1);  // would run past the length

    CHECK(kpl::find_char_counted(g.data(), g.size(), 'c') == 2);
    CHECK(kpl::find_char_counted(g.data(), 2, 'c') == -1);
    CHECK(kpl::find_char_from("abcabc", 'a', 1) == 3);
    CHECK(kpl::find_char_from("abc", 'a', 10) == -1);
    CHECK(kpl::string_find_char(kpl::utf8_string_tight("x=y"), '=') == 1);

    CHECK(kpl::find_last_of("a/b/c", '/') == 3);
    CHECK(kpl::find_last_of("abc", '/') == -1);
    CHECK(kpl::starts_with("file://x", "file://"));
    CHECK_FALSE(kpl::starts_with("file:", "file://"));
    CHECK(kpl::starts_with("x", ""));

    CHECK(kpl::string_ends_with_char(kpl::utf8_string_tight("dir\\"), '\\'));
    CHECK_FALSE(kpl::string_ends_with_char(kpl::utf8_string_tight(""), '\\'));
    CHECK(kpl::has_line_break("a\rb"));
    CHECK_FALSE(kpl::has_line_break("ab"));

    kpl::utf8_string_pow2 s("first line\r\nsecond");
    CHECK(kpl::cut_at_line_break(s));
    CHECK(s == "first line (...)");
    CHECK_FALSE(kpl::cut_at_line_break(s));
    CHECK(s == "first line (...)");

    kpl::utf8_string_tight path("a/b/c");
    CHECK(kpl::string_replace_byte(path, '/', '\\') == 2);
    CHECK(path == "a\\b\\c");
    CHECK(kpl::string_replace_byte(path, '/', '\\') == 0);
}

TEST_CASE("path pieces: name, extension and parent") {
    struct {
        const char* path;
        const char* with_extension;
        const char* without_extension;
        const char* extension;
    } cases[] = {
        {"C:\\music\\a.flac", "a.flac", "a", "flac"},
        {"C:\\music\\a.flac?2", "a.flac", "a", "flac"},
        {"file://C:/x/track.tar.gz", "track.tar.gz", "track.tar", "gz"},
        {"x.flac?1", "x.flac", "x", "flac"},
        {"a.b/c", "c", "c", ""},              // the dot is not in the name part
        {"x/.hidden", ".hidden", ".hidden", "hidden"},
        {"noext?3", "noext", "noext", ""},    // the '?' cut applies without a dot too
        {"dir|inner.cue?1", "inner.cue", "inner", "cue"},
        {"C:", "", "", ""},
        {"", "", "", ""},
    };
    for (auto& c : cases) {
        CAPTURE(c.path);
        CHECK(kpl::filename_with_extension(c.path) == c.with_extension);
        CHECK(kpl::filename_without_extension(c.path) == c.without_extension);
        char buffer[32];
        CHECK(std::string(kpl::extension_of(c.path, buffer)) == c.extension);
    }
    CHECK(kpl::filename_offset("C:\\a\\b.mp3") == 5);
    CHECK(kpl::filename_offset("b.mp3") == 0);

    char buffer[32];
    std::string ext31(31, 'e'), ext32(32, 'e');
    CHECK(std::string(kpl::extension_of(("a." + ext31).c_str(), buffer)) == ext31);
    CHECK(std::string(kpl::extension_of(("a." + ext32).c_str(), buffer)) == "");

    struct {
        const char* path;
        const char* parent;
    } parents[] = {
        {"C:\\x", "C:\\"},
        {"C:\\", ""},
        {"a\\b\\c", "a\\b"},
        {"a/b", "a"},
        {"name", ""},
        {"\\\\server\\share", "\\\\server"},
        {"a\\\\b", "a\\\\"},  // a separator after a separator: kept, like after "C:"
        {"zip|inner", "zip"},
    };
    for (auto& c : parents) {
        CAPTURE(c.path);
        CHECK(kpl::path_parent(c.path) == c.parent);
    }
    CHECK(std::string(kpl::invalid_filename_chars) == "\\/|:<>*?\"");
    CHECK(std::string(kpl::path_separators) == "\\/|");
}
