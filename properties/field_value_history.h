#pragma once
// field_value_history: the one process-wide store of remembered field values behind the history
// drop-down fields of the properties dialog.
//
//     field_value_history& history = field_value_history::get();
//     history.load("");                 // the remembered values (of every field for "")
//     history.fill(combo);              // into the combo box's list
//     kpl::utf8_string lines;
//     history.text(lines);              // "Rock\nPop"
//
// load selects what fill and text give, so a user holds lock() from its load to its last fill or text:
//
//     kpl::critical_section_scope hold(field_value_history::lock());
//     history.load("");
//     history.text(lines);
//
// The autocomplete of the history fields reads it on the autocomplete object's own thread that way; every
// other user is on the main thread.

#include <windows.h>

#include "foundation/kpl/string.h"
#include "foundation/tasks/critical_section.h"

class field_value_history {
public:
    static field_value_history& get();
    // Held around each use (load, then fill or text).
    static kpl::critical_section& lock();

    // Selects the values remembered under the key.
    virtual void load(const char* key) = 0;
    // Appends the selected values to the combo box's list.
    virtual void fill(HWND combo) = 0;
    // The selected values as one text, separated by line feeds.
    virtual void text(kpl::utf8_string& out) = 0;

protected:
    ~field_value_history() = default;
};
