// The two preferences pages of the program: "Music folders" (dialog 699), which edits the watched folders
// and the monitoring option of the media library, and "Playback" (dialog 102), which chooses the output
// device and holds the ReplayGain settings panel. Each keeps the user's edits in its controls until the
// preferences dialog tells it to apply.
#include <windows.h>
#include <commctrl.h>
#include <uxtheme.h>

#include <string>
#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/dialog.h"
#include "foundation/win32/listview.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/shell.h"
#include "foundation/win32/window_text.h"
#include "library/library_manager.h"
#include "library/media_library.h"
#include "playback/output/output_selection.h"
#include "playback/playback_controller.h"
#include "playback/replaygain_settings_service.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/localization.h"
#include "shell/separator_window.h"
#include "ui/pictures.h"
#include "ui/preferences_group.h"
#include "ui/preferences_pages_model.h"
#include "ui/preferences_panel.h"
#include "ui/window_placement.h"

namespace {

constexpr kpl::guid k_folders_page = {0x2D269FA9, 0x6F78, 0x4CEC, {0x9F, 0x1F, 0x0A, 0x17, 0x6E, 0xFC, 0xE7, 0x7A}};
constexpr kpl::guid k_playback_page = {0x67508677, 0xCFCC, 0x4A1C, {0x92, 0x1C, 0x49, 0xB3, 0x9C, 0xC5, 0xB9, 0x86}};
// The Playback page's own message: warn about a configured output that is not among the choices.
constexpr UINT k_msg_invalid_choice = 0x8000;

// A live page: a reference-counted object over a child dialog of the preferences dialog. The last release
// destroys the window when it still exists; the object goes once its window is gone.
class page_object : public preferences_panel_window, public dialog_object {
public:
    uint32_t add_ref() override { return static_cast<uint32_t>(__atomic_add_fetch(&m_count, 1, __ATOMIC_ACQ_REL)); }
    uint32_t release() override {
        const uint32_t count = static_cast<uint32_t>(__atomic_sub_fetch(&m_count, 1, __ATOMIC_ACQ_REL));
        if (count == 0) {
            m_released = true;
            if (handle())
                DestroyWindow(handle());  // on_final_message deletes the object
            else
                delete this;
        }
        return count;
    }
    bool query(service_ref& out, const kpl::guid& interface_guid) override {
        if (interface_guid != preferences_panel_window::class_guid) return false;
        out.assign(static_cast<preferences_panel_window*>(this));
        return true;
    }
    HWND get_window() override { return handle(); }

    // Makes the page's dialog as a child of `parent`; the caller then owns the one reference.
    void create(HWND parent, int resource, preferences_page_host* host) {
        m_host.assign(host);
        create_modeless(parent, resource);
    }

protected:
    // A child page is reached through the preferences dialog's routing: it neither registers itself as a
    // modeless dialog nor enters a modal scope.
    bool route_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
        return process_message(window, message, wparam, lparam, result, 0);
    }

    // The first edit since the last apply tells the dialog.
    void mark_changed() {
        if (m_changed) return;
        m_changed = true;
        if (m_host) m_host->notify();
    }

    bool m_changed = false;
    service_ptr<preferences_page_host> m_host;

private:
    void on_final_message(HWND) override {
        if (m_released) delete this;
    }

    volatile long m_count = 1;
    bool m_released = false;
};

// The new page object with its window; failures (the Win32 error of the creation) free it.
template <class Page>
void make_page(service_ptr<preferences_panel_window>& out, HWND parent, int resource, preferences_page_host* host) {
    Page* page = new Page;
    try {
        page->create(parent, resource, host);
    } catch (...) {
        page->release();
        throw;
    }
    service_ref ref;
    ref.attach(static_cast<preferences_panel_window*>(page));
    out.attach_ref(std::move(ref));
}

void list_prepare(HWND list) {
    SetWindowTheme(list, L"explorer", nullptr);
    listview_insert_column(list, 0, "", 10);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, LVSCW_AUTOSIZE_USEHEADER);
}

