#pragma once
// Popup notices: a message shown in a small resizable window of its own (a read-only text filling it) that
// does not block.
//
//     popup_notice_show("Could not open the file.", "Error");     // any thread
//
//     service_ptr<popup_notice_owned_service> owned;
//     service_class::get_single(owned);
//     owned->show_popup_owned(dialog, "a\r\nb\nc\r", size_t(-1), "Title", size_t(-1));   // three lines a, b, c
//
// On the main thread the notice appears at once; from other threads the texts are copied and handed to the
// main-thread queue, and the notice appears when the main thread runs it. The owner is the given window,
// else the hidden main-thread window, else none. Line breaks are shown as written: "\n" and "\r\n" end a
// line, a lone "\r" is dropped. Texts are UTF-8.

#include <windows.h>

#include <cstddef>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class popup_notice_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xD5CAC75A, 0x3023, 0x4DCE, {0x8B, 0x0D, 0xB5, 0x02, 0xBD, 0x05, 0x6A, 0x7C}};

    // Shows the notice; a length of size_t(-1) means up to the terminating zero. `kind` is not used.
    virtual void show(const char* text, size_t text_length, const char* title, size_t title_length, int kind) = 0;
};

// The same notice owned by a given window (null: as popup_notice_service). Static service.
class popup_notice_owned_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x18B74F55, 0x10E1, 0x4645, {0x91, 0xF6, 0xB0, 0xE0, 0x4C, 0x28, 0x21, 0xE9}};

    virtual void show_popup_owned(HWND owner, const char* text, size_t text_length, const char* title,
                                  size_t title_length) = 0;
};

// show (text, -1, title, -1, 1) of the registered service. Throws exception_service_not_found while no
// service runs.
void popup_notice_show(const char* text, const char* title);
