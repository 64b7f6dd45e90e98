// The main window (ui/main_window_object.h): creation, messages, commands, buttons and the glue between the
// browse view, the item list and playback.
#include "ui/main_window_object.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/hotkeys.h"
#include "foundation/win32/menus.h"
#include "library/folder_tree_node.h"
#include "library/folder_view_node.h"
#include "library/library_view_model.h"
#include "playback/play_order.h"
#include "playback/playback_controller.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/command_model.h"
#include "shell/crash_handler.h"
#include "shell/debug_log.h"
#include "shell/localization.h"
#include "shell/menu_builders.h"
#include "shell/menu_nodes.h"
#include "shell/separator_window.h"
#include "shell/shortcut_table.h"
#include "library/library_manager.h"
#include "library/media_library.h"
#include "ui/item_context_menu.h"
#include "ui/show_folder.h"
#include "ui/navigation_line.h"
#include "ui/navigation_state.h"
#include "ui/open_locations.h"
#include "ui/play_selection.h"
#include "ui/main_window_rules.h"
#include "ui/volume_scale.h"
#include "ui/xbutton.h"

namespace {

constexpr UINT_PTR k_seek_timer = 51234;

main_window_object* g_instance = nullptr;

std::wstring wide(const char* text) {
    if (text == nullptr || *text == 0) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &out[0], n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

std::wstring window_text(HWND window) {
    int n = GetWindowTextLengthW(window);
    std::wstring out(static_cast<size_t>(n) + 1, L'\0');
    int got = GetWindowTextW(window, &out[0], n + 1);
    out.resize(static_cast<size_t>(got < 0 ? 0 : got));
    return out;
}

playback_controller& controller() {
    static service_ptr<playback_controller> one;
    if (!one) service_class::get_single(one);
    return *one;
}

play_order_manager& play_order() {
    static service_ptr<play_order_manager> one;
    if (!one) service_class::get_single(one);
    return *one;
}

playback_listener_registry& listener_registry() {
    static service_ptr<playback_listener_registry> one;
    if (!one) service_class::get_single(one);
    return *one;
}

message_loop_hooks& loop_hooks() {
    static service_ptr<message_loop_hooks> one;
    if (!one) service_class::get_single(one);
    return *one;
}

// The transport buttons painted by the window.
const int k_buttons[] = {IDC_MAIN_PAUSE,  IDC_MAIN_VOLUME,  IDC_MAIN_REPEAT,      IDC_MAIN_FULLSCREEN,
                         IDC_MAIN_MENU,   IDC_MAIN_BACK,    IDC_MAIN_FORWARD,     IDC_MAIN_REWIND,
                         IDC_MAIN_FAST_FORWARD, IDC_MAIN_PLAY};

bool is_button(int id) {
    for (int each : k_buttons)
        if (each == id) return true;
    return false;
}

const dialog_anchor k_anchors[] = {
    {IDC_MAIN_BACK, 0, 0, 0, 0},          {IDC_MAIN_FORWARD, 0, 0, 0, 0},
    {IDC_MAIN_PLAY, 0, 0, 0, 0},          {IDC_MAIN_CAPTION, 0, 0, 1, 0},
    {IDC_MAIN_NAVIGATION, 0, 0, 1, 0},    {IDC_MAIN_LIST, 0, 0, 1, 1},
    {IDC_MAIN_PAUSE, 0, 0, 0, 0},         {IDC_MAIN_VOLUME, 0, 0, 0, 0},
    {IDC_MAIN_FULLSCREEN, 1, 0, 1, 0},    {IDC_MAIN_MENU, 1, 0, 1, 0},
    {IDC_MAIN_HEADING, 0, 0, 1, 0},       {IDC_MAIN_NOW_PLAYING_1, 0, 0, 1, 0},
    {IDC_MAIN_NOW_PLAYING_2, 0, 0, 1, 0}, {IDC_MAIN_INDEXING, 0.5f, 0.5f, 0.5f, 0.5f},
};

struct control_text {
    int id;
    const char* text_id;
};
const control_text k_texts[] = {
    {IDC_MAIN_HEADING, "ui_music_library"}, {IDC_MAIN_PAUSE, "ui_pause"},
    {IDC_MAIN_VOLUME, "ui_volume"},         {IDC_MAIN_REWIND, "ui_rewind"},
    {IDC_MAIN_FAST_FORWARD, "ui_fastforward"}, {IDC_MAIN_REPEAT, "ui_repeat"},
    {IDC_MAIN_FULLSCREEN, "ui_fullscreen"}, {IDC_MAIN_MENU, "ui_menu"},
    {IDC_MAIN_BACK, "ui_back"},             {IDC_MAIN_FORWARD, "ui_forward"},
    {IDC_MAIN_PLAY, "ui_play"},             {IDC_MAIN_INDEXING, "ui_indexing"},
};

HFONT scaled_font(HFONT base, double factor, int weight) {
    LOGFONTW font = {};
    if (base == nullptr || GetObjectW(base, sizeof(font), &font) == 0) return nullptr;
    font.lfHeight = main_window_rules::scaled_font_height(font.lfHeight, factor);
    if (weight != 0) font.lfWeight = weight;
    return CreateFontIndirectW(&font);
}

// The point clamped into the work area of the nearest monitor when it lies on no monitor.
POINT clamp_to_monitor(POINT at) {
    if (MonitorFromPoint(at, MONITOR_DEFAULTTONULL) != nullptr) return at;
    HMONITOR nearest = MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (nearest != nullptr && GetMonitorInfoW(nearest, &info)) {
        at.x = std::max(info.rcWork.left, std::min(at.x, info.rcWork.right - 1));
    }
    return at;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Life

main_window_object* main_window_object::instance() { return g_instance; }

main_window_object* main_window_object::create(end_session_hook_function hook) {
    if (g_instance != nullptr) return g_instance;
    main_window_object* made = new main_window_object();
    try {
        made->m_hook = hook;
        register_separator_window_class();
        xbutton::register_class();
        g_instance = made;
        HWND window = CreateDialogParamW(app_module_handle(), MAKEINTRESOURCEW(IDD_MAIN_WINDOW), nullptr,
                                         &dialog_procedure, reinterpret_cast<LPARAM>(made));
        if (window == nullptr) throw exception_win32(GetLastError());
    } catch (...) {
        if (made->m_window != nullptr) DestroyWindow(made->m_window);
        g_instance = nullptr;
        delete made;
        throw;
    }
    return made;
}

void main_window_object::destroy() {
    main_window_object* object = g_instance;
    if (object == nullptr) return;
    if (object->m_window != nullptr) DestroyWindow(object->m_window);
    g_instance = nullptr;
    delete object;
}

main_window_object::main_window_object() {
    m_scheme_events.owner = this;
    m_picture_events.owner = this;
    try {
        loop_hooks().add_message_filter(this);
        m_registered_filter = true;
        listener_registry().register_listener(this, 0xFFFFFFFFu, false);
        m_registered_listener = true;
        color_scheme::add_scheme_listener(&m_scheme_events);
        color_scheme::add_album_pictures_listener(&m_picture_events);
        service_ptr<shortcut_table> shortcuts;
        service_class::get_single(shortcuts);
        service_ptr<shortcut_table_ext> shortcuts_ext;
        if (!service_query(shortcuts.get(), shortcuts_ext)) throw exception_service_extension_not_found();
        m_resizer.set_anchors_raw(k_anchors, sizeof(k_anchors) / sizeof(k_anchors[0]));
        m_resizer.set_min_size(250, 150);
        m_icons_dark = color_scheme::is_dark_background();
        m_now_playing_source.reset(new controller_now_playing_source(controller()));
        switch_view(cfg_navigation_state.get());
    } catch (...) {
        color_scheme::remove_album_pictures_listener(&m_picture_events);
        color_scheme::remove_scheme_listener(&m_scheme_events);
        if (m_registered_listener) listener_registry().unregister_listener(this);
        if (m_registered_filter) loop_hooks().remove_message_filter(this);
        throw;
    }
}

main_window_object::~main_window_object() {
    color_scheme::remove_album_pictures_listener(&m_picture_events);
    color_scheme::remove_scheme_listener(&m_scheme_events);
    if (m_registered_listener) listener_registry().unregister_listener(this);
    if (m_registered_filter) loop_hooks().remove_message_filter(this);
    for (HICON& icon : m_row_icons)
        if (icon != nullptr) DestroyIcon(icon);
    if (m_big_icon != nullptr) DestroyIcon(m_big_icon);
    if (m_small_icon != nullptr) DestroyIcon(m_small_icon);
    if (m_heading_font != nullptr) DeleteObject(m_heading_font);
    if (m_link_font_large != nullptr) DeleteObject(m_link_font_large);
    if (m_link_font_small != nullptr) DeleteObject(m_link_font_small);
    if (m_accelerators != nullptr) DestroyAcceleratorTable(m_accelerators);
    if (m_tooltip != nullptr) DestroyWindow(m_tooltip);
    m_picture.drop();
    m_images.clear();
    m_view.reset();
}

// ---------------------------------------------------------------------------------------------------------
// Messages

INT_PTR CALLBACK main_window_object::dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    try {
        main_window_object* self;
        if (message == WM_INITDIALOG) {
            self = reinterpret_cast<main_window_object*>(lparam);
            SetWindowLongPtrW(dialog, DWLP_USER, lparam);
            self->m_window = dialog;
        } else {
            self = reinterpret_cast<main_window_object*>(GetWindowLongPtrW(dialog, DWLP_USER));
        }
        if (self == nullptr) return FALSE;
        return self->handle(message, wparam, lparam);
    } catch (...) {
        crash_from_callback();
    }
}

INT_PTR main_window_object::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_DESTROY) {
        KillTimer(m_window, k_seek_timer);
        LRESULT ignored;
        m_resizer.on_message(m_window, message, wparam, lparam, ignored);
        return TRUE;
    }
    if (message == WM_INITDIALOG) {
        // The list takes the placeholder's place before the resizer records the layout.
        HWND placeholder = GetDlgItem(m_window, IDC_MAIN_LIST);
        RECT rect = {};
        GetWindowRect(placeholder, &rect);
        MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&rect), 2);
        DestroyWindow(placeholder);
        HWND list = m_list.create(m_window, rect, IDC_MAIN_LIST);
        m_list.set_after_paint(&after_first_paint, this);
        SendMessageW(list, WM_SETFONT, SendMessageW(m_window, WM_GETFONT, 0, 0), TRUE);
        SetWindowPos(list, GetDlgItem(m_window, IDC_MAIN_NAVIGATION), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ShowWindow(list, SW_SHOW);
    }
    LRESULT result = 0;
    if (m_resizer.on_message(m_window, message, wparam, lparam, result)) {
        SetWindowLongPtrW(m_window, DWLP_MSGRESULT, result);
        return TRUE;
    }
    if (message == WM_APPCOMMAND) {
        int command = GET_APPCOMMAND_LPARAM(lparam);
        if (command == APPCOMMAND_BROWSER_BACKWARD || command == APPCOMMAND_BROWSER_FORWARD) {
            if (command == APPCOMMAND_BROWSER_BACKWARD)
                history_back();
            else
                history_forward();
            SetWindowLongPtrW(m_window, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
    }
    if (m_hook != nullptr && m_hook(m_window, message, wparam, lparam, result)) {
        SetWindowLongPtrW(m_window, DWLP_MSGRESULT, result);
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        init_dialog();
        return FALSE;
    case WM_CLOSE:
        main_menu_command_finder::run_by_guid(shell_commands::exit);
        return TRUE;
    case WM_NOTIFY: {
        LRESULT answer = 0;
        if (handle_notify(reinterpret_cast<NMHDR*>(lparam), answer)) {
            SetWindowLongPtrW(m_window, DWLP_MSGRESULT, answer);
            return TRUE;
        }
        return FALSE;
    }
    case WM_CONTEXTMENU: {
        HWND from = reinterpret_cast<HWND>(wparam);
        POINT at = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
        if (from != m_list.window()) {
            show_main_menu(at);
        } else if (at.x == -1 && at.y == -1) {
            uint32_t caret = m_list.selection().caret();
            if (caret < m_list.selection().count()) {
                RECT cell = item_list::cell_rect(m_list.current_layout(), caret);
                POINT corner = {cell.left - m_list.current_layout().scroll_x,
                                cell.bottom - m_list.current_layout().scroll_y};
                ClientToScreen(m_list.window(), &corner);
                show_context_menu(corner);
            }
        } else {
            show_context_menu(at);
        }
        return TRUE;
    }
    case WM_COMMAND:
        handle_command(LOWORD(wparam), HIWORD(wparam));
        return TRUE;
    case WM_TIMER:
        if (wparam == k_seek_timer) {
            seek_tick();
            return TRUE;
        }
        return FALSE;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<INT_PTR>(control_color(reinterpret_cast<HDC>(wparam)));
    case WM_DROPFILES: {
        HDROP drop = reinterpret_cast<HDROP>(wparam);
        std::vector<std::wstring> paths;
        UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            UINT length = DragQueryFileW(drop, i, nullptr, 0);
            std::wstring path(length + 1, L'\0');
            DragQueryFileW(drop, i, &path[0], length + 1);
            path.resize(length);
            paths.push_back(path);
        }
        DragFinish(drop);
        if (!paths.empty()) open_locations(paths, false);
        return TRUE;
    }
    case WM_THEMECHANGED:
        colors_changed();
        return FALSE;
    default:
        return FALSE;
    }
}

