#pragma once
// persistent_state: a service that owns stored data (the configuration file, the media library). The
// shell's start-up tells every implementation to load, its shut-down tells every one to save.
//
//     class my_store : public service_static<persistent_state> {
//         void on_startup() override { read("my.dat"); }
//         void on_shutdown(bool discard) override { if (discard) remove("my.dat"); else if (dirty) write("my.dat"); }
//     };
//     static service_factory_single<my_store, persistent_state> g_my_store;
//
// service_registry::start calls on_startup of every implementation in enumeration order;
// service_registry::notify_shutdown calls on_shutdown with the flag (false at a normal exit: save), and
// nothing at all while the profile is read-only.

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class persistent_state : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x74497D81, 0x6158, 0x48BA, {0x96, 0x57, 0x38, 0x6A, 0x55, 0x20, 0xD0, 0xFF}};

    // Loads the stored data.
    virtual void on_startup() = 0;
    // Saves the stored data, or with `discard` true throws it away.
    virtual void on_shutdown(bool discard) = 0;
};

// Extension of persistent_state for owners that can save on request (preferences apply).
class persistent_state_flush : public persistent_state {
public:
    static constexpr kpl::guid class_guid = {0xFE784BF0, 0x9504, 0x4E35, {0x85, 0xE4, 0x72, 0x53, 0x82, 0x62, 0xA1, 0x99}};
    using parent_interface = persistent_state;

    // Saves now.
    virtual void save_now() = 0;
};
