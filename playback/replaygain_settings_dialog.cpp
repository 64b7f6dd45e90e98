// The ReplayGain settings panel (dialog 207) and the modal dialog that hosts it (dialog 675, through
// settings_panel_host).
#include "playback/replaygain_settings_dialog.h"

#include <commctrl.h>

#include "foundation/kpl/text_lookup.h"
#include "foundation/win32/dialog.h"
#include "foundation/win32/dialog_resize.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/shell.h"
#include "foundation/win32/window_text.h"
#include "playback/replaygain_preamp_scale.h"
#include "playback/replaygain_settings_service.h"
#include "playback/settings_panel_host.h"
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

class replaygain_panel final : public settings_panel {
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
        m_heading_font = settings_heading_font(panel);
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
};

}  // namespace

HWND replaygain_create_panel(const replaygain_settings& settings, HWND parent, int control_id) {
    register_separator_window_class();
    return settings_panel::create(new replaygain_panel(settings), parent, IDD_REPLAYGAIN_PANEL, control_id);
}

bool replaygain_run_dialog(replaygain_settings& settings, HWND parent, const char* name) {
    settings_panel_host host;
    host.dialog_resource = IDD_REPLAYGAIN_DIALOG;
    host.caption_prefix = "ReplayGain Settings - ";
    host.placement = settings_panel_host::centred;
    host.create_panel = [&settings](HWND dialog) {
        return replaygain_create_panel(settings, dialog, IDC_REPLAYGAIN_PANEL);
    };
    host.store_message = replaygain_settings_service::msg_panel_store;
    host.store_target = &settings;
    return run_settings_panel_host(host, parent, name);
}
