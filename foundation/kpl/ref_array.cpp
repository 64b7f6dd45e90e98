#include "foundation/kpl/ref_array.h"

namespace kpl {

void ref_array::check_index(uint32_t index) const {
    if (index >= m_items.count()) throw exception_invalid_params();
}

void ref_array::assign_from(const ref_array& other, uint32_t count) {
    if (&other == this) {
        if (count < m_items.count()) m_items.resize_pow2_shrink(count);
        return;
    }
    if (count > other.count()) count = other.count();
    array<service_ref> fresh;
    fresh.resize_pow2_shrink(count);
    for (uint32_t i = 0; i < count; ++i) fresh[i] = other.m_items[i];
    m_items.swap(fresh);
}

void ref_array::get_item(uint32_t index, service_ref& out) const {
    check_index(index);
    out.copy_assign(m_items[index]);
}

service_ref ref_array::get_item(uint32_t index) const {
    check_index(index);
    return m_items[index];
}

void ref_array::set_item(uint32_t index, const service_ref& item) {
    check_index(index);
    m_items[index].copy_assign(item);
}

void ref_array::filter_by_mask(const bit_mask& mask) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < m_items.count(); ++i) {
        if (!mask.get(i)) continue;
        if (i != kept) m_items[kept] = std::move(m_items[i]);
        ++kept;
    }
    m_items.resize_pow2_shrink(kept);
}

void ref_array::insert_from(const ref_array& source, uint32_t position) {
    uint32_t added = source.count();
    if (added == 0) return;
    if (&source == this) {
        ref_array copy;
        copy.assign_from(source);
        insert_from(copy, position);
        return;
    }
    uint32_t old_count = m_items.count();
    if (position > old_count) position = old_count;
    if (added > UINT32_MAX - old_count) throw_bad_alloc();
    m_items.resize_pow2_shrink(old_count + added);
    for (uint32_t i = old_count; i-- > position;) m_items[i + added] = std::move(m_items[i]);
    for (uint32_t i = 0; i < added; ++i) m_items[position + i] = source.m_items[i];
}

void ref_array::remove_at(uint32_t index) {
    check_index(index);
    m_items.remove_at(index);
}

}  // namespace kpl