// ---- Music folders ----------------------------------------------------------------------------------------

class folders_page final : public page_object {
public:
    ~folders_page() override {
        if (m_add_icon) DestroyIcon(m_add_icon);
        if (m_remove_icon) DestroyIcon(m_remove_icon);
        if (m_heading_font) DeleteObject(m_heading_font);
    }

    uint32_t get_state() override {
        return m_changed ? preferences_state_changed | preferences_state_resettable : preferences_state_resettable;
    }

    void apply() override {
        if (!m_changed) return;
        m_changed = false;
        folders_apply_input input;
        input.monitor_checked = IsDlgButtonChecked(handle(), IDC_FOLDERS_MONITOR) == BST_CHECKED;
        input.monitor_stored = cfg_monitor_library_folders.get();
        input.edited_folders = m_edited;
        for (const auto& folder : cfg_library_folders.get()) input.stored_folders.emplace_back(folder.c_str());
        input.include_checked = IsDlgButtonChecked(handle(), IDC_FOLDERS_INCLUDE_SYSTEM) == BST_CHECKED;
        input.include_stored = cfg_use_windows_library_folders.get();
        input.library_loaded = media_library::is_loaded();
        const folders_apply_actions actions = folders_apply_decide(input);
        if (actions.store_monitor) cfg_monitor_library_folders.set(input.monitor_checked);
        if (actions.store_folders) {
            kpl::string_array& stored = cfg_library_folders.get();
            stored.clear();
            for (const std::string& folder : m_edited) stored.append(folder.c_str());
        }
        if (actions.store_include) cfg_use_windows_library_folders.set(input.include_checked);
        if (actions.startup) media_library::startup();
        if (actions.apply_folder_list) media_library::apply_folder_list(library_stored_states());
    }

    void reset() override {
        fill({}, true);
        mark_changed();
    }

    bool process_message(HWND page, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
        switch (message) {
            case WM_INITDIALOG:
                initialise(page);
                result = FALSE;
                return true;
            case WM_COMMAND:
                if (HIWORD(wparam) != BN_CLICKED) return false;
                switch (LOWORD(wparam)) {
                    case IDC_FOLDERS_ADD:
                        add(page);
                        break;
                    case IDC_FOLDERS_REMOVE:
                        remove();
                        break;
                    case IDC_FOLDERS_INCLUDE_SYSTEM:
                    case IDC_FOLDERS_MONITOR:
                        mark_changed();
                        break;
                    default:
                        return false;
                }
                result = 0;
                return true;
            case WM_NOTIFY: {
                const NMHDR* header = reinterpret_cast<const NMHDR*>(lparam);
                if (header->idFrom == IDC_FOLDERS_LIST && header->code == LVN_ITEMCHANGED) {
                    EnableWindow(GetDlgItem(page, IDC_FOLDERS_REMOVE), selected() >= 0);
                    result = 0;
                    return true;
                }
                if ((header->idFrom == IDC_FOLDERS_LIST || header->idFrom == IDC_FOLDERS_SYSTEM_LIST) &&
                    header->code == NM_DBLCLK) {
                    const int item = reinterpret_cast<const NMITEMACTIVATE*>(lparam)->iItem;
                    open(page, header->idFrom == IDC_FOLDERS_LIST ? m_edited : m_system, item);
                    result = 0;
                    return true;
                }
                return false;
            }
            default:
                return false;
        }
    }

private:
    void initialise(HWND page) {
        static const dialog_text texts[] = {
            {IDC_FOLDERS_HEADING, "preferences_folders_additional_folders"},
            {IDC_FOLDERS_ADD, "dialog_add"},
            {IDC_FOLDERS_REMOVE, "dialog_remove"},
            {IDC_FOLDERS_INCLUDE_SYSTEM, "preferences_folders_include_windows_folders"},
            {IDC_FOLDERS_MONITOR, "preferences_folders_monitor"},
        };
        dialog_set_texts(page, texts, sizeof texts / sizeof texts[0]);
        m_heading_font = create_heading_font(page);
        if (m_heading_font) {
            for (int id : {IDC_FOLDERS_INCLUDE_SYSTEM, IDC_FOLDERS_HEADING})
                SendDlgItemMessageW(page, id, WM_SETFONT, reinterpret_cast<WPARAM>(m_heading_font), FALSE);
        }
        list_prepare(GetDlgItem(page, IDC_FOLDERS_LIST));
        list_prepare(GetDlgItem(page, IDC_FOLDERS_SYSTEM_LIST));
        if (app_state.portable_library) {
            ShowWindow(GetDlgItem(page, IDC_FOLDERS_INCLUDE_SYSTEM), SW_HIDE);
            ShowWindow(GetDlgItem(page, IDC_FOLDERS_SYSTEM_LIST), SW_HIDE);
        }
        m_add_icon = button_icon(page, IDC_FOLDERS_ADD, IDR_PNG_FOLDER_ADD);
        m_remove_icon = button_icon(page, IDC_FOLDERS_REMOVE, IDR_PNG_FOLDER_REMOVE);
        CheckDlgButton(page, IDC_FOLDERS_MONITOR, cfg_monitor_library_folders.get() ? BST_CHECKED : BST_UNCHECKED);
        std::vector<std::string> configured;
        for (const auto& folder : cfg_library_folders.get()) configured.emplace_back(folder.c_str());
        fill(configured, cfg_use_windows_library_folders.get());
    }

