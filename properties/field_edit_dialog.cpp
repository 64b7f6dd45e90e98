// The field editors: "Editing Field: {field}" and "New Field", one track (110, 121) or several (688, 689).
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <string>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/services/config_variable.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/autocomplete_combo.h"
#include "foundation/win32/clipboard.h"
#include "foundation/win32/dialog_resize.h"
#include "foundation/win32/in_place_edit.h"
#include "foundation/win32/listview.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/text_nocase.h"
#include "foundation/win32/window_text.h"
#include "library/track_edit_query_placeholder.h"
#include "metadata/track_info.h"
#include "properties/sub_dialog.h"
#include "properties/text_history.h"
#include "resources/resource_ids.h"
#include "shell/localization.h"
#include "ui/window_placement.h"

namespace {

constexpr kpl::guid k_placement = {0xC48D91D6, 0x9112, 0x479F, {0x90, 0xCD, 0xE8, 0x18, 0xA4, 0x32, 0x17, 0x24}};
constexpr kpl::guid k_width_number = {0x484E0404, 0x8A2F, 0x4461, {0x8E, 0x75, 0x86, 0x01, 0x2E, 0x40, 0xA6, 0xE7}};
constexpr kpl::guid k_width_item = {0xFF7CDFE6, 0xBF79, 0x4AA3, {0x97, 0xC4, 0x33, 0xB1, 0x42, 0x6E, 0x44, 0xDB}};
constexpr kpl::guid k_width_value = {0x40AEF7FE, 0xE254, 0x4003, {0x91, 0xF6, 0x13, 0x2B, 0xD3, 0x3F, 0x42, 0x60}};

window_placement_var g_placement(k_placement);
config_int32 g_width_number(k_width_number, -1);
config_int32 g_width_item(k_width_item, -1);
config_int32 g_width_value(k_width_value, -1);

class field_dialog;

class value_host final : public listview_edit_host {
public:
    value_host(HWND list, field_dialog& owner) : listview_edit_host(list), m_owner(owner) {}

protected:
    void get_cell_text(int item, int column, kpl::utf8_string& out, int& line_count) override;
    uint32_t get_cell_flags(int item, int column) override;
    void set_cell_text(int item, int column, const char* text) override;
    bool choose_next_cell(int&, int&, int) override { return false; }

private:
    field_dialog& m_owner;
};

class field_dialog final : public properties_sub_dialog {
public:
    field_dialog(properties_done done, std::shared_ptr<properties_field_model> record, bool adding,
                 std::vector<std::string> existing, const properties_field_info& info, std::vector<std::string> items,
                 uint32_t tracks)
        : properties_sub_dialog(std::move(done)),
          m_record(std::move(record)),
          m_adding(adding),
          m_existing(std::move(existing)),
          m_info(info),
          m_items(std::move(items)),
          m_tracks(tracks) {}

    properties_field_model& record() { return *m_record; }
    const properties_field_info& info() const { return m_info; }
    const std::vector<std::string>& items() const { return m_items; }
    bool multi_line_field() const { return m_info.is_multi_line(m_record->name().c_str()); }
    void value_changed(int row) {
        m_modified = true;
        SendMessageW(m_list, LVM_REDRAWITEMS, row, row);
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
                on_command(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
                result = 0;
                return true;
            case WM_NOTIFY:
                return on_notify_message(reinterpret_cast<NMHDR*>(lparam), result);
            case WM_CONTEXTMENU: {
                HWND target = reinterpret_cast<HWND>(wparam);
                POINT point = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
                if ((target == m_name || IsChild(m_name, target)) && (m_adding || m_tracks > 1)) {
                    if (m_adding || m_tracks > 1) field_name_history().show_history_menu(m_name, point);
                    result = 0;
                    return true;
                }
                if (target == m_list) {
                    list_menu(point);
                    result = 0;
                    return true;
                }
                return false;
            }
            case WM_APP:
            case WM_APP + 1:
                start_cell_edit(message == WM_APP, static_cast<int>(wparam));
                result = 0;
                return true;
            case WM_CLOSE:
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                result = 0;
                return true;
            case WM_DESTROY:
                m_destroying = true;
                m_tooltip.show_below(nullptr, m_name);
                if (m_host) m_host->cancel_edit();
                if (m_list) {
                    config_int32* widths[] = {&g_width_number, &g_width_item, &g_width_value};
                    for (int c = 0; c < 3; ++c) {
                        const int width = static_cast<int>(SendMessageW(m_list, LVM_GETCOLUMNWIDTH, c, 0));
                        if (width >= 0) widths[c]->set(width);
                    }
                }
                return false;
        }
        return false;
    }

private:
    bool multi() const { return m_tracks > 1; }

