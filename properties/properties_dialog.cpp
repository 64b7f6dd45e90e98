#include "properties/properties_dialog.h"

#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <algorithm>
#include <memory>
#include <string>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/config_variable.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/result_notifier.h"
#include "foundation/fs/file_system.h"
#include "foundation/win32/clipboard.h"
#include "foundation/win32/dialog.h"
#include "foundation/win32/dialog_resize.h"
#include "foundation/win32/in_place_edit.h"
#include "foundation/win32/listview.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/win_string.h"
#include "foundation/win32/window_text.h"
#include "foundation/services/advanced_setting_entries.h"
#include "library/track_edit_query_placeholder.h"
#include "metadata/tag_operations.h"
#include "metadata/title_formatting/title_script.h"
#include "properties/details_tab.h"
#include "properties/field_clipboard.h"
#include "properties/field_editors.h"
#include "properties/field_model.h"
#include "properties/loaded_info_store.h"
#include "properties/metadata_rows.h"
#include "properties/text_rules.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/debug_log.h"
#include "shell/localization.h"
#include "shell/message_loop_hooks.h"
#include "ui/window_placement.h"

namespace {

constexpr kpl::guid k_placement_guid = {0xB0C5417D, 0xAF6E, 0x482F, {0xAB, 0x45, 0x71, 0xFB, 0x6C, 0x76, 0x79, 0x5A}};
constexpr kpl::guid k_meta_width0 = {0x783995B3, 0x6E3F, 0x4E7F, {0x8D, 0x20, 0x70, 0xDD, 0xA4, 0x79, 0xA9, 0x79}};
constexpr kpl::guid k_meta_width1 = {0x634E853D, 0x60B8, 0x4A4D, {0x9F, 0xCC, 0xA4, 0x8C, 0xFA, 0x67, 0x15, 0x14}};
constexpr kpl::guid k_details_width0 = {0x91366412, 0x7D62, 0x43D3, {0xB8, 0xB3, 0x2B, 0x99, 0x93, 0x0D, 0xB3, 0xC5}};
constexpr kpl::guid k_details_width1 = {0x98A89E74, 0x9D81, 0x4A1C, {0xB4, 0x2C, 0xFE, 0x0D, 0x05, 0xAF, 0x57, 0x42}};

window_placement_var g_placement(k_placement_guid);
config_int32 g_meta_width0(k_meta_width0, -1);
config_int32 g_meta_width1(k_meta_width1, -1);
config_int32 g_details_width0(k_details_width0, -1);
config_int32 g_details_width1(k_details_width1, -1);

properties_dialog_events* g_events = nullptr;

enum key : int {
    key_field_edit = 0,
    key_field_add = 1,
    key_table_edit = 2,
    key_autofill = 3,
    key_apply = 4,
    key_apply_close = 5,
    key_apply_reload = 6,
    key_reload = 7,
    key_remove = 9,
    key_split = 10,
};

std::wstring wide(const char* text) {
    kpl::array<wchar_t> w;
    utf8_to_wide(text, w);
    return std::wstring(w.data());
}

std::vector<uint32_t> selected_rows(HWND list) {
    std::vector<uint32_t> rows;
    int item = -1;
    while ((item = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, item, LVNI_SELECTED))) >= 0)
        rows.push_back(static_cast<uint32_t>(item));
    return rows;
}

void set_list_style(HWND list) {
    SetWindowTheme(list, L"explorer", nullptr);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0x14021, 0x14021);
}

class properties_dialog;

// The in-place editor of either list: the Metadata list's value cells, the Details list read-only.
class list_edit_host final : public listview_edit_host {
public:
    list_edit_host(HWND list, properties_dialog& owner, bool details) : listview_edit_host(list), m_owner(owner), m_details(details) {}

protected:
    void get_cell_text(int item, int column, kpl::utf8_string& out, int& line_count) override;
    uint32_t get_cell_flags(int item, int column) override;
    IEnumString* get_autocomplete_source(int item, int column, DWORD& options) override;
    void set_cell_text(int item, int column, const char* text) override;
    bool choose_next_cell(int&, int&, int) override { return false; }

private:
    properties_dialog& m_owner;
    bool m_details;
    std::string m_opened_with;
};

class properties_dialog final : public dialog_object, public notifier_owner, public message_filter {
public:
    properties_dialog(const std::vector<track_handle_ref>& tracks, loaded_info_store_ptr store, int initial_tab)
        : m_tracks(tracks), m_store(std::move(store)) {
        if (initial_tab == 1 || initial_tab == 2)
            m_tab = initial_tab - 1;
        else
            m_tab = (GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0;
        m_accelerators = LoadAcceleratorsW(app_module_handle(), MAKEINTRESOURCEW(IDR_PROPERTIES_ACCELERATORS));
        if (!m_accelerators) exception_win32::throw_last_error();
        if (service_class::find(message_loop_hooks::class_guid)) {
            service_class::get_single(m_hooks);
            m_hooks->add_message_filter(this);
        }
    }
    ~properties_dialog() override {
        if (m_hooks) m_hooks->remove_message_filter(this);
        if (m_accelerators) DestroyAcceleratorTable(m_accelerators);
    }

    properties_field_list& fields() { return m_fields; }
    const properties_field_info& info() const { return m_info; }
    void value_committed(int row, const char* text) {
        if (row < 0 || static_cast<size_t>(row) >= m_fields.size()) return;
        m_fields[row].set_from_text(properties_field_model::all, text, m_info);
        refresh_row(row);
        mark_modified();
    }
    const std::vector<details_row*>& detail_rows() const { return m_detail_rows; }

    bool pretranslate(MSG* msg) override {
        HWND dialog = handle();
        if (!dialog || GetActiveWindow() != dialog) return false;
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_F1) {
            PostMessageW(dialog, WM_SYSCOMMAND, SC_CONTEXTHELP, static_cast<LPARAM>(-1));
            return true;
        }
        return TranslateAcceleratorW(dialog, m_accelerators, msg) != 0;
    }

