#pragma once
// kpl::array<T>: the growable storage record {data, count, capacity} under all arrays and strings.
//
// Elements are constructed when the count grows (value-initialised: numbers and pointers zeroed, strings
// empty, references null) and destroyed when it shrinks. Three sizing policies:
//
//     exact       resize_exact(n)         capacity == count after the call
//     doubling    resize_pow2(n)          capacity doubles from max(capacity, 1) until it holds n;
//                                         never shrinks (builder strings)
//     shrinking   resize_pow2_shrink(n)   doubles as above, then halves while capacity / 4 > n
//                                         (16 slots and n = 3 give 8; n = 0 gives 2, not 0)
//
// Only clear() frees the storage. Allocation failure, and any element count whose byte size does not fit
// in 32 bits (checked before allocating), throw std::bad_alloc with "bad allocation"; a failed call leaves
// the array as it was.
//
//     kpl::array<uint32_t> a;
//     a.append(7);              // count 1, capacity 1
//     a.resize_exact(10);       // a[1..9] == 0, capacity 10
//
// Not thread-safe: an array belongs to one thread at a time.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "foundation/kpl/exceptions.h"

namespace kpl {

// count * size, or std::bad_alloc ("bad allocation") when the product overflows 32 bits; 0 when count is 0.
inline uint32_t checked_multiply(uint32_t count, uint32_t size) {
    uint64_t product = static_cast<uint64_t>(count) * size;
    if (product > UINT32_MAX) throw_bad_alloc();
    return static_cast<uint32_t>(product);
}

// size 0 frees `block` and returns null; a null block is allocated fresh; otherwise the block is resized
// with its contents kept. Failure throws std::bad_alloc and leaves `block` valid.
void* realloc_or_throw(uint32_t size, void* block);

// Throws std::bad_alloc when `pointer` is null; returns it otherwise.
void* check_allocation(void* pointer);

template <class T>
class array {
public:
    array() noexcept = default;
    ~array() { clear(); }

    array(const array& other) : array() { copy_from(other); }
    array(array&& other) noexcept : m_data(other.m_data), m_count(other.m_count), m_capacity(other.m_capacity) {
        other.m_data = nullptr;
        other.m_count = other.m_capacity = 0;
    }
    array& operator=(const array& other) {
        if (this != &other) {
            array copy(other);
            swap(copy);
        }
        return *this;
    }
    array& operator=(array&& other) noexcept {
        if (this != &other) {
            clear();
            swap(other);
        }
        return *this;
    }
    void swap(array& other) noexcept {
        std::swap(m_data, other.m_data);
        std::swap(m_count, other.m_count);
        std::swap(m_capacity, other.m_capacity);
    }

    T* data() noexcept { return m_data; }
    const T* data() const noexcept { return m_data; }
    uint32_t count() const noexcept { return m_count; }
    uint32_t size() const noexcept { return m_count; }
    uint32_t capacity() const noexcept { return m_capacity; }
    bool empty() const noexcept { return m_count == 0; }

    // Unchecked element access (index < count).
    T& operator[](uint32_t index) noexcept { return m_data[index]; }
    const T& operator[](uint32_t index) const noexcept { return m_data[index]; }
    T* begin() noexcept { return m_data; }
    T* end() noexcept { return m_data + m_count; }
    const T* begin() const noexcept { return m_data; }
    const T* end() const noexcept { return m_data + m_count; }

    // When n differs from the capacity, reallocates to exactly n elements (0 frees); elements at n and
    // beyond are destroyed first.
    void set_capacity(uint32_t n) {
        if (n < m_count) set_count(n);
        reallocate(n);
    }

    // Constructs or destroys the elements between the count and n; grows the capacity to exactly n when
    // it is too small, never shrinks it.
    void set_count(uint32_t n) {
        if (n > m_capacity) reallocate(n);
        if (n > m_count) {
            // Value-initialised numbers, enums and plain pointers are all-zero bytes: one memset, not a loop
            // the compiler may leave a byte at a time (a read buffer of 512 KiB costs a millisecond that way).
            if constexpr (std::is_arithmetic<T>::value || std::is_enum<T>::value || std::is_pointer<T>::value) {
                std::memset(static_cast<void*>(m_data + m_count), 0, size_t(n - m_count) * sizeof(T));
            } else {
                for (uint32_t i = m_count; i < n; ++i) new (m_data + i) T();
            }
        } else {
            for (uint32_t i = n; i < m_count; ++i) m_data[i].~T();
        }
        m_count = n;
    }

    // count n with capacity exactly n.
    void resize_exact(uint32_t n) {
        if (n > m_count) {
            reallocate(n);
            set_count(n);
        } else {
            set_count(n);
            reallocate(n);
        }
    }

    // count n; the capacity doubles until it holds n and never shrinks.
    void resize_pow2(uint32_t n) {
        uint32_t c = m_capacity ? m_capacity : 1;
        while (c < n) c = double_or_throw(c);
        if (c > m_capacity && n > 0) reallocate(c);
        set_count(n);
    }

