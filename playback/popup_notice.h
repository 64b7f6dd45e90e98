#pragma once
// Popup notices: a message shown in a small window of its own, without an owner, that does not block.
//
//     popup_notice_show("Could not open the file.", "Error");     // any thread
//
// On the main thread the notice appears at once; from other threads it is handed to the main-thread queue
// and appears when the main thread runs it.

#include <cstddef>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class popup_notice_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xD5CAC75A, 0x3023, 0x4DCE, {0x8B, 0x0D, 0xB5, 0x02, 0xBD, 0x05, 0x6A, 0x7C}};

    // Shows the notice; a length of size_t(-1) means up to the terminating zero. `kind` is not used.
    virtual void show(const char* text, size_t text_length, const char* title, size_t title_length, int kind) = 0;
};

// show (text, -1, title, -1, 1) of the registered service. Throws exception_service_not_found while no
// service runs.
void popup_notice_show(const char* text, const char* title);
