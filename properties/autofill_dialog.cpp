// Automatically Fill Values (232): a pattern over each track's file-name tail or clipboard line, a live
// preview whose cells can be corrected, and OK writing the cells into the field list copy.
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <string>

#include "foundation/kpl/guid.h"
#include "foundation/win32/clipboard.h"
#include "foundation/win32/dialog_resize.h"
#include "foundation/win32/in_place_edit.h"
#include "foundation/win32/listview.h"
#include "foundation/win32/window_text.h"
#include "properties/autofill_match.h"
#include "properties/sub_dialog.h"
#include "properties/text_history.h"
#include "properties/text_rules.h"
#include "resources/resource_ids.h"
#include "shell/localization.h"
#include "shell/separator_window.h"
#include "ui/window_placement.h"

namespace {

constexpr kpl::guid k_placement = {0xCEE7EC8C, 0x285C, 0x44BC, {0x93, 0xF4, 0x78, 0x38, 0x2A, 0xFE, 0x40, 0xD1}};
window_placement_var g_placement(k_placement);
constexpr UINT_PTR k_timer = 666;

class autofill_dialog;

class preview_host final : public listview_edit_host {
public:
    preview_host(HWND list, autofill_dialog& owner) : listview_edit_host(list), m_owner(owner) {}

protected:
    void get_cell_text(int item, int column, kpl::utf8_string& out, int& line_count) override;
    uint32_t get_cell_flags(int item, int column) override;
    void set_cell_text(int item, int column, const char* text) override;
    bool choose_next_cell(int&, int&, int) override { return false; }

private:
    autofill_dialog& m_owner;
};

class autofill_dialog final : public properties_sub_dialog {
public:
    autofill_dialog(std::vector<std::string> paths, std::shared_ptr<properties_field_list> fields,
                    const properties_field_info& info, properties_done done)
        : properties_sub_dialog(std::move(done)), m_paths(std::move(paths)), m_fields(std::move(fields)), m_info(info),
          m_result(static_cast<uint32_t>(m_paths.size())) {}
    ~autofill_dialog() override {
        if (m_font) DeleteObject(m_font);
    }

    // The cell texts live here, not in the list, so no value is cut at the list's text limit.
    std::string cell(int row, int column) const {
        if (column == 1) return row < static_cast<int>(m_sources.size()) ? m_sources[row] : "";
        const size_t field = static_cast<size_t>(column - 2);
        if (column < 2 || field >= m_result.fields.size() || row >= static_cast<int>(m_paths.size())) return "";
        return m_result.fields[field].values[row];
    }
    void set_cell(int row, int column, const char* text) {
        const size_t field = static_cast<size_t>(column - 2);
        if (column < 2 || field >= m_result.fields.size() || row >= static_cast<int>(m_paths.size())) return;
        m_result.fields[field].values[row] = text;
        listview_set_item_text(m_list, row, column, text);
    }

    bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
        g_placement.on_window_message(dialog, message, m_placement);
        if (m_resizer.on_message(dialog, message, wparam, lparam, result)) return true;
        switch (message) {
            case WM_INITDIALOG:
                init(dialog);
                result = FALSE;
                return true;
            case WM_COMMAND:
                on_command(LOWORD(wparam), HIWORD(wparam));
                result = 0;
                return true;
            case WM_TIMER:
                if (wparam == k_timer) refresh();
                result = 0;
                return true;
            case WM_NOTIFY:
                return on_list_notify(reinterpret_cast<NMHDR*>(lparam));
            case WM_APP: {
                const int column = static_cast<int>(lparam);
                const int row = static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, -1, LVNI_FOCUSED));
                if (row >= 0 && column >= 0 && !m_host->is_editing() && column < 2 + static_cast<int>(m_result.fields.size()))
                    m_host->begin_edit(row, column);
                result = 0;
                return true;
            }
            case WM_CONTEXTMENU: {
                HWND target = reinterpret_cast<HWND>(wparam);
                if (target == m_pattern || IsChild(m_pattern, target)) {
                    POINT point = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
                    autofill_pattern_history().show_history_menu(m_pattern, point);
                    result = 0;
                    return true;
                }
                return false;
            }
            case WM_CLOSE:
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                result = 0;
                return true;
            case WM_DESTROY:
                KillTimer(dialog, k_timer);
                if (m_host) m_host->cancel_edit();
                return false;
        }
        return false;
    }