    // count n; the capacity doubles until it holds n, then halves while a quarter of it exceeds n.
    void resize_pow2_shrink(uint32_t n) {
        uint32_t c = m_capacity ? m_capacity : 1;
        while (c < n) c = double_or_throw(c);
        while (c / 4 > n) c /= 2;
        if (m_capacity == 0 && n == 0) return;
        if (n > m_count) {
            reallocate(c);
            set_count(n);
        } else {
            set_count(n);
            reallocate(c);
        }
    }

    // count 0 and the storage freed.
    void clear() noexcept {
        for (uint32_t i = 0; i < m_count; ++i) m_data[i].~T();
        m_count = 0;
        std::free(m_data);
        m_data = nullptr;
        m_capacity = 0;
    }

    // Appends one element (shrinking doubling policy) and returns its index.
    uint32_t append(const T& value) {
        T copy(value);  // value may live in this array
        return append(std::move(copy));
    }
    uint32_t append(T&& value) {
        uint32_t index = m_count;
        if (index == UINT32_MAX) throw_bad_alloc();
        grow_for(index + 1);
        new (m_data + index) T(std::move(value));
        m_count = index + 1;
        return index;
    }

    // Inserts one element before `index` (clamped to the count), moving the tail up.
    void insert_at(uint32_t index, const T& value) {
        T copy(value);
        if (index > m_count) index = m_count;
        append(std::move(copy));
        for (uint32_t i = m_count - 1; i > index; --i) std::swap(m_data[i], m_data[i - 1]);
    }

    // Removes the element at `index` (< count), moving the tail down (shrinking doubling policy).
    void remove_at(uint32_t index) {
        for (uint32_t i = index; i + 1 < m_count; ++i) std::swap(m_data[i], m_data[i + 1]);
        resize_pow2_shrink(m_count - 1);
    }

private:
    static uint32_t double_or_throw(uint32_t c) {
        if (c > UINT32_MAX / 2) throw_bad_alloc();
        return c * 2;
    }

    // Makes room for n elements by the shrinking doubling policy without constructing them.
    void grow_for(uint32_t n) {
        if (n <= m_capacity) return;
        uint32_t c = m_capacity ? m_capacity : 1;
        while (c < n) c = double_or_throw(c);
        reallocate(c);
    }

    // Changes the capacity to n (n >= count), keeping the elements.
    void reallocate(uint32_t n) {
        if (n == m_capacity) return;
        uint32_t bytes = checked_multiply(n, static_cast<uint32_t>(sizeof(T)));
        if constexpr (std::is_trivially_copyable<T>::value) {
            m_data = static_cast<T*>(realloc_or_throw(bytes, m_data));
        } else {
            T* fresh = nullptr;
            if (bytes) fresh = static_cast<T*>(check_allocation(std::malloc(bytes)));
            for (uint32_t i = 0; i < m_count; ++i) {
                new (fresh + i) T(std::move(m_data[i]));
                m_data[i].~T();
            }
            std::free(m_data);
            m_data = fresh;
        }
        m_capacity = n;
    }

    void copy_from(const array& other) {
        reallocate(other.m_count);
        for (uint32_t i = 0; i < other.m_count; ++i) {
            new (m_data + i) T(other.m_data[i]);
            m_count = i + 1;
        }
    }

    T* m_data = nullptr;
    uint32_t m_count = 0;
    uint32_t m_capacity = 0;
};

// The named array operations.
template <class T>
void array_set_capacity(array<T>& a, uint32_t n) { a.set_capacity(n); }
template <class T>
void array_resize_exact(array<T>& a, uint32_t n) { a.resize_exact(n); }
template <class T>
void array_resize_pow2(array<T>& a, uint32_t n) { a.resize_pow2(n); }
template <class T>
void array_resize_pow2_shrink(array<T>& a, uint32_t n) { a.resize_pow2_shrink(n); }
template <class T>
void array_clear(array<T>& a) noexcept { a.clear(); }
// Makes the count at least n (new elements value-initialised) by the growing doubling policy; never shrinks.
template <class T>
void array_grow_to(array<T>& a, uint32_t n) {
    if (a.count() < n) a.resize_pow2(n);
}

// Byte storage.
using byte_array = array<uint8_t>;

// UTF-16 text handed to Win32 calls: always sized exactly (2 bytes per unit, the size checked for
// overflow) and zero-terminated by whoever fills it.
//
//     kpl::wide_array w;
//     w.set_count(4);           // 4 zeroed units, capacity 4
//     CreateFileW(w.c_str(), ...);
class wide_array {
public:
    wchar_t* data() noexcept { return m_units.data(); }
    const wchar_t* data() const noexcept { return m_units.data(); }
    // The units, or L"" when there are none.
    const wchar_t* c_str() const noexcept { return m_units.count() ? m_units.data() : L""; }
    uint32_t count() const noexcept { return m_units.count(); }
    uint32_t capacity() const noexcept { return m_units.capacity(); }
    wchar_t& operator[](uint32_t index) noexcept { return m_units[index]; }
    const wchar_t& operator[](uint32_t index) const noexcept { return m_units[index]; }

    // count n units (new ones zero) with capacity exactly n.
    void set_count(uint32_t n) { m_units.resize_exact(n); }
    void clear() noexcept { m_units.clear(); }

private:
    array<wchar_t> m_units;
};

}  // namespace kpl
