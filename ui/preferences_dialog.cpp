// The preferences dialog (695): the tree of pages, the live page windows made on first selection, the
// buttons that follow the pages' state flags, Apply, and the dialog's shutdown_veto.
#include "ui/preferences_dialog.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <map>
#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/persistent_state.h"
#include "foundation/services/service_registry.h"
#include "foundation/services/shutdown_veto.h"
#include "foundation/win32/dialog.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/win_string.h"
#include "foundation/win32/window_text.h"
#include "playback/playback_controller.h"
#include "resources/resource_ids.h"
#include "shell/app_exit.h"
#include "shell/app_state.h"
#include "shell/localization.h"
#include "ui/preferences_group.h"
#include "ui/preferences_panel.h"
#include "ui/window_placement.h"

namespace {

// {F90B10FB-D8FE-461A-8154-4664B7E8AEE9}
constexpr kpl::guid k_placement_guid = {0xF90B10FB, 0xD8FE, 0x461A, {0x81, 0x54, 0x46, 0x64, 0xB7, 0xE8, 0xAE, 0xE9}};
// The "[broken components]" branch: the last choice of the page shown first.
constexpr kpl::guid k_broken_components = {0x2E8E9647, 0x4174, 0x41B2, {0x9E, 0xC4, 0x91, 0x0B, 0xE1, 0x28, 0x08, 0x2E}};
// Posted by the page host when a page's state changed.
constexpr UINT k_msg_state_changed = 0x819C;

window_placement_var g_placement(k_placement_guid);
// The page shown last while the program runs.
kpl::guid g_last_page = kpl::guid_null;

struct guid_order {
    bool operator()(const kpl::guid& a, const kpl::guid& b) const { return kpl::guid_compare(a, b) < 0; }
};

// The window of a page made the old way (create_window), or of a branch (dialog 686): no apply, no reset.
class plain_page final : public service_counted<preferences_panel_window> {
public:
    plain_page(HWND window, uint32_t flags) : m_window(window), m_flags(flags) {}
    uint32_t get_state() override { return m_flags; }
    HWND get_window() override { return m_window; }
    void apply() override {}
    void reset() override {}

private:
    HWND m_window;
    uint32_t m_flags;
};

// Takes over a new object whose count is 1.
void adopt(service_ptr<preferences_panel_window>& out, preferences_panel_window* made) {
    service_ref ref;
    ref.attach(made);
    out.attach_ref(std::move(ref));
}

INT_PTR CALLBACK branch_page_procedure(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

class preferences_window;
preferences_window* g_dialog = nullptr;

// The pages' way back to the dialog; outlives the dialog while a page holds it.
class page_host final : public service_counted<preferences_page_host> {
public:
    explicit page_host(preferences_window* dialog) : m_dialog(dialog) {}
    void notify() override;
    void forget() { m_dialog = nullptr; }

private:
    preferences_window* m_dialog;
};

class apply_page_adapter final : public preferences_apply_page {
public:
    explicit apply_page_adapter(preferences_panel_window* page) : m_page(page) {}
    uint32_t get_state() override { return m_page->get_state(); }
    void apply() override { m_page->apply(); }

private:
    preferences_panel_window* m_page;
};

class preferences_window final : public dialog_object, public registered_operation, public preferences_apply_environment {
public:
    explicit preferences_window(const kpl::guid& requested) : m_requested(requested) {
        m_host.attach(new page_host(this));
    }
    ~preferences_window() override { m_host.as<page_host>()->forget(); }

    void select_page(const kpl::guid& page) {
        auto at = m_items.find(page);
        if (at != m_items.end()) TreeView_SelectItem(m_tree, at->second);
    }

    void post_state_changed() {
        if (m_state_pending || !handle()) return;
        m_state_pending = true;
        PostMessageW(handle(), k_msg_state_changed, 0, 0);
    }

    bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
        g_placement.on_window_message(dialog, message, m_placement);
        switch (message) {
            case WM_INITDIALOG:
                initialise(dialog);
                result = FALSE;
                return true;
            case WM_COMMAND:
                if (HIWORD(wparam) != BN_CLICKED) return false;
                switch (LOWORD(wparam)) {
                    case IDOK:
                        if (apply()) close();
                        break;
                    case IDCANCEL:
                        close();
                        break;
                    case IDC_PREFERENCES_APPLY:
                        apply();
                        break;
                    default:
                        return false;
                }
                result = 0;
                return true;
            case WM_CLOSE:
                close();
                result = 0;
                return true;
            case WM_NOTIFY:
                return on_notify(reinterpret_cast<const NMHDR*>(lparam), result);
            case k_msg_state_changed:
                update_buttons();
                result = 0;
                return true;
            case WM_DESTROY:
                on_destroy();
                return false;
            default:
                return false;
        }
    }

    // registered_operation: the close confirmation names the dialog by its caption.
    void get_name(kpl::utf8_string& out) override {
        if (!handle() || !window_get_text(handle(), out)) out = "Preferences";
    }

private:
    // While show_page creates the window, a failed creation leaves the object to it.
    void on_final_message(HWND) override {
        if (!m_creating) delete this;
    }

public:
    bool m_creating = true;

private:

    void initialise(HWND dialog) {
        g_dialog = this;
        static const dialog_text texts[] = {
            {IDOK, "dialog_ok"}, {IDCANCEL, "dialog_cancel"}, {IDC_PREFERENCES_APPLY, "dialog_apply"}};
        dialog_set_texts(dialog, texts, sizeof texts / sizeof texts[0]);
        m_tree = GetDlgItem(dialog, IDC_PREFERENCES_TREE);
        SetWindowTheme(m_tree, L"explorer", nullptr);
        build_tree();
        insert_items(m_tree_model.top(), TVI_ROOT);
        const kpl::guid choices[] = {m_requested, g_last_page, k_broken_components};
        for (const kpl::guid& choice : choices) {
            if (choice == kpl::guid_null || !m_items.count(choice)) continue;
            select_page(choice);
            break;
        }
        SetFocus(m_tree);
        ShowWindow(dialog, SW_SHOW);
        SetFocus(GetDlgItem(dialog, IDOK));
    }

    // One record per page and branch service; a service that cannot be made leaves the tree empty.
    void build_tree() {
        std::vector<preferences_node> nodes;
        try {
            service_iterator pages(preferences_panel::class_guid);
            service_ref each;
            for (uint32_t index = 0; pages.next(each); ++index) {
                preferences_panel* panel = each.as<preferences_panel>();
                preferences_node node;
                node.index = index;
                node.name = panel->name() ? panel->name() : "";
                node.guid = panel->get_guid();
                node.parent = panel->get_parent();
                service_ptr<preferences_panel_ext> ext;
                if (service_query(panel, ext)) node.sort_priority = ext->sort_priority();
                nodes.push_back(node);
            }
            service_iterator groups(preferences_group::class_guid);
            for (uint32_t index = 0; groups.next(each); ++index) {
                preferences_group* group = each.as<preferences_group>();
                preferences_node node;
                node.is_group = true;
                node.index = index;
                node.name = group->name() ? group->name() : "";
                node.guid = group->get_guid();
                node.parent = group->get_parent();
                service_ptr<preferences_group_ext> ext;
                if (service_query(group, ext)) node.sort_priority = ext->sort_priority();
                nodes.push_back(node);
            }
        } catch (const std::exception&) {
            nodes.clear();
        }
        m_tree_model.build(nodes);
    }

    void insert_items(const std::vector<preferences_node*>& level, HTREEITEM parent) {
        for (preferences_node* node : level) {
            win_string_param text(node->name.c_str());
            TVINSERTSTRUCTW insert = {};
            insert.hParent = parent;
            insert.hInsertAfter = TVI_LAST;
            insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE;
            insert.item.pszText = const_cast<wchar_t*>(text.get());
            insert.item.lParam = reinterpret_cast<LPARAM>(node);
            insert.item.stateMask = TVIS_EXPANDED;
            insert.item.state = preferences_expanded_nodes().contains(node->guid) ? TVIS_EXPANDED : 0;
            HTREEITEM item = TreeView_InsertItem(m_tree, &insert);
            if (!item) continue;
            m_items[node->guid] = item;
            insert_items(node->children, item);
        }
    }

    bool on_notify(const NMHDR* header, LRESULT& result) {
        // The tree deletes its items while the dialog goes, after the nodes are gone.
        if (m_destroying || header->idFrom != IDC_PREFERENCES_TREE) return false;
        if (header->code == TVN_SELCHANGEDW) {
            const NMTREEVIEWW* change = reinterpret_cast<const NMTREEVIEWW*>(header);
            if (change->itemNew.hItem) {
                const preferences_node* node = node_of(change->itemNew.hItem);
                if (node) show_page_safely(*node);
            }
            result = 0;
            return true;
        }
        if (header->code == TVN_ITEMEXPANDEDW) {
            const NMTREEVIEWW* change = reinterpret_cast<const NMTREEVIEWW*>(header);
            const preferences_node* node = node_of(change->itemNew.hItem);
            if (node) preferences_expanded_nodes().set(node->guid, change->action == TVE_EXPAND);
            result = 0;
            return true;
        }
        return false;
    }

    const preferences_node* node_of(HTREEITEM item) {
        TVITEMW data = {};
        data.mask = TVIF_PARAM;
        data.hItem = item;
        if (!TreeView_GetItem(m_tree, &data)) return nullptr;
        return reinterpret_cast<const preferences_node*>(data.lParam);
    }

    void show_page_safely(const preferences_node& node) {
        try {
            show_page(node);
        } catch (const std::exception&) {
            PostMessageW(handle(), WM_CLOSE, 0, 0);
        }
    }

    void show_page(const preferences_node& node) {
        if (m_current && node.guid == m_current_guid) return;
        if (!IsWindowEnabled(handle()) || (m_current_window && !IsWindowEnabled(m_current_window))) return;
        if (m_current_window) ShowWindow(m_current_window, SW_HIDE);

        service_ptr<preferences_panel> panel;
        uint32_t base_flags = 0;
        if (!node.is_group) {
            service_ref made;
            if (!service_class::create_instance(service_class::find(preferences_panel::class_guid), node.index, made))
                kpl::crash();
            panel.attach_ref(std::move(made));
            if (panel->reset_supported()) base_flags = preferences_state_resettable;
            kpl::utf8_string_pow2 help;
            panel->help_url(help);
        }

        service_ptr<preferences_panel_instantiable> instantiable;
        const bool legacy = !node.is_group && !service_query(panel.get(), instantiable);
        service_ptr<preferences_panel_window> page;
        auto known = m_pages.find(node.guid);
        if (known != m_pages.end()) {
            page = known->second;
        } else {
            if (node.is_group) {
                HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PREFERENCES_BRANCH),
                                                 handle(), &branch_page_procedure, 0);
                if (!window) exception_win32::throw_last_error();
                adopt(page, new plain_page(window, 0));
            } else if (instantiable) {
                instantiable->instantiate(page, handle(), m_host.as<preferences_page_host>());
                if (!page) throw kpl::exception_dynamic_assert();
            } else {
                HWND window = panel->create_window(handle());
                if (!window) throw kpl::exception_dynamic_assert();
                adopt(page, new plain_page(window, base_flags));
            }
            m_pages[node.guid] = page;
        }

