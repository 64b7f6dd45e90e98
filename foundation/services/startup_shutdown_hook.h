#pragma once
// startup_shutdown_hook: a service told when the program has started and when it stops.
//
//     class my_hook : public service_static<startup_shutdown_hook> {
//         void on_start() override { ... }   // after the user interface and the own command line
//         void on_stop() override { ... }    // after the persistent_state save, before the UI goes
//     };
//     static service_factory_single<my_hook, startup_shutdown_hook> g_my_hook;
//
// Both run on the main thread, for every implementation in enumeration order. A hook whose on_start
// throws ends the start-up; the hooks then get no on_stop.

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class startup_shutdown_hook : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x113773C4, 0xB387, 0x4B48, {0x8B, 0xDF, 0xAB, 0x58, 0xBC, 0x6C, 0xE5, 0x38}};

    // Start notification (fourth operation).
    virtual void on_start() = 0;
    // Stop notification (fifth operation).
    virtual void on_stop() = 0;
};
