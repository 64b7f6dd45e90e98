#pragma once
// ref_list<T>: the list interface over an array of elements (counted references, records, strings),
// with the operations every such list offers: count, get and set an item, swap two items, filter by
// a mask, insert all items of another list, and sort, stable sort and binary search through the
// program's sort (kpl::sort). kpl::array_list<T> implements it over a kpl::array<T>.
//
//     kpl::array_list<int> list;
//     list.append(3); list.append(1); list.append(2);
//     list.sort([](const int& a, const int& b) { return kpl::compare_values(a, b); });   // 1, 2, 3
//     uint32_t at;
//     list.binary_search([](const int& e) { return kpl::compare_values(e, 2); }, at);    // true, 1
//     kpl::list_remove_all(list);                                                       // empty

#include "foundation/kpl/array.h"
#include "foundation/kpl/bit_array.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/sort.h"

#include <cstdint>
#include <utility>

namespace kpl {

template <class T>
class ref_list {
public:
    virtual uint32_t count() const = 0;
    // Item index into out (a new reference for counted elements). An index at or past the count
    // throws kpl::exception_invalid_params.
    virtual void get_item(uint32_t index, T& out) const = 0;
    virtual void set_item(uint32_t index, const T& item) = 0;
    virtual void swap_items(uint32_t a, uint32_t b) = 0;
    // Keeps, in order, the items whose mask bit is set; drops the others.
    virtual void filter_by_mask(const bit_mask& keep) = 0;
    // Inserts all items of source before position (clamped to the count). source may be this list.
    virtual void insert_from(const ref_list& source, uint32_t position) = 0;

    T get_item(uint32_t index) const {
        T out;
        get_item(index, out);
        return out;
    }

    // compare(a, b) -> -1/0/1 over items. Not stable.
    template <class Compare>
    void sort(Compare&& compare) {
        auto c = [&](size_t i, size_t j) { return compare(item_at(static_cast<uint32_t>(i)), item_at(static_cast<uint32_t>(j))); };
        auto s = [&](size_t i, size_t j) { swap_items(static_cast<uint32_t>(i), static_cast<uint32_t>(j)); };
        sort_with(count(), c, s);
    }
    // As sort, keeping equal items in their order.
    template <class Compare>
    void sort_stable(Compare&& compare) {
        auto c = [&](size_t i, size_t j) { return compare(item_at(static_cast<uint32_t>(i)), item_at(static_cast<uint32_t>(j))); };
        auto s = [&](size_t i, size_t j) { swap_items(static_cast<uint32_t>(i), static_cast<uint32_t>(j)); };
        sort_stable_with(count(), c, s);
    }
    // compare_with_key(item) -> -1 item before the key, 0 equal, 1 after; over a sorted list.
    template <class CompareWithKey>
    bool binary_search(CompareWithKey&& compare_with_key, uint32_t& index) const {
        size_t at = 0;
        bool found = kpl::binary_search(count(), [&](size_t i) { return compare_with_key(item_at(static_cast<uint32_t>(i))); }, at);
        index = static_cast<uint32_t>(at);
        return found;
    }

protected:
    ~ref_list() = default;
    // Direct access for the sorts (index < count).
    virtual const T& item_at(uint32_t index) const = 0;
};

template <class T>
class array_list final : public ref_list<T> {
public:
    uint32_t count() const override { return m_items.count(); }
    void get_item(uint32_t index, T& out) const override {
        check(index);
        out = m_items[index];
    }
    using ref_list<T>::get_item;
    void set_item(uint32_t index, const T& item) override {
        check(index);
        m_items[index] = item;
    }
    void swap_items(uint32_t a, uint32_t b) override {
        check(a);
        check(b);
        if (a != b) std::swap(m_items[a], m_items[b]);
    }
    void filter_by_mask(const bit_mask& keep) override {
        uint32_t n = m_items.count(), kept = 0;
        for (uint32_t i = 0; i < n; ++i) {
            if (!keep.get(i)) continue;
            if (kept != i) std::swap(m_items[kept], m_items[i]);
            ++kept;
        }
        m_items.resize_pow2_shrink(kept);
    }
    void insert_from(const ref_list<T>& source, uint32_t position) override {
        // Copy first: source may be this list, and a failure leaves the list as it was.
        array<T> items;
        uint32_t n = source.count();
        items.resize_exact(n);
        for (uint32_t i = 0; i < n; ++i) source.get_item(i, items[i]);
        uint32_t old = m_items.count();
        if (position > old) position = old;
        array<T> merged;
        merged.resize_exact(old + n);
        for (uint32_t i = 0; i < position; ++i) merged[i] = m_items[i];
        for (uint32_t i = 0; i < n; ++i) merged[position + i] = items[i];
        for (uint32_t i = position; i < old; ++i) merged[n + i] = m_items[i];
        m_items = std::move(merged);
    }

    uint32_t append(const T& item) { return m_items.append(item); }
    array<T>& items() { return m_items; }
    const array<T>& items() const { return m_items; }

protected:
    const T& item_at(uint32_t index) const override { return m_items[index]; }

private:
    void check(uint32_t index) const {
        if (index >= m_items.count()) throw exception_invalid_params();
    }

    array<T> m_items;
};

// Empties a list by filtering with a mask that selects nothing.
template <class T>
inline void list_remove_all(ref_list<T>& list) {
    list.filter_by_mask(bit_mask_none_set());
}

}  // namespace kpl
