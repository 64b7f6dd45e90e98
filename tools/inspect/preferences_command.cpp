// The preferences dialog from vorn-inspect, and a look at the controls of any open window.
//
// vorn-inspect preferences PROFILE [PAGE-GUID] [--show] [--portable]
//
// PROFILE becomes the profile folder (made when missing) and its config.dat is loaded; the dialog opens as
// the player's "Preferences" command opens it (at PAGE-GUID when given) over a stand-in main window, and
// the tool runs the message loop until the dialog is closed. Apply saves config.dat at once, as in the
// player. "opened" is written when the dialog is up; when it has closed (or at once with --show, which opens
// nothing) the stored settings are printed, fields separated by TABs:
//     monitor 0|1                          "Monitor music folders for changes"
//     system-folders 0|1                   "Include Windows music library folders"
//     folder PATH                          per watched folder, in stored order
//     output MODULE-GUID DEVICE-GUID
//     replaygain SOURCE PROCESSING WITH WITHOUT   (preamps in dB, 2 decimals)
// --portable runs the pages as in portable-library mode; --device GUID first stores that output device
// (the module stays), as if it had been configured before.
//
// vorn-inspect controls TITLE
//
// Every child window (at any depth) of the first top-level window whose caption starts with TITLE, one line
// each, TAB-separated: "control", id, class, screen rectangle "LEFT TOP RIGHT BOTTOM", enabled|disabled,
// visible|hidden, state, text. The state is "check N" for check boxes, "items N selected K" for list views,
// combo boxes and tree views (K -1: none; a tree view adds "height H expanded I,J..." with the depth-first
// positions of its expanded items, "-" for none), "-" otherwise. Exit status 1 when no such window exists.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/guid.h"
#include "foundation/services/config_store.h"
#include "foundation/services/profile_folder.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/gdiplus.h"
#include "foundation/win32/win_string.h"
#include "library/media_library.h"
#include "playback/output/output_selection.h"
#include "playback/replaygain_settings_service.h"
#include "shell/app_state.h"
#include "shell/hidden_window.h"
#include "shell/main_thread_queue.h"
#include "shell/message_loop.h"
#include "tools/inspect/inspect_command.h"
#include "tools/inspect/stand_in_main_window.h"
#include "ui/preferences_dialog.h"

