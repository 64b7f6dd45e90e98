#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/kpl/string.h"

using kpl::utf8_string;
using kpl::utf8_string_pow2;
using kpl::utf8_string_tight;

namespace {

uint32_t buffer_size(const kpl::utf8_string_heap& s) { return s.buffer().capacity(); }

}  // namespace

TEST_CASE("an empty string reads as \"\" with or without a buffer") {
    utf8_string_tight fresh;
    utf8_string_pow2 fresh_builder;
    CHECK(fresh.buffer().data() == nullptr);
    CHECK(fresh_builder.buffer().data() == nullptr);

    utf8_string_tight emptied("abc");
    emptied.truncate(0);
    utf8_string_pow2 written;
    written.begin_write(8);
    written.end_write();

    for (const utf8_string* s : std::vector<const utf8_string*>{&fresh, &fresh_builder, &emptied, &written}) {
        REQUIRE(s->c_str() != nullptr);
        CHECK(std::strcmp(s->c_str(), "") == 0);
        CHECK(s->length() == 0);
    }
    CHECK(emptied.buffer().data() != nullptr);
    CHECK(written.buffer().data() != nullptr);
}

TEST_CASE("a stored string keeps at most 32 spare bytes") {
    // Each step sets a new length; the buffer size follows the tight rule.
    struct step {
        uint32_t length;
        uint32_t buffer;
    };
    const step steps[] = {{10, 27}, {40, 57}, {24, 57}, {23, 24}, {23, 24}, {24, 41}};
    // The last step: 24 bytes do not fit into 24 (24 < 25), so the buffer grows to 24 + 17 = 41.
    utf8_string_tight s;
    std::string text(64, 'x');
    for (const step& st : steps) {
        CAPTURE(st.length);
        s.assign(text.c_str(), st.length);
        CHECK(s.length() == st.length);
        CHECK(buffer_size(s) == st.buffer);
        CHECK(s.buffer().count() == s.buffer().capacity());
        CHECK(s.c_str()[st.length] == 0);
    }

    SUBCASE("the empty text still gets a 17-byte buffer") {
        utf8_string_tight e;
        e.assign("");
        CHECK(buffer_size(e) == 17);
    }
    SUBCASE("truncating refits by the same rule") {
        utf8_string_tight t(text.c_str(), 40);  // 57
        t.truncate(30);
        CHECK(buffer_size(t) == 57);
        t.truncate(20);
        CHECK(buffer_size(t) == 21);
        CHECK(std::string(t.c_str()) == std::string(20, 'x'));
    }
    SUBCASE("appending grows by the same rule") {
        utf8_string_tight a;
        a.append_cstr("0123456789");  // 27
        a.append(text.c_str(), 16);   // length 26 fits into 27
        CHECK(buffer_size(a) == 27);
        a.append_cstr("y");  // length 27 needs 28 -> 44
        CHECK(buffer_size(a) == 44);
        CHECK(a.length() == 27);
    }
}

TEST_CASE("a builder string doubles its capacity and never shrinks it") {
    utf8_string_pow2 s;
    std::vector<uint32_t> capacities;
    for (int i = 0; i < 8; ++i) {
        s.append("z", 1);
        capacities.push_back(s.buffer().capacity());
        CHECK(s.buffer().count() == s.length() + 1);
    }
    CHECK(capacities == std::vector<uint32_t>{2, 4, 4, 8, 8, 8, 8, 16});

    s.truncate(1);
    CHECK(s.buffer().capacity() == 16);
    CHECK(s.buffer().count() == 2);
    CHECK(std::strcmp(s.c_str(), "z") == 0);
    s.assign_cstr("");
    CHECK(s.buffer().capacity() == 16);
}

TEST_CASE("append and assign count up to max and stop at the first zero byte") {
    const char with_zero[] = {'a', 'b', 0, 'c', 'd', 'e'};
    struct row {
        const char* text;
        uint32_t max;
        const char* expected;
    };
    const row rows[] = {
        {with_zero, 5, "ab"},
        {"hello", 3, "hel"},
        {"hello", utf8_string::npos, "hello"},
        {"hello", 0, ""},
        {"hi", 100, "hi"},
        {nullptr, utf8_string::npos, ""},
    };
    for (const row& r : rows) {
        CAPTURE(r.expected);
        utf8_string_pow2 appended("<");
        appended.append(r.text, r.max);
        CHECK(appended == (std::string("<") + r.expected).c_str());

        utf8_string_tight assigned("previous");
        assigned.assign(r.text, r.max);
        CHECK(assigned == r.expected);
        CHECK(assigned.length() == std::strlen(r.expected));
    }
}

TEST_CASE("a string's own text can be appended or assigned to it across a reallocation") {
    SUBCASE("builder") {
        utf8_string_pow2 s("abcdefgh");  // capacity 16, count 9
        s.append(s.c_str());
        CHECK(s == "abcdefghabcdefgh");
        s.append(s.c_str());  // must reallocate to 64
        CHECK(s == "abcdefghabcdefghabcdefghabcdefgh");
        s.append(s.c_str() + 30, 5);
        CHECK(s == "abcdefghabcdefghabcdefghabcdefghgh");
    }
    SUBCASE("tight") {
        utf8_string_tight s("0123456789");  // buffer 27
        s.append(s.c_str());
        s.append(s.c_str());
        CHECK(s == "0123456789012345678901234567890123456789");
        s.assign(s.c_str() + 35);
        CHECK(s == "56789");
        CHECK(buffer_size(s) == 6);
    }
    SUBCASE("operators") {
        utf8_string_tight s("ab");
        s += s;
        CHECK(s == "abab");
        s = s;
        CHECK(s == "abab");
    }
}

