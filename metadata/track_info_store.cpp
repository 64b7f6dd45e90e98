#include <cstring>
#include <utility>

#include "foundation/kpl/sort.h"
#include "metadata/track_info.h"

namespace {

// The stable compaction of the removal operations: entries the mask does not select move down, in
// order, over the selected ones, which end up behind the kept ones. Returns the number kept, or
// `count` when the mask selects nothing.
template <class Swap>
uint32_t compact(uint32_t count, const kpl::bit_mask& mask, Swap&& swap) {
    uint32_t write = mask.find(true, 0, count);
    if (write >= count) return count;
    for (uint32_t read = write + 1; read < count; ++read) {
        if (!mask.get(read)) {
            swap(write, read);
            ++write;
        }
    }
    return write;
}

}  // namespace

void track_info_store::text::set(const char* source, uint32_t n) {
    if (n == 0) {
        m_bytes.clear();
        return;
    }
    if (n == UINT32_MAX) kpl::throw_bad_alloc();
    const char* begin = m_bytes.data();
    if (begin && source >= begin && source < begin + m_bytes.count()) {
        // The text lies in this very buffer: build aside.
        kpl::array<char> fresh;
        fresh.set_count(n + 1);
        std::memcpy(fresh.data(), source, n);
        m_bytes.swap(fresh);
        return;
    }
    m_bytes.set_count(n + 1);  // grows to exactly n + 1 when needed, keeps a larger buffer
    std::memcpy(m_bytes.data(), source, n);
    m_bytes[n] = 0;
}

void track_info_store::meta_entry::clear() {
    more.clear();
    first.clear();
    inline_values = 0;
    name.clear();
}

void track_info_store::meta_entry::swap(meta_entry& other) {
    name.swap(other.name);
    first.swap(other.first);
    std::swap(inline_values, other.inline_values);
    more.swap(other.more);
}

track_info_store::~track_info_store() {
    m_info.clear();
    m_overflow.clear();
    // The inline entries go with the object.
}

uint32_t track_info_store::append_entry(meta_entry& prepared) {
    uint32_t index = meta_count();
    if (m_inline_count < inline_meta_capacity) {
        m_inline[m_inline_count].swap(prepared);
        ++m_inline_count;
    } else {
        m_overflow.resize_pow2_shrink(m_overflow.count() + 1);
        m_overflow[m_overflow.count() - 1].swap(prepared);
    }
    return index;
}

void track_info_store::cut_meta(uint32_t n) {
    uint32_t count = meta_count();
    if (n >= count) return;
    uint32_t inline_keep = n < inline_meta_capacity ? n : inline_meta_capacity;
    for (uint32_t i = inline_keep; i < m_inline_count; ++i) m_inline[i].clear();
    m_inline_count = inline_keep;
    m_overflow.resize_pow2_shrink(n > inline_meta_capacity ? n - inline_meta_capacity : 0);
}

void track_info_store::cut_values(meta_entry& e, uint32_t n) {
    if (n >= e.value_count()) return;
    if (n == 0) {
        e.more.clear();
        e.first.clear();
        e.inline_values = 0;
        return;
    }
    e.more.resize_pow2_shrink(n - 1);
}

uint32_t track_info_store::meta_add(const char* name, uint32_t name_length, const char* value, uint32_t value_length) {
    meta_entry prepared;  // built aside: a failure here leaves the container as it was
    prepared.name.set(name, kpl::strnlen(name, name_length));
    prepared.first.set(value, kpl::strnlen(value, value_length));
    prepared.inline_values = 1;
    return append_entry(prepared);
}

uint32_t track_info_store::meta_set(const char* name, uint32_t name_length, const char* value, uint32_t value_length) {
    meta_entry prepared;
    prepared.name.set(name, kpl::strnlen(name, name_length));
    prepared.first.set(value, kpl::strnlen(value, value_length));
    prepared.inline_values = 1;
    int32_t old = meta_find(prepared.name.c_str(), prepared.name.length());
    if (old >= 0) meta_remove_mask(kpl::bit_mask_one(static_cast<uint32_t>(old)));
    return append_entry(prepared);
}

