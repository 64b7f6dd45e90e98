#include <doctest/doctest.h>

#include <cstring>
#include <string>

#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"

namespace {

// An element that counts how many of its kind are alive and remembers its value, so relocation,
// construction and destruction can be checked.
struct tracked {
    static int alive;
    int value = 0;
    tracked() { ++alive; }
    explicit tracked(int v) : value(v) { ++alive; }
    tracked(const tracked& o) : value(o.value) { ++alive; }
    tracked(tracked&& o) noexcept : value(o.value) { ++alive; }
    tracked& operator=(const tracked&) = default;
    tracked& operator=(tracked&&) = default;
    ~tracked() { --alive; }
};
int tracked::alive = 0;

template <class T>
kpl::array<T> with_capacity(uint32_t capacity) {
    kpl::array<T> a;
    a.resize_exact(capacity);
    a.set_count(0);
    return a;
}

}  // namespace

TEST_CASE("the shrinking doubling policy") {
    struct row {
        uint32_t capacity, count, expected;
    };
    const row rows[] = {
        {16, 3, 8},  {16, 0, 2}, {16, 4, 16}, {16, 5, 16}, {16, 17, 32}, {0, 5, 8},
        {0, 1, 1},   {1, 0, 1},  {3, 0, 3},   {4, 0, 2},   {12, 2, 6},   {0, 0, 0},
    };
    for (const row& r : rows) {
        CAPTURE(r.capacity);
        CAPTURE(r.count);
        auto a = with_capacity<uint32_t>(r.capacity);
        REQUIRE(a.capacity() == r.capacity);
        a.resize_pow2_shrink(r.count);
        CHECK(a.count() == r.count);
        CHECK(a.capacity() == r.expected);
    }
}

TEST_CASE("the growing doubling policy never shrinks, the exact policy always fits") {
    kpl::array<uint8_t> a;
    a.resize_pow2(5);
    CHECK(a.capacity() == 8);
    a.resize_pow2(9);
    CHECK(a.capacity() == 16);
    a.resize_pow2(1);
    CHECK(a.capacity() == 16);
    CHECK(a.count() == 1);

    a.resize_exact(3);
    CHECK(a.capacity() == 3);
    CHECK(a.count() == 3);
    a.resize_exact(7);
    CHECK(a.capacity() == 7);

    a.clear();
    CHECK(a.capacity() == 0);
    CHECK(a.data() == nullptr);
}

TEST_CASE("new elements are value-initialised, cut elements destroyed, kept elements survive relocation") {
    SUBCASE("plain values are zeroed") {
        kpl::array<uint64_t> a;
        a.resize_exact(3);
        a[0] = 1;
        a[1] = 2;
        a[2] = 3;
        a.resize_exact(2);
        a.resize_exact(40);
        CHECK(a[0] == 1);
        CHECK(a[1] == 2);
        for (uint32_t i = 2; i < 40; ++i) CHECK(a[i] == 0);
    }
    SUBCASE("plain values are zeroed where the capacity kept old ones") {
        // Shrinking keeps the doubling policy's storage: growing again must zero what the old elements left.
        kpl::array<uint8_t> bytes;
        kpl::array<float> floats;
        kpl::array<const char*> pointers;
        enum class colour : uint16_t { none, red };
        kpl::array<colour> colours;
        bytes.resize_pow2(64);
        floats.resize_pow2(64);
        pointers.resize_pow2(64);
        colours.resize_pow2(64);
        for (uint32_t i = 0; i < 64; ++i) {
            bytes[i] = 0xAB;
            floats[i] = -1.5f;
            pointers[i] = "x";
            colours[i] = colour::red;
        }
        bytes.resize_pow2(3);
        floats.resize_pow2(3);
        pointers.resize_pow2(3);
        colours.resize_pow2(3);
        REQUIRE(bytes.capacity() == 64);
        bytes.resize_pow2(50);
        floats.resize_pow2(50);
        pointers.resize_pow2(50);
        colours.resize_pow2(50);
        CHECK(bytes[2] == 0xAB);
        CHECK(floats[2] == -1.5f);
        bool zeroed = true;
        for (uint32_t i = 3; i < 50; ++i) {
            zeroed = zeroed && bytes[i] == 0 && floats[i] == 0.0f && pointers[i] == nullptr &&
                     colours[i] == colour::none;
        }
        CHECK(zeroed);
    }
    SUBCASE("objects") {
        tracked::alive = 0;
        {
            kpl::array<tracked> a;
            for (int i = 0; i < 20; ++i) a.append(tracked(i));  // several relocations
            CHECK(tracked::alive == 20);
            for (int i = 0; i < 20; ++i) CHECK(a[i].value == i);
            a.resize_pow2_shrink(3);
            CHECK(tracked::alive == 3);
            CHECK(a.capacity() == 8);
            a.set_count(5);
            CHECK(a[4].value == 0);
            CHECK(tracked::alive == 5);
            kpl::array<tracked> copy(a);
            CHECK(tracked::alive == 10);
            CHECK(copy.capacity() == 5);
        }
        CHECK(tracked::alive == 0);
    }
    SUBCASE("stored strings") {
        kpl::array<kpl::utf8_string_tight> a;
        for (int i = 0; i < 9; ++i) {
            kpl::utf8_string_pow2 s("item ");
            s << i;
            a.append(kpl::utf8_string_tight(s));
        }
        CHECK(a[0] == "item 0");
        CHECK(a[8] == "item 8");
        a.append(a[3]);  // an element of the array itself, across a reallocation
        CHECK(a[9] == "item 3");
        a.insert_at(0, a[9]);
        CHECK(a[0] == "item 3");
        CHECK(a[1] == "item 0");
        a.remove_at(1);
        CHECK(a[1] == "item 1");
        CHECK(a.count() == 10);
    }
}