TEST_CASE("begin_write and end_write") {
    SUBCASE("-1 throws Overflow") {
        utf8_string_pow2 s("keep");
        CHECK_THROWS_AS(s.begin_write(utf8_string::npos), kpl::exception_overflow);
        try {
            s.begin_write(0xFFFFFFFF);
        } catch (const std::exception& e) {
            CHECK(std::string(e.what()) == "Overflow");
        }
        CHECK(s == "keep");
    }
    SUBCASE("the buffer is zeroed and the length comes from the first zero byte") {
        utf8_string_tight tight("a long text that leaves garbage behind");
        utf8_string_pow2 builder("a long text that leaves garbage behind");
        for (utf8_string* s : std::vector<utf8_string*>{&tight, &builder}) {
            char* p = s->begin_write(3);
            const auto& heap = static_cast<kpl::utf8_string_heap&>(*s);
            REQUIRE(heap.buffer().count() >= 4);
            for (uint32_t i = 0; i < heap.buffer().count(); ++i) CHECK(p[i] == 0);
            p[0] = 'h';
            p[1] = 'i';
            s->end_write();
            CHECK(s->length() == 2);
            CHECK(*s == "hi");
        }
        CHECK(buffer_size(tight) == 4);  // 38 bytes (55) shrink to 3 + 1; length 2 keeps 4
    }
    SUBCASE("a writer that overwrites the terminator is cut inside the buffer") {
        utf8_string_pow2 s;
        char* p = s.begin_write(3);
        std::memset(p, 'x', s.buffer().count());
        s.end_write();
        CHECK(s.length() == s.buffer().count() - 1);
        CHECK(s.c_str()[s.length()] == 0);
    }
    SUBCASE("end_write without a buffer does nothing") {
        utf8_string_tight s;
        s.end_write();
        CHECK(s.length() == 0);
        CHECK(s.buffer().data() == nullptr);
    }
}

TEST_CASE("helpers") {
    SUBCASE("append_int, append_uint, append_hex_code") {
        utf8_string_pow2 s;
        s.append_int(0);
        s << ' ' << -42 << ' ' << 4294967295u << ' ';
        s.append_int(INT64_MIN);
        s.append_hex_code(0x8007000E);
        CHECK(s == "0 -42 4294967295 -9223372036854775808 (0x8007000E)");
    }
    SUBCASE("path_add_trailing_backslash") {
        const char* rows[][2] = {{"", "\\"}, {"C:", "C:\\"}, {"C:\\", "C:\\"}, {"a\\b", "a\\b\\"}};
        for (auto& r : rows) {
            utf8_string_tight p(r[0]);
            kpl::path_add_trailing_backslash(p);
            CHECK(p == r[1]);
        }
    }
    SUBCASE("string_set_n stores exactly n bytes in an exact buffer") {
        utf8_string_tight s("previous text");
        kpl::string_set_n(s, "ab\0cd", 5);
        CHECK(s.length() == 5);
        CHECK(std::memcmp(s.c_str(), "ab\0cd", 6) == 0);
        CHECK(s.buffer().capacity() == 6);
        kpl::string_set_n(s, s.c_str() + 3, 2);
        CHECK(s == "cd");
        kpl::string_set_n(s, "x", 0);
        CHECK(s.length() == 0);
        CHECK(s.buffer().data() == nullptr);

        kpl::string_set_bounded(s, "hello", 3);
        CHECK(s == "hel");
        kpl::string_reset(s);
        CHECK(s.buffer().capacity() == 0);
    }
    SUBCASE("strnlen") {
        CHECK(kpl::strnlen("hello", 3) == 3);
        CHECK(kpl::strnlen("hi", 10) == 2);
        CHECK(kpl::strlen_bounded(nullptr, 10) == 0);
    }
    SUBCASE("equality compares whole texts") {
        utf8_string_tight a("abc");
        CHECK(a == "abc");
        CHECK(a != "ab");
        CHECK(a != "abcd");
        CHECK(a == utf8_string_pow2("abc"));
        CHECK(utf8_string_tight() == "");
    }
    SUBCASE("copies and moves") {
        utf8_string_tight a("stored");
        utf8_string_tight b(a);
        utf8_string_pow2 c(a);
        utf8_string_tight d(std::move(a));
        CHECK(b == "stored");
        CHECK(c == "stored");
        CHECK(d == "stored");
        CHECK(a.length() == 0);
        a = "again";
        CHECK(a == "again");
        b = std::move(a);
        CHECK(b == "again");
        CHECK(b.buffer().count() == b.buffer().capacity());
    }
}

TEST_CASE("a length that does not fit in 32 bits throws bad allocation and keeps the string") {
    utf8_string_tight s("abc");
    CHECK_THROWS_AS(s.begin_write(0xFFFFFFF0u), std::bad_alloc);
    CHECK(s == "abc");
    try {
        s.begin_write(0xFFFFFFF0u);
    } catch (const std::bad_alloc& e) {
        CHECK(std::string(e.what()) == "bad allocation");
    }
}
