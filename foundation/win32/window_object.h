#pragma once
// Window objects: C++ objects bound to Windows windows, each receiving its window's messages.
//
// Every window object owns a small machine-code thunk that stands in as the window's procedure: it puts the
// object's address where the window handle argument was and jumps to the shared procedure, which calls the
// object's process_message. Messages the handler leaves go to the class procedure (or, for a subclassed
// window, to the procedure that was there before).
//
//   class clock_window : public window_object {
//       bool process_message(HWND window, UINT message, WPARAM, LPARAM, LRESULT& result, DWORD) override {
//           if (message != WM_PAINT) return false;         // not handled: the default procedure runs
//           paint(window);
//           result = 0;
//           return true;
//       }
//   };
//   static window_class g_clock_class;                     // unnamed: registered as "ATL:<address>"
//   clock_window clock;
//   atl_window::create(&clock, parent, &rect, "Clock", WS_CHILD | WS_VISIBLE, 0, 0, g_clock_class.atom());
//
//   window_subclass_object hook;                           // a window_subclass: reroutes an existing window
//   hook.attach(edit_control);                             // undone by itself at WM_NCDESTROY
//
// A window object is bound from its window's first message to WM_NCDESTROY; then on_final_message runs
// (after the outermost message of the window has returned) and the object may delete itself there.
//
// C++ exceptions cannot unwind through the system's window code. An exception escaping process_message is
// caught at the procedure: while a caller waits for the window's creation (or for a modal dialog, see
// dialog.h) it is kept and thrown again to that caller once the system call has returned; otherwise it ends
// the process through the crash path. Everything here belongs to the main thread (or the thread that owns
// the window).

#include <windows.h>

#include <exception>

#include "foundation/win32/win_string.h"

class window_class;

class window_object {
public:
    window_object() = default;
    virtual ~window_object();
    window_object(const window_object&) = delete;
    window_object& operator=(const window_object&) = delete;

    // The bound window; null before the first message and after WM_NCDESTROY.
    HWND handle() const { return m_window; }

    // The message handler: true when the message was handled, with its result in `result`. `map_id` is 0
    // (kept for handlers that serve several message maps).
    virtual bool process_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result,
                                 DWORD map_id) = 0;

    // Builds the thunk on first use; false (and ERROR_OUTOFMEMORY as the last error) when the executable
    // memory for it cannot be had.
    bool prepare_thunk();

    // atl_window::create for this object.
    HWND create_window(HWND parent, const RECT* rect, const win_string_param& title, DWORD style,
                       DWORD extended_style, UINT_PTR menu_or_id, window_class& window_class);

protected:
    // After WM_NCDESTROY, once no message of the window is being processed any more. Default: nothing.
    virtual void on_final_message(HWND window);
    // The procedure for unhandled messages of the bound window, with the message's arguments.
    LRESULT call_default(UINT message, WPARAM wparam, LPARAM lparam);
    // The message being processed (null outside a message).
    const MSG* current_message() const { return m_current; }

    // What kind of binding the object has; decides how messages are answered.
    enum class binding { none, window, dialog, subclass };

    // The entry of every message before process_message; dialogs do their registrations here. Default:
    // process_message.
    virtual bool route_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

    // Exceptions escaping the handler are kept (not the crash path) while this is on; the first one is kept.
    void set_capture_exceptions(bool on) { m_capture = on; }
    // Throws the kept exception, if any, and forgets it.
    void rethrow_captured();
    bool has_captured() const { return static_cast<bool>(m_captured); }
    // Called after an exception was kept (the modal dialog ends itself here). Default: nothing.
    virtual void on_exception_captured(HWND window);

    // The creation protocol: the object registered for the next window created on this thread, and the
    // procedures that bind it at that window's first message.
    static bool register_for_creation(window_object* object);
    static void cancel_creation(window_object* object);
    static LRESULT CALLBACK start_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    static INT_PTR CALLBACK start_dialog_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    void set_default_procedure(WNDPROC procedure) { m_default = procedure; }
    binding bound_as() const { return m_binding; }

