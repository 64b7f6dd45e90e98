#pragma once
// kpl::bit_mask: a read-only mask over indices, used by array filters; kpl::bit_array: a mask stored as
// bits.
//
//     kpl::bit_array bits(10);           // 2 bytes, all clear
//     bits.set(3, true);                 // bit 3 of byte 0
//     bits.set(10, true);                // beyond the bit count: ignored
//     bits.find(true, 0, 10) == 3;       // first index in [0, 10) whose bit is set
//     bits.find(true, 4, 6) == 10;       // none in [4, 10): start + count
//     kpl::bit_mask_not inverse(bits);   // inverse.get(3) == false

#include <cstdint>

#include "foundation/kpl/array.h"

namespace kpl {

class bit_mask {
public:
    virtual bool get(uint32_t index) const = 0;
    // The first index in [start, start + count) whose bit equals `value`, or start + count when none.
    virtual uint32_t find(bool value, uint32_t start, uint32_t count) const;

    virtual ~bit_mask() = default;
};

// Every bit set.
class bit_mask_all_set : public bit_mask {
public:
    bool get(uint32_t) const override { return true; }
};

// No bit set.
class bit_mask_none_set : public bit_mask {
public:
    bool get(uint32_t) const override { return false; }
};

// Exactly one index set.
//     kpl::bit_mask_one one(4);   one.get(4) == true;   one.find(true, 0, 10) == 4
class bit_mask_one : public bit_mask {
public:
    explicit bit_mask_one(uint32_t index) noexcept : m_index(index) {}
    bool get(uint32_t index) const override { return index == m_index; }

private:
    uint32_t m_index;
};

// The negation of another mask (which must outlive this one).
class bit_mask_not : public bit_mask {
public:
    explicit bit_mask_not(const bit_mask& inner) noexcept : m_inner(inner) {}
    bool get(uint32_t index) const override { return !m_inner.get(index); }
    uint32_t find(bool value, uint32_t start, uint32_t count) const override {
        return m_inner.find(!value, start, count);
    }

private:
    const bit_mask& m_inner;
};

// n bits in (n + 7) / 8 bytes, all clear at construction; bit i is bit (i mod 8) of byte i / 8. Reading a
// bit at or beyond the bit count gives false; setting one is ignored.
class bit_array : public bit_mask {
public:
    bit_array() noexcept = default;
    explicit bit_array(uint32_t bit_count);

    bool get(uint32_t index) const override;
    void set(uint32_t index, bool value) noexcept;
    uint32_t bit_count() const noexcept { return m_bit_count; }
    const uint8_t* bytes() const noexcept { return m_bytes.data(); }

    // A new bit count; every bit clear again.
    void reset(uint32_t bit_count);

private:
    array<uint8_t> m_bytes;
    uint32_t m_bit_count = 0;
};

}  // namespace kpl