TEST_CASE("sizes that overflow 32 bits throw bad allocation before allocating, and keep the array") {
    kpl::array<uint64_t> a;
    a.resize_exact(2);
    a[1] = 77;
    CHECK_THROWS_AS(a.resize_exact(0x20000000), std::bad_alloc);  // 2^29 * 8 = 2^32
    CHECK(a.count() == 2);
    CHECK(a.capacity() == 2);
    CHECK(a[1] == 77);
    CHECK_THROWS_AS(a.resize_pow2(0x80000001u), std::bad_alloc);  // doubling past 2^31
    CHECK(a[1] == 77);

    try {
        a.set_capacity(0xFFFFFFFFu);
        FAIL("no exception");
    } catch (const std::bad_alloc& e) {
        CHECK(std::string(e.what()) == "bad allocation");
    }

    struct row {
        uint32_t count, size, product;
        bool throws;
    };
    const row rows[] = {
        {0, 0xFFFFFFFF, 0, false}, {1, 0xFFFFFFFF, 0xFFFFFFFF, false}, {0x10000, 0x10000, 0, true},
        {0xFFFF, 0x10001, 0xFFFFFFFF, false}, {3, 5, 15, false}, {2, 0x80000000, 0, true},
    };
    for (const row& r : rows) {
        CAPTURE(r.count);
        CAPTURE(r.size);
        if (r.throws)
            CHECK_THROWS_AS(kpl::checked_multiply(r.count, r.size), std::bad_alloc);
        else
            CHECK(kpl::checked_multiply(r.count, r.size) == r.product);
    }
}

TEST_CASE("allocation helpers") {
    void* p = kpl::realloc_or_throw(8, nullptr);
    REQUIRE(p != nullptr);
    std::memcpy(p, "1234567", 8);
    p = kpl::realloc_or_throw(4096, p);
    CHECK(std::memcmp(p, "1234567", 8) == 0);
    CHECK(kpl::realloc_or_throw(0, p) == nullptr);
    CHECK_THROWS_AS(kpl::check_allocation(nullptr), std::bad_alloc);
    int x;
    CHECK(kpl::check_allocation(&x) == &x);
}

TEST_CASE("wide arrays are sized exactly") {
    kpl::wide_array w;
    CHECK(std::wcscmp(w.c_str(), L"") == 0);
    w.set_count(4);
    CHECK(w.capacity() == 4);
    CHECK(w[3] == 0);
    w[0] = L'a';
    w.set_count(2);
    CHECK(w.capacity() == 2);
    CHECK(w[0] == L'a');
    CHECK_THROWS_AS(w.set_count(0x80000000u), std::bad_alloc);
    CHECK(w.count() == 2);
}

TEST_CASE("arrays of strings") {
    kpl::string_array list;
    for (int i = 0; i < 16; ++i) list.append("value");
    list.append("last", 2);
    CHECK(list.count() == 17);
    CHECK(list.capacity() == 32);
    CHECK(list[16] == "la");
    CHECK(list[0].buffer().capacity() == 5 + 17);  // elements are stored strings
    list.resize(3);
    CHECK(list.capacity() == 8);
    list.resize(0);
    CHECK(list.capacity() == 2);
    list.clear();
    CHECK(list.capacity() == 0);
}
