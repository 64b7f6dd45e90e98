// The properties dialog from vorn-inspect, as the player's "Properties" command opens it, before the main
// window exists:
//
// vorn-inspect properties PATH... [+ PATH...]... [--tab N] [--profile DIR] [--trace]
//
// Each group of paths (groups separated by "+") is one selection (subsong 0 of each file); the next group's
// dialog opens once the previous one has closed. The player's environment stands around it: the language
// table, config.dat loaded from DIR and saved at exit, a hidden top-level window standing as the main
// window, the main-thread queue and the message loop with modeless-dialog routing and loop hooks.
// --tab gives the opener's tab value (0 by default: Shift held chooses the Properties tab).
//
// Output: "opened CAPTION" per dialog. Exit status 0 when the last one has closed, 1 when a load failed.
// --trace adds a line (fields separated by TABs) per change of the windows, as it happens, so that a script
// driving the dialogs can wait for the effect of each key or click:
//     focus TOP CLASS          the keyboard focus has moved to a window of class CLASS in the top-level window
//                              whose caption is TOP ("Properties - A  SysListView32")
//     enable TOP TEXT 0|1      a window was disabled or enabled; TEXT is "" for the top-level window itself,
//                              else the control's text ("Properties - A  Apply  1": something was modified)
//     caption TEXT             a top-level window's caption was set
//     text TOP TEXT            a static or edit control's text was set (a question's or report's message),
//                              line breaks and tabs as spaces
//     shown TEXT | gone TEXT   a top-level window was shown or destroyed
//     cell TOP ROW COLUMN TEXT a list view cell's text was set, or given anew to a list that asks its owner
//                              for the texts (its first 160 characters, control characters as spaces)
//     combo TOP TEXT           an item was added to a combo box's list (in the order they are added)
//     menu open | menu closed  a popup menu was shown or the last shown one went away
//     click TOP CLASS          the left mouse button went down on a window of class CLASS (as the message is
//                              taken from the queue)
//     key TOP CLASS CODE       a key went down (its virtual-key code) for a window of class CLASS (the same)
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/config_store.h"
#include "foundation/services/service_registry.h"
#include "metadata/track_handle.h"
#include "properties/properties_dialog.h"
#include "shell/app_state.h"
#include "shell/hidden_window.h"
#include "shell/main_thread_queue.h"
#include "shell/message_loop.h"
#include "tools/inspect/inspect_command.h"
#include "tools/inspect/stand_in_main_window.h"

