#pragma once
// kpl::string_array: a growable list of stored strings (kpl::utf8_string_tight elements), for lists of
// values, command-line arguments and the like. It grows and shrinks by the shrinking doubling policy of
// kpl::array (16 slots and 3 strings give 8 slots; an emptied list keeps 1-3 slots; clear() frees).
//
//     kpl::string_array values;
//     values.append("Rock");
//     values.append("Pop");
//     values[1] == "Pop";

#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"

namespace kpl {

class string_array {
public:
    uint32_t count() const noexcept { return m_items.count(); }
    uint32_t size() const noexcept { return m_items.count(); }
    uint32_t capacity() const noexcept { return m_items.capacity(); }
    bool empty() const noexcept { return m_items.count() == 0; }

    utf8_string_tight& operator[](uint32_t index) noexcept { return m_items[index]; }
    const utf8_string_tight& operator[](uint32_t index) const noexcept { return m_items[index]; }
    utf8_string_tight* begin() noexcept { return m_items.begin(); }
    utf8_string_tight* end() noexcept { return m_items.end(); }
    const utf8_string_tight* begin() const noexcept { return m_items.begin(); }
    const utf8_string_tight* end() const noexcept { return m_items.end(); }

    // Appends a copy of the text (up to `max` bytes) and returns its index.
    uint32_t append(const char* text, uint32_t max = utf8_string::npos) {
        return m_items.append(utf8_string_tight(text, max));
    }
    uint32_t append(const utf8_string& text) { return m_items.append(utf8_string_tight(text)); }

    // count n: new strings empty, cut strings freed (shrinking doubling policy).
    void resize(uint32_t n) { m_items.resize_pow2_shrink(n); }
    void remove_at(uint32_t index) { m_items.remove_at(index); }
    // count 0, storage freed.
    void clear() noexcept { m_items.clear(); }

    array<utf8_string_tight>& items() noexcept { return m_items; }
    const array<utf8_string_tight>& items() const noexcept { return m_items; }

private:
    array<utf8_string_tight> m_items;
};

}  // namespace kpl
