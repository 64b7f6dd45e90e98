// The ReplayGain settings panel (dialog 207) and the modal dialog that hosts it (dialog 675).
#include "playback/replaygain_settings_dialog.h"

#include <commctrl.h>

#include <cmath>

#include "foundation/kpl/text_lookup.h"
#include "foundation/win32/dialog.h"
#include "foundation/win32/dialog_resize.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/shell.h"
#include "foundation/win32/window_text.h"
#include "playback/replaygain_preamp_scale.h"
#include "playback/replaygain_settings_service.h"
#include "resources/resource_ids.h"
#include "shell/separator_window.h"

namespace {

// Opened by the help link when the language table gives no "link_replaygain".
const char k_help_address[] = "https://en.wikipedia.org/wiki/ReplayGain";

// A slider and the label that shows its value.
struct preamp_control {
    int slider;
    int label;
};
constexpr preamp_control k_with = {IDC_REPLAYGAIN_WITH_SLIDER, IDC_REPLAYGAIN_WITH_VALUE};
constexpr preamp_control k_without = {IDC_REPLAYGAIN_WITHOUT_SLIDER, IDC_REPLAYGAIN_WITHOUT_VALUE};

// The dialog font with its height x 1.1 (rounded; never 0) and weight 700.
HFONT create_heading_font(HWND dialog) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    LOGFONTW description = {};
    if (!font || GetObjectW(font, sizeof(description), &description) == 0) return nullptr;
    const LONG height = description.lfHeight;
    LONG scaled = static_cast<LONG>(std::floor(height * 1.1 + 0.5));
    if (scaled == 0) scaled = height < 0 ? -1 : 1;
    description.lfHeight = scaled;
    description.lfWeight = FW_BOLD;
    return CreateFontIndirectW(&description);
}

class replaygain_panel final : public dialog_object {
public:
    explicit replaygain_panel(const replaygain_settings& settings) : m_initial(settings) {
        using resize = dialog_resize_helper;
        static const uint32_t anchors[] = {
            IDC_REPLAYGAIN_ACTIVE | resize::stretch_x << 16,
            IDC_REPLAYGAIN_PREAMP_HEADING | resize::stretch_x << 16,
            IDC_REPLAYGAIN_WITH_SLIDER | resize::stretch_x << 16,
            IDC_REPLAYGAIN_WITH_VALUE | resize::move_x << 16,
            IDC_REPLAYGAIN_WITHOUT_SLIDER | resize::stretch_x << 16,
            IDC_REPLAYGAIN_WITHOUT_VALUE | resize::move_x << 16,
            IDC_REPLAYGAIN_HELP | resize::stretch_x << 16,
        };
        m_resizer.set_anchors(anchors, sizeof anchors / sizeof anchors[0]);
    }

    // From now on the object goes with its window.
    void give_to_window() { m_window_owns = true; }

    bool process_message(HWND panel, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
        if (m_resizer.on_message(panel, message, wparam, lparam, result)) return true;
        switch (message) {
            case WM_INITDIALOG:
                initialise(panel);
                result = FALSE;
                return true;
            case WM_HSCROLL: {
                HWND from = reinterpret_cast<HWND>(lparam);
                for (const preamp_control& c : {k_with, k_without}) {
                    if (from && from == GetDlgItem(panel, c.slider)) {
                        show_label(panel, c);
                        notify_host(panel);
                    }
                }
                result = 0;
                return true;
            }
            case WM_COMMAND:
                switch (LOWORD(wparam)) {
                    case IDC_REPLAYGAIN_ACTIVE:
                    case IDC_REPLAYGAIN_TRACK:
                    case IDC_REPLAYGAIN_ALBUM:
                        if (HIWORD(wparam) == BN_CLICKED) notify_host(panel);
                        result = 0;
                        return true;
                    default:
                        return false;
                }
            case WM_NOTIFY: {
                const NMHDR* header = reinterpret_cast<const NMHDR*>(lparam);
                if (header->idFrom != IDC_REPLAYGAIN_HELP || (header->code != NM_CLICK && header->code != NM_RETURN))
                    return false;
                open_help(panel);
                result = 0;
                return true;
            }
            case replaygain_settings_service::msg_panel_store:
                if (lparam) store(panel, *reinterpret_cast<replaygain_settings*>(lparam));
                result = 0;
                return true;
            case replaygain_settings_service::msg_panel_load:
                if (lparam) show(panel, *reinterpret_cast<const replaygain_settings*>(lparam));
                result = 0;
                return true;
            case WM_DESTROY:
                if (m_heading_font) {
                    SendDlgItemMessageW(panel, IDC_REPLAYGAIN_PREAMP_HEADING, WM_SETFONT, 0, FALSE);
                    DeleteObject(m_heading_font);
                    m_heading_font = nullptr;
                }
                return false;
            default:
                return false;
        }
    }

protected:
    // A child panel is reached through its host's dialog routing: it neither registers itself as a
    // modeless dialog nor enters a modal scope.
    bool route_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
        return process_message(window, message, wparam, lparam, result, 0);
    }

