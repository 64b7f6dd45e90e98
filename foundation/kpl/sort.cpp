#include "foundation/kpl/sort.h"

#include "foundation/kpl/array.h"
#include "foundation/kpl/small_buffer.h"

#include <cstdlib>
#include <x86intrin.h>

namespace kpl {

namespace {

uint32_t random_word() {
    uint32_t r = (static_cast<uint32_t>(std::rand()) << 16) | static_cast<uint32_t>(std::rand());
    return static_cast<uint32_t>(__rdtsc()) ^ r;
}

// Sorts ranges of at most four elements.
void sort_small(sort_callback& cb, size_t start, size_t count) {
    for (size_t p = start + 1; p < start + count; ++p) {
        for (size_t q = start; q < p; ++q) {
            if (cb.compare(q, p) > 0) cb.swap(q, p);
        }
    }
}

}  // namespace

void sort_range(sort_callback& cb, size_t start, size_t count) {
    while (count > 4) {
        // Three distinct random positions; the pivot is their median.
        size_t a = random_word() % count;
        size_t b = random_word() % (count - 1);
        if (b >= a) ++b;
        size_t c = random_word() % (count - 2);
        size_t lo = a < b ? a : b, hi = a < b ? b : a;
        if (c >= lo) ++c;
        if (c >= hi) ++c;
        a += start, b += start, c += start;
        size_t pivot;
        if (cb.compare(a, b) < 0) {
            if (cb.compare(b, c) < 0) pivot = b;
            else pivot = cb.compare(a, c) < 0 ? c : a;
        } else {
            if (cb.compare(a, c) < 0) pivot = a;
            else pivot = cb.compare(b, c) < 0 ? c : b;
        }

        size_t last = start + count - 1;
        if (pivot != last) cb.swap(pivot, last);

        size_t i = start;
        bool flag = false;
        for (size_t j = start; j < last; ++j) {
            int r = cb.compare(j, last);
            bool left = r < 0;
            if (r == 0) {
                flag = !flag;
                left = !flag;  // every second equal element goes left
            }
            if (left) {
                if (i != j) cb.swap(i, j);
                ++i;
            }
        }
        if (i != last) cb.swap(i, last);

        // Recurse into the smaller part and keep looping over the larger one, so the stack stays
        // logarithmic whatever the random picks.
        size_t left_count = i - start, right_count = last - i;
        if (left_count < right_count) {
            sort_range(cb, start, left_count);
            start = i + 1;
            count = right_count;
        } else {
            sort_range(cb, i + 1, right_count);
            count = left_count;
        }
    }
    sort_small(cb, start, count);
}

void sort(size_t count, sort_callback& cb) {
    std::srand(static_cast<unsigned>(count) ^ static_cast<uint32_t>(__rdtsc()));
    sort_range(cb, 0, count);
}

namespace {

class index_sorter final : public sort_callback {
public:
    index_sorter(sort_callback& items, size_t* order) : m_items(items), m_order(order) {}
    int compare(size_t i, size_t j) override {
        int r = m_items.compare(m_order[i], m_order[j]);
        if (r != 0) return r;
        return m_order[i] < m_order[j] ? -1 : (m_order[i] > m_order[j] ? 1 : 0);
    }
    void swap(size_t i, size_t j) override {
        size_t t = m_order[i];
        m_order[i] = m_order[j];
        m_order[j] = t;
    }

private:
    sort_callback& m_items;
    size_t* m_order;
};

}  // namespace

void sort_stable(size_t count, sort_callback& cb) {
    if (count < 2) return;
    array<size_t> order;
    order.resize_exact(static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i) order[static_cast<uint32_t>(i)] = i;
    index_sorter sorter(cb, order.data());
    sort(count, sorter);
    apply_permutation(cb, order.data(), count);
}

void apply_permutation(sort_callback& container, const size_t* order, size_t count) {
    small_buffer visited;
    visited.resize((count + 7) / 8);
    for (size_t start = 0; start < count; ++start) {
        if (visited.bit(start)) continue;
        size_t j = start;
        while (true) {
            visited.set_bit(j);
            size_t next = order[j];
            // A malformed order (a repeated or out-of-range index) ends the cycle instead of looping.
            if (next == start || next >= count || visited.bit(next)) break;
            container.swap(j, next);
            j = next;
        }
    }
}

}  // namespace kpl