    void set_text_guarded(HWND control, const char* text) {
        m_guard = true;
        window_set_text(control, text);
        m_guard = false;
    }

    void init(HWND dialog) {
        static const dialog_text texts[] = {{IDOK, "dialog_ok"},
                                            {IDCANCEL, "dialog_cancel"},
                                            {IDC_FIELD_SEMICOLON, "properties_semicolon_notice"},
                                            {IDC_FIELD_NAME_PREFIX, "properties_field_name_prefix"},
                                            {IDC_FIELD_VALUE_PREFIX, "properties_field_value_prefix"}};
        dialog_set_texts(dialog, texts, multi() ? 4 : 5);
        if (m_adding) {
            window_set_text(dialog, localization_table::get_text("properties_title_add_new"));
        } else {
            text_params params;
            params.set("field", m_info.display_name(m_record->name().c_str()).c_str());
            kpl::utf8_string_pow2 caption;
            if (localization_table::format("properties_title_edit", params, caption)) window_set_text(dialog, caption.c_str());
        }
        SetWindowLongW(dialog, GWL_EXSTYLE, GetWindowLongW(dialog, GWL_EXSTYLE) | WS_EX_DLGMODALFRAME);
        m_name = GetDlgItem(dialog, IDC_FIELD_NAME);
        if (m_adding) {
            autocomplete_attach_combo(m_name);
            SetWindowTextW(m_name, L"");
        } else {
            kpl::utf8_string_pow2 upper;
            utf8_to_upper(upper, m_record->name().c_str());
            set_text_guarded(m_name, upper.c_str());
        }
        update_notice();
        if (!multi()) {
            m_value = GetDlgItem(dialog, IDC_FIELD_VALUE);
            SendMessageW(m_value, EM_LIMITTEXT, 0x40000, 0);
            set_text_guarded(m_value, m_record->display_text().c_str());
            static const uint32_t anchors[] = {
                IDC_FIELD_NAME | dialog_resize_helper::stretch_x << 16,
                IDC_FIELD_VALUE | (dialog_resize_helper::stretch_x | dialog_resize_helper::stretch_y) << 16,
                IDOK | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
                IDCANCEL | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
                IDC_FIELD_SEMICOLON | (dialog_resize_helper::stretch_x | dialog_resize_helper::move_y) << 16,
            };
            m_resizer.set_anchors(anchors, 5);
            m_resizer.set_min_size(275, 100);
        } else {
            init_multi(dialog);
        }
        if (m_adding) EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
        m_modified = false;
        ShowWindow(dialog, SW_SHOW);
        if (m_adding)
            SetFocus(m_name);
        else if (!multi())
            SetFocus(m_value);
        else
            SetFocus(m_tab == 0 ? m_single : m_list);
    }

