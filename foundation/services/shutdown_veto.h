#pragma once
// shutdown_veto: a service asked before the program exits or restarts (the main window implements it).
//
//     if (!shutdown_veto::ask_all()) return false;   // some component refused
//
// ask_all walks the implementations in registry order and stops at the first that refuses; it answers true
// when all agree or none exists. Main thread.

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class shutdown_veto : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x13F9CB11, 0x0EAE, 0x4417, {0xAF, 0x0C, 0x88, 0x94, 0xDE, 0xB6, 0x5E, 0x8B}};

    // Whether the program may exit or restart now; false refuses.
    virtual bool may_exit() = 0;

    static bool ask_all();
};