    void on_notify(int key, int32_t code) override {
        try {
            m_pending = service_ref();
            std::shared_ptr<properties_field_model> sub_record = std::move(m_sub_record);
            std::shared_ptr<properties_field_list> sub_list = std::move(m_sub_list);
            if (m_new_store) {
                m_store = m_new_store;
                m_new_store.release();
            }
            EnableWindow(handle(), TRUE);
            switch (key) {
                case key_field_edit:
                    if (code == 1 && m_sub_row < m_fields.size() && sub_record) {
                        m_fields[m_sub_row] = *sub_record;
                        refresh_row(m_sub_row);
                        mark_modified();
                    }
                    break;
                case key_field_add:
                    if (code == 1 && sub_record) add_or_replace(*sub_record);
                    break;
                case key_table_edit:
                    if (code == 1 && sub_list)
                        for (size_t i = 0; i < m_sub_rows.size() && i < sub_list->size(); ++i) {
                            if (m_sub_rows[i] >= m_fields.size()) continue;
                            m_fields[m_sub_rows[i]] = (*sub_list)[i];
                            refresh_row(m_sub_rows[i]);
                            mark_modified();
                        }
                    break;
                case key_autofill:
                    if (code == 1 && sub_list) {
                        m_fields = *sub_list;
                        fill_metadata();
                        mark_modified();
                    }
                    break;
                case key_split:
                    if (code == 1 && m_split) {
                        split_settings_store(*m_split);
                        const auto separators = split_separator_list(m_split->separators.c_str(), m_split->line_breaks);
                        for (uint32_t row : selected_rows(m_meta)) {
                            if (row >= m_fields.size()) continue;
                            split_field_values(m_fields[row], separators);
                            refresh_row(row);
                            mark_modified();
                        }
                    }
                    break;
                case key_apply:
                    if (code == 0) rebuild();
                    break;
                case key_apply_close:
                    if (code == 0) {
                        rebuild();
                        // The dialog may be gone when this returns: nothing of it is touched afterwards.
                        if (handle()) DestroyWindow(handle());
                        return;
                    }
                    break;
                case key_apply_reload:
                    if (code == 0) {
                        rebuild();
                        begin_reload();
                    }
                    break;
                case key_reload:
                case key_remove:
                    rebuild();
                    break;
            }
        } catch (const std::exception&) {
            fail();
        }
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
            case WM_NOTIFY:
                return on_notify_message(reinterpret_cast<NMHDR*>(lparam), result);
            case WM_CONTEXTMENU:
                if (reinterpret_cast<HWND>(wparam) == m_meta || reinterpret_cast<HWND>(wparam) == m_details) {
                    POINT point = {GET_X(lparam), GET_Y(lparam)};
                    context_menu(reinterpret_cast<HWND>(wparam), point, false);
                    result = 0;
                    return true;
                }
                return false;
            case WM_NEXTDLGCTL:
                if (GetKeyState(VK_CONTROL) & 0x8000) {
                    switch_tab();
                    result = 0;
                    return true;
                }
                return false;
            case WM_CLOSE:
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                result = 0;
                return true;
            case WM_DESTROY:
                on_destroy(dialog);
                return false;
        }
        return false;
    }

