#pragma once
// Operations that make closing the program a question: while one is registered, exit, restart and the end
// of the Windows log-on first ask the user (confirm_close, crash_handler.h).
//
//     class tag_update : public running_operation {
//         void get_name(kpl::utf8_string& out) override { out = "Updating Files"; }
//     };
//     running_operation_registry::instance().register_operation(&update);     // when it starts
//     ...
//     running_operation_registry::instance().unregister_operation(&update);   // before it goes away
//
// The registry holds plain pointers (no references), ordered by address; registering twice keeps one
// entry. Main thread only: any other thread stops the process.

#include <set>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"
#include "foundation/services/service_base.h"

class running_operation {
public:
    // The name shown in the close confirmation.
    virtual void get_name(kpl::utf8_string& out) = 0;

protected:
    ~running_operation() = default;
};

class running_operation_registry : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x213F1454, 0x8A62, 0x44B6, {0xB0, 0xCB, 0xC1, 0xE1, 0x5D, 0xA7, 0x3B, 0xC8}};

    virtual void register_operation(running_operation* operation) = 0;
    virtual void unregister_operation(running_operation* operation) = 0;
    // The names of the registered operations, in registry order.
    virtual void get_names(kpl::string_array& out) = 0;
    virtual bool is_empty() = 0;

    // The program's static registry object (usable without a registry lookup).
    static running_operation_registry& instance();
};
