#include <doctest/doctest.h>

#include "foundation/kpl/bit_array.h"

TEST_CASE("a bit array stores bit i in bit i mod 8 of byte i / 8") {
    kpl::bit_array bits(12);
    CHECK(bits.bit_count() == 12);
    for (uint32_t i = 0; i < 12; ++i) CHECK_FALSE(bits.get(i));
    bits.set(0, true);
    bits.set(9, true);
    bits.set(11, true);
    bits.set(12, true);    // at the bit count: ignored
    bits.set(1000, true);  // far beyond: ignored
    CHECK(bits.bytes()[0] == 0x01);
    CHECK(bits.bytes()[1] == 0x0A);
    CHECK_FALSE(bits.get(12));
    bits.set(9, false);
    CHECK(bits.bytes()[1] == 0x08);

    kpl::bit_array none(0);
    none.set(0, true);
    CHECK_FALSE(none.get(0));
    CHECK(none.bytes() == nullptr);
}

TEST_CASE("finding the first bit of a value in a range") {
    kpl::bit_array bits(20);
    bits.set(3, true);
    bits.set(17, true);
    kpl::bit_mask_not inverse(bits);
    kpl::bit_mask_all_set all;
    kpl::bit_mask_none_set none;

    struct row {
        const kpl::bit_mask* mask;
        bool value;
        uint32_t start, count, expected;
    };
    const row rows[] = {
        {&bits, true, 0, 20, 3},   {&bits, true, 4, 16, 17}, {&bits, true, 4, 10, 14},  // none: start + count
        {&bits, false, 3, 5, 4},   {&bits, true, 5, 0, 5},   {&inverse, true, 3, 5, 4},
        {&inverse, false, 0, 20, 3}, {&all, false, 2, 7, 9}, {&all, true, 2, 7, 2},
        {&none, true, 0, 4, 4},
    };
    for (const row& r : rows) {
        CAPTURE(r.start);
        CAPTURE(r.count);
        CHECK(r.mask->find(r.value, r.start, r.count) == r.expected);
    }
    CHECK(inverse.get(0));
    CHECK_FALSE(inverse.get(3));
}
