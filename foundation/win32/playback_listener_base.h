#pragma once
// The playback-listener part of a window object: the window is told about playback events while the
// part is added to the playback listener registry; the part goes out of the registry at the latest when
// it is destroyed.
//
//   class status_window : public window_object, public playback_listener_base {
//   public:
//       status_window() { add_playback_listener(playback_event_time | playback_event_stopped); }
//       void on_time(double seconds) override { show(seconds); }
//   };
//
// Adding and removing run on the main thread and never inside a playback notification (the process
// stops otherwise).

#include <cstdint>

#include "playback/playback_listener.h"

class playback_listener_base : public playback_listener {
public:
    playback_listener_base() = default;
    ~playback_listener_base() { remove_playback_listener(); }
    playback_listener_base(const playback_listener_base&) = delete;
    playback_listener_base& operator=(const playback_listener_base&) = delete;

    // register_listener of the playback listener registry with the event mask; with replay the part is
    // told the present state at once. Nothing when already added or while no registry runs.
    void add_playback_listener(uint32_t mask, bool replay = false);
    // unregister_listener (the registry is looked up for the call); nothing when not added.
    void remove_playback_listener();
    bool is_playback_listener_added() const { return m_added; }

private:
    bool m_added = false;
};
