#pragma once
// How windows hook the main thread's message loop: message filters (pre-translation), idle handlers and
// modeless dialogs. Everything here runs on the main thread.
//
//     class accelerators : public message_filter {
//         bool pretranslate(MSG* msg) override { return TranslateAcceleratorW(window, table, msg) != 0; }
//     };
//     service_ptr<message_loop_hooks_ext> hooks;
//     service_class::get_single(hooks);                    // (message_loop_hooks answers the ext too)
//     hooks->add_message_filter_range(&keys, WM_KEYFIRST, WM_KEYLAST);   // only key messages
//     hooks->add_idle_handler(&status_bar);                // once after each burst of messages
//     ...
//     hooks->remove_message_filter(&keys);                 // before the objects go away
//
// Filters are asked newest first and only for messages within their inclusive range (unsigned
// comparison); the first that answers true consumes the message. A filter may add or remove filters while
// it runs. Idle handlers are called newest first; one removed during a pass is not called later in that
// pass. Filters and handlers are held as plain pointers: each must remove itself before it goes away.
// Messages not consumed by a filter are offered to IsDialogMessageW of each registered modeless dialog, in
// registration order.

#include <windows.h>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class message_filter {
public:
    // True when the filter consumed the message (it is then neither translated nor dispatched).
    virtual bool pretranslate(MSG* msg) = 0;

protected:
    ~message_filter() = default;
};

class idle_handler {
public:
    virtual void on_idle() = 0;

protected:
    ~idle_handler() = default;
};

class message_loop_hooks : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x5CD49B5D, 0xD604, 0x4C07, {0xA8, 0xFA, 0xFF, 0xD8, 0x51, 0x2A, 0xFD, 0x2B}};

    // add_message_filter_range with the range 0 to 0xFFFFFFFF.
    virtual void add_message_filter(message_filter* filter) = 0;
    // Removes every entry of the filter.
    virtual void remove_message_filter(message_filter* filter) = 0;
    virtual void add_idle_handler(idle_handler* handler) = 0;
    // Removes every registration of the handler; in a running pass it is not called any more.
    virtual void remove_idle_handler(idle_handler* handler) = 0;
};

class message_loop_hooks_ext : public message_loop_hooks {
public:
    static constexpr kpl::guid class_guid = {0x5D438080, 0xB269, 0x406D, {0x94, 0xAF, 0xEF, 0xD9, 0x29, 0x9F, 0x32, 0x5C}};
    using parent_interface = message_loop_hooks;

    // Inserts the filter at the head of the list for messages lowest..highest (inclusive, unsigned).
    virtual void add_message_filter_range(message_filter* filter, UINT lowest, UINT highest) = 0;
};

// Modeless dialogs that get keyboard navigation (IsDialogMessageW) from the message loop. Main thread only;
// any other thread stops the process.
class modeless_dialog_registry : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xC71B99BD, 0x12C5, 0x48FE, {0xA9, 0xC0, 0x46, 0x9F, 0x6F, 0xEA, 0x88, 0xBF}};

    // Appends the dialog window.
    virtual void add(HWND dialog) = 0;
    // Removes every entry of the window.
    virtual void remove(HWND dialog) = 0;
};

// Called by the message loop for every message before TranslateMessage and DispatchMessageW; true when
// the message was consumed. Wheel messages (WM_MOUSEWHEEL, WM_MOUSEHWHEEL) are first retargeted to the
// window under the pointer when that window belongs to the calling thread and the advanced setting "Mouse
// wheel: scroll the object below the pointer" is on.
bool pretranslate_message(MSG* msg);

// One idle pass: every registered idle handler once, newest first. Always answers false (no more idle
// work), so the loop waits for its next message.
bool run_idle_pass();

// Stops the process (kpl::crash) off the main thread or while the playback controller dispatches a
// notification to its listeners.
void assert_not_in_playback_callback() noexcept;
