#include "foundation/kpl/sort.h"

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/small_buffer.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// A collection that counts its comparisons, to see that partitions stay even.
struct counted_vector {
    std::vector<std::pair<int, int>> items;  // key, original position
    size_t comparisons = 0;

    int compare(size_t i, size_t j) {
        ++comparisons;
        return kpl::compare_values(items[i].first, items[j].first);
    }
    void swap(size_t i, size_t j) { std::swap(items[i], items[j]); }
};

void sort_counted(counted_vector& v, bool stable) {
    auto c = [&](size_t i, size_t j) { return v.compare(i, j); };
    auto s = [&](size_t i, size_t j) { v.swap(i, j); };
    if (stable) kpl::sort_stable_with(v.items.size(), c, s);
    else kpl::sort_with(v.items.size(), c, s);
}

counted_vector random_vector(size_t n, int key_range) {
    counted_vector v;
    for (size_t i = 0; i < n; ++i) v.items.push_back({std::rand() % key_range, static_cast<int>(i)});
    return v;
}

}  // namespace

TEST_CASE("sort agrees with a reference sort on random data of many sizes and key ranges") {
    std::srand(4242);
    for (size_t n : {0, 1, 2, 3, 4, 5, 6, 7, 16, 100, 1000, 5000}) {
        for (int key_range : {1, 3, 50, 1000000}) {
            CAPTURE(n);
            CAPTURE(key_range);
            counted_vector v = random_vector(n, key_range);
            std::vector<int> want;
            for (auto& item : v.items) want.push_back(item.first);
            std::sort(want.begin(), want.end());
            sort_counted(v, false);
            std::vector<int> got;
            for (auto& item : v.items) got.push_back(item.first);
            REQUIRE(got == want);
            // Every element is still there once: the original positions form a permutation.
            std::vector<int> positions;
            for (auto& item : v.items) positions.push_back(item.second);
            std::sort(positions.begin(), positions.end());
            for (size_t i = 0; i < n; ++i) REQUIRE(positions[i] == static_cast<int>(i));
        }
    }
}

TEST_CASE("sort: small ranges whatever the random picks, and equal keys partition evenly") {
    for (int run = 0; run < 50; ++run) {
        int v[] = {3, 1, 2};
        kpl::sort_with(3, [&](size_t i, size_t j) { return kpl::compare_values(v[i], v[j]); },
                       [&](size_t i, size_t j) { std::swap(v[i], v[j]); });
        CHECK(v[0] == 1);
        CHECK(v[1] == 2);
        CHECK(v[2] == 3);
    }
    // 1000 equal elements: with the equal keys split between both sides the sort needs about
    // n log n comparisons; a sort that put them all on one side would need about n^2 / 2.
    counted_vector equal = random_vector(1000, 1);
    sort_counted(equal, false);
    CHECK(equal.comparisons < 40000);
    // Sorted and reversed input are no worse.
    counted_vector ascending, descending;
    for (int i = 0; i < 1000; ++i) ascending.items.push_back({i, i}), descending.items.push_back({1000 - i, i});
    sort_counted(ascending, false);
    sort_counted(descending, false);
    CHECK(ascending.comparisons < 40000);
    CHECK(descending.comparisons < 40000);
}

TEST_CASE("sort_stable keeps equal keys in their original order") {
    std::srand(77);
    for (size_t n : {0, 1, 2, 5, 64, 3000}) {
        counted_vector v = random_vector(n, 7);
        auto want = v.items;
        std::stable_sort(want.begin(), want.end(),
                         [](const std::pair<int, int>& a, const std::pair<int, int>& b) { return a.first < b.first; });
        sort_counted(v, true);
        CAPTURE(n);
        CHECK(v.items == want);
    }
}

TEST_CASE("sort_stable: an index array that cannot exist fails before sorting") {
    auto no_compare = [](size_t, size_t) -> int {
        FAIL("nothing may be compared");
        return 0;
    };
    auto no_swap = [](size_t, size_t) { FAIL("nothing may be moved"); };
    CHECK_THROWS_WITH_AS(kpl::sort_stable_with(0x40000001u, no_compare, no_swap), "bad allocation", std::bad_alloc);
}

