#pragma once
// In-place cell editing: an edit box opened over a cell of a list, moving between cells with Tab,
// Shift+Tab and Enter, and reporting the edited text to its owner.
//
//   class tag_table : public listview_edit_host {             // a host over a list view
//       void set_cell_text(int item, int column, const char* text) override { store(item, column, text); }
//   };
//   tag_table host(list);
//   host.begin_edit(2, 1);           // an editor over row 2, column 1, its text selected
//   // Tab: the next column (after the last, the first of the next row); Shift+Tab: back; Enter: the same
//   // column one row down; Escape: cancel; a click elsewhere in the window, a wheel turn or lost focus:
//   // leave. A changed text is written back (set_cell_text) unless the editor was cancelled.
//
// The editor reports once with its end code; 0x100 is added when the text changed and the code is not
// "cancelled". Everything runs on the main thread; one mouse hook of the thread serves all open editors.

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <memory>

#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"
#include "foundation/tasks/result_notifier.h"

namespace in_place_edit {

// Cell style flags.
enum : uint32_t { read_only = 1, multi_line = 2, centered = 4, right_aligned = 8 };
// End codes; changed is added to a code other than cancelled when the text was edited.
enum : int { cancelled = 0, next_cell = 1, previous_cell = 2, accepted = 3, left = 4, changed = 0x100 };
// The key of the host's notifier.
constexpr int notifier_key = 0x6F0A3DE6;
// The edit control's id inside the editor.
constexpr int edit_id = 666;

// The code the editor reports: the end code, plus `changed` when edited and not cancelled.
int report_code(int end_code, bool text_changed);

// The cell after (item, column) for an end code, over the visible columns in display order and `items`
// rows: next_cell moves right and wraps to the next row's first column, previous_cell moves left and wraps
// to the previous row's last, accepted moves one row down. Only the low byte of the code counts (a
// changed text still moves on). False past the first or last row, or for any other code.
bool next_cell_for(const int* column_order, int columns, int items, int item, int column, int code, int& next_item,
                   int& next_column);

// next_cell_for over the editable columns only (`editable[column]` for each column id below `columns`):
// next_cell goes on to the next editable column, after the last one to the first editable column of the next
// row; previous_cell back to the previous editable one, before the first one to the last editable column of
// the previous row; accepted to the same column one row down. False as next_cell_for, and when no column is
// editable.      order {0, 1, 2}, editable {no, yes, yes}: (0, 2) next -> (1, 1); (1, 1) previous -> (0, 2)
bool move_to_next_cell(const int* column_order, const bool* editable, int columns, int items, int item, int column,
                       int code, int& next_item, int& next_column);

}  // namespace in_place_edit

class in_place_editor;

class in_place_edit_host : public notifier_owner {
public:
    in_place_edit_host() = default;
    ~in_place_edit_host() override;

    // Opens an editor over the cell (closing one that is open, without a report).
    void begin_edit(int item, int column);
    // Cancels the editor; with `report` and a cell that is not read-only, the current value is written
    // back. Then the keyboard focus is cleared and on_editing_end runs.
    void end_edit(bool report);
    // Closes an open editor without a report and without on_editing_end.
    void cancel_edit();
    bool is_editing() const { return m_editor != nullptr; }
    // The editor's edit control while one is open (tests and owners that style it).
    HWND editor_edit_control() const;

    void on_notify(int key, int32_t code) override;

protected:
    // The host's side, in the order begin_edit uses them.
    virtual void ensure_cell_visible(int item, int column) = 0;
    virtual void get_cell_text(int item, int column, kpl::utf8_string& out, int& line_count) = 0;
    virtual uint32_t get_cell_flags(int item, int column) = 0;
    virtual RECT get_cell_rect(int item, int column) = 0;
    // An IEnumString for autocomplete (the reference passes to the caller) with its IAutoComplete2 options;
    // null: none.
    virtual IEnumString* get_autocomplete_source(int item, int column, DWORD& options);
    virtual HWND get_editor_parent() = 0;
    virtual void set_cell_text(int item, int column, const char* text) = 0;
    // The cell to edit next for an end code; false ends editing.
    virtual bool choose_next_cell(int& item, int& column, int code) = 0;
    virtual void on_editing_end();

private:
    friend class in_place_editor;
    void editor_gone(in_place_editor* editor);

    in_place_editor* m_editor = nullptr;
    int m_item = -1;
    int m_column = -1;
    uint32_t m_flags = 0;
    std::shared_ptr<kpl::utf8_string_pow2> m_value;
};

// The host over a "SysListView32" control: texts through the list-view calls, a cell with a line break
// edited in five rows, navigation over the columns in display order.
class listview_edit_host : public in_place_edit_host {
public:
    explicit listview_edit_host(HWND list) : m_list(list) {}
    HWND list() const { return m_list; }

protected:
    void ensure_cell_visible(int item, int column) override;
    void get_cell_text(int item, int column, kpl::utf8_string& out, int& line_count) override;
    uint32_t get_cell_flags(int item, int column) override;
    RECT get_cell_rect(int item, int column) override;
    HWND get_editor_parent() override { return m_list; }
    void set_cell_text(int item, int column, const char* text) override;
    bool choose_next_cell(int& item, int& column, int code) override;

private:
    HWND m_list;
};

// An IEnumString over lines of text, for the system's autocomplete. Next answers S_FALSE when fewer
// strings than asked for were left; Reset starts over (and re-reads a reloading source).
//
//   IEnumString* values = string_enumerator_create("Rock\nPop\nJazz");   // count 1, caller releases
class string_enumerator_source {
public:
    // The text whose lines are offered; asked again at every Reset.
    virtual void get_text(kpl::utf8_string& out) = 0;
    virtual ~string_enumerator_source() = default;
};
IEnumString* string_enumerator_create(const char* lines);
// Takes ownership of the source.
IEnumString* string_enumerator_create_reloading(string_enumerator_source* source);