private:
    static int GET_X(LPARAM l) { return static_cast<short>(LOWORD(l)); }
    static int GET_Y(LPARAM l) { return static_cast<short>(HIWORD(l)); }

    void on_final_message(HWND) override {
        if (g_events) g_events->on_closed();
        delete this;
    }

    bool busy() const {
        return !m_pending.is_empty() || !IsWindowEnabled(handle()) || (m_meta_edit && m_meta_edit->is_editing()) ||
               (m_details_edit && m_details_edit->is_editing());
    }

    void init(HWND dialog) {
        static const dialog_text texts[] = {{IDOK, "dialog_ok"},
                                            {IDCANCEL, "dialog_cancel"},
                                            {IDC_PROPERTIES_APPLY, "dialog_apply"},
                                            {IDC_PROPERTIES_TOOLS, "dialog_tools"}};
        dialog_set_texts(dialog, texts, 4);
        m_apply = GetDlgItem(dialog, IDC_PROPERTIES_APPLY);
        m_tabs = GetDlgItem(dialog, IDC_PROPERTIES_TAB);
        m_meta = GetDlgItem(dialog, IDC_PROPERTIES_METADATA);
        m_details = GetDlgItem(dialog, IDC_PROPERTIES_DETAILS);
        const LONG ex = GetWindowLongW(dialog, GWL_EXSTYLE);
        if (!(ex & WS_EX_DLGMODALFRAME)) SetWindowLongW(dialog, GWL_EXSTYLE, ex | WS_EX_DLGMODALFRAME);
        const char* tab_names[] = {"properties_tab_metadata", "properties_tab_properties"};
        for (int i = 0; i < 2; ++i) {
            std::wstring name = wide(localization_table::get_text(tab_names[i]));
            TCITEMW item = {};
            item.mask = TCIF_TEXT;
            item.pszText = &name[0];
            SendMessageW(m_tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
        }
        HWND lists[] = {m_meta, m_details};
        config_int32* widths[2][2] = {{&g_meta_width0, &g_meta_width1}, {&g_details_width0, &g_details_width1}};
        for (int i = 0; i < 2; ++i) {
            set_list_style(lists[i]);
            listview_insert_column(lists[i], 0, localization_table::get_text("dialog_column_name"), 75);
            listview_insert_column(lists[i], 1, localization_table::get_text("dialog_column_value"), 150);
            for (int c = 0; c < 2; ++c)
                if (widths[i][c]->get() >= 0) SendMessageW(lists[i], LVM_SETCOLUMNWIDTH, c, widths[i][c]->get());
        }
        m_meta_edit.reset(new list_edit_host(m_meta, *this, false));
        m_details_edit.reset(new list_edit_host(m_details, *this, true));
        static const uint32_t anchors[] = {
            IDC_PROPERTIES_TAB | (dialog_resize_helper::stretch_x | dialog_resize_helper::stretch_y) << 16,
            IDC_PROPERTIES_METADATA | (dialog_resize_helper::stretch_x | dialog_resize_helper::stretch_y) << 16,
            IDC_PROPERTIES_DETAILS | (dialog_resize_helper::stretch_x | dialog_resize_helper::stretch_y) << 16,
            IDOK | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
            IDCANCEL | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
            IDC_PROPERTIES_APPLY | (dialog_resize_helper::move_x | dialog_resize_helper::move_y) << 16,
            IDC_PROPERTIES_TOOLS | dialog_resize_helper::move_y << 16,
        };
        m_resizer.set_anchors(anchors, sizeof(anchors) / sizeof(anchors[0]));
        m_resizer.set_min_size(275, 150);
        place_lists();
        SendMessageW(m_tabs, TCM_SETCURSEL, m_tab, 0);
        rebuild();
        show_tab();
        ShowWindow(dialog, SW_SHOW);
        SetForegroundWindow(dialog);
        if (g_events) {
            kpl::utf8_string_pow2 caption;
            window_get_text(dialog, caption);
            g_events->on_opened(caption.c_str());
        }
    }

    void place_lists() {
        RECT area;
        GetWindowRect(m_tabs, &area);
        MapWindowPoints(nullptr, handle(), reinterpret_cast<POINT*>(&area), 2);
        SendMessageW(m_tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
        for (HWND list : {m_meta, m_details})
            SetWindowPos(list, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                         SWP_NOACTIVATE);
    }

    void show_tab() {
        HWND shown = m_tab == 0 ? m_meta : m_details;
        HWND hidden = m_tab == 0 ? m_details : m_meta;
        ShowWindow(hidden, SW_HIDE);
        ShowWindow(shown, SW_SHOW);
        SetFocus(shown);
        if (SendMessageW(shown, LVM_GETNEXTITEM, -1, LVNI_FOCUSED) < 0 && SendMessageW(shown, LVM_GETITEMCOUNT, 0, 0) > 0)
            listview_set_item_state(shown, 0, LVIS_FOCUSED, LVIS_FOCUSED);
    }

    void switch_tab() {
        if (m_meta_edit->is_editing()) m_meta_edit->end_edit(true);
        if (m_details_edit->is_editing()) m_details_edit->cancel_edit();
        m_tab = 1 - m_tab;
        SendMessageW(m_tabs, TCM_SETCURSEL, m_tab, 0);
        show_tab();
    }

    // --- the field list and the lists --------------------------------------------------------------------
    void rebuild() {
        try {
            loaded_info_store* store = m_store.get();
            properties_build_field_list(m_fields, static_cast<uint32_t>(m_tracks.size()), [&](uint32_t i) {
                const track_info* info = nullptr;
                return store && store->get_info(m_tracks[i].get(), info) ? info : nullptr;
            });
            m_modified = false;
            EnableWindow(m_apply, FALSE);
            fill_metadata();
            fill_details();
            update_caption();
        } catch (const std::exception&) {
            fail();
        }
    }

    void fail() {
        m_closing = true;
        if (handle()) PostMessageW(handle(), WM_COMMAND, IDCANCEL, 0);
    }

    void update_caption() {
        kpl::utf8_string_pow2 format;
        advanced_settings::title_display_format->get_text_value(format);
        title_script_ref script = title_compile(format.c_str());
        if (!script) throw kpl::exception_bug_check();
        m_items.clear();
        for (const track_handle_ref& track : m_tracks) {
            kpl::utf8_string_pow2 name;
            track->format_title(nullptr, name, *script, nullptr);
            m_items.push_back(name.c_str());
        }
        kpl::utf8_string_pow2 caption;
        text_params params;
        if (m_items.size() == 1) {
            params.set("item", m_items[0].c_str());
            localization_table::format("properties_caption_single", params, caption);
        } else {
            std::string items;
            for (size_t i = 0; i < m_items.size() && i < 4; ++i) {
                if (i) items += ", ";
                items += "\"" + m_items[i] + "\"";
            }
            if (m_items.size() > 4) items += " ...";
            params.set("count", std::to_string(m_items.size()).c_str());
            params.set("items", items.c_str());
            localization_table::format("properties_caption_multi", params, caption);
        }
        window_set_text(handle(), caption.c_str());
    }

    void fill_metadata() {
        SendMessageW(m_meta, WM_SETREDRAW, FALSE, 0);
        SendMessageW(m_meta, LVM_DELETEALLITEMS, 0, 0);
        for (size_t i = 0; i < m_fields.size(); ++i) {
            const int row = listview_insert_item(m_meta, static_cast<int>(i), m_info.display_name(m_fields[i].name().c_str()).c_str(), 0);
            listview_set_item_text(m_meta, row, 1, properties_value_cell_text(m_fields[i]).c_str());
        }
        SendMessageW(m_meta, WM_SETREDRAW, TRUE, 0);
        if (!m_fields.empty()) listview_set_item_state(m_meta, 0, LVIS_FOCUSED, LVIS_FOCUSED);
    }

    void refresh_row(size_t row) {
        if (row >= m_fields.size()) return;
        listview_set_item_text(m_meta, static_cast<int>(row), 0, m_info.display_name(m_fields[row].name().c_str()).c_str());
        listview_set_item_text(m_meta, static_cast<int>(row), 1, properties_value_cell_text(m_fields[row]).c_str());
    }

    void fill_details() {
        details_row_collector collector;
        collector.collect(m_tracks, m_store ? m_store->lookup() : nullptr);
        m_groups = collector.groups();
        m_detail_rows.clear();
        SendMessageW(m_details, WM_SETREDRAW, FALSE, 0);
        SendMessageW(m_details, LVM_DELETEALLITEMS, 0, 0);
        int row = 0;
        // Groups as header rows: Wine's list view keeps groups but draws none.
        for (details_group& group : m_groups) {
            listview_insert_item(m_details, row++, group.name.c_str(), 0);
            m_detail_rows.push_back(nullptr);
            for (details_row& r : group.rows) {
                const int at = listview_insert_item(m_details, row++, ("    " + r.label).c_str(), 0);
                listview_set_item_text(m_details, at, 1, r.value.c_str());
                m_detail_rows.push_back(&r);
            }
        }
        SendMessageW(m_details, WM_SETREDRAW, TRUE, 0);
        if (row) listview_set_item_state(m_details, 0, LVIS_FOCUSED, LVIS_FOCUSED);
    }

    void mark_modified() {
        m_modified = true;
        EnableWindow(m_apply, TRUE);
    }

    void add_or_replace(const properties_field_model& record) {
        bool appended = false;
        const uint32_t row = properties_add_or_replace(m_fields, record, appended);
        if (appended) {
            const int at = listview_insert_item(m_meta, static_cast<int>(row), "", 0);
            (void)at;
            refresh_row(row);
            listview_select_single(m_meta, static_cast<int>(row));
        } else {
            refresh_row(row);
        }
        mark_modified();
    }

    // --- operations -------------------------------------------------------------------------------------
    bool begin(int key) {
        if (busy()) return false;
        m_pending = create_notifier(key);
        EnableWindow(handle(), FALSE);
        return true;
    }

    result_notifier* pending() const { return m_pending.as<result_notifier>(); }

    properties_done sub_done() {
        service_ref notifier = m_pending;
        return [notifier](int code) { notifier.as<result_notifier>()->notify(code); };
    }

    void begin_apply(int key) {
        if (!begin(key)) return;
        try {
            service_ptr<tag_operations> ops;
            service_class::get_single(ops);
            m_new_store = loaded_info_store::create(m_store.get());
            auto editor = properties_info_editor::create(m_tracks, m_fields);
            kpl::array_list<track_handle_ref> list;
            for (const track_handle_ref& t : m_tracks) list.append(t);
            ops->update_info(list, editor.get(), handle(), 0, m_new_store->observer(), pending());
        } catch (const std::exception&) {
            cancel_pending();
        }
    }

    void begin_reload() {
        if (!begin(key_reload)) return;
        try {
            service_ptr<tag_operations> ops;
            service_class::get_single(ops);
            m_new_store = loaded_info_store::create(m_store.get());
            kpl::array_list<track_handle_ref> list;
            for (const track_handle_ref& t : m_tracks) list.append(t);
            ops->load_info(list, 1, handle(), 0, m_new_store->observer(), pending());
        } catch (const std::exception&) {
            cancel_pending();
        }
    }

    void begin_remove() {
        if (m_meta_edit->is_editing()) m_meta_edit->cancel_edit();
        if (busy()) return;
        if (!modal_ui_allowed()) {
            modal_scope::bring_to_front();
            return;
        }
        if (message_box(handle(), localization_table::get_text("properties_remove_tag_notice"),
                        localization_table::get_text("dialog_warning"), MB_YESNO | MB_DEFBUTTON2 | MB_ICONWARNING) != IDYES)
            return;
        if (!begin(key_remove)) return;
        try {
            service_ptr<tag_operations> ops;
            service_class::get_single(ops);
            m_new_store = loaded_info_store::create(m_store.get());
            kpl::array_list<track_handle_ref> list;
            for (const track_handle_ref& t : m_tracks) list.append(t);
            ops->remove_tags(list, handle(), 0, m_new_store->observer(), pending());
        } catch (const std::exception&) {
            cancel_pending();
        }
    }

    void cancel_pending() {
        m_pending = service_ref();
        m_new_store.release();
        EnableWindow(handle(), TRUE);
    }

    // 0: go on, 1: wait for the write (started), 2: stop.
    int save_question(int apply_key) {
        if (!m_modified) return 0;
        if (!modal_ui_allowed()) {
            // Another modal window is up: it comes to the front, and the dialog keeps its edits.
            modal_scope::bring_to_front();
            return 2;
        }
        const int answer = message_box(handle(), localization_table::get_text("dialog_save_changes_notice"),
                                       localization_table::get_text("properties_caption"), MB_YESNOCANCEL | MB_ICONQUESTION);
        if (answer == IDYES) {
            begin_apply(apply_key);
            return 1;
        }
        return answer == IDNO ? 0 : 2;
    }

    void on_command(int id, int code) {
        try {
            switch (id) {
                case IDOK:
                    if (m_meta_edit->is_editing()) m_meta_edit->end_edit(true);
                    if (m_modified)
                        begin_apply(key_apply_close);
                    else if (!busy())
                        DestroyWindow(handle());
                    return;
                case IDCANCEL:
                    if (m_meta_edit->is_editing()) m_meta_edit->cancel_edit();
                    if (m_details_edit->is_editing()) m_details_edit->cancel_edit();
                    if (m_closing) {
                        DestroyWindow(handle());
                        return;
                    }
                    if (busy()) return;
                    if (save_question(key_apply_close) == 0) DestroyWindow(handle());
                    return;
                case IDC_PROPERTIES_APPLY:
                    if (m_meta_edit->is_editing()) m_meta_edit->end_edit(true);
                    begin_apply(key_apply);
                    return;
                case IDC_PROPERTIES_TOOLS:
                    tools_menu();
                    return;
                case ID_PROPERTIES_NEXT_TAB:
                case ID_PROPERTIES_PREVIOUS_TAB:
                    switch_tab();
                    return;
            }
        } catch (const std::exception&) {
        }
        (void)code;
    }

    bool on_notify_message(NMHDR* header, LRESULT& result) {
        if (header->hwndFrom == m_tabs && header->code == TCN_SELCHANGE) {
            m_tab = static_cast<int>(SendMessageW(m_tabs, TCM_GETCURSEL, 0, 0));
            show_tab();
            result = 0;
            return true;
        }
        if (header->hwndFrom != m_meta && header->hwndFrom != m_details) return false;
        const bool meta = header->hwndFrom == m_meta;
        HWND list = header->hwndFrom;
        try {
            switch (header->code) {
                case LVN_KEYDOWN: {
                    auto* key = reinterpret_cast<NMLVKEYDOWN*>(header);
                    on_list_key(list, meta, key->wVKey);
                    result = 0;
                    return true;
                }
                case NM_CLICK: {
                    auto* item = reinterpret_cast<NMITEMACTIVATE*>(header);
                    LVHITTESTINFO hit = {};
                    hit.pt = item->ptAction;
                    SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
                    if (hit.iItem >= 0 && hit.iSubItem == 1 && !busy() && !(GetKeyState(VK_CONTROL) & 0x8000) &&
                        !(GetKeyState(VK_SHIFT) & 0x8000)) {
                        if (!meta && hit.iItem < static_cast<int>(m_detail_rows.size()) && !m_detail_rows[hit.iItem]) break;
                        listview_select_single(list, hit.iItem);
                        (meta ? m_meta_edit : m_details_edit)->begin_edit(hit.iItem, 1);
                    }
                    break;
                }
                case NM_DBLCLK:
                    if (meta) {
                        auto* item = reinterpret_cast<NMITEMACTIVATE*>(header);
                        if (item->iItem >= 0)
                            command(3);
                        else
                            command(5);
                    }
                    break;
            }
        } catch (const std::exception&) {
        }
        return false;
    }

    void on_list_key(HWND list, bool meta, WORD key) {
        const bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
        const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
        if (control && key == 'A') {
            listview_set_item_state(list, -1, LVIS_SELECTED, LVIS_SELECTED);
            return;
        }
        if (control && key == 'C') {
            meta ? command(8) : copy_details();
            return;
        }
        if (key == VK_F2) {
            const int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, -1, LVNI_FOCUSED));
            if (row < 0 || busy()) return;
            if (!meta && (row >= static_cast<int>(m_detail_rows.size()) || !m_detail_rows[row])) return;
            (meta ? m_meta_edit : m_details_edit)->begin_edit(row, 1);
            return;
        }
        if (!meta) return;
        if (key == VK_DELETE) command(6);
        if (control && key == 'N') command(5);
        if (control && key == 'V') command(shift ? 11 : 10);
        if (control && key == 'X') command(9);
    }

    void copy_details() {
        std::vector<const details_row*> rows;
        for (uint32_t row : selected_rows(m_details))
            if (row < m_detail_rows.size() && m_detail_rows[row]) rows.push_back(m_detail_rows[row]);
        clipboard_set_text(details_copy_text(rows).c_str());
    }

    // --- menus ------------------------------------------------------------------------------------------
    void append_items(HMENU menu, HMENU selection, const std::vector<properties_menu_item>& items) {
        for (const properties_menu_item& item : items) {
            HMENU target = item.in_selection && selection ? selection : menu;
            if (item.id == 0) {
                AppendMenuW(target, MF_SEPARATOR, 0, nullptr);
                continue;
            }
            std::string text = localization_table::get_text(item.text_id);
            if (item.shortcut) text += std::string("\t") + item.shortcut;
            const UINT flags = MF_STRING | (item.enabled ? 0 : MF_GRAYED);
            AppendMenuW(target, flags, item.id < 0 ? 0 : static_cast<UINT_PTR>(item.id), wide(text.c_str()).c_str());
            if (item.is_default) SetMenuDefaultItem(target, item.id, FALSE);
        }
    }

    std::vector<properties_menu_item> metadata_items(bool tools) {
        properties_menu_state state;
        state.selected = static_cast<uint32_t>(selected_rows(m_meta).size());
        state.tracks = static_cast<uint32_t>(m_tracks.size());
        state.fields_on_clipboard = properties_fields_available();
        state.text_on_clipboard = IsClipboardFormatAvailable(CF_UNICODETEXT) != 0;
        state.from_tools = tools;
        return properties_metadata_menu(state);
    }

    std::vector<properties_menu_item> details_items(bool tools) {
        std::vector<properties_menu_item> items;
        if (!selected_rows(m_details).empty())
            items.push_back({8, "properties_menu_copy", "Ctrl+C", true, tools, false});
        else if (tools)
            items.push_back({-1, "properties_menu_no_selection", nullptr, false, true, false});
        return items;
    }

    void context_menu(HWND list, POINT point, bool) {
        if (!modal_ui_allowed()) {
            modal_scope::bring_to_front();
            return;
        }
        const bool meta = list == m_meta;
        if (!meta && selected_rows(m_details).empty()) return;
        if (point.x == -1 && point.y == -1) {
            RECT rect;
            int first = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
            rect.left = LVIR_BOUNDS;
            if (first >= 0 && SendMessageW(list, LVM_GETITEMRECT, first, reinterpret_cast<LPARAM>(&rect))) {
                MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&rect), 2);
            } else {
                GetWindowRect(list, &rect);
            }
            point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        }
        HMENU menu = CreatePopupMenu();
        append_items(menu, nullptr, meta ? metadata_items(false) : details_items(false));
        const int chosen = static_cast<int>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, point.x,
                                                           point.y, 0, handle(), nullptr));
        DestroyMenu(menu);
        if (chosen > 0) meta ? command(chosen) : copy_details();
    }

    void tools_menu() {
        HWND button = GetDlgItem(handle(), IDC_PROPERTIES_TOOLS);
        RECT rect;
        GetWindowRect(button, &rect);
        HMENU menu = CreatePopupMenu();
        HMENU selection = CreatePopupMenu();
        const auto items = m_tab == 0 ? metadata_items(true) : details_items(true);
        bool any_selected = false;
        for (const auto& item : items)
            if (item.in_selection && item.enabled && item.id > 0) any_selected = true;
        append_items(menu, selection, items);
        // The selection submenu comes first.
        const std::wstring selection_text = wide(localization_table::get_text("properties_menu_selection"));
        InsertMenuW(menu, 0, MF_BYPOSITION | MF_POPUP | (any_selected ? 0 : MF_GRAYED),
                    reinterpret_cast<UINT_PTR>(selection), selection_text.c_str());
        if (m_tab == 1) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, 1, wide(localization_table::get_text("properties_reload_info")).c_str());
        AppendMenuW(menu, MF_STRING, 2, wide(localization_table::get_text("properties_remove_tags")).c_str());
        TPMPARAMS exclude = {};
        exclude.cbSize = sizeof(exclude);
        exclude.rcExclude = rect;
        const int chosen = static_cast<int>(TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_TOPALIGN,
                                                             rect.left, rect.bottom, handle(), &exclude));
        DestroyMenu(menu);
        if (chosen == 1) {
            if (m_meta_edit->is_editing()) m_meta_edit->cancel_edit();
            if (busy()) return;
            if (save_question(key_apply_reload) == 0) begin_reload();
        } else if (chosen == 2) {
            begin_remove();
        } else if (chosen > 2) {
            m_tab == 0 ? command(chosen) : copy_details();
        }
    }

    // --- Metadata commands ------------------------------------------------------------------------------
    void command(int id) {
        try {
            if (busy()) return;
            const std::vector<uint32_t> rows = selected_rows(m_meta);
            const uint32_t tracks = static_cast<uint32_t>(m_tracks.size());
            switch (id) {
                case 3:
                    if (rows.size() == 1) {
                        m_sub_row = rows[0];
                        m_sub_record = std::make_shared<properties_field_model>(m_fields[rows[0]]);
                        if (!begin(key_field_edit)) return;
                        open_field_edit_dialog(handle(), sub_done(), m_sub_record, false, existing_names(), m_info,
                                               m_items, tracks);
                    } else if (rows.size() > 1 && tracks > 1) {
                        m_sub_rows = rows;
                        m_sub_list = std::make_shared<properties_field_list>();
                        for (uint32_t row : rows) m_sub_list->push_back(m_fields[row]);
                        if (!begin(key_table_edit)) return;
                        open_table_edit_dialog(m_sub_list, handle(), sub_done(), m_info, m_items);
                    }
                    return;
                case 4:
                    if (rows.size() == 1) m_meta_edit->begin_edit(static_cast<int>(rows[0]), 1);
                    return;
                case 5:
                    m_sub_record = std::make_shared<properties_field_model>("", tracks);
                    if (!begin(key_field_add)) return;
                    open_field_edit_dialog(handle(), sub_done(), m_sub_record, true, existing_names(), m_info, m_items,
                                           tracks);
                    return;
                case 6:
                    remove_rows(rows);
                    return;
                case 7:
                    remove_rows(properties_other_rows(static_cast<uint32_t>(m_fields.size()), rows));
                    return;
                case 8:
                    copy(rows);
                    return;
                case 9:
                    if (copy(rows))
                        remove_rows(rows);
                    else
                        MessageBeep(0);
                    return;
                case 10:
                    paste(rows);
                    return;
                case 11:
                    paste_fields();
                    return;
                case 13: {
                    std::vector<std::string> paths;
                    for (const track_handle_ref& t : m_tracks) paths.push_back(t->get_location().get_path());
                    for (const properties_field_model& record : properties_auto_track_number(paths)) add_or_replace(record);
                    return;
                }
                case 14: {
                    m_sub_list = std::make_shared<properties_field_list>(m_fields);
                    std::vector<std::string> paths;
                    for (const track_handle_ref& t : m_tracks) {
                        kpl::utf8_string_pow2 shown;
                        file_system_display_path(t->get_location().get_path(), shown);
                        paths.push_back(shown.c_str());
                    }
                    if (!begin(key_autofill)) return;
                    open_autofill_dialog(handle(), paths, m_sub_list, m_info, sub_done());
                    return;
                }
                case 15:
                case 16:
                    for (uint32_t row : rows) {
                        for (auto& entry : m_fields[row].entries())
                            for (std::string& value : entry.second)
                                value = id == 15 ? capitalize_text(value) : clean_up_text(value);
                        refresh_row(row);
                        mark_modified();
                    }
                    return;
                case 17:
                    if (rows.empty()) return;
                    m_split = std::make_shared<split_settings>(split_settings_load());
                    if (!begin(key_split)) return;
                    open_split_values_dialog(handle(), m_split, sub_done());
                    return;
            }
        } catch (const std::exception&) {
            if (!m_pending.is_empty()) cancel_pending();
        }
    }

    std::vector<std::string> existing_names() const {
        std::vector<std::string> names;
        for (const properties_field_model& f : m_fields)
            if (!f.all_empty()) names.push_back(f.name());
        return names;
    }

    void remove_rows(const std::vector<uint32_t>& rows) {
        if (rows.empty()) return;
        if (!properties_remove_rows(m_fields, rows)) return;
        fill_metadata();
        mark_modified();
    }

    bool copy(const std::vector<uint32_t>& rows) {
        if (rows.empty() || !OpenClipboard(handle())) return false;
        bool ok = false;
        try {
            EmptyClipboard();
            properties_field_list records;
            for (uint32_t row : rows) records.push_back(m_fields[row]);
            properties_copy_fields(records);
            const std::wstring text = wide(properties_copy_text(m_fields, rows, m_info).c_str());
            clipboard_put_data(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
            ok = true;
        } catch (const std::exception&) {
        }
        CloseClipboard();
        return ok;
    }

    void paste(const std::vector<uint32_t>& rows) {
        if (rows.empty() || !OpenClipboard(handle())) return;
        try {
            properties_field_list records;
            bool changed = false;
            if (properties_paste_fields(records)) {
                changed = properties_paste_records(m_fields, rows, records, static_cast<uint32_t>(m_tracks.size()));
            } else if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                if (const wchar_t* text = static_cast<const wchar_t*>(GlobalLock(data))) {
                    const std::string utf8 = utf16_to_utf8_string(text).c_str();
                    GlobalUnlock(data);
                    changed = properties_paste_text(m_fields, rows, utf8.c_str(), m_info);
                }
            }
            CloseClipboard();
            if (changed) {
                for (uint32_t row : rows) refresh_row(row);
                mark_modified();
            }
        } catch (const std::exception&) {
            CloseClipboard();
        }
    }

    void paste_fields() {
        if (!OpenClipboard(handle())) return;
        properties_field_list records;
        const bool have = properties_paste_fields(records);
        CloseClipboard();
        if (!have || records.empty()) return;
        const std::vector<uint32_t> appended =
            properties_paste_fields_into(m_fields, records, static_cast<uint32_t>(m_tracks.size()));
        fill_metadata();
        if (!appended.empty()) {
            listview_set_item_state(m_meta, -1, 0, LVIS_SELECTED);
            for (uint32_t row : appended) listview_set_item_state(m_meta, static_cast<int>(row), LVIS_SELECTED, LVIS_SELECTED);
        }
        mark_modified();
    }

    void on_destroy(HWND) {
        HWND lists[] = {m_meta, m_details};
        config_int32* widths[2][2] = {{&g_meta_width0, &g_meta_width1}, {&g_details_width0, &g_details_width1}};
        for (int i = 0; i < 2; ++i)
            for (int c = 0; c < 2; ++c) {
                const int width = static_cast<int>(SendMessageW(lists[i], LVM_GETCOLUMNWIDTH, c, 0));
                if (width >= 0) widths[i][c]->set(width);
            }
        if (m_meta_edit) m_meta_edit->cancel_edit();
        if (m_details_edit) m_details_edit->cancel_edit();
        if (m_hooks) {
            m_hooks->remove_message_filter(this);
            m_hooks.release();
        }
        detach_all();
        m_pending = service_ref();
    }

    std::vector<track_handle_ref> m_tracks;
    loaded_info_store_ptr m_store;
    loaded_info_store_ptr m_new_store;
    properties_field_info m_info;
    properties_field_list m_fields;
    std::vector<std::string> m_items;
    std::vector<details_group> m_groups;
    std::vector<details_row*> m_detail_rows;
    service_ref m_pending;
    bool m_modified = false;
    bool m_closing = false;
    int m_tab = 0;
    HWND m_apply = nullptr, m_tabs = nullptr, m_meta = nullptr, m_details = nullptr;
    HACCEL m_accelerators = nullptr;
    service_ptr<message_loop_hooks> m_hooks;
    window_placement_attachment m_placement;
    dialog_resize_helper m_resizer;
    std::unique_ptr<list_edit_host> m_meta_edit, m_details_edit;
    // Sub-dialog inputs and results.
    uint32_t m_sub_row = 0;
    std::vector<uint32_t> m_sub_rows;
    std::shared_ptr<properties_field_model> m_sub_record;
    std::shared_ptr<properties_field_list> m_sub_list;
    std::shared_ptr<split_settings> m_split;
};

