#pragma once
// The main window: dialog 149 over the current browse view of the library, with the browsing history, the
// now-playing lines, the transport buttons and the item list. The ui_module makes exactly one.
//
//     main_window_object* window = main_window_object::create(hook);   // throws when it cannot be made
//     window->show_now_playing();            // selects the playing track's row, navigating there if needed
//     main_window_object::destroy();         // DestroyWindow, then the object
//
// It listens to playback (every event), to the colour scheme and album-picture switches and to its view,
// and turns list activation and buttons into play-order and controller calls. Main thread only.
#include <windows.h>
#include <commctrl.h>

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/kpl/string_array.h"
#include "foundation/win32/dialog_resize.h"
#include "foundation/win32/gdiplus.h"
#include "library/library_node.h"
#include "metadata/title_formatting/title_script.h"
#include "playback/playback_listener.h"
#include "shell/message_loop_hooks.h"
#include "ui/color_scheme.h"
#include "ui/browse_history.h"
#include "ui/item_list_control.h"
#include "ui/link_line_colors.h"
#include "ui/now_playing_lines.h"
#include "ui/syslink_lines.h"
#include "ui/pictures.h"
#include "ui/ui_module.h"
#include "ui/volume_popup.h"

class playback_controller;
class play_order_manager;
class shortcut_table_ext;

class main_window_object final : public library_view_host,
                                 public message_filter,
                                 public playback_listener,
                                 public list_control_host,
                                 public volume_popup::target {
public:
    // The one main window, or null.
    static main_window_object* instance();
    // Makes the window (once) and answers it; a failure throws, leaving no object behind.
    static main_window_object* create(end_session_hook_function hook);
    static void destroy();

    HWND window() const { return m_window; }

    // Select the playing track's row; when it is not in the view, go where it lives first.
    bool go_to_playing_track();
    // The locations of a command line ("file://" removed) or a drop: their folder opened, the named rows
    // selected; with play, playback starts from them.
    void open_locations(const std::vector<std::wstring>& locations, bool play);

    main_window_object(const main_window_object&) = delete;
    main_window_object& operator=(const main_window_object&) = delete;

private:
    struct scheme_events final : color_scheme::listener {
        main_window_object* owner = nullptr;
        void notify() override;
    };
    struct picture_events final : color_scheme::listener {
        main_window_object* owner = nullptr;
        void notify() override;
    };

    main_window_object();
    ~main_window_object();

    static INT_PTR CALLBACK dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);
    bool handle_notify(NMHDR* header, LRESULT& result);
    void handle_command(int id, int code);
    void init_dialog();
    static void after_first_paint(void* context);

    // library_view_host
    void on_items_changed() override;
    void on_indexing_changed(bool indexing) override;
    // message_filter
    bool pretranslate(MSG* msg) override;
    // playback_listener
    void on_starting(int command, bool paused) override;
    void on_new_track(track_handle* track) override;
    void on_stopped(int reason) override;
    void on_seek(double seconds) override;
    void on_pause_changed(bool paused) override;
    void on_track_info_changed(track_handle* track) override;
    void on_dynamic_info(const track_info* info) override;
    void on_dynamic_track_info(const track_info* info) override;
    void on_time(double seconds) override;
    void on_volume(float db) override;
    // list_control_host
    void set_icon_size(int width, int height) override;
    std::wstring item_text(uint32_t row) override;
    uint32_t item_count() override;
    HICON item_icon(uint32_t row) override;
    void activate() override;
    void selection_changed() override;
    bool single_column() override;
    bool has_side_panel() override;
    void draw_side_panel(const RECT& panel, const RECT& paint, int margin, HDC dc) override;
    COLORREF color(int role) override;
    // volume_popup::target
    void set_volume(float db) override;

    // Views and navigation.
    void switch_view(const view_path& where);
    void refresh(const std::vector<std::wstring>& selected, const std::vector<std::wstring>& focused,
                 const POINT* scroll);
    void refresh_keep_selection();
    void save_history();
    void push_history();
    void show_history_entry();
    void history_back();
    void history_forward();
    void navigate(const view_path& where);
    bool go_deeper();
    void go_up();
    void play(int mode);
    bool select_playing_row();
    void find_playing_row();
    void open_folder(const std::wstring& path, const std::vector<std::wstring>& names);
    key_list selected_keys() const;
    std::vector<std::wstring> selected_texts() const;
    std::vector<std::wstring> focused_texts() const;

    // The lines.
    void set_link_line(int id, const std::string& markup, const std::vector<view_path>& targets);
    void update_navigation_line(const view_path& here);
    void update_now_playing();
    void open_link(int id, int index);

    // Buttons, state and looks.
    void update_transport();
    void update_play_button();
    void update_history_buttons();
    void move_focus(HWND to);
    bool paint_button(NMCUSTOMDRAW* draw);
    int icon_of_button(int id) const;
    void rebuild_row_icons(int width, int height, bool dark);
    void colors_changed();
    void seek_tick();
    void toggle_full_screen(bool wanted);
    void leave_full_screen();
    void show_main_menu(POINT at);
    void show_context_menu(POINT at);
    void repaint_row(int row);
    HBRUSH control_color(HDC dc);
    static bool scheme_colors_active();
    static link_line_colors::colors line_colors(void* context);

    HWND m_window = nullptr;
    end_session_hook_function m_hook = nullptr;
    gdiplus_token m_gdiplus;
    dialog_resize_helper m_resizer;
    item_list_control m_list{this};
    std::unique_ptr<library_node> m_view;
    scheme_events m_scheme_events;
    picture_events m_picture_events;
    link_targets m_links;
    HWND m_back = nullptr, m_forward = nullptr, m_play = nullptr;
    bool m_icons_dark = false;
    int m_icon_width = 0, m_icon_height = 0;
    HICON m_row_icons[4] = {};
    int m_playing_view_kind = -1;
    HICON m_big_icon = nullptr, m_small_icon = nullptr;
    int m_volume_icon = 0;
    HFONT m_heading_font = nullptr, m_link_font_large = nullptr, m_link_font_small = nullptr;
    library_view_key m_now_playing_location;
    bool m_has_now_playing_location = false;
    std::unique_ptr<controller_now_playing_source> m_now_playing_source;
    std::vector<list_text> m_items;
    browse_history m_history;
    int m_playing_row = -1;
    bool m_indexing = false;
    bool m_indexing_shown = false;
    HACCEL m_accelerators = nullptr;
    HWND m_tooltip = nullptr;
    album_picture m_picture;
    pictures::image_cache m_images;
    int m_held_button = 0;
    bool m_seeking = false;
    double m_seek_step = 0;
    bool m_key_navigation = false;
    bool m_show_focus_cues = false;
    WINDOWPLACEMENT m_windowed_placement = {};
    bool m_has_windowed_placement = false;
    std::string m_now_playing_logged;
    bool m_registered_filter = false;
    bool m_registered_listener = false;
};