void track_info_store::meta_insert_value(uint32_t i, uint32_t position, const char* value, uint32_t value_length) {
    text prepared;
    prepared.set(value, kpl::strnlen(value, value_length));
    meta_entry& e = entry(i);
    uint32_t count = e.value_count();
    if (position > count) position = count;
    if (count == 0) {
        e.first.swap(prepared);
        e.inline_values = 1;
        return;
    }
    e.more.resize_pow2_shrink(count);  // one more value: count - 1 -> count overflow elements
    for (uint32_t k = count; k > position; --k) e.value(k).swap(e.value(k - 1));
    e.value(position).swap(prepared);
}

uint32_t track_info_store::meta_remove_mask(const kpl::bit_mask& mask) {
    uint32_t kept = compact(meta_count(), mask, [this](uint32_t a, uint32_t b) { entry(a).swap(entry(b)); });
    cut_meta(kept);
    return meta_count();
}

void track_info_store::meta_reorder(const size_t* order) {
    struct entries final : kpl::sort_callback {
        track_info_store& self;
        explicit entries(track_info_store& s) : self(s) {}
        int compare(size_t, size_t) override { return 0; }
        void swap(size_t a, size_t b) override {
            self.entry(static_cast<uint32_t>(a)).swap(self.entry(static_cast<uint32_t>(b)));
        }
    } callback(*this);
    kpl::apply_permutation(callback, order, meta_count());
}

void track_info_store::meta_remove_values(uint32_t i, const kpl::bit_mask& mask) {
    meta_entry& e = entry(i);
    uint32_t kept = compact(e.value_count(), mask, [&e](uint32_t a, uint32_t b) { e.value(a).swap(e.value(b)); });
    cut_values(e, kept);
    if (e.value_count() == 0) meta_remove_mask(kpl::bit_mask_one(i));
}

void track_info_store::meta_modify_value(uint32_t i, uint32_t j, const char* value, uint32_t value_length) {
    entry(i).value(j).set(value, kpl::strnlen(value, value_length));
}

uint32_t track_info_store::info_add(const char* name, uint32_t name_length, const char* value, uint32_t value_length) {
    info_entry prepared;
    prepared.name.set(name, kpl::strnlen(name, name_length));
    prepared.value.set(value, kpl::strnlen(value, value_length));
    uint32_t index = m_info.count();
    m_info.resize_pow2_shrink(index + 1);
    m_info[index].swap(prepared);
    return index;
}

uint32_t track_info_store::info_set(const char* name, uint32_t name_length, const char* value, uint32_t value_length) {
    info_entry prepared;
    prepared.name.set(name, kpl::strnlen(name, name_length));
    prepared.value.set(value, kpl::strnlen(value, value_length));
    int32_t old = info_find(prepared.name.c_str(), prepared.name.length());
    if (old >= 0) info_remove_mask(kpl::bit_mask_one(static_cast<uint32_t>(old)));
    uint32_t index = m_info.count();
    m_info.resize_pow2_shrink(index + 1);
    m_info[index].swap(prepared);
    return index;
}

uint32_t track_info_store::info_remove_mask(const kpl::bit_mask& mask) {
    uint32_t kept = compact(m_info.count(), mask, [this](uint32_t a, uint32_t b) { m_info[a].swap(m_info[b]); });
    if (kept < m_info.count()) m_info.resize_pow2_shrink(kept);
    return m_info.count();
}

void track_info_store::copy_meta(const track_info& other) {
    if (&other == this) return;
    uint32_t count = other.meta_count();
    // Resize the list to the other's field count; every entry is then overwritten in place.
    if (count < meta_count()) cut_meta(count);
    while (meta_count() < count) {
        meta_entry blank;
        append_entry(blank);
    }
    for (uint32_t i = 0; i < count; ++i) {
        meta_entry& e = entry(i);
        e.name.set(other.meta_name(i), kpl::strnlen(other.meta_name(i), npos));
        uint32_t values = other.meta_value_count(i);
        if (values == 0) {
            cut_values(e, 0);
            continue;
        }
        e.more.resize_pow2_shrink(values - 1);
        e.inline_values = 1;
        for (uint32_t j = 0; j < values; ++j) {
            const char* v = other.meta_value(i, j);
            e.value(j).set(v, kpl::strnlen(v, npos));
        }
    }
}

void track_info_store::copy_info(const track_info& other) {
    if (&other == this) return;
    uint32_t count = other.info_count();
    m_info.resize_pow2_shrink(count);
    for (uint32_t i = 0; i < count; ++i) {
        m_info[i].name.set(other.info_name(i), kpl::strnlen(other.info_name(i), npos));
        m_info[i].value.set(other.info_value(i), kpl::strnlen(other.info_value(i), npos));
    }
}
