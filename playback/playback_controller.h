#pragma once
// The playback controller as the application shell uses it (the play order: playback/play_order.h).
//
//     service_ptr<playback_controller> controller;
//     service_class::get_single(controller);
//     service_ptr<playback_controller_ext> ext;
//     if (!service_query(controller.get(), ext)) throw exception_service_extension_not_found();
//     ext->start_up();                 // start-up, after the services have loaded
//     ...
//     ext->stop_for_shutdown();        // right after the message loop ends
//     ext->release_engine();           // after the library is unloaded
//
// Everything here runs on the main thread.

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "foundation/kpl/refcounted.h"
#include "playback/play_order.h"

class title_field_provider;
class title_script;
class title_text_filter;
class track_handle;
namespace kpl {
class utf8_string;
}

// The transport operations (static object), in slot order. Commands (start, stop, set_paused, the volume
// setters, seek, seek_by, stop_for_shutdown) run on the main thread outside any listener notification;
// queries on the main thread. Anything else stops the process (kpl::crash).
//
//     controller->start(1, false);        // play the play order's current item (or its first)
//     controller->seek(30.0);             // clamped to 0 .. the track's length (0 when the length is unknown)
//     controller->set_volume(-6.0f);      // clamped to -100 .. 0 dB; listeners get on_volume
class playback_controller : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xBF803668, 0x2977, 0x4C71, {0xB9, 0xAB, 0x5C, 0x77, 0xC3, 0x38, 0xC9, 0x70}};

    // The audible track into `out` (a new reference); false when none.
    virtual bool get_now_playing(kpl::rc_ptr<track_handle>& out) = 0;
    // command: 1 play the current item (or the first), 2 next, 3 previous (0 is the controller's own).
    // With start_paused the output stays paused until set_paused(false).
    virtual void start(int command, bool start_paused) = 0;
    virtual void stop() = 0;
    virtual bool is_playing() = 0;
    virtual bool is_paused() = 0;
    virtual void set_paused(bool paused) = 0;
    virtual void set_volume(float db) = 0;
    virtual float get_volume() = 0;
    virtual void volume_up() = 0;
    virtual void volume_down() = 0;
    // -100 dB, or back to the volume before the last toggle.
    virtual void volume_mute_toggle() = 0;
    virtual void seek(double seconds) = 0;
    // +10 fast forward, -10 rewind: a seek from the audible position.
    virtual void seek_by(double seconds) = 0;
    virtual bool can_seek() = 0;
    // Seconds into the audible track; 0 when none.
    virtual double get_position() = 0;
    // The audible track through `script`, with the playback fields ("isplaying", "playback_time" ...)
    // asked before `extra` (may be null). Levels 0-3 write; other levels return true without writing.
    // false (and `out` emptied) when nothing plays.
    virtual bool format_title(title_field_provider* extra, kpl::utf8_string& out, const title_script& script,
                              title_text_filter* filter, int level) = 0;
    // The advanced setting "Volume step (dB)" as a number.
    virtual double get_volume_step() = 0;
};

// The controller's start-up and shut-down operations, answered by query on the controller's object.
class playback_controller_ext : public playback_controller {
public:
    static constexpr kpl::guid class_guid = {0x917F4EFD, 0x9B9B, 0x4947, {0xB0, 0x64, 0x7D, 0x47, 0xF1, 0x2A, 0x22, 0x87}};
    using parent_interface = playback_controller;

    // Once at start-up: binds the output volume, takes the play order, creates the playback engine.
    // Exceptions propagate.
    virtual void start_up() = 0;
    // Once at shut-down after the library is unloaded: releases the engine and the play order. No failure.
    virtual void release_engine() = 0;
    // Stops a playing engine and tells the listeners (reason 3). Main thread, never inside a listener
    // notification (the process stops otherwise).
    virtual void stop_for_shutdown() = 0;
    // Playing and not paused: the engine reopens its output at the audible position (new preferences).
    virtual void restart_output() = 0;
};

// The Playback preferences page changed the output selection: the controller binds the volume control of
// the selected device (when it has one) and gives it the current volume. Nothing before the controller's
// start_up or after its release_engine. Main thread.
void playback_rebind_output_volume();

// Set while the playback controller dispatches a notification to its listeners (main thread). The message
// loop, the main-thread queue and stop_for_shutdown stop the process when they run inside one.
extern bool playback_listener_dispatch_active;
