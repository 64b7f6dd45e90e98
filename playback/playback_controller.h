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
#include "playback/play_order.h"

// The transport operations (static object).
class playback_controller : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xBF803668, 0x2977, 0x4C71, {0xB9, 0xAB, 0x5C, 0x77, 0xC3, 0x38, 0xC9, 0x70}};

    // mode: 1 play, 2 next track, 3 previous track.
    virtual void start(int mode) = 0;
    virtual void stop() = 0;
    virtual bool is_playing() = 0;
    virtual bool is_paused() = 0;
    virtual void set_paused(bool paused) = 0;
    // +10 fast forward, -10 rewind.
    virtual void seek_by(double seconds) = 0;
};

// The controller's start-up and shut-down operations, answered by query on the controller's object.
class playback_controller_ext : public playback_controller {
public:
    static constexpr kpl::guid class_guid = {0x917F4EFD, 0x9B9B, 0x4947, {0xB0, 0x64, 0x7D, 0x47, 0xF1, 0x2A, 0x22, 0x87}};
    using parent_interface = playback_controller;

    // Once at start-up: takes the play order, creates the playback engine. Exceptions propagate.
    virtual void start_up() = 0;
    // Once at shut-down after the library is unloaded: releases the engine and the play order. No failure.
    virtual void release_engine() = 0;
    // Stops a playing engine and tells the listeners (reason 3). Main thread, never inside a listener
    // notification (the process stops otherwise).
    virtual void stop_for_shutdown() = 0;
};

// Set while the playback controller dispatches a notification to its listeners (main thread). The message
// loop, the main-thread queue and stop_for_shutdown stop the process when they run inside one.
extern bool playback_listener_dispatch_active;
