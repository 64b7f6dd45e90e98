#pragma once
// kpl::ref_array: a growable array of counted references (service_ref). Storing takes a reference
// (add_ref), dropping or overwriting releases one. It grows and shrinks by the shrinking doubling policy of
// kpl::array (see array.h); destroy() frees the storage.
//
//     kpl::ref_array list;
//     list.append(ref);                        // ref's object now counted twice
//     list.filter_by_mask(keep);               // the others released, order kept
//     service_ref first; list.get_item(0, first);

#include "foundation/kpl/array.h"
#include "foundation/kpl/bit_array.h"
#include "foundation/services/service_base.h"

namespace kpl {

class ref_array {
public:
    uint32_t count() const noexcept { return m_items.count(); }
    uint32_t size() const noexcept { return m_items.count(); }
    uint32_t capacity() const noexcept { return m_items.capacity(); }

    // Unchecked access (index < count).
    const service_ref& operator[](uint32_t index) const noexcept { return m_items[index]; }
    const service_ref* begin() const noexcept { return m_items.begin(); }
    const service_ref* end() const noexcept { return m_items.end(); }

    // Appends a reference (add_ref) and returns its index.
    uint32_t append(const service_ref& item) { return m_items.append(item); }
    uint32_t append(service_object* item) { return m_items.append(service_ref(item)); }

    // count n with capacity exactly n: new slots null, cut elements released.
    void set_count(uint32_t n) { m_items.resize_exact(n); }
    // count n by the shrinking doubling policy.
    void resize_pow2(uint32_t n) { m_items.resize_pow2_shrink(n); }

    // Replaces the content with the first `count` items of `other` (npos: all), each add_ref'd.
    void assign_from(const ref_array& other, uint32_t count = 0xFFFFFFFF);

    // Releases every element; count 0, storage freed.
    void destroy() noexcept { m_items.clear(); }
    // Releases every element; count 0 (shrinking policy: a small capacity stays).
    void clear() { m_items.resize_pow2_shrink(0); }

    // Item `index` into `out` (add_ref). An index at or beyond the count throws
    // kpl::exception_invalid_params.
    void get_item(uint32_t index, service_ref& out) const;
    service_ref get_item(uint32_t index) const;
    // Stores `item` at `index` (add_ref of the new, release of the old). Index checked as get_item.
    void set_item(uint32_t index, const service_ref& item);

    // Keeps, in order, the elements whose mask bit is set and releases the others.
    void filter_by_mask(const bit_mask& mask);
    // Inserts all items of `source` before `position` (clamped to the count), moving the tail up.
    // `source` may be this array.
    void insert_from(const ref_array& source, uint32_t position);
    // Removes the element at `index` (checked as get_item), moving the tail down.
    void remove_at(uint32_t index);

private:
    void check_index(uint32_t index) const;

    array<service_ref> m_items;
};

}  // namespace kpl
