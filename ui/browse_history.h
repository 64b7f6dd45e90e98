#pragma once
// browse_history: the places the main window has shown, for Back and Forward. Every navigation pushes a
// new entry after the current one (dropping whatever followed it); before leaving an entry the window
// saves its selection, focus and scroll position into it, and going back restores them. No size limit.
//
//     browse_history history;
//     history.push({0, albums});          // [albums]*
//     history.push({0, abbey_road});      // [albums, abbey_road]*
//     history.save(selected, focused, 0, 120);
//     history.back();                     // true: current is albums again
//     history.push({1, music});           // [albums, music]*: abbey_road is dropped
//     history.forward();                  // false: nothing follows (the window beeps)
//
// Main thread only.

#include <cstdint>
#include <list>

#include "library/list_text.h"

struct history_entry {
    int kind = 0;
    node_path location;
    // Texts of the rows selected when the entry was left.
    key_list selected;
    // Text of the focused row (empty or one text).
    key_list focused;
    int32_t scroll_x = 0;
    int32_t scroll_y = 0;
};

class browse_history {
public:
    // Drops the entries after the current one, appends {where, nothing selected, scroll 0}, makes it current.
    void push(const view_path& where);
    // Stores the list's state in the current entry (nothing when the history is empty).
    void save(const key_list& selected, const key_list& focused, int32_t scroll_x, int32_t scroll_y);
    // Null while the history is empty.
    const history_entry* current() const;
    bool can_back() const;
    bool can_forward() const;
    // Make the predecessor / successor current; false (nothing changes) when there is none.
    bool back();
    bool forward();
    size_t size() const { return m_entries.size(); }

private:
    std::list<history_entry> m_entries;
    std::list<history_entry>::iterator m_current = m_entries.end();
};
