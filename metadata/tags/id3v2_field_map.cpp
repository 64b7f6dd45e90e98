#include "metadata/tags/id3v2_field_map.h"

#include "foundation/kpl/text_compare.h"

uint32_t id3v2_field_map::locate(const char* name, bool* found) const {
    uint32_t low = 0, high = m_entries.count();
    while (low < high) {
        uint32_t middle = low + (high - low) / 2;
        int c = kpl::stricmp_ascii(m_entries[middle].name.c_str(), name);
        if (c == 0) {
            *found = true;
            return middle;
        }
        if (c < 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    *found = false;
    return low;
}

id3v2_field_map::entry* id3v2_field_map::find(const char* name) {
    bool found;
    uint32_t i = locate(name, &found);
    return found ? &m_entries[i] : nullptr;
}

const id3v2_field_map::entry* id3v2_field_map::find(const char* name) const {
    bool found;
    uint32_t i = locate(name, &found);
    return found ? &m_entries[i] : nullptr;
}

id3v2_field_map::entry& id3v2_field_map::at(const char* name) {
    bool found;
    uint32_t i = locate(name, &found);
    if (!found) {
        entry fresh;
        fresh.name = name;
        m_entries.insert_at(i, fresh);
    }
    return m_entries[i];
}

void id3v2_field_map::add(const char* name, const char* value, uint32_t length) {
    entry& e = at(name);
    if (length == 0 || value[0] == 0) return;
    e.values.append(kpl::utf8_string_tight(value, length));
}

void id3v2_field_map::set(const char* name, const char* value) {
    at(name).values.clear();
    add(name, value);
}

bool id3v2_field_map::remove(const char* name) {
    bool found;
    uint32_t i = locate(name, &found);
    if (found) m_entries.remove_at(i);
    return found;
}

bool id3v2_field_map::has_value(const char* name) const {
    const entry* e = find(name);
    return e && e->values.count() > 0;
}

const char* id3v2_field_map::first_value(const char* name) const {
    const entry* e = find(name);
    return e && e->values.count() ? e->values[0].c_str() : nullptr;
}
