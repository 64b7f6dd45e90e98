#pragma once
// The main thread's record of the modal window that is open, so that a second modal action is refused and
// the open window is brought to the front instead.
//
//   void show_preferences(HWND owner) {
//       if (!modal_scope::can_start()) { modal_scope::bring_to_front(); return; }
//       modal_scope scope(dialog);            // registered until scope leaves
//       run_dialog(dialog);
//   }
//
// Scopes nest: entering swaps {window, active} into the process-wide record and keeps what was there;
// leaving swaps it back. The record belongs to the main thread: elsewhere the swaps are skipped and
// "This function can be called only from main thread.\n" goes to the debugger output.

#include <windows.h>

// True on the thread that ran static initialisation (the main thread). Elsewhere writes "This function can
// be called only from main thread.\n" to the debugger output and answers false.
bool is_main_thread();

// The top-level window of a window: climbs parents while the window is a child. When a child has no
// parent, the given window itself is the answer; null stays null.
HWND window_top_level(HWND window);

// Whether a modal question or picker may be shown now: true on the main thread while no modal scope is
// active; on any other thread false, after "This function can be called only from main thread.\n" went to
// the debugger output. Checked before every modal question; when it refuses, bring_to_front.
bool modal_ui_allowed();

class modal_scope {
public:
    modal_scope() = default;
    explicit modal_scope(HWND window) { enter(window); }
    ~modal_scope() { leave(); }
    modal_scope(const modal_scope&) = delete;
    modal_scope& operator=(const modal_scope&) = delete;

    // Registers the window as the active modal window; nothing when this scope is already entered.
    void enter(HWND window);
    // Restores what was registered before enter; nothing when not entered.
    void leave();

    // True on the main thread while no modal scope is active.
    static bool can_start();
    // On the main thread with a modal window registered: activates and flashes its top-level window (or
    // that window's enabled popup when the window is disabled; only a beep when it has none) and beeps.
    static void bring_to_front();
    // The registered modal window (null when none); meaningful on the main thread.
    static HWND active_window();
    static bool is_active();

private:
    HWND m_window = nullptr;
    bool m_active = false;
    bool m_entered = false;
};