    static HICON button_icon(HWND page, int button, int picture) {
        HWND window = GetDlgItem(page, button);
        const int size = pictures::button_icon_size(window);
        HICON icon = pictures::png_icon(picture, size, size);
        if (icon) SendMessageW(window, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
        return icon;
    }

    void fill(const std::vector<std::string>& configured, bool include) {
        HWND list = GetDlgItem(handle(), IDC_FOLDERS_LIST);
        HWND system = GetDlgItem(handle(), IDC_FOLDERS_SYSTEM_LIST);
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        SendMessageW(system, LVM_DELETEALLITEMS, 0, 0);
        if (!app_state.portable_library) {
            CheckDlgButton(handle(), IDC_FOLDERS_INCLUDE_SYSTEM, include ? BST_CHECKED : BST_UNCHECKED);
            m_system.clear();
            library_manager::system_music_folders(m_system);
            for (const std::string& folder : m_system) listview_insert_item(system, -1, folder.c_str(), 0);
        }
        for (const std::string& folder : configured) listview_insert_item(list, -1, folder.c_str(), 0);
        m_edited = configured;
    }

    int selected() {
        return static_cast<int>(SendDlgItemMessageW(handle(), IDC_FOLDERS_LIST, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                    LVNI_SELECTED));
    }

    void add(HWND page) {
        if (!modal_ui_allowed()) {
            modal_scope::bring_to_front();
            return;
        }
        kpl::utf8_string_pow2 folder;
        if (!pick_folder(page, localization_table::get_text("preferences_folders_add"), folder)) return;
        m_edited.emplace_back(folder.c_str());
        listview_insert_item(GetDlgItem(page, IDC_FOLDERS_LIST), -1, folder.c_str(), 0);
        mark_changed();
    }

    void remove() {
        const int item = selected();
        if (item < 0 || static_cast<size_t>(item) >= m_edited.size()) {
            MessageBeep(0);
            return;
        }
        m_edited.erase(m_edited.begin() + item);
        SendDlgItemMessageW(handle(), IDC_FOLDERS_LIST, LVM_DELETEITEM, static_cast<WPARAM>(item), 0);
        mark_changed();
    }

    static void open(HWND page, const std::vector<std::string>& folders, int item) {
        if (!modal_ui_allowed()) {
            modal_scope::bring_to_front();
            return;
        }
        if (item < 0 || static_cast<size_t>(item) >= folders.size()) return;
        shell_execute(page, nullptr, folders[static_cast<size_t>(item)].c_str());
    }

    std::vector<std::string> m_system;
    std::vector<std::string> m_edited;
    HFONT m_heading_font = nullptr;
    HICON m_add_icon = nullptr;
    HICON m_remove_icon = nullptr;
};

// ---- Playback ---------------------------------------------------------------------------------------------

class playback_page final : public page_object {
public:
    ~playback_page() override {
        if (m_heading_font) DeleteObject(m_heading_font);
    }

