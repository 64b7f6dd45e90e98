#pragma once
// text_history: remembered texts behind a drop-down box (field names of the add-field dialogs, auto-fill
// patterns), most recent first, kept in a text configuration variable as entries each followed by LF.
//
//     field_name_history().add("MOOD");           // true when it was there already (it moves to the front)
//     field_name_history().read();                // {"MOOD", "ARTIST", "TITLE", ...}
//     field_name_history().load_into_combo(combo);
//     // WM_CONTEXTMENU on the box:
//     field_name_history().show_history_menu(combo, point);   // "Wipe history", "Remove this history item"
//
// The list holds at most limit + 1 entries: an add of a new text first drops entries from the end while
// more than `limit` are kept. Empty lines of the stored text are skipped. The field name history is read
// by the autocompletion from another thread, so its variable is guarded by field_value_history::lock()
// (reading, setting, loading and saving); the pattern history is the main thread's alone.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/kpl/guid.h"
#include "foundation/tasks/critical_section.h"

class text_history {
public:
    // `lock` null: no lock.
    text_history(const kpl::guid& guid, const char* default_text, uint32_t limit, kpl::critical_section* lock);
    ~text_history();
    text_history(const text_history&) = delete;
    text_history& operator=(const text_history&) = delete;

    std::vector<std::string> read() const;
    void write(const std::vector<std::string>& entries);
    std::string get_text() const;
    void set_text(const char* text);

    // Puts the text in front (LF characters become '|'); "" does nothing and answers false.
    bool add(const char* text);
    // CB_RESETCONTENT, then every entry in order.
    void load_into_combo(HWND combo) const;
    // The history menu at `point` (screen; (-1, -1): the box's centre). Command 1 wipes the history and
    // keeps the box's text; command 2 (offered only when the box has text) removes that entry. Answers
    // whether something was wiped or removed; never throws.
    bool show_history_menu(HWND combo, POINT point);
    // The menu's commands without the menu (command 1 or 2), as show_history_menu runs them.
    bool run_menu_command(HWND combo, int command);

private:
    class variable;
    variable* m_variable;
    uint32_t m_limit;
    kpl::critical_section* m_lock;
};

// Limit 64, default "ARTIST\nTITLE\nALBUM\nGENRE\nTRACKNUMBER\nCOMPOSER\nDATE\nCOMMENT\nPERFORMER".
text_history& field_name_history();
// Limit 10, default "%title%".
text_history& autofill_pattern_history();