private:
    friend class window_subclass;
    friend class window_class;

    LRESULT dispatch(UINT message, WPARAM wparam, LPARAM lparam);
    INT_PTR dispatch_dialog(UINT message, WPARAM wparam, LPARAM lparam);
    bool call_handler(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
    void finish_message(HWND window, const MSG* outer, bool destroyed_here);
    bool bind(HWND window, binding kind);

    static LRESULT CALLBACK thunk_window_procedure(HWND self, UINT message, WPARAM wparam, LPARAM lparam);
    static INT_PTR CALLBACK thunk_dialog_procedure(HWND self, UINT message, WPARAM wparam, LPARAM lparam);

    HWND m_window = nullptr;
    void* m_thunk = nullptr;
    WNDPROC m_default = &DefWindowProcW;
    const MSG* m_current = nullptr;
    binding m_binding = binding::none;
    bool m_destroyed = false;
    bool m_capture = false;
    std::exception_ptr m_captured;
};

// A window class registered on first use, under a process-wide lock, and unregistered at process exit.
//
//   window_class list_class(L"Vorn:List");                      // a class of its own
//   window_class list_copy(L"Vorn:Sorted", L"SysListView32");   // a copy of an existing class
//   window_class anonymous;                                     // named "ATL:<address of the record>"
//   ATOM atom = list_class.atom();                              // 0 when registration failed
//
// Windows of a registered class start at the framework's procedure, which binds the object given to
// atl_window::create. A copied class keeps the copied class's procedure as the default for unhandled
// messages.
class window_class {
public:
    explicit window_class(const wchar_t* name = nullptr, const wchar_t* copy_of = nullptr);
    window_class(const window_class&) = delete;
    window_class& operator=(const window_class&) = delete;

    // Class style, background brush, cursor (a system cursor id like IDC_ARROW; null: none) and extra
    // window bytes; set before the first atom() call.
    UINT style = CS_DBLCLKS;
    HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    LPCWSTR cursor = IDC_ARROW;
    HICON icon = nullptr;

    // Registers the class on the first call; the class atom (0 and the last error set on failure).
    ATOM atom();
    // The procedure that unhandled messages of the class's windows go to.
    WNDPROC default_procedure() const { return m_base_procedure; }
    const wchar_t* name() const { return m_name; }

private:
    const wchar_t* m_name;
    const wchar_t* m_copy_of;
    wchar_t m_generated[24] = {};
    ATOM m_atom = 0;
    WNDPROC m_base_procedure = &DefWindowProcW;
};

namespace atl_window {

// Creates a window of a framework class bound to `object`: builds the object's thunk (failure:
// ERROR_OUTOFMEMORY and no window), registers the object for the window under creation on this thread and
// calls CreateWindowExW. No rectangle means CW_USEDEFAULT position and size; a child window without an id
// gets the object's address as its id. Answers the window or null (GetLastError tells why). An exception
// thrown by the object's handler during creation is thrown from here after the window was destroyed.
HWND create(window_object* object, HWND parent, const RECT* rect, const win_string_param& title, DWORD style,
            DWORD extended_style, UINT_PTR menu_or_id, window_class& window_class);

}  // namespace atl_window

// A window object that takes over an existing window (a control made by someone else): attach installs the
// object's thunk as the window procedure and keeps the previous one for unhandled messages. At WM_NCDESTROY
// the message is passed on, the previous procedure is put back unless somebody else has replaced the thunk
// in between, and the window is forgotten.
class window_subclass : public window_object {
public:
    // False (nothing changed) when the window is already bound, the handle is null or the thunk cannot be
    // made.
    bool attach(HWND window);
    // The procedure that was there before attach.
    WNDPROC previous_procedure() const { return m_default; }
};

// SetWindowPos from a rectangle.
BOOL window_set_rect(const RECT& rect, HWND window, HWND insert_after, UINT flags);
// SetWindowLongW(GWL_EXSTYLE); with flags, also SetWindowPos with those flags plus SWP_NOSIZE | SWP_NOMOVE |
// SWP_NOZORDER | SWP_NOACTIVATE so the frame takes the change.
void window_set_exstyle(HWND window, DWORD extended_style, UINT position_flags);
// Adds MFS_DEFAULT to the state of the menu item with the command id.
void menu_set_default_item(HMENU menu, UINT command);

// A held window handle: DestroyWindow when one is held; the holder is cleared only when that succeeds.
void window_destroy(HWND& window);