    uint32_t get_state() override {
        return m_changed ? preferences_state_changed | preferences_state_needs_output_restart | preferences_state_resettable
                         : preferences_state_resettable;
    }

    void apply() override {
        service_ptr<replaygain_settings_service> replaygain;
        service_class::get_single(replaygain);
        replaygain_settings settings;
        replaygain->get_settings(settings);
        if (m_panel) replaygain->panel_store(m_panel, settings);
        replaygain->set_settings(settings);

        const output_choice* choice = selected_choice();
        if (choice) {
            kpl::guid module, device;
            output_selection_get(module, device);
            if (module != choice->module || device != choice->device) {
                output_selection_set(choice->module, choice->device);
                playback_rebind_output_volume();
            }
        }
        m_changed = false;
    }

    void reset() override {
        service_ptr<replaygain_settings_service> replaygain;
        service_class::get_single(replaygain);
        replaygain_settings defaults;
        replaygain->get_defaults(defaults);
        if (m_panel) replaygain->panel_load(m_panel, defaults);
        select(ds_module_guid, kpl::guid_null);
        m_tooltip.show_below(nullptr, combo());
        mark_changed();
    }

    bool process_message(HWND page, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
        switch (message) {
            case WM_INITDIALOG:
                initialise(page);
                result = FALSE;
                return true;
            case WM_COMMAND:
                if ((LOWORD(wparam) == IDC_PLAYBACK_REPLAYGAIN_PANEL && HIWORD(wparam) == 0) ||
                    (LOWORD(wparam) == IDC_PLAYBACK_DEVICE && HIWORD(wparam) == CBN_SELCHANGE)) {
                    m_tooltip.show_below(nullptr, combo());
                    mark_changed();
                    result = 0;
                    return true;
                }
                return false;
            case k_msg_invalid_choice:
                warn_invalid_choice();
                result = 0;
                return true;
            case WM_DESTROY:
                m_tooltip.set_enabled(false);
                if (HWND tip = m_tooltip.window()) DestroyWindow(tip);
                return false;
            default:
                return false;
        }
    }

private:
    HWND combo() const { return GetDlgItem(handle(), IDC_PLAYBACK_DEVICE); }

    void initialise(HWND page) {
        static const dialog_text texts[] = {
            {IDC_PLAYBACK_DEVICE_HEADING, "preferences_playback_device"},
            {IDC_PLAYBACK_REPLAYGAIN_HEADING, "preferences_playback_replaygain"},
        };
        dialog_set_texts(page, texts, sizeof texts / sizeof texts[0]);
        m_heading_font = create_enlarged_font(page);
        if (m_heading_font) {
            for (int id : {IDC_PLAYBACK_DEVICE_HEADING, IDC_PLAYBACK_REPLAYGAIN_HEADING})
                SendDlgItemMessageW(page, id, WM_SETFONT, reinterpret_cast<WPARAM>(m_heading_font), FALSE);
        }

        service_ptr<replaygain_settings_service> replaygain;
        service_class::get_single(replaygain);
        replaygain_settings settings;
        replaygain->get_settings(settings);
        m_panel = replaygain->create_panel(settings, page, IDC_PLAYBACK_REPLAYGAIN_PANEL);
        if (m_panel) {
            HWND area = GetDlgItem(page, IDC_PLAYBACK_REPLAYGAIN_AREA);
            RECT place = {};
            GetWindowRect(area, &place);
            MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&place), 2);
            SetWindowPos(m_panel, area, place.left, place.top, place.right - place.left, place.bottom - place.top,
                         SWP_SHOWWINDOW | SWP_NOACTIVATE);
        }