// The list's first paint: one debugger line with the rows shown and the time since the process was
// created, so that start-up can be timed from outside ("First painted view: 12 rows, 640 ms after start").
void main_window_object::after_first_paint(void* context) {
    main_window_object* self = static_cast<main_window_object*>(context);
    self->m_list.set_after_paint(nullptr, nullptr);
    FILETIME created = {}, ended, kernel, user, now = {};
    GetSystemTimeAsFileTime(&now);
    uint64_t elapsed_ms = 0;
    if (GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) {
        const uint64_t from = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
        const uint64_t to = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
        if (to > from) elapsed_ms = (to - from) / 10000;
    }
    kpl::utf8_string_pow2 line("First painted view: ");
    line << static_cast<uint32_t>(self->m_items.size()) << " rows, " << static_cast<uint32_t>(elapsed_ms)
         << " ms after start";
    debug_log(line.c_str());
}

void main_window_object::init_dialog() {
    SetWindowTextW(m_window, L"Vorn Audio Player");
    for (int id : {IDC_MAIN_NOW_PLAYING_1, IDC_MAIN_NOW_PLAYING_2, IDC_MAIN_CAPTION, IDC_MAIN_NAVIGATION})
        link_line_colors::attach(GetDlgItem(m_window, id), &line_colors, this);
    try {
        m_big_icon = pictures::png_icon(IDR_PROGRAM_PICTURE, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
        m_small_icon =
            pictures::png_icon(IDR_PROGRAM_PICTURE, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
    } catch (std::exception&) {
    }
    if (m_big_icon != nullptr) SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_big_icon));
    if (m_small_icon != nullptr)
        SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_small_icon));
    for (const control_text& each : k_texts)
        SetDlgItemTextW(m_window, each.id, wide(localization_table::get_text(each.text_id)).c_str());
    m_accelerators = LoadAcceleratorsW(app_module_handle(), MAKEINTRESOURCEW(IDR_MAIN_ACCELERATORS));

    node_path path;
    m_view->get_path(path);
    m_history.push(view_path{m_view->kind(), path});
    m_back = GetDlgItem(m_window, IDC_MAIN_BACK);
    m_forward = GetDlgItem(m_window, IDC_MAIN_FORWARD);
    m_play = GetDlgItem(m_window, IDC_MAIN_PLAY);
    for (int id : k_buttons) InvalidateRect(GetDlgItem(m_window, id), nullptr, TRUE);

    m_volume_icon = volume_scale::icon_for(controller().get_volume());

    refresh({}, {}, nullptr);
    update_now_playing();
    update_transport();

    HFONT font = reinterpret_cast<HFONT>(SendMessageW(m_window, WM_GETFONT, 0, 0));
    m_heading_font = scaled_font(font, 1.1, 100);
    m_link_font_large = scaled_font(font, 1.1, 0);
    m_link_font_small = scaled_font(font, 0.9, 0);
    if (m_heading_font) SendDlgItemMessageW(m_window, IDC_MAIN_HEADING, WM_SETFONT, (WPARAM)m_heading_font, TRUE);
    if (m_link_font_large)
        SendDlgItemMessageW(m_window, IDC_MAIN_CAPTION, WM_SETFONT, (WPARAM)m_link_font_large, TRUE);
    if (m_link_font_small)
        SendDlgItemMessageW(m_window, IDC_MAIN_NAVIGATION, WM_SETFONT, (WPARAM)m_link_font_small, TRUE);

    update_play_button();
    SendDlgItemMessageW(m_window, IDC_MAIN_REPEAT, BM_SETCHECK, play_order().get_repeat() ? BST_CHECKED : 0, 0);

    m_tooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, app_module_handle(),
                                nullptr);
    if (m_tooltip != nullptr) {
        const int tools[] = {IDC_MAIN_PLAY, IDC_MAIN_PAUSE, IDC_MAIN_REPEAT, IDC_MAIN_VOLUME, IDC_MAIN_BACK,
                             IDC_MAIN_FORWARD, IDC_MAIN_FULLSCREEN, IDC_MAIN_MENU, IDC_MAIN_REWIND,
                             IDC_MAIN_FAST_FORWARD};
        for (int id : tools) {
            wchar_t text[512] = {};
            GetDlgItemTextW(m_window, id, text, 512);
            TOOLINFOW tool = {};
            tool.cbSize = sizeof(tool);
            tool.uFlags = TTF_IDISHWND;
            tool.hwnd = m_window;
            tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(m_window, id));
            tool.lpszText = text;
            SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        SendMessageW(m_tooltip, TTM_ACTIVATE, TRUE, 0);
    }
    // The view may have reported indexing before the dialog existed.
    if (m_indexing) {
        m_indexing_shown = false;
        on_indexing_changed(true);
    }
    SetFocus(m_list.window());
    ShowWindow(m_window, SW_SHOW);
}

