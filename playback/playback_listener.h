#pragma once
// Listening to playback: a listener is told about the events it asked for with its event mask, on the
// main thread, in registration order.
//
//     class seek_bar : public playback_listener {
//         void on_seek(double seconds) override { move_to(seconds); }
//     };
//     service_ptr<playback_listener_registry> listeners;
//     service_class::get_single(listeners);
//     listeners->register_listener(&bar, playback_event_seek | playback_event_time, false);
//     ...
//     listeners->unregister_listener(&bar);      // before the listener goes
//
// Nobody owns a listener; it must be unregistered before it is destroyed. Registering and unregistering
// happen on the main thread and never while a notification is being dispatched (the process stops).

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class track_handle;
class track_info;

// The event mask bits, one per callback.
enum : uint32_t {
    playback_event_starting = 0x1,
    playback_event_new_track = 0x2,
    playback_event_stopped = 0x4,
    playback_event_seek = 0x8,
    playback_event_pause_changed = 0x10,
    playback_event_track_info_changed = 0x20,
    playback_event_dynamic_info = 0x40,
    playback_event_dynamic_track_info = 0x80,
    playback_event_time = 0x100,
    playback_event_volume = 0x200,
};

// The ten callbacks of a run-time listener, in slot order. Each does nothing unless overridden.
class playback_listener {
public:
    // A new playback is announced, before the engine starts. command: 1 play, 2 next, 3 previous.
    virtual void on_starting(int /*command*/, bool /*paused*/) {}
    // A queued track became audible; the callee releases the reference it is given.
    virtual void on_new_track(track_handle* /*track*/) {}
    // reason: 0 user stop, 1 end of the list, 2 replaced by a new start, 3 application shutting down.
    virtual void on_stopped(int /*reason*/) {}
    virtual void on_seek(double /*seconds*/) {}
    virtual void on_pause_changed(bool /*paused*/) {}
    // The stored info of the audible track changed; the callee releases the reference.
    virtual void on_track_info_changed(track_handle* /*track*/) {}
    virtual void on_dynamic_info(const track_info* /*info*/) {}
    virtual void on_dynamic_track_info(const track_info* /*info*/) {}
    // The whole-second count of the audible track changed.
    virtual void on_time(double /*seconds*/) {}
    virtual void on_volume(float /*db*/) {}

protected:
    ~playback_listener() = default;
};

// The list of run-time listeners (static object).
class playback_listener_registry : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x78BCBFA1, 0xDFB9, 0x487F, {0xAB, 0x16, 0xCD, 0x82, 0xBF, 0x90, 0xCC, 0xF7}};

    // Appends {listener, mask}. With replay, the new listener alone is told the present state at once.
    virtual void register_listener(playback_listener* listener, uint32_t mask, bool replay) = 0;
    // Removes the first entry of the listener; a listener that is not registered is ignored.
    virtual void unregister_listener(playback_listener* listener) = 0;
};
