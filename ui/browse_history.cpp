// The browsing history: a list of places with a current one.
#include "ui/browse_history.h"

void browse_history::push(const view_path& where) {
    if (m_current != m_entries.end()) m_entries.erase(std::next(m_current), m_entries.end());
    history_entry entry;
    entry.kind = where.kind;
    entry.location = where.path;
    m_current = m_entries.insert(m_entries.end(), std::move(entry));
}

void browse_history::save(const key_list& selected, const key_list& focused, int32_t scroll_x, int32_t scroll_y) {
    if (m_current == m_entries.end()) return;
    m_current->selected = selected;
    m_current->focused = focused;
    m_current->scroll_x = scroll_x;
    m_current->scroll_y = scroll_y;
}

const history_entry* browse_history::current() const {
    return m_current == m_entries.end() ? nullptr : &*m_current;
}

bool browse_history::can_back() const { return m_current != m_entries.end() && m_current != m_entries.begin(); }

bool browse_history::can_forward() const {
    return m_current != m_entries.end() && std::next(m_current) != m_entries.end();
}

bool browse_history::back() {
    if (!can_back()) return false;
    --m_current;
    return true;
}

bool browse_history::forward() {
    if (!can_forward()) return false;
    ++m_current;
    return true;
}