        list_choices();
        kpl::guid module, device;
        output_selection_get(module, device);
        if (!select(module, device)) PostMessageW(page, k_msg_invalid_choice, 0, 0);
    }

    void list_choices() {
        std::vector<service_ref> held;
        std::vector<output_module*> modules;
        try {
            service_iterator each_module(output_module::class_guid);
            service_ref each;
            while (each_module.next(each)) {
                held.push_back(each);
                modules.push_back(each.as<output_module>());
            }
        } catch (const std::exception&) {
        }
        output_choices_list(modules, m_choices);
        HWND box = combo();
        for (size_t i = 0; i < m_choices.size(); ++i) {
            win_string_param label(m_choices[i].label.c_str());
            const LRESULT at = SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.get()));
            if (at >= 0) SendMessageW(box, CB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(i + 1));
        }
    }

    // Selects the first choice of that module and device; false when there is none (nothing selected).
    bool select(const kpl::guid& module, const kpl::guid& device) {
        HWND box = combo();
        const int found = output_choice_find(m_choices, module, device);
        if (found < 0) {
            SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
            return false;
        }
        const LRESULT count = SendMessageW(box, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            if (SendMessageW(box, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == found + 1) {
                SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
                return true;
            }
        }
        return false;
    }

    const output_choice* selected_choice() {
        HWND box = combo();
        const LRESULT at = SendMessageW(box, CB_GETCURSEL, 0, 0);
        if (at < 0) return nullptr;
        const LRESULT data = SendMessageW(box, CB_GETITEMDATA, static_cast<WPARAM>(at), 0);
        if (data <= 0 || static_cast<size_t>(data) > m_choices.size()) return nullptr;
        return &m_choices[static_cast<size_t>(data) - 1];
    }

    void warn_invalid_choice() {
        HWND box = combo();
        if (SendMessageW(box, CB_GETCURSEL, 0, 0) >= 0) return;
        COMBOBOXINFO info = {};
        info.cbSize = sizeof(info);
        HWND below = box;
        if (GetComboBoxInfo(box, &info) && info.hwndList && IsWindowVisible(info.hwndList)) below = info.hwndList;
        m_tooltip.show_below(localization_table::get_text("preferences_select_valid_output"), below);
    }

    HWND m_panel = nullptr;
    HFONT m_heading_font = nullptr;
    tracking_tooltip m_tooltip;
    std::vector<output_choice> m_choices;
};

// ---- the page services ------------------------------------------------------------------------------------

template <class Page>
class page_panel final : public service_static<preferences_panel_instantiable> {
public:
    page_panel(const char* name_id, const kpl::guid& guid, int resource)
        : m_name_id(name_id), m_guid(guid), m_resource(resource) {}

    HWND create_window(HWND) override { throw kpl::exception_not_implemented(); }
    const char* name() override { return localization_table::get_text(m_name_id); }
    kpl::guid get_guid() override { return m_guid; }
    kpl::guid get_parent() override { return preferences_group::root_guid; }
    bool reset_supported() override { return false; }
    void reset() override {}
    bool help_url(kpl::utf8_string&) override { return false; }
    double sort_priority() override { return 0.0; }
    void instantiate(service_ptr<preferences_panel_window>& out, HWND parent, preferences_page_host* host) override {
        if (m_resource == IDD_PREFERENCES_PLAYBACK) register_separator_window_class();
        make_page<Page>(out, parent, m_resource, host);
    }

private:
    const char* m_name_id;
    kpl::guid m_guid;
    int m_resource;
};

service_factory_single<page_panel<folders_page>, preferences_panel> g_folders_panel("preferences_folders", k_folders_page,
                                                                                    IDD_PREFERENCES_FOLDERS);
service_factory_single<page_panel<playback_page>, preferences_panel> g_playback_panel("preferences_playback",
                                                                                      k_playback_page,
                                                                                      IDD_PREFERENCES_PLAYBACK);

}  // namespace