TEST_CASE("apply_permutation follows each cycle once") {
    struct {
        std::vector<size_t> order;
    } cases[] = {
        {{}}, {{0}}, {{1, 0}}, {{2, 0, 1}}, {{1, 2, 3, 0, 4, 6, 5}},
    };
    for (auto& c : cases) {
        std::vector<int> items;
        for (size_t i = 0; i < c.order.size(); ++i) items.push_back(static_cast<int>(i) * 10);
        size_t swaps = 0;
        auto cmp = [](size_t, size_t) { return 0; };
        auto swp = [&](size_t i, size_t j) {
            ++swaps;
            std::swap(items[i], items[j]);
        };
        kpl::sort_callback_fn<decltype(cmp), decltype(swp)> cb(cmp, swp);
        kpl::apply_permutation(cb, c.order.data(), c.order.size());
        for (size_t i = 0; i < c.order.size(); ++i) CHECK(items[i] == static_cast<int>(c.order[i]) * 10);
        CHECK(swaps < c.order.size() + 1);
    }
    // Beyond 8192 positions the visited bits spill to the heap.
    std::srand(5);
    std::vector<size_t> order(20000);
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    for (size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[std::rand() % i]);
    std::vector<size_t> items(order.size());
    for (size_t i = 0; i < items.size(); ++i) items[i] = i;
    auto cmp = [](size_t, size_t) { return 0; };
    auto swp = [&](size_t i, size_t j) { std::swap(items[i], items[j]); };
    kpl::sort_callback_fn<decltype(cmp), decltype(swp)> cb(cmp, swp);
    kpl::apply_permutation(cb, order.data(), order.size());
    CHECK(items == order);

    // A malformed order (a repeated index) must end instead of looping.
    std::vector<size_t> bad = {1, 1, 0};
    std::vector<size_t> dummy = {0, 1, 2};
    auto swp2 = [&](size_t i, size_t j) { std::swap(dummy[i], dummy[j]); };
    kpl::sort_callback_fn<decltype(cmp), decltype(swp2)> cb2(cmp, swp2);
    kpl::apply_permutation(cb2, bad.data(), bad.size());
}

TEST_CASE("binary_search: found, insertion index, empty") {
    const int v[] = {1, 3, 3, 5, 9};
    struct {
        int key;
        bool found;
        size_t index;
    } cases[] = {{0, false, 0}, {1, true, 0}, {4, false, 3}, {5, true, 3}, {9, true, 4}, {10, false, 5}};
    for (auto& c : cases) {
        size_t at = 99;
        CAPTURE(c.key);
        CHECK(kpl::binary_search(5, [&](size_t i) { return kpl::compare_values(v[i], c.key); }, at) == c.found);
        CHECK(at == c.index);
    }
    size_t at = 99;
    CHECK(kpl::binary_search(3, [&](size_t i) { return kpl::compare_values(v[i], 3); }, at));
    CHECK(v[at] == 3);
    CHECK_FALSE(kpl::binary_search(0, [](size_t) -> int { FAIL("no element to look at"); return 0; }, at));
    CHECK(at == 0);
}

TEST_CASE("small_buffer: inline bytes, heap bytes and the inline limit") {
    kpl::small_buffer b;
    b.resize(3000);
    CHECK(b.size() == 3000);
    b[0] = 1;
    b[1023] = 2;
    b[1024] = 3;
    b[2999] = 4;
    CHECK(b[1023] == 2);
    CHECK(b[1024] == 3);
    CHECK(b[2999] == 4);
    b.resize(2000);  // zero again
    CHECK(b[0] == 0);
    CHECK(b[1024] == 0);
    b.set_bit(8191);
    b.set_bit(8192);
    CHECK(b.bit(8191));
    CHECK(b.bit(8192));
    CHECK_FALSE(b.bit(8193));
    CHECK(b[1023] == 0x80);
    CHECK(b[1024] == 0x01);
    CHECK(b.inline_part(1024) != nullptr);
    CHECK_THROWS_AS(b.inline_part(1025), kpl::exception_overflow);
}
