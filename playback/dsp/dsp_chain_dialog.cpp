// The DSP chain panel (dialog 676) and the modal "DSP Settings" dialog that hosts it (dialog 677, through
// settings_panel_host).
#include "playback/dsp/dsp_chain_dialog.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <cmath>
#include <string>
#include <vector>

#include "foundation/services/service_registry.h"
#include "foundation/win32/dialog.h"
#include "foundation/win32/listview.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/png_resource.h"
#include "foundation/win32/window_text.h"
#include "playback/dsp/dsp_chain_service.h"
#include "playback/dsp/dsp_effect.h"
#include "playback/dsp/dsp_presets.h"
#include "playback/settings_panel_host.h"
#include "resources/resource_ids.h"

namespace {

// Posted to the panel after a combo selection change, so that the new text is read.
constexpr UINT k_msg_combo_followup = WM_APP + 0x107;

// Checks the keyboard focus again once a question has gone.
constexpr UINT_PTR k_focus_timer = 0x107;

const char k_error_name[] = "<ERROR>";

std::string effect_name(const kpl::guid& guid) {
    kpl::utf8_string_pow2 name;
    if (!dsp_effect_name(guid, name)) return k_error_name;
    return std::string(name.c_str(), name.length());
}

int selected_row(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool ask(HWND owner, const std::string& text, const char* caption) {
    return message_box(owner, text.c_str(), caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

class dsp_chain_panel final : public settings_panel, private dsp_config_callback {
public:
    dsp_chain_panel(const dsp_chain& chain, bool hosted) : m_chain(chain), m_hosted(hosted) {}

    bool process_message(HWND panel, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
        switch (message) {
            case WM_INITDIALOG:
                m_panel = panel;
                initialise();
                result = FALSE;
                return true;
            case WM_COMMAND:
                return on_command(LOWORD(wparam), HIWORD(wparam), result);
            case WM_NOTIFY:
                return on_notify(*reinterpret_cast<const NMHDR*>(lparam), result);
            case WM_ENABLE:
                update_states();
                return false;
            case WM_TIMER:
                if (wparam != k_focus_timer) return false;
                KillTimer(panel, k_focus_timer);
                update_states();
                result = 0;
                return true;
            case k_msg_combo_followup:
                update_states();
                result = 0;
                return true;
            case dsp_chain_service::msg_panel_store:
                if (lparam) *reinterpret_cast<dsp_chain*>(lparam) = m_chain;
                result = 0;
                return true;
            case dsp_chain_service::msg_panel_load:
                if (lparam) {
                    m_chain = *reinterpret_cast<const dsp_chain*>(lparam);
                    fill_active();
                    update_states();
                }
                result = 0;
                return true;
            case WM_DESTROY:
                if (m_heading_font) {
                    for (int id : {IDC_DSP_ACTIVE_HEADING, IDC_DSP_AVAILABLE_HEADING, IDC_DSP_PRESETS_HEADING})
                        SendDlgItemMessageW(panel, id, WM_SETFONT, 0, FALSE);
                    DeleteObject(m_heading_font);
                    m_heading_font = nullptr;
                }
                for (HICON* icon : {&m_add_icon, &m_remove_icon}) {
                    if (*icon) DestroyIcon(*icon);
                    *icon = nullptr;
                }
                return false;
            default:
                return false;
        }
    }

private:
    HWND item(int id) const { return GetDlgItem(m_panel, id); }

    void initialise() {
        m_heading_font = settings_heading_font(m_panel);
        if (m_heading_font)
            for (int id : {IDC_DSP_ACTIVE_HEADING, IDC_DSP_AVAILABLE_HEADING, IDC_DSP_PRESETS_HEADING})
                SendDlgItemMessageW(m_panel, id, WM_SETFONT, reinterpret_cast<WPARAM>(m_heading_font), FALSE);
        SetWindowLongPtrW(m_panel, GWL_EXSTYLE, GetWindowLongPtrW(m_panel, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
        for (int id : {IDC_DSP_ACTIVE, IDC_DSP_AVAILABLE}) {
            HWND list = item(id);
            SetWindowTheme(list, L"explorer", nullptr);
            SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_DOUBLEBUFFER | LVS_EX_FULLROWSELECT,
                         LVS_EX_DOUBLEBUFFER | LVS_EX_FULLROWSELECT);
            RECT client;
            GetClientRect(list, &client);
            LVCOLUMNW column = {};
            column.mask = LVCF_WIDTH;
            column.cx = client.right - GetSystemMetrics(SM_CXVSCROLL);
            SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        }
        fill_active();
        fill_available();
        m_add_icon = button_icon(IDC_DSP_ADD, IDR_PNG_BACK);
        m_remove_icon = button_icon(IDC_DSP_REMOVE, IDR_PNG_FORWARD);
        const dsp_preset_list& presets = dsp_presets();
        for (size_t i = 0; i < presets.count(); ++i)
            send_message_text(item(IDC_DSP_PRESET_NAME), CB_ADDSTRING, 0, presets.get(i).name.c_str());
        update_states();
    }

    // Add points left, into the active list; Remove points right, back to the available one. The icon is
    // three quarters of the button's smaller side; without GDI+ the button keeps its text alone.
    HICON button_icon(int button, int picture) {
        HWND window = item(button);
        const int side = button_icon_size(window);
        HICON icon = png_resource_icon(picture, side, side);
        if (icon) SendMessageW(window, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
        return icon;
    }

    void fill_active() {
        HWND list = item(IDC_DSP_ACTIVE);
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        for (uint32_t i = 0; i < m_chain.count(); ++i)
            listview_insert_item(list, -1, effect_name(m_chain.get_item(i).get_guid()).c_str(), 0);
    }

    void fill_available() {
        HWND list = item(IDC_DSP_AVAILABLE);
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        m_available.clear();
        service_iterator it(dsp_service::class_guid);
        service_ref each;
        while (it.next(each)) {
            dsp_service* effect = each.as<dsp_service>();
            kpl::guid guid = kpl::guid_null;
            effect->get_guid(guid);
            kpl::utf8_string_pow2 name;
            effect->get_name(name);
            add_available(guid, name.c_str());
        }
    }

    int add_available(const kpl::guid& guid, const char* name) {
        m_available.push_back(guid);
        return listview_insert_item(item(IDC_DSP_AVAILABLE), -1, name, static_cast<LPARAM>(m_available.size() - 1));
    }

    // The available row of an effect; -1 when it is not listed.
    int available_row(const kpl::guid& guid) const {
        HWND list = item(IDC_DSP_AVAILABLE);
        const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < rows; ++row) {
            const size_t index = static_cast<size_t>(row_data(list, row));
            if (index < m_available.size() && m_available[index] == guid) return row;
        }
        return -1;
    }

    static LPARAM row_data(HWND list, int row) {
        LVITEMW lv = {};
        lv.mask = LVIF_PARAM;
        lv.iItem = row;
        SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lv));
        return lv.lParam;
    }

    std::string combo_text() const {
        kpl::utf8_string_pow2 text;
        dialog_item_get_text(m_panel, IDC_DSP_PRESET_NAME, text);
        return std::string(text.c_str(), text.length());
    }

    void update_states() {
        if (!m_panel) return;
        const bool enabled = IsWindowEnabled(m_panel) != FALSE;
        const std::string name = combo_text();
        const bool preset_exists = dsp_presets().find(name.c_str()) != nullptr;
        const int active = selected_row(item(IDC_DSP_ACTIVE));
        const int available = selected_row(item(IDC_DSP_AVAILABLE));
        const int last = static_cast<int>(m_chain.count()) - 1;
        const bool configurable = active >= 0 && active <= last &&
                                  dsp_effect_has_config_dialog(m_chain.get_item(static_cast<uint32_t>(active)).get_guid());
        struct state {
            int id;
            bool on;
        };
        const state states[] = {
            {IDC_DSP_PRESET_LOAD, preset_exists}, {IDC_DSP_PRESET_DELETE, preset_exists},
            {IDC_DSP_PRESET_SAVE, !name.empty()}, {IDC_DSP_CONFIGURE, configurable},
            {IDC_DSP_REMOVE, active >= 0},        {IDC_DSP_ADD, available >= 0},
            {IDC_DSP_UP, active > 0},             {IDC_DSP_DOWN, active >= 0 && active < last},
        };
        for (HWND child = GetWindow(m_panel, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            bool on = true;
            const int id = GetDlgCtrlID(child);
            for (const state& s : states)
                if (s.id == id) on = s.on;
            EnableWindow(child, enabled && on);
        }
        // A button that went off under the keyboard focus (Delete after deleting; the question's end gives the
        // focus back to it, or to nothing) would leave the keys with nowhere to go: the preset name takes it.
        HWND focus = GetFocus();
        const bool lost = focus ? IsChild(m_panel, focus) && !IsWindowEnabled(focus)
                                : GetActiveWindow() == GetAncestor(m_panel, GA_ROOT);
        if (enabled && lost) {
            HWND name_box = item(IDC_DSP_PRESET_NAME);
            SetFocus(name_box ? name_box : GetNextDlgTabItem(m_panel, nullptr, FALSE));
        }
    }

    // The host learns that the chain changed: WM_COMMAND with the panel's id, the panel as lParam.
    void notify_host() {
        HWND host = GetParent(m_panel);
        if (host)
            PostMessageW(host, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(m_panel), 0), reinterpret_cast<LPARAM>(m_panel));
    }

    bool on_command(int id, int code, LRESULT& result) {
        result = 0;
        switch (id) {
            case IDC_DSP_ADD: add_selected(); return true;
            case IDC_DSP_REMOVE: remove_selected(); return true;
            case IDC_DSP_UP: move_selected(-1); return true;
            case IDC_DSP_DOWN: move_selected(+1); return true;
            case IDC_DSP_CONFIGURE: configure_selected(); return true;
            case IDC_DSP_PRESET_LOAD: load_preset(); return true;
            case IDC_DSP_PRESET_SAVE: save_preset(); return true;
            case IDC_DSP_PRESET_DELETE: delete_preset(); return true;
            case IDC_DSP_PRESET_NAME:
                if (code == CBN_EDITCHANGE) update_states();
                if (code == CBN_SELCHANGE) PostMessageW(m_panel, k_msg_combo_followup, 0, 0);
                return true;
            default: return false;
        }
    }

    bool on_notify(const NMHDR& header, LRESULT& result) {
        if (header.idFrom != IDC_DSP_ACTIVE && header.idFrom != IDC_DSP_AVAILABLE) return false;
        if (header.code == LVN_ITEMCHANGED) {
            update_states();
        } else if (header.code == NM_DBLCLK) {
            if (header.idFrom == IDC_DSP_AVAILABLE)
                add_selected();
            else
                remove_selected();
        } else {
            return false;
        }
        result = 0;
        return true;
    }

    void add_selected() {
        HWND list = item(IDC_DSP_AVAILABLE);
        const int row = selected_row(list);
        if (row < 0) return;
        const size_t index = static_cast<size_t>(row_data(list, row));
        if (index >= m_available.size()) return;
        const kpl::guid guid = m_available[index];
        dsp_chain_item entry;
        bool found = false;
        for (const dsp_chain_item& r : m_remembered) {
            if (r.get_guid() == guid) {
                entry = r;
                found = true;
            }
        }
        if (!found && !dsp_effect_default_preset(guid, entry)) return;
        m_chain.insert_item(entry, ~0u);
        const int added = listview_insert_item(item(IDC_DSP_ACTIVE), -1, effect_name(guid).c_str(), 0);
        listview_select_single(item(IDC_DSP_ACTIVE), added);
        update_states();
        notify_host();
    }

    void remove_selected() {
        HWND list = item(IDC_DSP_ACTIVE);
        const int row = selected_row(list);
        if (row < 0 || static_cast<uint32_t>(row) >= m_chain.count()) return;
        const dsp_chain_item removed = m_chain.get_item(static_cast<uint32_t>(row));
        m_chain.remove_mask(kpl::bit_mask_one(static_cast<uint32_t>(row)));
        SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
        remember(removed);
        int available = available_row(removed.get_guid());
        service_ptr<dsp_service> effect;
        if (available < 0 && dsp_effect_find(removed.get_guid(), effect)) {
            kpl::utf8_string_pow2 name;
            effect->get_name(name);
            available = add_available(removed.get_guid(), name.c_str());
        }
        if (available >= 0) listview_select_single(item(IDC_DSP_AVAILABLE), available);
        update_states();
        notify_host();
    }

    void remember(const dsp_chain_item& entry) {
        for (dsp_chain_item& r : m_remembered) {
            if (r.get_guid() == entry.get_guid()) {
                r = entry;
                return;
            }
        }
        m_remembered.push_back(entry);
    }

    void move_selected(int direction) {
        HWND list = item(IDC_DSP_ACTIVE);
        const int row = selected_row(list);
        const int other = row + direction;
        if (row < 0 || other < 0 || other >= static_cast<int>(m_chain.count())) return;
        const dsp_chain_item a = m_chain.get_item(static_cast<uint32_t>(row));
        m_chain.get_item(static_cast<uint32_t>(row)) = m_chain.get_item(static_cast<uint32_t>(other));
        m_chain.get_item(static_cast<uint32_t>(other)) = a;
        for (int r : {row, other})
            listview_set_item_text(list, r, 0, effect_name(m_chain.get_item(static_cast<uint32_t>(r)).get_guid()).c_str());
        listview_select_single(list, other);
        update_states();
        notify_host();
    }

    // A question or dialog may show: inside dialog 677, or when no other modal interaction runs (that one
    // comes to the front then).
    bool may_interact() {
        if (m_hosted || modal_scope::can_start()) return true;
        modal_scope::bring_to_front();
        return false;
    }

    void configure_selected() {
        if (!may_interact()) return;
        const int row = selected_row(item(IDC_DSP_ACTIVE));
        if (row < 0 || static_cast<uint32_t>(row) >= m_chain.count() || m_configuring >= 0 ||
            !dsp_effect_has_config_dialog(m_chain.get_item(static_cast<uint32_t>(row)).get_guid())) {
            MessageBeep(0);
            return;
        }
        m_configuring = row;
        m_configuring_guid = m_chain.get_item(static_cast<uint32_t>(row)).get_guid();
        const dsp_chain_item current = m_chain.get_item(static_cast<uint32_t>(row));
        try {
            dsp_effect_show_config(current, GetAncestor(m_panel, GA_ROOT), *this);
        } catch (...) {
            m_configuring = -1;
            throw;
        }
        m_configuring = -1;
    }

    void on_config_changed(const dsp_chain_item& changed) override {
        if (m_configuring < 0 || static_cast<uint32_t>(m_configuring) >= m_chain.count()) return;
        dsp_chain_item& entry = m_chain.get_item(static_cast<uint32_t>(m_configuring));
        if (entry.get_guid() != m_configuring_guid || changed.get_guid() != m_configuring_guid || entry == changed) return;
        entry = changed;
        notify_host();
    }

    void load_preset() {
        const dsp_preset* preset = dsp_presets().find(combo_text().c_str());
        if (!preset) {
            MessageBeep(0);
            return;
        }
        m_chain = preset->chain;
        fill_active();
        fill_available();
        update_states();
        notify_host();
    }

    void save_preset() {
        const std::string name = combo_text();
        if (name.empty()) return;
        const bool exists = dsp_presets().find(name.c_str()) != nullptr;
        if (exists) {
            if (!may_interact()) return;
            if (!ask(m_panel, "DSP configuration preset named \"" + name + "\" already exists. Overwrite?",
                     "Preset already exists"))
                return;
        }
        dsp_presets().store(name.c_str(), m_chain);
        if (!exists) send_message_text(item(IDC_DSP_PRESET_NAME), CB_ADDSTRING, 0, name.c_str());
        update_states();
    }

    void delete_preset() {
        const std::string name = combo_text();
        if (!dsp_presets().find(name.c_str())) return;
        if (!may_interact()) return;
        if (!ask(m_panel, "Preset \"" + name + "\" will be deleted. Continue?", "Confirm preset deletion")) return;
        dsp_presets().remove(name.c_str());
        // The focus comes back to Delete once the question has gone (the window manager's activation may
        // come later still): it is checked again a little later.
        SetTimer(m_panel, k_focus_timer, 100, nullptr);
        // CB_FINDSTRINGEXACT ignores case: step over strings that differ in case from the name.
        HWND combo = item(IDC_DSP_PRESET_NAME);
        int start = -1;
        for (;;) {
            const int found = static_cast<int>(send_message_text(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(start), name.c_str()));
            if (found == CB_ERR || found <= start) break;
            const int length = static_cast<int>(SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(found), 0));
            std::wstring wide(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
            SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(found), reinterpret_cast<LPARAM>(&wide[0]));
            wide.resize(static_cast<size_t>(length > 0 ? length : 0));
            if (utf8_of(wide) == name) {
                SendMessageW(combo, CB_DELETESTRING, static_cast<WPARAM>(found), 0);
                break;
            }
            start = found;
        }
        update_states();
    }

    static std::string utf8_of(const std::wstring& wide) {
        if (wide.empty()) return std::string();
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
        std::string out(static_cast<size_t>(n), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
        return out;
    }

    dsp_chain m_chain;
    std::vector<dsp_chain_item> m_remembered;
    std::vector<kpl::guid> m_available;
    int m_configuring = -1;
    kpl::guid m_configuring_guid = kpl::guid_null;
    bool m_hosted;
    HWND m_panel = nullptr;
    HFONT m_heading_font = nullptr;
    HICON m_add_icon = nullptr;
    HICON m_remove_icon = nullptr;
};

}  // namespace

HWND dsp_chain_create_panel(const dsp_chain& chain, HWND parent, int placeholder_id, bool flag) {
    return settings_panel::create(new dsp_chain_panel(chain, flag), parent, IDD_DSP_PANEL, placeholder_id);
}

bool dsp_chain_run_dialog(dsp_chain& chain, HWND parent, const char* name) {
    settings_panel_host host;
    host.dialog_resource = IDD_DSP_DIALOG;
    host.caption_prefix = "DSP Settings - ";
    host.placement = settings_panel_host::above_buttons;
    host.create_panel = [&chain](HWND dialog) { return dsp_chain_create_panel(chain, dialog, IDC_DSP_PANEL, true); };
    host.store_message = dsp_chain_service::msg_panel_store;
    host.store_target = &chain;
    return run_settings_panel_host(host, parent, name);
}