bool main_window_object::handle_notify(NMHDR* header, LRESULT& result) {
    int id = static_cast<int>(header->idFrom);
    if (id == IDC_MAIN_PLAY && static_cast<int>(header->code) == -1248) return true;  // BCN_DROPDOWN
    bool line = id == IDC_MAIN_NOW_PLAYING_1 || id == IDC_MAIN_NOW_PLAYING_2 || id == IDC_MAIN_CAPTION ||
                id == IDC_MAIN_NAVIGATION;
    if (line && (header->code == NM_CLICK || header->code == NM_RETURN)) {
        if (id == IDC_MAIN_NOW_PLAYING_1)
            go_to_playing_track();
        else
            open_link(id, reinterpret_cast<NMLINK*>(header)->item.iLink);
        return true;
    }
    if (header->code == NM_CUSTOMDRAW && is_button(id)) {
        result = paint_button(reinterpret_cast<NMCUSTOMDRAW*>(header)) ? CDRF_SKIPDEFAULT : CDRF_DODEFAULT;
        return true;
    }
    if (header->code == NM_CUSTOMDRAW && line) {
        NMCUSTOMDRAW* draw = reinterpret_cast<NMCUSTOMDRAW*>(header);
        if (draw->dwDrawStage == CDDS_PREPAINT) {
            result = CDRF_NOTIFYITEMDRAW;
        } else if (draw->dwDrawStage == CDDS_ITEMPREPAINT) {
            SetTextColor(draw->hdc, color(draw->dwItemSpec != static_cast<DWORD_PTR>(-1) ? 1 : 0));
            result = CDRF_DODEFAULT;
        }
        return true;
    }
    return false;
}