namespace {

// Written at once, so that a script driving the dialog sees it while the dialog is open.
void say(const std::string& text) {
    const std::string line = text + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void print_settings(inspect_output& out) {
    out.line(cfg_monitor_library_folders.get() ? "monitor\t1" : "monitor\t0");
    out.line(cfg_use_windows_library_folders.get() ? "system-folders\t1" : "system-folders\t0");
    for (const auto& folder : cfg_library_folders.get()) out.line((std::string("folder\t") + folder.c_str()).c_str());
    kpl::guid module, device;
    output_selection_get(module, device);
    out.line(("output\t" + inspect_guid_text(module) + "\t" + inspect_guid_text(device)).c_str());
    const replaygain_settings rg = replaygain_settings_get();
    char text[128];
    std::snprintf(text, sizeof(text), "replaygain\t%u\t%u\t%.2f\t%.2f", rg.source, rg.processing, rg.preamp_with_gain,
                  rg.preamp_without_gain);
    out.line(text);
}


int run_preferences(const inspect_arguments& args, inspect_output& out) {
    static const char* const options[] = {"show", "portable", "device", nullptr};
    args.expect(2, options);
    const std::string profile = inspect_path(args.required(0, "PROFILE")).c_str();
    kpl::guid page = kpl::guid_null;
    if (args.positional.count() > 1) page = kpl::guid_from_text(args.positional[1].c_str());
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    kpl::wide_array wide;
    kpl::utf8_to_wide_array(wide, profile.c_str());
    CreateDirectoryW(wide.c_str(), nullptr);
    profile_folder::set(("file://" + profile).c_str());
    const std::string config = "file://" + profile + "\\config.dat";
    config_store::program().load(config.c_str(), true);
    app_state.portable_library = args.option("portable") != nullptr;
    if (const char* device = args.option("device")) {
        kpl::guid module, stored;
        output_selection_get(module, stored);
        output_selection_set(module, kpl::guid_from_text(device));
    }

    if (!args.option("show")) {
        const ULONG_PTR gdiplus = gdiplus_startup();
        {
            stand_in_main_window main_window;
            preferences_dialog::show_page(page);
            say("opened");
            while (preferences_dialog::window()) {
                dispatch_waiting_messages();
                if (preferences_dialog::window()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            }
        }
        gdiplus_shutdown(gdiplus);
    }
    print_settings(out);
    return 0;
}

struct window_search {
    std::wstring prefix;
    HWND found = nullptr;
};

BOOL CALLBACK find_top_level(HWND window, LPARAM data) {
    window_search& search = *reinterpret_cast<window_search*>(data);
    wchar_t title[512] = {};
    GetWindowTextW(window, title, 512);
    if (IsWindowVisible(window) && std::wstring(title).compare(0, search.prefix.size(), search.prefix) == 0) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

// A message to another program's control, given up after 2 s (a busy program leaves the answer -2).
LRESULT ask(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(control, message, wparam, lparam, SMTO_ABORTIFHUNG | SMTO_BLOCK, 2000, &answer)) return -2;
    return static_cast<LRESULT>(answer);
}

// The positions (depth first, from 0) of a tree view's expanded items, joined with ","; "-" for none.
std::string expanded_items(HWND tree) {
    std::string out;
    int index = 0;
    std::vector<LRESULT> pending;  // items still to visit, the next one last
    for (LRESULT item = ask(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0); item > 0;
         item = ask(tree, TVM_GETNEXTITEM, TVGN_NEXT, item))
        pending.insert(pending.begin(), item);
    while (!pending.empty() && index < 10000) {
        const LRESULT item = pending.back();
        pending.pop_back();
        if (ask(tree, TVM_GETITEMSTATE, static_cast<WPARAM>(item), TVIS_EXPANDED) & TVIS_EXPANDED)
            out += (out.empty() ? "" : ",") + std::to_string(index);
        ++index;
        std::vector<LRESULT> children;
        for (LRESULT child = ask(tree, TVM_GETNEXTITEM, TVGN_CHILD, item); child > 0;
             child = ask(tree, TVM_GETNEXTITEM, TVGN_NEXT, child))
            children.insert(children.begin(), child);
        pending.insert(pending.end(), children.begin(), children.end());
    }
    return out.empty() ? "-" : out;
}

std::string control_state(HWND control, const std::wstring& window_class) {
    char text[64] = "-";
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    if (_wcsicmp(window_class.c_str(), L"Button") == 0) {
        const LONG kind = style & BS_TYPEMASK;
        if (kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX || kind == BS_RADIOBUTTON || kind == BS_AUTORADIOBUTTON ||
            kind == BS_3STATE || kind == BS_AUTO3STATE)
            std::snprintf(text, sizeof(text), "check %d", static_cast<int>(ask(control, BM_GETCHECK, 0, 0)));
    } else if (_wcsicmp(window_class.c_str(), L"ComboBox") == 0) {
        std::snprintf(text, sizeof(text), "items %d selected %d", static_cast<int>(ask(control, CB_GETCOUNT, 0, 0)),
                      static_cast<int>(ask(control, CB_GETCURSEL, 0, 0)));
    } else if (_wcsicmp(window_class.c_str(), L"SysListView32") == 0) {
        std::snprintf(text, sizeof(text), "items %d selected %d",
                      static_cast<int>(ask(control, LVM_GETITEMCOUNT, 0, 0)),
                      static_cast<int>(ask(control, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)));
    } else if (_wcsicmp(window_class.c_str(), L"SysTreeView32") == 0) {
        std::snprintf(text, sizeof(text), "items %d selected %d height %d",
                      static_cast<int>(ask(control, TVM_GETCOUNT, 0, 0)),
                      ask(control, TVM_GETNEXTITEM, TVGN_CARET, 0) ? 1 : -1,
                      static_cast<int>(ask(control, TVM_GETITEMHEIGHT, 0, 0)));
        return text + (" expanded " + expanded_items(control));
    }
    return text;
}

BOOL CALLBACK list_control(HWND control, LPARAM data) {
    inspect_output& out = *reinterpret_cast<inspect_output*>(data);
    wchar_t window_class[128] = {};
    GetClassNameW(control, window_class, 128);
    wchar_t title[512] = {};
    GetWindowTextW(control, title, 512);
    RECT r = {};
    GetWindowRect(control, &r);
    const kpl::utf8_string_pow2 class_text = utf16_to_utf8_string(window_class);
    const kpl::utf8_string_pow2 title_text = utf16_to_utf8_string(title);
    char place[96];
    std::snprintf(place, sizeof(place), "%ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
    std::string line = "control\t" + std::to_string(GetDlgCtrlID(control)) + "\t" + class_text.c_str() + "\t" + place +
                       "\t" + (IsWindowEnabled(control) ? "enabled" : "disabled") + "\t" +
                       (IsWindowVisible(control) ? "visible" : "hidden") + "\t" + control_state(control, window_class) +
                       "\t" + title_text.c_str();
    out.line(line.c_str());
    return TRUE;
}

struct tooltip_search {
    DWORD process;
    inspect_output* out;
};

BOOL CALLBACK list_tooltip(HWND window, LPARAM data) {
    tooltip_search& search = *reinterpret_cast<tooltip_search*>(data);
    wchar_t window_class[64] = {};
    GetClassNameW(window, window_class, 64);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search.process || !IsWindowVisible(window) || _wcsicmp(window_class, TOOLTIPS_CLASSW) != 0)
        return TRUE;
    RECT r = {};
    GetWindowRect(window, &r);
    char place[96];
    std::snprintf(place, sizeof(place), "tooltip\t%ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
    search.out->line(place);
    return TRUE;
}

int run_controls(const inspect_arguments& args, inspect_output& out) {
    args.expect(1, nullptr);
    window_search search;
    kpl::wide_array prefix;
    kpl::utf8_to_wide_array(prefix, args.required(0, "TITLE"));
    search.prefix = prefix.c_str();
    EnumWindows(&find_top_level, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return 1;
    RECT r = {};
    GetWindowRect(search.found, &r);
    char place[96];
    std::snprintf(place, sizeof(place), "window\t%ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
    out.line(place);
    EnumChildWindows(search.found, &list_control, reinterpret_cast<LPARAM>(&out));
    tooltip_search tips = {0, &out};
    GetWindowThreadProcessId(search.found, &tips.process);
    EnumWindows(&list_tooltip, reinterpret_cast<LPARAM>(&tips));
    return 0;
}

inspect_command g_preferences("preferences", "PROFILE [PAGE-GUID] [--show] [--portable] [--device GUID]",
                              "opens the preferences dialog over the profile (at the page); prints the stored "
                              "folder, output and ReplayGain settings when it has closed",
                              &run_preferences);
inspect_command g_controls("controls", "TITLE",
                           "lists the controls of the open window whose caption starts with TITLE: id, class, "
                           "screen rectangle, enabled, visible, state, text",
                           &run_controls);

}  // namespace