    void init_multi(HWND dialog) {
        m_tabs = GetDlgItem(dialog, IDC_FIELD_TAB);
        m_single = GetDlgItem(dialog, IDC_FIELD_SINGLE);
        m_list = GetDlgItem(dialog, IDC_FIELD_TABLE);
        m_host.reset(new value_host(m_list, *this));
        SetWindowTheme(m_list, L"explorer", nullptr);
        SendMessageW(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0x14021, 0x14021);
        listview_insert_column(m_list, 0, "#", 25);
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT;
        column.fmt = LVCFMT_RIGHT;
        SendMessageW(m_list, LVM_SETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        listview_insert_column(m_list, 1, localization_table::get_text("properties_tableedit_column_item"), 50);
        listview_insert_column(m_list, 2,
                               m_adding ? localization_table::get_text("dialog_column_value")
                                        : m_info.display_name(m_record->name().c_str()).c_str(),
                               150);
        config_int32* widths[] = {&g_width_number, &g_width_item, &g_width_value};
        for (int c = 0; c < 3; ++c)
            if (widths[c]->get() >= 0) SendMessageW(m_list, LVM_SETCOLUMNWIDTH, c, widths[c]->get());
        const char* names[] = {"properties_edit_tab_single_value", "properties_edit_tab_individual_values"};
        for (int i = 0; i < 2; ++i) {
            std::wstring text = properties_wide(localization_table::get_text(names[i]));
            TCITEMW item = {};
            item.mask = TCIF_TEXT;
            item.pszText = &text[0];
            SendMessageW(m_tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
        }
        RECT area;
        GetWindowRect(m_tabs, &area);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
        SendMessageW(m_tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
        for (HWND control : {m_single, m_list})
            SetWindowPos(control, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top, SWP_NOACTIVATE);
        static const uint32_t anchors[] = {
            IDC_FIELD_NAME | dialog_resize_helper::stretch_x << 16,
            IDC_FIELD_TAB | (dialog_resize_helper::stretch_x | dialog_resize_helper::stretch_y) << 16,
            IDC_FIELD_SINGLE | (dialog_resize_helper::stretch_x | dialog_resize_helper::stretch_y) << 16,
            IDC_FIELD_TABLE | (dialog_resize_helper::stretch_x | dialog_resize_helper::stretch_y) << 16,
            IDOK | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
            IDCANCEL | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
            IDC_FIELD_SEMICOLON | (dialog_resize_helper::stretch_x | dialog_resize_helper::move_y) << 16,
        };
        m_resizer.set_anchors(anchors, 7);
        m_resizer.set_min_size(275, 200);
        m_tab = m_record->all_tracks_equal() && !m_record->all_empty() ? 0 : 1;
        SendMessageW(m_tabs, TCM_SETCURSEL, m_tab, 0);
        show_tab();
    }

    void show_tab() {
        if (m_host && m_host->is_editing()) m_host->end_edit(true);
        if (m_tab == 0) {
            SendMessageW(m_list, LVM_SETITEMCOUNT, 0, 0);
            ShowWindow(m_list, SW_HIDE);
            set_text_guarded(m_single, m_record->display_text().c_str());
            ShowWindow(m_single, SW_SHOW);
            SetFocus(m_single);
        } else {
            ShowWindow(m_single, SW_HIDE);
            set_text_guarded(m_single, "");
            SendMessageW(m_list, LVM_SETITEMCOUNT, m_tracks, 0);
            ShowWindow(m_list, SW_SHOW);
            SetFocus(m_list);
        }
    }

    void update_notice() {
        EnableWindow(GetDlgItem(handle(), IDC_FIELD_SEMICOLON), m_info.is_multi_value(m_record->name().c_str()));
    }

    void name_changed() {
        kpl::utf8_string_pow2 name;
        window_get_text(m_name, name);
        const bool valid = track_info::is_valid_field_name(name.c_str());
        EnableWindow(GetDlgItem(handle(), IDOK), valid);
        if (!m_destroying) {
            try {
                m_tooltip.show_below(name.is_empty() || valid ? nullptr
                                                             : localization_table::get_text("properties_valid_field_name_notice"),
                                     m_name);
            } catch (const std::exception&) {
            }
        }
        m_record->set_name(name.c_str());
        update_notice();
    }

    // The tests of an added name; false keeps the dialog open.
    bool accept_name() {
        kpl::utf8_string_pow2 name;
        window_get_text(m_name, name);
        if (!track_info::is_valid_field_name(name.c_str())) {
            MessageBeep(0);
            SetFocus(m_name);
            return false;
        }
        bool exists = false;
        for (const std::string& existing : m_existing)
            if (kpl::stricmp_ascii(existing.c_str(), name.c_str()) == 0) exists = true;
        if (exists && modal_ui_allowed()) {
            kpl::utf8_string_pow2 caption;
            window_get_text(handle(), caption);
            if (message_box(handle(), localization_table::get_text("properties_field_overwrite_notice"), caption.c_str(),
                            MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
                return false;
        }
        field_name_history().add(name.c_str());
        m_record->set_name(name.c_str());
        return true;
    }

    void on_ok() {
        if (m_host && m_host->is_editing()) m_host->end_edit(true);
        if (!multi()) {
            if (!m_adding && !m_modified) {
                end(2);
                return;
            }
            if (m_adding && !accept_name()) return;
            kpl::utf8_string_pow2 text;
            window_get_text(m_value, text);
            m_record->set_from_text(properties_field_model::all, text.c_str(), m_info);
            end(1);
            return;
        }
        if (m_adding) {
            if (!accept_name()) return;
            end(1);
            return;
        }
        end(m_modified ? 1 : 2);
    }

    void on_command(int id, int code, HWND control) {
        try {
            if (id == IDOK) {
                on_ok();
            } else if (id == IDCANCEL) {
                if (m_host) m_host->cancel_edit();
                end(2);
            } else if (id == IDC_FIELD_NAME && m_adding) {
                if (code == CBN_SELCHANGE)
                    PostMessageW(handle(), WM_COMMAND, MAKEWPARAM(IDC_FIELD_NAME, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(control));
                else if (code == CBN_EDITCHANGE)
                    name_changed();
            } else if (id == IDC_FIELD_VALUE && code == EN_CHANGE && !m_guard) {
                m_modified = true;
            } else if (id == IDC_FIELD_SINGLE && multi()) {
                if (code == EN_SETFOCUS && !m_record->all_tracks_equal()) set_text_guarded(m_single, "");
                if (code == EN_KILLFOCUS && !m_record->all_tracks_equal() && m_tab == 0)
                    set_text_guarded(m_single, m_record->display_text().c_str());
                if (code == EN_CHANGE && !m_guard) {
                    kpl::utf8_string_pow2 text;
                    window_get_text(m_single, text);
                    m_record->set_from_text(properties_field_model::all, text.c_str(), m_info);
                    m_modified = true;
                }
            } else if (id == ID_PROPERTIES_NEXT_TAB || id == ID_PROPERTIES_PREVIOUS_TAB) {
                if (multi()) {
                    m_tab = 1 - m_tab;
                    SendMessageW(m_tabs, TCM_SETCURSEL, m_tab, 0);
                    show_tab();
                }
            }
        } catch (const std::exception&) {
        }
    }

    bool on_notify_message(NMHDR* header, LRESULT& result) {
        if (header->hwndFrom == m_tabs && header->code == TCN_SELCHANGE) {
            m_tab = static_cast<int>(SendMessageW(m_tabs, TCM_GETCURSEL, 0, 0));
            show_tab();
            return false;
        }
        if (!m_list || header->hwndFrom != m_list) return false;
        switch (header->code) {
            case LVN_GETDISPINFOW: {
                auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
                if (!(info->item.mask & LVIF_TEXT)) return false;
                const int row = info->item.iItem;
                std::string text;
                if (info->item.iSubItem == 0)
                    text = std::to_string(row + 1);
                else if (info->item.iSubItem == 1)
                    text = row < static_cast<int>(m_items.size()) ? m_items[row] : "";
                else
                    text = m_record->joined_text(static_cast<uint32_t>(row));
                m_buffer = properties_wide(text.c_str());
                info->item.pszText = &m_buffer[0];
                result = 0;
                return true;
            }
            case LVN_ODFINDITEMW:
                result = -1;
                return true;
            case NM_CLICK: {
                auto* item = reinterpret_cast<NMITEMACTIVATE*>(header);
                LVHITTESTINFO hit = {};
                hit.pt = item->ptAction;
                SendMessageW(m_list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
                if (hit.iItem >= 0 && hit.iSubItem >= 1)
                    PostMessageW(handle(), hit.iSubItem == 2 ? WM_APP : WM_APP + 1, hit.iItem, 0);
                return false;
            }
            case LVN_KEYDOWN: {
                auto* key = reinterpret_cast<NMLVKEYDOWN*>(header);
                const bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
                const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
                if (key->wVKey == VK_F2) PostMessageW(handle(), shift ? WM_APP + 1 : WM_APP, static_cast<WPARAM>(-1), 0);
                if (key->wVKey == VK_DELETE) {
                    for (int row = -1; (row = static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0;) {
                        m_record->set_from_text(static_cast<uint32_t>(row), "", m_info);
                        value_changed(row);
                    }
                }
                if (control && key->wVKey == 'A') listview_set_item_state(m_list, -1, LVIS_SELECTED, LVIS_SELECTED);
                if (control && key->wVKey == 'C') copy_rows();
                if (control && key->wVKey == 'V') paste_rows();
                return false;
            }
        }
        return false;
    }

    void start_cell_edit(bool value, int row) {
        if (m_tab != 1 || !m_host || m_host->is_editing()) return;
        if (row >= 0) listview_select_single(m_list, row);
        const int focused = static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, -1, LVNI_FOCUSED));
        if (focused < 0) return;
        if (value) {
            try {
                service_ptr<track_edit_query> query;
                service_class::get_single(query);
                kpl::utf8_string_pow2 name;
                window_get_text(m_name, name);
                service_ref assist;
                query->get_edit_assist(name.c_str(), assist);
            } catch (const std::exception&) {
            }
        }
        m_host->begin_edit(focused, value ? 2 : 1);
    }

    std::vector<int> selected() const {
        std::vector<int> rows;
        for (int row = -1; (row = static_cast<int>(SendMessageW(m_list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0;)
            rows.push_back(row);
        return rows;
    }

    void copy_rows() {
        const std::vector<int> rows = selected();
        if (rows.empty()) return;
        std::string text;
        if (rows.size() == 1) {
            text = m_record->joined_text(static_cast<uint32_t>(rows[0]));
        } else {
            for (int row : rows) {
                kpl::utf8_string_pow2 line(m_record->joined_text(static_cast<uint32_t>(row)).c_str());
                kpl::cut_at_line_break(line);
                text += std::string(line.c_str()) + "\r\n";
            }
        }
        clipboard_set_text(text.c_str());
    }

    void paste_rows() {
        const std::vector<int> rows = selected();
        kpl::utf8_string_pow2 text;
        if (rows.empty() || !clipboard_get_text(text)) return;
        if (rows.size() == 1) {
            m_record->set_from_text(static_cast<uint32_t>(rows[0]), text.c_str(), m_info);
            value_changed(rows[0]);
            return;
        }
        std::vector<std::string> lines;
        std::string line;
        for (const char* p = text.c_str(); *p; ++p) {
            if (*p == '\r') continue;
            if (*p == '\n') {
                lines.push_back(line);
                line.clear();
            } else {
                line += *p;
            }
        }
        if (!line.empty()) lines.push_back(line);
        for (size_t i = 0; i < rows.size(); ++i) {
            m_record->set_from_text(static_cast<uint32_t>(rows[i]), i < lines.size() ? lines[i].c_str() : "", m_info);
            value_changed(rows[i]);
        }
    }

    void list_menu(POINT point) {
        try {
            const std::vector<int> rows = selected();
            if (rows.empty()) return;
            if (point.x == -1 && point.y == -1) {
                RECT rect;
                GetWindowRect(m_list, &rect);
                point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
            }
            HMENU menu = CreatePopupMenu();
            AppendMenuW(menu, MF_STRING, 1, properties_wide(localization_table::get_text("properties_menu_copy")).c_str());
            AppendMenuW(menu, MF_STRING, 2, properties_wide(localization_table::get_text("properties_menu_paste")).c_str());
            const int chosen = static_cast<int>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, point.x, point.y,
                                                               0, handle(), nullptr));
            DestroyMenu(menu);
            if (chosen == 1) copy_rows();
            if (chosen == 2) paste_rows();
        } catch (const std::exception&) {
        }
    }

    std::shared_ptr<properties_field_model> m_record;
    bool m_adding;
    std::vector<std::string> m_existing;
    properties_field_info m_info;
    std::vector<std::string> m_items;
    uint32_t m_tracks;
    bool m_modified = false, m_guard = false, m_destroying = false;
    int m_tab = 0;
    HWND m_name = nullptr, m_value = nullptr, m_tabs = nullptr, m_single = nullptr, m_list = nullptr;
    std::unique_ptr<value_host> m_host;
    tracking_tooltip m_tooltip;
    std::wstring m_buffer;
    window_placement_attachment m_placement;
    dialog_resize_helper m_resizer;
};

void value_host::get_cell_text(int item, int column, kpl::utf8_string& out, int& line_count) {
    std::string text = column == 1 ? (item < static_cast<int>(m_owner.items().size()) ? m_owner.items()[item] : "")
                                   : m_owner.record().joined_text(static_cast<uint32_t>(item));
    out = text.c_str();
    line_count = text.find_first_of("\r\n") != std::string::npos ? 5 : 1;
}

uint32_t value_host::get_cell_flags(int item, int column) {
    std::string text = column == 1 ? (item < static_cast<int>(m_owner.items().size()) ? m_owner.items()[item] : "")
                                   : m_owner.record().joined_text(static_cast<uint32_t>(item));
    const bool lines = text.find_first_of("\r\n") != std::string::npos;
    if (column == 1) return in_place_edit::read_only | (lines ? uint32_t(in_place_edit::multi_line) : 0u);
    return lines || m_owner.multi_line_field() ? uint32_t(in_place_edit::multi_line) : 0u;
}

void value_host::set_cell_text(int item, int column, const char* text) {
    if (column != 2) return;
    m_owner.record().set_from_text(static_cast<uint32_t>(item), text, m_owner.info());
    m_owner.value_changed(item);
}

}  // namespace

void open_field_edit_dialog(HWND owner, properties_done done, std::shared_ptr<properties_field_model> record, bool adding,
                            std::vector<std::string> existing_names, const properties_field_info& info,
                            std::vector<std::string> item_names, uint32_t track_count) {
    const int resource = track_count <= 1 ? (adding ? IDD_FIELD_ADD : IDD_FIELD_EDIT)
                                          : (adding ? IDD_FIELD_ADD_MULTI : IDD_FIELD_EDIT_MULTI);
    (new field_dialog(std::move(done), std::move(record), adding, std::move(existing_names), info, std::move(item_names),
                      track_count))
        ->open(owner, resource);
}
