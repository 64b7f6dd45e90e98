#pragma once
// Sorting and searching of indexed collections.
//
// Every sort of the program is the randomised quicksort below: it sees the collection only
// through compare(i, j) -> -1/0/1 and swap(i, j). It is not stable, and the order of equal elements
// differs from run to run, so no result may depend on it; kpl::sort_stable keeps ties in their
// original order.
//
//     int v[] = {3, 1, 2};
//     kpl::sort_with(3, [&](size_t i, size_t j) { return kpl::compare_values(v[i], v[j]); },
//                       [&](size_t i, size_t j) { std::swap(v[i], v[j]); });      // v = {1, 2, 3}
//
//     size_t at;
//     bool found = kpl::binary_search(3, [&](size_t i) { return kpl::compare_values(v[i], 2); }, at);
//     // found, at == 1; looking for 5 gives not found and at == 3 (the insertion index)

#include <cstddef>
#include <cstdint>

namespace kpl {

// -1, 0 or 1 by the type's own < operator.
template <class T>
inline int compare_values(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

class sort_callback {
public:
    virtual int compare(size_t i, size_t j) = 0;
    virtual void swap(size_t i, size_t j) = 0;

protected:
    ~sort_callback() = default;
};

// Quicksort of [start, start + count) with the pivot the median of three random picks; equal keys
// are spread to both sides of the pivot, so many equal elements still partition evenly.
void sort_range(sort_callback& callback, size_t start, size_t count);

// Starts the C library's generator from the count XOR the time-stamp counter, then sorts [0, count).
void sort(size_t count, sort_callback& callback);

// Sorts through an index array whose ties are broken by the original positions, then moves the
// elements into that order with swaps.
void sort_stable(size_t count, sort_callback& callback);

// Reorders through swaps so that position i receives the element that was at order[i] (order must
// be a permutation of 0..count-1). Each cycle is followed once.
void apply_permutation(sort_callback& container, const size_t* order, size_t count);

// Adapters for function objects.
template <class Compare, class Swap>
class sort_callback_fn final : public sort_callback {
public:
    sort_callback_fn(Compare& c, Swap& s) : m_compare(c), m_swap(s) {}
    int compare(size_t i, size_t j) override { return m_compare(i, j); }
    void swap(size_t i, size_t j) override { m_swap(i, j); }

private:
    Compare& m_compare;
    Swap& m_swap;
};

template <class Compare, class Swap>
void sort_with(size_t count, Compare&& compare, Swap&& swap) {
    sort_callback_fn<Compare, Swap> cb(compare, swap);
    sort(count, cb);
}

template <class Compare, class Swap>
void sort_stable_with(size_t count, Compare&& compare, Swap&& swap) {
    sort_callback_fn<Compare, Swap> cb(compare, swap);
    sort_stable(count, cb);
}

// Binary search over count elements. compare_with_key(i) answers how element i compares with the
// key (-1 element before the key, 0 equal, 1 after). Returns whether an equal element was found;
// index receives it, or the insertion index when there is none.
template <class CompareWithKey>
bool binary_search(size_t count, CompareWithKey&& compare_with_key, size_t& index) {
    size_t lo = 0, hi = count;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        int c = compare_with_key(mid);
        if (c < 0) {
            lo = mid + 1;
        } else if (c > 0) {
            hi = mid;
        } else {
            index = mid;
            return true;
        }
    }
    index = lo;
    return false;
}

}  // namespace kpl
