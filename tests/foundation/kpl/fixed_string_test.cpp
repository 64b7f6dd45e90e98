#include "foundation/kpl/fixed_string.h"

#include <doctest/doctest.h>

#include <string>

TEST_CASE("utf8_string_fixed: capacity boundaries of the three sizes") {
    struct {
        kpl::utf8_string* s;
        uint32_t max;
    } strings[3];
    kpl::utf8_string_fixed32 s32;
    kpl::utf8_string_fixed63 s63;
    kpl::utf8_string_fixed127 s127;
    strings[0] = {&s32, 31};
    strings[1] = {&s63, 62};
    strings[2] = {&s127, 126};
    for (auto& c : strings) {
        CAPTURE(c.max);
        kpl::utf8_string& s = *c.s;
        CHECK(s.length() == 0);
        CHECK(std::string(s.c_str()) == "");
        std::string full(c.max, 'x');
        s.assign(full.c_str());
        CHECK(s.length() == c.max);
        // One byte more fails and leaves the text as it was.
        CHECK_THROWS_AS(s.append("y"), kpl::exception_overflow);
        CHECK(std::string(s.c_str()) == full);
        CHECK_THROWS_AS(s.assign((full + "y").c_str()), kpl::exception_overflow);
        CHECK(s.length() == c.max);
        s.append("", 0);  // nothing to add: fine even when full

        CHECK(s.begin_write(c.max + 1) == nullptr);
        char* p = s.begin_write(c.max);
        REQUIRE(p != nullptr);
        for (uint32_t i = 0; i <= c.max; ++i) REQUIRE(p[i] == 0);  // the whole buffer zero-filled
        p[0] = 'h';
        p[1] = 'i';
        s.end_write();
        CHECK(std::string(s.c_str()) == "hi");

        s.truncate(100000);  // clamps: nothing changes
        CHECK(s.length() == 2);
        s.truncate(1);
        CHECK(std::string(s.c_str()) == "h");
    }
    CHECK(s32.begin_write(kpl::utf8_string::npos) == nullptr);
}

TEST_CASE("utf8_string_fixed: appending a part of itself, counted appends, copies") {
    kpl::utf8_string_fixed32 s("abc");
    s.append(s.c_str() + 1);  // the source lies in the buffer
    CHECK(s == "abcbc");
    s.append("xyz\0ignored", 5);  // stops at the zero byte
    CHECK(s == "abcbcxyz");
    s.append("123", 2);
    CHECK(s == "abcbcxyz12");
    kpl::utf8_string_fixed32 copy = s;
    s = "other";
    CHECK(copy == "abcbcxyz12");
    kpl::utf8_string& base = s;
    base << "!" << 7;
    CHECK(s == "other!7");
}
