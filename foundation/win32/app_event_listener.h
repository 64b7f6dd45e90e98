#pragma once
// The message-filter part of a window object: messages of the main loop reach it before they are
// translated and dispatched, while it is added.
//
//   class properties_window : public dialog_object, public app_event_listener {
//       bool pretranslate(MSG* msg) override { return TranslateAcceleratorW(handle(), keys, msg) != 0; }
//   };
//   window.add_app_event_listener();       // when it opens
//   window.remove_app_event_listener();    // when it closes (also done when the part goes)

#include "shell/message_loop_hooks.h"

class app_event_listener : public message_filter {
public:
    app_event_listener() = default;
    ~app_event_listener() { remove_app_event_listener(); }
    app_event_listener(const app_event_listener&) = delete;
    app_event_listener& operator=(const app_event_listener&) = delete;

    // add_message_filter of the message_loop_hooks service; nothing while no such service runs.
    void add_app_event_listener();
    // remove_message_filter; nothing when not added.
    void remove_app_event_listener();
    bool is_added() const { return m_added; }

private:
    bool m_added = false;
};