void list_edit_host::get_cell_text(int item, int column, kpl::utf8_string& out, int& line_count) {
    if (m_details || column != 1) {
        listview_edit_host::get_cell_text(item, column, out, line_count);
        m_opened_with = out.c_str();
        return;
    }
    const properties_field_list& fields = m_owner.fields();
    std::string text;
    if (item >= 0 && static_cast<size_t>(item) < fields.size() && fields[item].all_tracks_equal())
        text = fields[item].joined_text(0);
    out = text.c_str();
    m_opened_with = text;
    line_count = text.find_first_of("\r\n") != std::string::npos ? 5 : 1;
}

uint32_t list_edit_host::get_cell_flags(int item, int column) {
    const bool breaks = m_opened_with.find_first_of("\r\n") != std::string::npos;
    if (m_details || column != 1) return in_place_edit::read_only | (breaks ? uint32_t(in_place_edit::multi_line) : 0u);
    const properties_field_list& fields = m_owner.fields();
    const bool multi = (item >= 0 && static_cast<size_t>(item) < fields.size() && m_owner.info().is_multi_line(fields[item].name().c_str())) ||
                       m_opened_with.find_first_of("\r\n") != std::string::npos;
    return multi ? uint32_t(in_place_edit::multi_line) : 0u;
}