namespace {

void write_now(const std::string& line) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

class dialog_events final : public properties_dialog_events {
public:
    dialog_events() = default;
    void on_opened(const char* caption) override {
        // Written at once (not collected), so that a script driving the dialog sees it while it is open.
        write_now(std::string("opened ") + caption + "\n");
    }
    void on_closed() override { ended = true; }
    void on_open_failed() override {
        ended = true;
        failed = true;
    }
    bool ended = false;
    bool failed = false;
};

std::string window_text(HWND window) {
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    char utf8[1536] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
}

// The text with its line breaks and tabs as spaces.
std::string one_line(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    return text;
}

std::string utf8_of(const wchar_t* text) {
    std::wstring cut = std::wstring(text).substr(0, 160);
    char utf8[512] = "";
    WideCharToMultiByte(CP_UTF8, 0, cut.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
    return one_line(utf8);
}

bool is_top_level(HWND window) { return !(GetWindowLongW(window, GWL_STYLE) & WS_CHILD); }

bool is_class(HWND window, const wchar_t* class_name) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return lstrcmpiW(name, class_name) == 0;
}

bool is_menu_window(HWND window) { return is_class(window, L"#32768"); }

// "cell TOP ROW COLUMN TEXT" for a list item's text.
std::string cell_line(HWND top, const LVITEMW& item) {
    std::wstring text = std::wstring(item.pszText).substr(0, 160);
    for (wchar_t& c : text)
        if (c < 0x20) c = L' ';
    char utf8[512] = "";
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
    return "cell\t" + window_text(top) + "\t" + std::to_string(item.iItem) + "\t" + std::to_string(item.iSubItem) +
           "\t" + utf8;
}

// The texts last given to owner-data lists, by list, row and column.
std::map<std::tuple<HWND, int, int>, std::wstring>& owner_data_cells() {
    static std::map<std::tuple<HWND, int, int>, std::wstring> cells;
    return cells;
}

std::set<HWND>& menu_windows() {
    static std::set<HWND> shown;
    return shown;
}

// The trace lines of --trace, from a hook that sees every message sent to a window of this thread once the
// window has handled it.
LRESULT CALLBACK trace_hook(int code, WPARAM wparam, LPARAM lparam) {
    try {
        const CWPRETSTRUCT* m = reinterpret_cast<const CWPRETSTRUCT*>(lparam);
        if (code == HC_ACTION && m && IsWindow(m->hwnd)) {
            const HWND top = GetAncestor(m->hwnd, GA_ROOT);
            std::string line;
            switch (m->message) {
                case WM_SETFOCUS: {
                    wchar_t name[64] = L"";
                    GetClassNameW(m->hwnd, name, 64);
                    char utf8[192] = "";
                    WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof utf8, nullptr, nullptr);
                    line = "focus\t" + window_text(top) + "\t" + utf8;
                    break;
                }
                case WM_ENABLE:
                    line = "enable\t" + window_text(top) + "\t" + (m->hwnd == top ? "" : window_text(m->hwnd)) + "\t" +
                           (m->wParam ? "1" : "0");
                    break;
                case WM_SETTEXT:
                    if (m->hwnd == top && is_top_level(m->hwnd))
                        line = "caption\t" + window_text(m->hwnd);
                    else if (is_class(m->hwnd, L"Static") || is_class(m->hwnd, L"Edit"))
                        line = "text\t" + window_text(top) + "\t" + one_line(window_text(m->hwnd));
                    break;
                case WM_SHOWWINDOW:
                    if (m->wParam && m->hwnd == top) line = "shown\t" + window_text(m->hwnd);
                    break;
                case WM_DESTROY:
                    if (m->hwnd == top && is_top_level(m->hwnd)) line = "gone\t" + window_text(m->hwnd);
                    break;
                case LVM_SETITEMW: {
                    const LVITEMW* item = reinterpret_cast<const LVITEMW*>(m->lParam);
                    if (item && (item->mask & LVIF_TEXT) && item->pszText && item->pszText != LPSTR_TEXTCALLBACKW)
                        line = cell_line(top, *item);
                    break;
                }
                case CB_ADDSTRING:
                    if (m->lParam && (GetWindowLongW(m->hwnd, GWL_STYLE) & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) == 0)
                        line = "combo\t" + window_text(top) + "\t" + utf8_of(reinterpret_cast<const wchar_t*>(m->lParam));
                    break;
                case WM_NOTIFY: {
                    // A list that keeps no text of its own asks its owner for each cell as it paints it: a cell
                    // is reported when the text given differs from the one given for it before.
                    const NMLVDISPINFOW* info = reinterpret_cast<const NMLVDISPINFOW*>(m->lParam);
                    if (!info || info->hdr.code != LVN_GETDISPINFOW || !(info->item.mask & LVIF_TEXT) ||
                        !info->item.pszText || info->item.pszText == LPSTR_TEXTCALLBACKW ||
                        !(GetWindowLongW(info->hdr.hwndFrom, GWL_STYLE) & LVS_OWNERDATA))
                        break;
                    std::wstring& given = owner_data_cells()[{info->hdr.hwndFrom, info->item.iItem, info->item.iSubItem}];
                    if (given != info->item.pszText) {
                        given = info->item.pszText;
                        line = cell_line(top, info->item);
                    }
                    break;
                }
            }
            if (m->message == WM_DESTROY) {
                auto& cells = owner_data_cells();
                for (auto it = cells.begin(); it != cells.end();)
                    it = std::get<0>(it->first) == m->hwnd ? cells.erase(it) : std::next(it);
            }
            // Popup menus (also those opened without notifications to their owner) by their own windows:
            // "open" when the first one is shown, "closed" when the last one is gone.
            if ((m->message == WM_WINDOWPOSCHANGED || m->message == WM_DESTROY) && is_menu_window(m->hwnd)) {
                const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(m->lParam);
                const bool shown = m->message == WM_WINDOWPOSCHANGED && pos && (pos->flags & SWP_SHOWWINDOW);
                const bool hidden = m->message == WM_DESTROY ||
                                    (m->message == WM_WINDOWPOSCHANGED && pos && (pos->flags & SWP_HIDEWINDOW));
                if (shown && menu_windows().insert(m->hwnd).second && menu_windows().size() == 1) line = "menu\topen";
                if (hidden && menu_windows().erase(m->hwnd) && menu_windows().empty()) line = "menu\tclosed";
            }
            if (!line.empty()) write_now(line + "\n");
        }
    } catch (...) {
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

// The "click" and "key" lines, from a hook that sees the messages taken from this thread's queue.
LRESULT CALLBACK click_hook(int code, WPARAM wparam, LPARAM lparam) {
    try {
        const MSG* m = reinterpret_cast<const MSG*>(lparam);
        const bool key = m && (m->message == WM_KEYDOWN || m->message == WM_SYSKEYDOWN);
        if (code == HC_ACTION && wparam == PM_REMOVE && m && (m->message == WM_LBUTTONDOWN || key) &&
            IsWindow(m->hwnd)) {
            wchar_t name[64] = L"";
            GetClassNameW(m->hwnd, name, 64);
            char utf8[192] = "";
            WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof utf8, nullptr, nullptr);
            std::string line = (key ? "key\t" : "click\t") + window_text(GetAncestor(m->hwnd, GA_ROOT)) + "\t" + utf8;
            if (key) line += "\t" + std::to_string(m->wParam);
            write_now(line + "\n");
        }
    } catch (...) {
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

struct trace_scope {
    explicit trace_scope(bool on) {
        if (!on) return;
        sent = SetWindowsHookExW(WH_CALLWNDPROCRET, &trace_hook, nullptr, GetCurrentThreadId());
        taken = SetWindowsHookExW(WH_GETMESSAGE, &click_hook, nullptr, GetCurrentThreadId());
    }
    ~trace_scope() {
        if (sent) UnhookWindowsHookEx(sent);
        if (taken) UnhookWindowsHookEx(taken);
    }
    HHOOK sent = nullptr;
    HHOOK taken = nullptr;
};


int run_properties(const inspect_arguments& args, inspect_output&) {
    static const char* const known[] = {"tab", "profile", "trace", nullptr};
    args.expect(0xFFFFFFFF, known);
    int tab = 0;
    if (const char* value = args.option("tab")) tab = std::atoi(value);
    std::vector<std::vector<std::string>> groups(1);
    for (uint32_t i = 0; i < args.positional.count(); ++i) {
        if (args.positional[i] == "+") {
            groups.emplace_back();
            continue;
        }
        groups.back().push_back(std::string("file://") + inspect_path(args.positional[i].c_str()).c_str());
    }
    for (const auto& group : groups)
        if (group.empty()) throw kpl::exception_invalid_params("properties: every group needs a path");

    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    std::string config;
    if (const char* profile = args.option("profile")) {
        config = std::string("file://") + inspect_path(profile).c_str() + "\\config.dat";
        config_store::program().load(config.c_str(), true);
    }
    dialog_events events;
    properties_dialog_set_events(&events);
    int status = 0;
    {
        trace_scope trace(args.has_option("trace"));
        stand_in_main_window window;
        for (const auto& group : groups) {
            std::vector<track_handle_ref> tracks;
            for (const std::string& location : group) {
                track_handle_ref track;
                track_handle_registry::get().get_handle(track, track_location(location.c_str(), 0));
                tracks.push_back(track);
            }
            events.ended = false;
            open_properties_dialog(tracks, tab);
            while (!events.ended) {
                dispatch_waiting_messages();
                if (!events.ended) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            }
            if (events.failed) {
                status = 1;
                break;
            }
        }
    }
    properties_dialog_set_events(nullptr);
    if (!config.empty()) config_store::program().save_now(config.c_str());
    if (status) throw ketrel_io::exception_io_data("properties: the files of a group could not be loaded");
    return status;
}

inspect_command g_properties("properties", "PATH... [+ PATH...]... [--tab N] [--profile DIR] [--trace]",
                             "opens the properties dialog over the files as the player's Properties command does, one group after another",
                             &run_properties);

}  // namespace