void main_window_object::handle_command(int id, int code) {
    if (code == xbutton::code_focus) {
        if (m_key_navigation) {
            m_show_focus_cues = true;
            InvalidateRect(GetDlgItem(m_window, id), nullptr, TRUE);
        }
        return;
    }
    if (code == xbutton::code_unfocus) {
        if (m_show_focus_cues) {
            m_show_focus_cues = false;
            InvalidateRect(GetDlgItem(m_window, id), nullptr, TRUE);
        }
        return;
    }
    if ((id == IDC_MAIN_REWIND || id == IDC_MAIN_FAST_FORWARD) && code == xbutton::code_pressed) {
        m_held_button = id;
        m_seeking = false;
        SetTimer(m_window, k_seek_timer, 500, nullptr);
        return;
    }
    if ((id == IDC_MAIN_REWIND || id == IDC_MAIN_FAST_FORWARD) && code == xbutton::code_released) {
        KillTimer(m_window, k_seek_timer);
        return;
    }
    if (id == IDC_MAIN_FULLSCREEN && code == 1) {  // F11
        bool wanted = main_window_rules::is_windowed(static_cast<uint32_t>(GetWindowLongW(m_window, GWL_STYLE)));
        SendDlgItemMessageW(m_window, IDC_MAIN_FULLSCREEN, BM_SETCHECK, wanted ? BST_CHECKED : 0, 0);
        toggle_full_screen(wanted);
        return;
    }
    if (code != 0) return;
    switch (id) {
    case IDC_MAIN_BACK:
        history_back();
        break;
    case IDC_MAIN_FORWARD:
        history_forward();
        break;
    case IDC_MAIN_PLAY:
        play(0);
        break;
    case IDC_MAIN_MENU: {
        HWND button = GetDlgItem(m_window, IDC_MAIN_MENU);
        RECT rect;
        GetWindowRect(button, &rect);
        SendMessageW(button, BM_SETCHECK, BST_CHECKED, 0);
        show_main_menu({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
        SendMessageW(button, BM_SETCHECK, 0, 0);
        break;
    }
    case IDC_MAIN_PAUSE:
        if (controller().is_playing())
            controller().set_paused(!controller().is_paused());
        else
            controller().start(1, false);
        break;
    case IDC_MAIN_VOLUME: {
        HWND button = GetDlgItem(m_window, IDC_MAIN_VOLUME);
        RECT rect;
        GetWindowRect(button, &rect);
        SendMessageW(button, BM_SETCHECK, BST_CHECKED, 0);
        volume_popup::run(m_window, {(rect.left + rect.right) / 2, rect.bottom}, *this, &listener_registry());
        SendMessageW(button, BM_SETCHECK, 0, 0);
        break;
    }
    case IDC_MAIN_FULLSCREEN:
        toggle_full_screen(SendDlgItemMessageW(m_window, IDC_MAIN_FULLSCREEN, BM_GETCHECK, 0, 0) == BST_CHECKED);
        break;
    case IDC_MAIN_REPEAT:
        play_order().set_repeat(SendDlgItemMessageW(m_window, IDC_MAIN_REPEAT, BM_GETCHECK, 0, 0) == BST_CHECKED);
        break;
    case IDOK:
        if (!go_deeper()) play(0);
        break;
    case IDCANCEL:
        leave_full_screen();
        break;
    case IDC_MAIN_REWIND:
        if (!m_seeking) controller().start(play_order_previous, false);
        m_seeking = false;
        break;
    case IDC_MAIN_FAST_FORWARD:
        if (!m_seeking) controller().start(play_order_next, false);
        m_seeking = false;
        break;
    default:
        break;
    }
}

bool main_window_object::pretranslate(MSG* msg) {
    if (m_tooltip != nullptr) SendMessageW(m_tooltip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
    if (m_window == nullptr) return false;
    if (m_accelerators != nullptr && TranslateAcceleratorW(m_window, m_accelerators, msg)) return true;
    struct shortcut_keys final : hotkey_handler {
        bool process_key(uint32_t code) override { return shortcut_table::get().process_key(code); }
    } keys;
    if (hotkey_from_key_message(*msg, keys, m_window)) return true;
    if ((msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) && msg->hwnd == m_list.window()) {
        unsigned modifiers = keyboard_modifier_state();
        bool alt_alone = modifiers == modifier_state_alt;
        if (msg->wParam == VK_BACK && modifiers == 0) {
            history_back();
            return true;
        }
        if (alt_alone && msg->wParam == VK_LEFT) {
            history_back();
            return true;
        }
        if (alt_alone && msg->wParam == VK_RIGHT) {
            history_forward();
            return true;
        }
        if (alt_alone && msg->wParam == VK_UP) {
            go_up();
            return true;
        }
    }
    switch (msg->message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP: {
        bool saved = m_key_navigation;
        m_key_navigation = true;
        bool consumed = IsDialogMessageW(m_window, msg) != 0;
        m_key_navigation = saved;
        return consumed;
    }
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Listeners

void main_window_object::scheme_events::notify() { owner->colors_changed(); }

void main_window_object::picture_events::notify() {
    if (owner->m_window != nullptr) owner->refresh({}, {}, nullptr);
}

void main_window_object::on_items_changed() {
    if (m_window != nullptr && m_list.window() != nullptr) refresh_keep_selection();
}

void main_window_object::on_indexing_changed(bool indexing) {
    m_indexing = indexing;
    if (m_window == nullptr || indexing == m_indexing_shown) return;
    HWND notice = GetDlgItem(m_window, IDC_MAIN_INDEXING);
    if (notice == nullptr) return;
    m_indexing_shown = indexing;
    if (indexing) {
        ShowWindow(notice, SW_SHOW);
        SetWindowPos(notice, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    } else {
        ShowWindow(notice, SW_HIDE);
    }
}

void main_window_object::on_starting(int, bool paused) {
    if (m_window == nullptr) return;
    update_now_playing();
    update_transport();
    repaint_row(m_playing_row);
    SendDlgItemMessageW(m_window, IDC_MAIN_PAUSE, BM_SETCHECK, paused ? BST_CHECKED : 0, 0);
}

void main_window_object::on_new_track(track_handle*) {
    if (m_window == nullptr) return;
    update_now_playing();
    find_playing_row();
}

void main_window_object::on_stopped(int) {
    if (m_window == nullptr) return;
    update_now_playing();
    update_transport();
    find_playing_row();
}

void main_window_object::on_seek(double) {
    if (m_window != nullptr) update_now_playing();
}

void main_window_object::on_pause_changed(bool paused) { on_starting(0, paused); }

void main_window_object::on_track_info_changed(track_handle*) {
    if (m_window != nullptr) update_now_playing();
}
void main_window_object::on_dynamic_info(const track_info*) {
    if (m_window != nullptr) update_now_playing();
}
void main_window_object::on_dynamic_track_info(const track_info*) {
    if (m_window != nullptr) update_now_playing();
}
void main_window_object::on_time(double) {
    if (m_window != nullptr) update_now_playing();
}

void main_window_object::on_volume(float db) {
    int icon = volume_scale::icon_for(db);
    if (icon == m_volume_icon) return;
    m_volume_icon = icon;
    if (m_window != nullptr) InvalidateRect(GetDlgItem(m_window, IDC_MAIN_VOLUME), nullptr, TRUE);
}

void main_window_object::set_volume(float db) { controller().set_volume(db); }

void main_window_object::colors_changed() {
    m_images.clear();
    rebuild_row_icons(m_icon_width, m_icon_height, color_scheme::is_dark_background());
    if (m_window != nullptr)
        RedrawWindow(m_window, nullptr, nullptr, RDW_ALLCHILDREN | RDW_ERASE | RDW_INVALIDATE);
}

// ---------------------------------------------------------------------------------------------------------
// The list's host

void main_window_object::rebuild_row_icons(int width, int height, bool dark) {
    static const int ids[4] = {IDR_PNG_ROW_TRACK, IDR_PNG_ROW_FOLDER, IDR_PNG_PLAY, IDR_PNG_PAUSE};
    for (HICON& icon : m_row_icons) {
        if (icon != nullptr) DestroyIcon(icon);
        icon = nullptr;
    }
    m_icon_width = width;
    m_icon_height = height;
    m_icons_dark = dark;
    if (width <= 0 || height <= 0) return;
    for (int i = 0; i < 4; ++i) {
        try {
            auto image = pictures::load_png_scaled(ids[i], width, height);
            if (dark) pictures::invert_grey(*image);
            m_row_icons[i] = pictures::icon_of(*image);
        } catch (std::exception&) {
            m_row_icons[i] = nullptr;
        }
    }
}

void main_window_object::set_icon_size(int width, int height) {
    bool dark = color_scheme::is_dark_background();
    if (width == m_icon_width && height == m_icon_height && dark == m_icons_dark && m_row_icons[0] != nullptr)
        return;
    rebuild_row_icons(width, height, dark);
}

std::wstring main_window_object::item_text(uint32_t row) {
    return row < m_items.size() ? std::wstring(m_items[row].text()) : std::wstring();
}

uint32_t main_window_object::item_count() { return static_cast<uint32_t>(m_items.size()); }

HICON main_window_object::item_icon(uint32_t row) {
    if (row >= m_items.size() || !m_view) return nullptr;
    main_window_rules::row_facts facts = {};
    facts.playing_row = static_cast<int>(row) == m_playing_row;
    facts.paused = facts.playing_row && controller().is_paused();
    facts.leaf_level = m_view->is_leaf_level();
    facts.summary = facts.leaf_level && !facts.playing_row && m_view->is_summary_item(m_items[row]);
    return m_row_icons[main_window_rules::row_icon(facts)];
}

void main_window_object::activate() {
    if (!go_deeper()) play(0);
}

void main_window_object::selection_changed() { update_play_button(); }

bool main_window_object::single_column() { return m_picture.has_picture(); }
bool main_window_object::has_side_panel() { return m_picture.has_picture(); }

void main_window_object::draw_side_panel(const RECT& panel, const RECT& paint, int margin, HDC dc) {
    m_picture.draw_side_panel(dc, panel, paint, margin);
}

COLORREF main_window_object::color(int role) { return color_scheme::color(role); }

// ---------------------------------------------------------------------------------------------------------
// Buttons, transport and looks

void main_window_object::move_focus(HWND to) {
    bool saved = m_key_navigation;
    m_key_navigation = m_show_focus_cues;
    SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(to), TRUE);
    m_key_navigation = saved;
}

void main_window_object::update_transport() {
    HWND pause = GetDlgItem(m_window, IDC_MAIN_PAUSE);
    bool playing = controller().is_playing();
    if (!playing && GetFocus() == pause) move_focus(GetDlgItem(m_window, IDC_MAIN_VOLUME));
    EnableWindow(pause, playing ? TRUE : FALSE);
}

void main_window_object::update_play_button() {
    if (m_play == nullptr || !m_view) return;
    bool any = false;
    const item_list::selection& selection = m_list.selection();
    for (uint32_t i = 0; i < selection.count() && !any; ++i) any = selection.is_selected(i);
    EnableWindow(m_play, main_window_rules::play_enabled(m_view->can_play(), any, m_view->has_items()) ? TRUE : FALSE);
}

void main_window_object::update_history_buttons() {
    if (m_back == nullptr) return;
    bool back = m_history.can_back();
    bool forward = m_history.can_forward();
    HWND focus = GetFocus();
    if (!back && focus == m_back && forward) move_focus(m_forward);
    if (!forward && focus == m_forward && back) move_focus(m_back);
    EnableWindow(m_back, back ? TRUE : FALSE);
    EnableWindow(m_forward, forward ? TRUE : FALSE);
}

int main_window_object::icon_of_button(int id) const {
    switch (id) {
    case IDC_MAIN_PAUSE: return IDR_PNG_PAUSE;
    case IDC_MAIN_PLAY: return IDR_PNG_PLAY;
    case IDC_MAIN_REPEAT: return IDR_PNG_REPEAT;
    case IDC_MAIN_BACK: return IDR_PNG_BACK;
    case IDC_MAIN_FORWARD: return IDR_PNG_FORWARD;
    case IDC_MAIN_MENU: return IDR_PNG_MENU;
    case IDC_MAIN_FULLSCREEN: return IDR_PNG_FULLSCREEN;
    case IDC_MAIN_REWIND: return IDR_PNG_REWIND;
    case IDC_MAIN_FAST_FORWARD: return IDR_PNG_FAST_FORWARD;
    case IDC_MAIN_VOLUME: return m_volume_icon;
    default: return 0;
    }
}

bool main_window_object::paint_button(NMCUSTOMDRAW* draw) {
    if (draw->dwDrawStage == CDDS_PREPAINT) return true;
    if (draw->dwDrawStage != CDDS_PREERASE) return false;
    HWND button = draw->hdr.hwndFrom;
    int id = static_cast<int>(draw->hdr.idFrom);
    RECT client;
    GetClientRect(button, &client);
    int width = client.right, height = client.bottom;
    bool checked = SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
    int state = main_window_rules::button_state((draw->uItemState & CDIS_DISABLED) != 0,
                                                checked || (draw->uItemState & CDIS_SELECTED) != 0,
                                                (draw->uItemState & CDIS_HOT) != 0);
    COLORREF old = SetBkColor(draw->hdc, color(color_scheme::role_background));
    ExtTextOutW(draw->hdc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
    SetBkColor(draw->hdc, old);
    bool dark = color_scheme::is_dark_background();
    try {
        gdiplus_graphics graphics(draw->hdc);
        if (gdiplus_image* face = m_images.face(button, state, width, height, dark))
            graphics.draw_image_rect(*face, client);
        RECT icon_client = client;
        if (id == IDC_MAIN_PLAY) GetClientRect(GetDlgItem(m_window, IDC_MAIN_PAUSE), &icon_client);
        int side_w = icon_client.right, side_h = icon_client.bottom;
        if (id != IDC_MAIN_REPEAT) side_w = side_h = std::min(side_w, side_h);
        side_w = std::max(8, MulDiv(side_w, 3, 4));
        side_h = std::max(8, MulDiv(side_h, 3, 4));
        uint32_t icon_id = static_cast<uint32_t>(icon_of_button(id));
        if (state == 2) icon_id |= pictures::greyed_flag;
        if (gdiplus_image* icon = m_images.icon(icon_id, side_w, side_h, dark)) {
            int w = static_cast<int>(icon->width()), h = static_cast<int>(icon->height());
            RECT at = {(width - w) / 2, (height - h) / 2, (width - w) / 2 + w, (height - h) / 2 + h};
            graphics.draw_image_rect(*icon, at);
        }
    } catch (std::exception&) {
    }
    if (m_show_focus_cues && (draw->uItemState & CDIS_FOCUS)) DrawFocusRect(draw->hdc, &client);
    return true;
}

// The brush is the DC brush: a SysLink under Wine deletes whatever brush its WM_CTLCOLORSTATIC answer holds,
// which a stock object survives (a brush of our own would be gone at the next paint).
HBRUSH main_window_object::control_color(HDC dc) {
    if (link_line_colors::painting_offscreen()) {  // a line drawn over white, recoloured afterwards
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkColor(dc, RGB(255, 255, 255));
        return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    }
    if (!scheme_colors_active()) return nullptr;
    COLORREF background = color(color_scheme::role_background);
    SetTextColor(dc, color(color_scheme::role_text));
    SetBkColor(dc, background);
    SetDCBrushColor(dc, background);
    return static_cast<HBRUSH>(GetStockObject(DC_BRUSH));
}

bool main_window_object::scheme_colors_active() {
    const uint32_t index = color_scheme::index_of(color_scheme::current());
    return index != 0 && index != color_scheme::count;
}

link_line_colors::colors main_window_object::line_colors(void* context) {
    main_window_object* self = static_cast<main_window_object*>(context);
    link_line_colors::colors out = {false, 0, 0, 0};
    if (!scheme_colors_active()) return out;
    out.active = true;
    out.background = self->color(color_scheme::role_background);
    out.text = self->color(color_scheme::role_text);
    out.link = self->color(color_scheme::role_link);
    return out;
}

void main_window_object::seek_tick() {
    if (!controller().is_playing() || !controller().can_seek()) return;
    m_seek_step = main_window_rules::next_seek_step(m_seeking, m_seek_step);
    m_seeking = true;
    controller().seek_by(m_held_button == IDC_MAIN_FAST_FORWARD ? m_seek_step : -m_seek_step);
}

void main_window_object::toggle_full_screen(bool wanted) {
    uint32_t style = static_cast<uint32_t>(GetWindowLongW(m_window, GWL_STYLE));
    uint32_t ex_style = static_cast<uint32_t>(GetWindowLongW(m_window, GWL_EXSTYLE));
    bool windowed = main_window_rules::is_windowed(style);
    if (wanted && windowed) {
        HMONITOR monitor = MonitorFromWindow(m_window, MONITOR_DEFAULTTONEAREST);
        MONITORINFO info = {};
        info.cbSize = sizeof(info);
        if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return;
        // The placement to come back to (the frame change below can lose the maximised state that
        // SW_RESTORE would undo).
        m_windowed_placement.length = sizeof(m_windowed_placement);
        m_has_windowed_placement = GetWindowPlacement(m_window, &m_windowed_placement) != 0;
        ShowWindow(m_window, SW_SHOWMAXIMIZED);
        SetWindowLongW(m_window, GWL_STYLE, static_cast<LONG>(main_window_rules::full_screen_style(style)));
        SetWindowLongW(m_window, GWL_EXSTYLE, static_cast<LONG>(main_window_rules::full_screen_ex_style(ex_style)));
        SetWindowPos(m_window, nullptr, info.rcMonitor.left, info.rcMonitor.top,
                     info.rcMonitor.right - info.rcMonitor.left, info.rcMonitor.bottom - info.rcMonitor.top,
                     SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
    } else if (!wanted && !windowed) {
        leave_full_screen();
    }
}

void main_window_object::leave_full_screen() {
    SendDlgItemMessageW(m_window, IDC_MAIN_FULLSCREEN, BM_SETCHECK, 0, 0);
    uint32_t style = static_cast<uint32_t>(GetWindowLongW(m_window, GWL_STYLE));
    if (main_window_rules::is_windowed(style)) return;
    uint32_t ex_style = static_cast<uint32_t>(GetWindowLongW(m_window, GWL_EXSTYLE));
    SetWindowLongW(m_window, GWL_STYLE, static_cast<LONG>(main_window_rules::windowed_style(style)));
    SetWindowLongW(m_window, GWL_EXSTYLE, static_cast<LONG>(main_window_rules::windowed_ex_style(ex_style)));
    SetWindowPos(m_window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    ShowWindow(m_window, SW_RESTORE);
    if (m_has_windowed_placement) {
        m_windowed_placement.showCmd = m_windowed_placement.showCmd == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_RESTORE;
        SetWindowPlacement(m_window, &m_windowed_placement);
        m_has_windowed_placement = false;
    }
}

void main_window_object::repaint_row(int row) {
    if (row < 0 || m_list.window() == nullptr || static_cast<uint32_t>(row) >= m_items.size()) return;
    RECT cell = item_list::cell_rect(m_list.current_layout(), static_cast<uint32_t>(row));
    OffsetRect(&cell, -m_list.current_layout().scroll_x, -m_list.current_layout().scroll_y);
    InvalidateRect(m_list.window(), &cell, FALSE);
}

// ---------------------------------------------------------------------------------------------------------
// Views, refresh and history

void main_window_object::switch_view(const view_path& where) {
    if (m_view && m_view->kind() == where.kind) {
        m_view->set_path(where.path);
        return;
    }
    m_view.reset();
    if (m_window != nullptr) {
        m_indexing = false;
        if (m_indexing_shown) {
            m_indexing_shown = false;
            ShowWindow(GetDlgItem(m_window, IDC_MAIN_INDEXING), SW_HIDE);
        }
    }
    switch (where.kind) {
    case 0:
        m_view.reset(new library_view_model(*this, where.path));
        break;
    case 1:
        m_view.reset(new folder_tree_node(*this, where.path));
        break;
    case 2:
        m_view.reset(new folder_view_node(where.path));
        break;
    default:
        kpl::crash();
    }
}

key_list main_window_object::selected_keys() const {
    key_list keys;
    const item_list::selection& selection = m_list.selection();
    for (uint32_t i = 0; i < selection.count() && i < m_items.size(); ++i)
        if (selection.is_selected(i)) keys.append(m_items[i]);
    return keys;
}

std::vector<std::wstring> main_window_object::selected_texts() const {
    std::vector<std::wstring> out;
    const item_list::selection& selection = m_list.selection();
    for (uint32_t i = 0; i < selection.count() && i < m_items.size(); ++i)
        if (selection.is_selected(i)) out.push_back(m_items[i].text());
    return out;
}

std::vector<std::wstring> main_window_object::focused_texts() const {
    std::vector<std::wstring> out;
    uint32_t caret = m_list.selection().caret();
    if (caret < m_items.size()) out.push_back(m_items[caret].text());
    return out;
}

void main_window_object::refresh(const std::vector<std::wstring>& selected, const std::vector<std::wstring>& focused,
                                 const POINT* scroll) {
    view_path here;
    here.kind = m_view->kind();
    m_view->get_path(here.path);
    update_history_buttons();

    m_playing_row = -1;
    m_items.clear();
    for (const list_text& each : m_view->items()) m_items.push_back(each);
    bool leaf = m_view->is_leaf_level();
    if (leaf) {
        kpl::rc_ptr<track_handle> playing;
        if (controller().get_now_playing(playing)) {
            for (size_t i = 0; i < m_items.size(); ++i) {
                if (!m_view->is_summary_item(m_items[i]) && m_view->item_contains_track(m_items[i], playing.get())) {
                    m_playing_row = static_cast<int>(i);
                    break;
                }
            }
        }
    }

    m_picture.drop();
    if (leaf && m_items.size() <= 100 && color_scheme::album_pictures()) {
        std::wstring picture;
        if (m_view->find_picture(picture)) m_picture.load(picture.c_str());
    }

    m_list.reset();

    uint32_t first_selected = item_list::none;
    for (uint32_t i = 0; i < m_items.size(); ++i) {
        std::wstring text = m_items[i].text();
        if (std::find(selected.begin(), selected.end(), text) != selected.end()) {
            m_list.set_selected(i, true);
            if (first_selected == item_list::none) first_selected = i;
        }
    }
    for (uint32_t i = 0; i < m_items.size(); ++i) {
        if (std::find(focused.begin(), focused.end(), std::wstring(m_items[i].text())) != focused.end()) {
            m_list.set_caret(i);
            m_list.ensure_visible(i);
            break;
        }
    }
    if (scroll != nullptr) m_list.set_scroll(scroll->x, scroll->y);
    if (first_selected != item_list::none)
        m_list.ensure_visible(first_selected);
    else if (!m_items.empty() && scroll == nullptr)
        m_list.ensure_visible(0);
    InvalidateRect(m_list.window(), nullptr, TRUE);

    navigation_text title;
    m_view->get_title(title);
    set_link_line(IDC_MAIN_CAPTION, title.markup(), title.targets());
    update_navigation_line(here);
    update_play_button();
    cfg_navigation_state.set(here);
    // What is shown, for whoever watches the debugger output (the window tests read it).
    kpl::utf8_string_pow2 line("Main window shows: ");
    line << title.markup().c_str() << " (" << static_cast<uint32_t>(m_items.size()) << " rows"
         << (m_picture.has_picture() ? ", picture)" : ")");
    debug_log(line.c_str());
}

void main_window_object::refresh_keep_selection() {
    POINT scroll = {m_list.current_layout().scroll_x, m_list.current_layout().scroll_y};
    refresh(selected_texts(), focused_texts(), &scroll);
}

void main_window_object::save_history() {
    key_list selected, focused;
    for (const std::wstring& each : selected_texts()) selected.append(list_text(each));
    for (const std::wstring& each : focused_texts()) focused.append(list_text(each));
    m_history.save(selected, focused, m_list.current_layout().scroll_x, m_list.current_layout().scroll_y);
}

void main_window_object::push_history() {
    view_path here;
    here.kind = m_view->kind();
    m_view->get_path(here.path);
    m_history.push(here);
}

void main_window_object::show_history_entry() {
    const history_entry* entry = m_history.current();
    switch_view(view_path{entry->kind, entry->location});
    std::vector<std::wstring> selected, focused;
    for (const list_text& each : entry->selected) selected.push_back(each.text());
    for (const list_text& each : entry->focused) focused.push_back(each.text());
    POINT scroll = {entry->scroll_x, entry->scroll_y};
    refresh(selected, focused, &scroll);
}

void main_window_object::history_back() {
    if (!m_history.can_back()) {
        MessageBeep(0);
        return;
    }
    save_history();
    m_history.back();
    show_history_entry();
}

void main_window_object::history_forward() {
    if (!m_history.can_forward()) {
        MessageBeep(0);
        return;
    }
    save_history();
    m_history.forward();
    show_history_entry();
}

void main_window_object::navigate(const view_path& where) {
    save_history();
    switch_view(where);
    push_history();
    refresh({}, {}, nullptr);
    SetFocus(m_list.window());
}

bool main_window_object::go_deeper() {
    key_list keys = selected_keys();
    if (keys.empty() || !m_view->can_open(keys)) return false;
    save_history();
    view_path elsewhere;
    if (keys.count() == 1 && m_view->redirect(elsewhere, keys.front()))
        switch_view(elsewhere);
    else
        m_view->open(keys);
    push_history();
    refresh({}, {}, nullptr);
    return true;
}

void main_window_object::go_up() {
    if (!m_view->can_go_up()) {
        MessageBeep(0);
        return;
    }
    key_list here = m_view->selection_to_here();
    save_history();
    m_view->go_up();
    push_history();
    std::vector<std::wstring> texts;
    for (const list_text& each : here) texts.push_back(each.text());
    std::vector<std::wstring> focused;
    if (!texts.empty()) focused.push_back(texts.front());
    refresh(texts, focused, nullptr);
}

void main_window_object::play(int mode) {
    crypt_random_source random;
    play_list list;
    if (!make_play_list(*m_view, selected_keys(), mode, random, list)) {
        MessageBeep(0);
        return;
    }
    m_playing_view_kind = m_view->kind();
    start_play_list(list, play_order(), controller());
}

bool main_window_object::select_playing_row() {
    if (!m_view->is_leaf_level()) return false;
    kpl::rc_ptr<track_handle> playing;
    if (!controller().get_now_playing(playing)) return false;
    for (uint32_t i = 0; i < m_items.size(); ++i) {
        if (m_view->is_summary_item(m_items[i])) continue;
        key_list one;
        one.append(m_items[i]);
        track_list tracks;
        m_view->get_tracks_of(one, tracks);
        if (tracks.count() == 1 && tracks.get_item(0).get() == playing.get()) {
            m_list.select_only(i);
            SetFocus(m_list.window());
            return true;
        }
    }
    return false;
}

void main_window_object::find_playing_row() {
    kpl::rc_ptr<track_handle> playing;
    bool has = controller().get_now_playing(playing);
    if (m_playing_row >= 0 && has && static_cast<size_t>(m_playing_row) < m_items.size() &&
        m_view->item_contains_track(m_items[m_playing_row], playing.get()))
        return;
    repaint_row(m_playing_row);
    m_playing_row = -1;
    if (!has || !m_view->is_leaf_level()) return;
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_view->item_contains_track(m_items[i], playing.get())) {
            m_playing_row = static_cast<int>(i);
            repaint_row(m_playing_row);
            return;
        }
    }
}

bool main_window_object::go_to_playing_track() {
    if (select_playing_row()) return true;
    kpl::rc_ptr<track_handle> playing;
    if (!controller().get_now_playing(playing)) return false;
    service_ptr<media_library> library;
    service_class::get_single(library);
    view_path where;
    if (m_has_now_playing_location && library->contains(playing)) {
        where.kind = 0;
        where.path = m_now_playing_location.to_path();
    } else if (!playing_track_folder(playing->get_location().get_path(), where)) {
        return false;
    }
    navigate(where);
    return select_playing_row();
}

void main_window_object::open_folder(const std::wstring& path, const std::vector<std::wstring>& names) {
    save_history();
    view_path where;
    where.kind = 1;
    for (const std::wstring& component : navigation_state::folder_components(path)) {
        key_list level;
        level.append(list_text(component));
        where.path.push_back(level);
    }
    switch_view(where);
    push_history();
    refresh(names, names.empty() ? std::vector<std::wstring>() : std::vector<std::wstring>{names.front()}, nullptr);
    SetFocus(m_list.window());
}

void main_window_object::open_locations(const std::vector<std::wstring>& locations, bool play_them) {
    if (locations.empty()) return;
    open_plan plan = plan_open_locations(locations, &path_is_directory);
    if (plan.directory_only) {
        open_folder(plan.folder, {});
        return;
    }
    open_folder(plan.folder, plan.names);
    if (!play_them || !m_view->can_play()) return;
    if (!selected_keys().empty() || m_view->has_items()) play(0);
}

// ---------------------------------------------------------------------------------------------------------
// Lines and menus

void main_window_object::set_link_line(int id, const std::string& markup, const std::vector<view_path>& targets) {
    m_links.set(id, targets);
    HWND line = GetDlgItem(m_window, id);
    if (line == nullptr) return;
    std::wstring text = syslink_window_text(markup);
    if (window_text(line) != text) {
        SetWindowTextW(line, text.c_str());
        // An emptied link control keeps its old picture under Wine until something repaints it.
        InvalidateRect(line, nullptr, TRUE);
    }
}

void main_window_object::open_link(int id, int index) {
    if (index < 0) return;
    const view_path* target = m_links.find(id, static_cast<size_t>(index));
    if (target == nullptr) return;
    view_path copy = *target;
    navigate(copy);
}

void main_window_object::update_navigation_line(const view_path& here) {
    navigation_text line;
    build_navigation_line(line, here, library_manager::effective_list());
    set_link_line(IDC_MAIN_NAVIGATION, line.markup(), line.targets());
}

void main_window_object::update_now_playing() {
    now_playing_lines lines;
    build_now_playing_lines(lines, *m_now_playing_source, m_playing_view_kind == 0);
    m_has_now_playing_location = lines.has_album_location;
    m_now_playing_location = lines.album_location;
    std::string both = lines.line1.markup() + " | " + lines.line2.markup();
    set_link_line(IDC_MAIN_NOW_PLAYING_1, lines.line1.markup(), {});
    set_link_line(IDC_MAIN_NOW_PLAYING_2, lines.line2.markup(), lines.line2.targets());
    if (both != m_now_playing_logged) {
        m_now_playing_logged = both;
        kpl::utf8_string_pow2 line("Now playing: ");
        line << both.c_str();
        debug_log(line.c_str());
    }
}

void main_window_object::show_main_menu(POINT at) {
    at = clamp_to_monitor(at);
    static const kpl::guid groups[4] = {menu_nodes::file_popup, menu_nodes::view_popup, menu_nodes::playback_popup,
                                        menu_nodes::help_popup};
    static const char* const names[4] = {"menu_group_file", "menu_group_view", "menu_group_playback",
                                         "menu_group_help"};
    HMENU menu = CreatePopupMenu();
    service_ptr<main_menu_builder> builders[4];
    for (int i = 0; i < 4; ++i) {
        service_class::get_single(builders[i]);
        builders[i]->build(groups[i]);
        HMENU sub = CreatePopupMenu();
        builders[i]->fill(sub, main_menu_ids::first_of(i), main_menu_ids::per_group, menu_build_shortcuts);
        AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub),
                    wide(localization_table::get_text(names[i])).c_str());
    }
    UINT id = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0, m_window, nullptr));
    DestroyMenu(menu);
    uint32_t group = 0, command = 0;
    if (main_menu_ids::decode(id, group, command)) builders[group]->run(id, nullptr);
}

void main_window_object::show_context_menu(POINT at) {
    item_menu_plan plan;
    if (!plan_item_menu(*m_view, selected_keys(), plan)) {
        MessageBeep(0);
        return;
    }
    at = clamp_to_monitor(at);
    HMENU menu = CreatePopupMenu();
    for (const item_menu_entry& item : plan.items) {
        if (item.id == item_menu::separator) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        AppendMenuW(menu, MF_STRING, item.id, wide(localization_table::get_text(item.text_id)).c_str());
        if (item.is_default) SetMenuDefaultItem(menu, item.id, FALSE);
    }
    service_ptr<context_menu_builder> builder;
    if (plan.command_tree) {
        service_class::get_single(builder);
        service_ptr<context_menu_builder_ext> ext;
        if (service_query(builder.get(), ext))
            ext->build_as(context_menu_builder_ext::class_guid, plan.tracks, 0);
        else
            builder->build(plan.tracks, 0);
        menu_tree_builder::append_popup(menu, builder->get_root(), item_menu::first_tree_command, -1);
    }
    UINT id = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y,
                                               0, m_window, nullptr));
    DestroyMenu(menu);
    switch (id) {
    case 0: break;
    case item_menu::browse: go_deeper(); break;
    case item_menu::start_playback_here: play(0); break;
    case item_menu::play_this: play(1); break;
    case item_menu::play_this_random_order: play(2); break;
    case item_menu::show_in_explorer:
        try {
            show_folder_in_explorer(plan.explorer_path, selected_texts());
        } catch (std::exception&) {
        }
        break;
    case item_menu::go_to_folder: open_folder(plan.folder, plan.names); break;
    default:
        if (builder && id >= item_menu::first_tree_command) builder->run(id - item_menu::first_tree_command, plan.tracks);
        break;
    }
}