IEnumString* list_edit_host::get_autocomplete_source(int item, int column, DWORD& options) {
    if (m_details || column != 1) return nullptr;
    try {
        service_ptr<track_edit_query> query;
        service_class::get_single(query);
        service_ref assist;
        const properties_field_list& fields = m_owner.fields();
        if (item >= 0 && static_cast<size_t>(item) < fields.size())
            query->get_edit_assist(fields[item].name().c_str(), assist);
    } catch (const std::exception&) {
    }
    (void)options;
    return nullptr;
}

void list_edit_host::set_cell_text(int item, int column, const char* text) {
    if (m_details || column != 1) return;
    // Only a text that differs from the one the editor opened with is a change: typing and erasing on a
    // field whose tracks differ leaves every track's values alone.
    if (m_opened_with == text) return;
    m_owner.value_committed(item, text);
}

// Loads the tracks' full info, then opens the dialog when every track was read.
class opener final : public notifier_owner {
public:
    opener(const std::vector<track_handle_ref>& tracks, int tab) : m_tracks(tracks), m_tab(tab) {}
    void start() {
        m_store = loaded_info_store::create(nullptr);
        service_ptr<tag_operations> ops;
        service_class::get_single(ops);
        kpl::array_list<track_handle_ref> list;
        for (const track_handle_ref& t : m_tracks) list.append(t);
        m_notifier = create_notifier(0);
        ops->load_info(list, 1, app_state.main_window, tag_operation_delayed_window, m_store->observer(),
                       m_notifier.as<result_notifier>());
    }
    void on_notify(int, int32_t code) override {
        bool opened = false;
        try {
            if (code == 0 && app_state.main_window && IsWindow(app_state.main_window)) {
                auto* dialog = new properties_dialog(m_tracks, m_store, m_tab);
                try {
                    dialog->create_modeless(app_state.main_window, IDD_PROPERTIES);
                    opened = true;
                } catch (...) {
                    if (!dialog->handle()) delete dialog;
                    throw;
                }
            }
        } catch (const std::exception&) {
        }
        if (!opened && g_events) g_events->on_open_failed();
        m_notifier = service_ref();
        delete this;
    }

private:
    std::vector<track_handle_ref> m_tracks;
    int m_tab;
    loaded_info_store_ptr m_store;
    service_ref m_notifier;
};

}  // namespace

void open_properties_dialog(const std::vector<track_handle_ref>& tracks, int initial_tab) {
    if (!is_main_thread()) {
        debug_output("Error: this function can be called only from main thread.\n");
        return;
    }
    if (tracks.empty()) return;
    auto* loader = new opener(tracks, initial_tab);
    try {
        loader->start();
    } catch (const std::exception&) {
        delete loader;
        if (g_events) g_events->on_open_failed();
    }
}

void properties_dialog_set_events(properties_dialog_events* events) { g_events = events; }