private:
    void init(HWND dialog) {
        static const dialog_text texts[] = {{dialog_caption, "properties_caption_autofill"},
                                            {IDC_AUTOFILL_HEADER_SOURCE, "properties_autofill_header_source"},
                                            {IDC_AUTOFILL_HEADER_PATTERN, "properties_autofill_header_pattern"},
                                            {IDC_AUTOFILL_HEADER_PREVIEW, "properties_autofill_header_preview"},
                                            {IDC_AUTOFILL_PASTE, "properties_autofill_paste"},
                                            {IDC_AUTOFILL_AUTOCAPS, "properties_autofill_autocaps"},
                                            {IDOK, "dialog_ok"},
                                            {IDCANCEL, "dialog_cancel"}};
        dialog_set_texts(dialog, texts, sizeof(texts) / sizeof(texts[0]));
        m_font = create_enlarged_font(dialog);
        for (int id : {IDC_AUTOFILL_HEADER_SOURCE, IDC_AUTOFILL_HEADER_PATTERN, IDC_AUTOFILL_HEADER_PREVIEW})
            SendDlgItemMessageW(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
        m_source = GetDlgItem(dialog, IDC_AUTOFILL_SOURCE);
        m_pattern = GetDlgItem(dialog, IDC_AUTOFILL_PATTERN);
        m_list = GetDlgItem(dialog, IDC_AUTOFILL_PREVIEW);
        for (const char* id : {"properties_autofill_source_filenames", "properties_autofill_source_clipboard"})
            SendMessageW(m_source, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(properties_wide(localization_table::get_text(id)).c_str()));
        SendMessageW(m_source, CB_SETCURSEL, 0, 0);
        m_host.reset(new preview_host(m_list, *this));
        SetWindowLongW(dialog, GWL_EXSTYLE, GetWindowLongW(dialog, GWL_EXSTYLE) | WS_EX_DLGMODALFRAME);
        SetWindowTheme(m_list, L"explorer", nullptr);
        const DWORD styles = LVS_EX_DOUBLEBUFFER | LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
        SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
        listview_insert_column(m_list, 0, "#", 25);
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT;
        column.fmt = LVCFMT_RIGHT;
        SendMessageW(m_list, LVM_SETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        listview_insert_column(m_list, 1, localization_table::get_text("properties_tableedit_column_filename"), 75);
        for (size_t i = 0; i < m_paths.size(); ++i) listview_insert_item(m_list, static_cast<int>(i), std::to_string(i + 1).c_str(), 0);
        SendMessageW(m_list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
        autofill_pattern_history().load_into_combo(m_pattern);
        SetWindowTextW(m_pattern, L"");
        static const uint32_t anchors[] = {
            IDC_AUTOFILL_HEADER_SOURCE | dialog_resize_helper::stretch_x << 16,
            IDC_AUTOFILL_HEADER_PATTERN | dialog_resize_helper::stretch_x << 16,
            IDC_AUTOFILL_PATTERN | dialog_resize_helper::stretch_x << 16,
            IDC_AUTOFILL_HEADER_PREVIEW | dialog_resize_helper::stretch_x << 16,
            IDC_AUTOFILL_PREVIEW | (dialog_resize_helper::stretch_x | dialog_resize_helper::stretch_y) << 16,
            IDC_AUTOFILL_AUTOCAPS | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
            IDOK | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
            IDCANCEL | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
        };
        m_resizer.set_anchors(anchors, sizeof(anchors) / sizeof(anchors[0]));
        m_resizer.set_min_size(250, 150);
        refresh();
        m_initialised = true;
        SetFocus(m_source);
        ShowWindow(dialog, SW_SHOW);
    }

    void schedule() {
        if (!m_initialised) return;
        m_pending = true;
        SetTimer(handle(), k_timer, 333, nullptr);
    }

    std::string source_text(size_t track) {
        if (m_kind == 0) return autofill_source_tail(m_paths[track].c_str(), m_pattern_text.c_str());
        if (!m_clipboard_valid) {
            kpl::utf8_string_pow2 text;
            m_clipboard = clipboard_get_text(text) ? text.c_str() : "";
            m_clipboard_valid = true;
        }
        const std::vector<std::string> lines = autofill_clipboard_lines(m_clipboard.c_str(), static_cast<uint32_t>(m_paths.size()));
        return lines[track];
    }

    void refresh() {
        KillTimer(handle(), k_timer);
        m_pending = false;
        if (m_host->is_editing()) m_host->cancel_edit();
        kpl::utf8_string_pow2 pattern;
        window_get_text(m_pattern, pattern);
        m_pattern_text = pattern.c_str();
        while (listview_column_count(m_list) > 2) SendMessageW(m_list, LVM_DELETECOLUMN, 2, 0);
        LVCOLUMNW header = {};
        header.mask = LVCF_TEXT;
        std::wstring title = properties_wide(localization_table::get_text(
            m_kind == 0 ? "properties_tableedit_column_filename" : "properties_autofill_column_source"));
        header.pszText = &title[0];
        SendMessageW(m_list, LVM_SETCOLUMNW, 1, reinterpret_cast<LPARAM>(&header));
        m_sources.clear();
        m_result = autofill_result(static_cast<uint32_t>(m_paths.size()));
        try {
            for (size_t i = 0; i < m_paths.size(); ++i) {
                m_sources.push_back(source_text(i));
                listview_set_item_text(m_list, static_cast<int>(i), 1, m_sources.back().c_str());
            }
            for (size_t i = 0; i < m_paths.size(); ++i)
                autofill_match_pattern(m_sources[i], m_pattern_text, m_info, m_result, static_cast<uint32_t>(i));
            for (size_t f = 0; f < m_result.fields.size(); ++f) {
                listview_insert_column(m_list, static_cast<int>(f + 2), m_info.display_name(m_result.fields[f].name.c_str()).c_str(), 100);
                for (size_t i = 0; i < m_paths.size(); ++i)
                    listview_set_item_text(m_list, static_cast<int>(i), static_cast<int>(f + 2), m_result.fields[f].values[i].c_str());
            }
            for (int c = 0; c < static_cast<int>(m_result.fields.size()) + 2; ++c)
                SendMessageW(m_list, LVM_SETCOLUMNWIDTH, c, LVSCW_AUTOSIZE_USEHEADER);
        } catch (const std::exception&) {
            m_result = autofill_result(static_cast<uint32_t>(m_paths.size()));
            while (listview_column_count(m_list) > 2) SendMessageW(m_list, LVM_DELETECOLUMN, 2, 0);
            for (int c = 0; c < 2; ++c) SendMessageW(m_list, LVM_SETCOLUMNWIDTH, c, LVSCW_AUTOSIZE_USEHEADER);
        }
    }

    void apply() {
        if (m_host->is_editing()) m_host->end_edit(true);
        if (m_pending) refresh();
        if (m_result.fields.empty()) {
            end(2);
            return;
        }
        autofill_pattern_history().add(m_pattern_text.c_str());
        autofill_apply(m_result, *m_fields, static_cast<uint32_t>(m_paths.size()), m_info);
        end(1);
    }

    void on_command(int id, int code) {
        try {
            switch (id) {
                case IDOK:
                    apply();
                    return;
                case IDCANCEL:
                    if (m_host) m_host->cancel_edit();
                    end(2);
                    return;
                case IDC_AUTOFILL_AUTOCAPS:
                    if (m_pending) refresh();
                    for (size_t f = 0; f < m_result.fields.size(); ++f)
                        for (size_t i = 0; i < m_paths.size(); ++i)
                            set_cell(static_cast<int>(i), static_cast<int>(f + 2), capitalize_text(m_result.fields[f].values[i]).c_str());
                    return;
                case IDC_AUTOFILL_PASTE:
                    m_clipboard_valid = false;
                    refresh();
                    return;
                case IDC_AUTOFILL_PATTERN:
                    if (code == CBN_EDITCHANGE || code == CBN_SELCHANGE) {
                        if (code == CBN_SELCHANGE) {
                            // The edit shows the chosen entry only after this notification.
                            const int index = static_cast<int>(SendMessageW(m_pattern, CB_GETCURSEL, 0, 0));
                            if (index >= 0) {
                                const int length = static_cast<int>(SendMessageW(m_pattern, CB_GETLBTEXTLEN, index, 0));
                                std::wstring text(length + 1, L'\0');
                                SendMessageW(m_pattern, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
                                SetWindowTextW(m_pattern, text.c_str());
                            }
                        }
                        schedule();
                    }
                    return;
                case IDC_AUTOFILL_SOURCE:
                    if (code == CBN_SELCHANGE) {
                        const int kind = static_cast<int>(SendMessageW(m_source, CB_GETCURSEL, 0, 0));
                        if (kind != m_kind && kind >= 0) {
                            m_kind = kind;
                            ShowWindow(GetDlgItem(handle(), IDC_AUTOFILL_PASTE), m_kind == 1 ? SW_SHOW : SW_HIDE);
                            schedule();
                        }
                    }
                    return;
            }
        } catch (const std::exception&) {
        }
    }

    bool on_list_notify(NMHDR* header) {
        if (header->hwndFrom != m_list) return false;
        if (header->code == NM_CLICK) {
            auto* item = reinterpret_cast<NMITEMACTIVATE*>(header);
            LVHITTESTINFO hit = {};
            hit.pt = item->ptAction;
            SendMessageW(m_list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
            if (hit.iItem >= 0 && hit.iSubItem >= 1) PostMessageW(handle(), WM_APP, 0, hit.iSubItem);
        } else if (header->code == LVN_KEYDOWN && reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == VK_F2) {
            if (SendMessageW(m_list, LVM_GETSELECTEDCOUNT, 0, 0) == 1) PostMessageW(handle(), WM_APP, 0, 2);
        }
        return false;
    }

    std::vector<std::string> m_paths;
    std::shared_ptr<properties_field_list> m_fields;
    properties_field_info m_info;
    autofill_result m_result;
    std::vector<std::string> m_sources;
    std::string m_pattern_text;
    std::string m_clipboard;
    bool m_clipboard_valid = false;
    bool m_pending = false;
    bool m_initialised = false;
    int m_kind = 0;
    HWND m_source = nullptr, m_pattern = nullptr, m_list = nullptr;
    HFONT m_font = nullptr;
    std::unique_ptr<preview_host> m_host;
    window_placement_attachment m_placement;
    dialog_resize_helper m_resizer;
};

void preview_host::get_cell_text(int item, int column, kpl::utf8_string& out, int& line_count) {
    const std::string text = m_owner.cell(item, column);
    out = text.c_str();
    line_count = text.find_first_of("\r\n") != std::string::npos ? 5 : 1;
}

uint32_t preview_host::get_cell_flags(int item, int column) {
    const bool lines = m_owner.cell(item, column).find_first_of("\r\n") != std::string::npos;
    return (column < 2 ? uint32_t(in_place_edit::read_only) : 0u) | (lines ? uint32_t(in_place_edit::multi_line) : 0u);
}

void preview_host::set_cell_text(int item, int column, const char* text) {
    if (column >= 2) m_owner.set_cell(item, column, text);
}

}  // namespace

void open_autofill_dialog(HWND owner, std::vector<std::string> display_paths, std::shared_ptr<properties_field_list> fields,
                          const properties_field_info& info, properties_done done) {
    register_separator_window_class();
    (new autofill_dialog(std::move(display_paths), std::move(fields), info, std::move(done)))->open(owner, IDD_AUTOFILL);
}