        m_legacy = legacy;
        g_last_page = node.guid;
        m_current = page;
        m_current_guid = node.guid;
        m_current_window = page->get_window();
        SetWindowLongPtrW(m_current_window, GWL_EXSTYLE,
                          GetWindowLongPtrW(m_current_window, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
        HWND area = GetDlgItem(handle(), IDC_PREFERENCES_PAGE_AREA);
        RECT place = {};
        GetWindowRect(area, &place);
        MapWindowPoints(nullptr, handle(), reinterpret_cast<POINT*>(&place), 2);
        SetWindowPos(m_current_window, area, place.left, place.top, place.right - place.left, place.bottom - place.top,
                     SWP_SHOWWINDOW | SWP_NOACTIVATE);
        SetFocus(m_tree);

        update_buttons();
        text_params params;
        params.set("page", node.name.c_str());
        kpl::utf8_string_pow2 caption;
        if (!localization_table::format("preferences_caption", params, caption)) {
            caption = "Preferences: ";
            caption << node.name.c_str();
        }
        window_set_text(handle(), caption);
    }

    uint32_t flags_of_pages() {
        uint32_t flags = 0;
        for (auto& entry : m_pages) flags |= entry.second->get_state();
        return flags;
    }

    void update_buttons() {
        m_state_pending = false;
        const preferences_buttons buttons = preferences_buttons_for(flags_of_pages());
        EnableWindow(GetDlgItem(handle(), IDC_PREFERENCES_APPLY), buttons.apply);
        EnableWindow(GetDlgItem(handle(), IDOK), buttons.ok_cancel);
        EnableWindow(GetDlgItem(handle(), IDCANCEL), buttons.ok_cancel);
        set_running(buttons.running_operation);
    }

    bool apply() {
        std::vector<apply_page_adapter> adapters;
        adapters.reserve(m_pages.size());
        for (auto& entry : m_pages) adapters.emplace_back(entry.second.get());
        std::vector<preferences_apply_page*> pages;
        for (apply_page_adapter& a : adapters) pages.push_back(&a);
        if (!preferences_apply(pages, *this)) return false;
        if (handle()) EnableWindow(GetDlgItem(handle(), IDC_PREFERENCES_APPLY), FALSE);
        return true;
    }

    void close() {
        if (flags_of_pages() & preferences_state_busy) return;
        if (!IsWindowEnabled(handle()) || (m_current_window && !IsWindowEnabled(m_current_window))) return;
        DestroyWindow(handle());
    }

    void on_destroy() {
        m_destroying = true;
        set_running(false);
        if (g_dialog == this) g_dialog = nullptr;
        m_current.release();
        m_current_window = nullptr;
        m_pages.clear();
        m_items.clear();
        m_tree_model.clear();
    }

    // ---- preferences_apply_environment ----
    bool shutdown_vetoes_agree() override { return shutdown_veto::ask_all(); }
    bool modal_ui_allowed_or_front() override {
        if (modal_ui_allowed()) return true;
        modal_scope::bring_to_front();
        return false;
    }
    bool ask_restart() override {
        return message_box(handle(), "Applying these changes requires Vorn to be restarted. Continue?",
                           "Vorn preferences", MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
    }
    bool request_restart() override { return app_request_exit(1); }
    bool exit_under_way() override { return app_state.exit_requested || app_state.shutting_down; }
    void restart_output() override {
        service_ptr<playback_controller> controller;
        service_class::get_single(controller);
        service_ptr<playback_controller_ext> ext;
        if (service_query(controller.get(), ext)) ext->restart_output();
    }
    bool profile_read_only() override { return app_state.profile_read_only; }
    void flush_persistent_state() override {
        service_iterator states(persistent_state::class_guid);
        service_ref each;
        while (states.next(each)) {
            service_ptr<persistent_state_flush> flush;
            if (service_query(each.get(), flush)) flush->save_now();
        }
    }

    kpl::guid m_requested;
    service_ref m_host;
    window_placement_attachment m_placement;
    HWND m_tree = nullptr;
    preferences_tree m_tree_model;
    std::map<kpl::guid, HTREEITEM, guid_order> m_items;
    std::map<kpl::guid, service_ptr<preferences_panel_window>, guid_order> m_pages;
    service_ptr<preferences_panel_window> m_current;
    kpl::guid m_current_guid = kpl::guid_null;
    HWND m_current_window = nullptr;
    bool m_legacy = false;
    bool m_state_pending = false;
    bool m_destroying = false;
};

void page_host::notify() {
    if (m_dialog) m_dialog->post_state_changed();
}

// While a modal window of the dialog's own is open, the program may not exit under it.
class preferences_shutdown_veto final : public service_static<shutdown_veto> {
public:
    bool may_exit() override {
        if (!g_dialog || !g_dialog->handle() || IsWindowEnabled(g_dialog->handle())) return true;
        MessageBeep(0);
        SetForegroundWindow(g_dialog->handle());
        return false;
    }
};

service_factory_single<preferences_shutdown_veto, shutdown_veto> g_shutdown_veto;

}  // namespace

namespace preferences_dialog {

void show_page(const kpl::guid& page) {
    if (!g_dialog) {
        preferences_window* dialog = new preferences_window(page);
        try {
            dialog->create_modeless(app_state.main_window, IDD_PREFERENCES);
        } catch (...) {
            delete dialog;  // its window, if one was made, is gone
            throw;
        }
        dialog->m_creating = false;
        return;
    }
    HWND window = g_dialog->handle();
    ShowWindow(window, SW_SHOW);
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    if (page != kpl::guid_null) g_dialog->select_page(page);
}

void destroy_if_open() {
    if (g_dialog && g_dialog->handle()) DestroyWindow(g_dialog->handle());
}

HWND window() { return g_dialog ? g_dialog->handle() : nullptr; }

}  // namespace preferences_dialog

HFONT create_heading_font(HWND dialog) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    LOGFONTW description = {};
    if (!font || GetObjectW(font, sizeof(description), &description) == 0) return nullptr;
    const LONG height = description.lfHeight;
    LONG scaled = static_cast<LONG>(height * 1.1 + (height < 0 ? -0.5 : 0.5));
    if (scaled == 0) scaled = height < 0 ? -1 : 1;
    description.lfHeight = scaled;
    description.lfWeight = FW_BOLD;
    return CreateFontIndirectW(&description);
}