private:
    // The window owns the object once creation succeeded; a window made and destroyed during a failed
    // creation leaves it to the creator.
    void on_final_message(HWND) override {
        if (m_window_owns) delete this;
    }

    void initialise(HWND panel) {
        static const dialog_text texts[] = {
            {IDC_REPLAYGAIN_ACTIVE, "replaygain_active"},
            {IDC_REPLAYGAIN_TRACK, "replaygain_track"},
            {IDC_REPLAYGAIN_ALBUM, "replaygain_album"},
            {IDC_REPLAYGAIN_PREAMP_HEADING, "replaygain_preamp"},
            {IDC_REPLAYGAIN_WITH_LABEL, "replaygain_label_withrg"},
            {IDC_REPLAYGAIN_WITHOUT_LABEL, "replaygain_label_withoutrg"},
        };
        dialog_set_texts(panel, texts, sizeof texts / sizeof texts[0]);
        kpl::utf8_string_pow2 help;
        if (kpl::lookup_text("replaygain_help", help) && help.length() != 0) {
            kpl::utf8_string_pow2 link("<a>");
            link << help << "</a>";
            dialog_item_set_text(panel, IDC_REPLAYGAIN_HELP, link);
        }
        m_heading_font = create_heading_font(panel);
        if (m_heading_font)
            SendDlgItemMessageW(panel, IDC_REPLAYGAIN_PREAMP_HEADING, WM_SETFONT,
                                reinterpret_cast<WPARAM>(m_heading_font), FALSE);
        SetWindowLongPtrW(panel, GWL_EXSTYLE, GetWindowLongPtrW(panel, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);

        for (const preamp_control& c : {k_with, k_without})
            SendDlgItemMessageW(panel, c.slider, TBM_SETRANGE, FALSE,
                                MAKELPARAM(replaygain_preamp_min_position, replaygain_preamp_max_position));
        show(panel, m_initial);
    }

    static void show(HWND panel, const replaygain_settings& s) {
        CheckDlgButton(panel, IDC_REPLAYGAIN_ACTIVE, s.processing != 0 ? BST_CHECKED : BST_UNCHECKED);
        const bool track = s.source == replaygain_settings::source_track;
        CheckDlgButton(panel, IDC_REPLAYGAIN_TRACK, track ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(panel, IDC_REPLAYGAIN_ALBUM, track ? BST_UNCHECKED : BST_CHECKED);
        SendDlgItemMessageW(panel, k_with.slider, TBM_SETPOS, TRUE, replaygain_preamp_position(s.preamp_with_gain));
        SendDlgItemMessageW(panel, k_without.slider, TBM_SETPOS, TRUE,
                            replaygain_preamp_position(s.preamp_without_gain));
        show_label(panel, k_with);
        show_label(panel, k_without);
    }

    static void store(HWND panel, replaygain_settings& s) {
        s.processing = IsDlgButtonChecked(panel, IDC_REPLAYGAIN_ACTIVE) == BST_CHECKED
                           ? replaygain_settings::processing_apply_gain
                           : replaygain_settings::processing_none;
        s.source = IsDlgButtonChecked(panel, IDC_REPLAYGAIN_TRACK) == BST_CHECKED ? replaygain_settings::source_track
                                                                                  : replaygain_settings::source_album;
        s.preamp_with_gain = replaygain_preamp_value(position(panel, k_with));
        s.preamp_without_gain = replaygain_preamp_value(position(panel, k_without));
    }

    static int position(HWND panel, const preamp_control& c) {
        return static_cast<int>(SendDlgItemMessageW(panel, c.slider, TBM_GETPOS, 0, 0));
    }

    static void show_label(HWND panel, const preamp_control& c) {
        dialog_item_set_text(panel, c.label, replaygain_preamp_label(position(panel, c)).c_str());
    }

    // The host learns that the panel changed: WM_COMMAND with the panel's id, the panel as lParam.
    static void notify_host(HWND panel) {
        HWND host = GetParent(panel);
        if (host)
            PostMessageW(host, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(panel), 0), reinterpret_cast<LPARAM>(panel));
    }

    // The help page opens when a modal interaction may start, or when the one running is the window that
    // holds this panel (its own settings dialog); otherwise the running one comes to the front.
    static void open_help(HWND panel) {
        HWND root = GetAncestor(panel, GA_ROOT);
        if (!modal_scope::can_start() && !(modal_scope::is_active() && modal_scope::active_window() == root)) {
            modal_scope::bring_to_front();
            return;
        }
        kpl::utf8_string_pow2 address;
        if (!kpl::lookup_text("link_replaygain", address) || address.length() == 0) address = k_help_address;
        shell_execute(root, nullptr, address.c_str());
    }

    replaygain_settings m_initial;
    dialog_resize_helper m_resizer;
    HFONT m_heading_font = nullptr;
    bool m_window_owns = false;
};

