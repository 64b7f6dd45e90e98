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
// Main thread only.

#include <windows.h>

#include "foundation/kpl/string.h"

class field_value_history {
public:
    static field_value_history& get();

    // Selects the values remembered under the key.
    virtual void load(const char* key) = 0;
    // Appends the selected values to the combo box's list.
    virtual void fill(HWND combo) = 0;
    // The selected values as one text, separated by line feeds.
    virtual void text(kpl::utf8_string& out) = 0;

protected:
    ~field_value_history() = default;
};