class replaygain_dialog final : public dialog_object {
public:
    replaygain_dialog(replaygain_settings& settings, const char* name) : m_settings(settings), m_name(name) {}

    bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
        switch (message) {
            case WM_INITDIALOG:
                initialise(dialog);
                result = TRUE;
                return true;
            case WM_COMMAND:
                if (LOWORD(wparam) == IDOK) {
                    if (m_panel) SendMessageW(m_panel, replaygain_settings_service::msg_panel_store, 0,
                                              reinterpret_cast<LPARAM>(&m_settings));
                    EndDialog(dialog, 1);
                    return true;
                }
                if (LOWORD(wparam) == IDCANCEL) {
                    EndDialog(dialog, 0);
                    return true;
                }
                return false;
            default:
                return false;
        }
    }

private:
    void initialise(HWND dialog) {
        static const dialog_text texts[] = {{IDOK, "dialog_ok"}, {IDCANCEL, "dialog_cancel"}};
        dialog_set_texts(dialog, texts, 2);
        if (m_name && *m_name) {
            kpl::utf8_string_pow2 caption("ReplayGain Settings - ");
            caption << m_name;
            window_set_text(dialog, caption);
        }
        m_panel = replaygain_create_panel(m_settings, dialog, IDC_REPLAYGAIN_PANEL);
        if (!m_panel) return;
        RECT client, panel;
        GetClientRect(dialog, &client);
        GetWindowRect(m_panel, &panel);
        const int margin = (client.right - (panel.right - panel.left)) / 2;
        SetWindowPos(m_panel, HWND_TOP, margin, margin, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    }

    replaygain_settings& m_settings;
    const char* m_name;
    HWND m_panel = nullptr;
};

}  // namespace

HWND replaygain_create_panel(const replaygain_settings& settings, HWND parent, int control_id) {
    register_separator_window_class();
    replaygain_panel* panel = new replaygain_panel(settings);
    HWND window = nullptr;
    try {
        window = panel->create_modeless(parent, IDD_REPLAYGAIN_PANEL);
    } catch (...) {
        delete panel;
        throw;
    }
    panel->give_to_window();
    SetWindowLongPtrW(window, GWLP_ID, control_id);
    ShowWindow(window, SW_SHOW);
    return window;
}

bool replaygain_run_dialog(replaygain_settings& settings, HWND parent, const char* name) {
    replaygain_dialog dialog(settings, name);
    return dialog.run_modal(parent, IDD_REPLAYGAIN_DIALOG) == 1;
}
