#pragma once
// Preferences pages as services, and the live page windows the preferences dialog shows.
//
// A page is a static preferences_panel service. Pages of this program also answer preferences_panel_ext
// (sort priority) and preferences_panel_instantiable, whose instantiate makes the page's live object:
//
//     class my_panel : public service_static<preferences_panel_instantiable> {   // answers all three
//         const char* name() override { return "My page"; }
//         ...
//         void instantiate(service_ptr<preferences_panel_window>& out, HWND parent,
//                          preferences_page_host* host) override {
//             out.attach_ref(my_page::create(parent, host));   // a child dialog of `parent`
//         }
//     };
//     static service_factory_single<my_panel, preferences_panel> g_my_panel;
//
// The live page keeps the user's edits until apply. It reports its state with the flags below; when the
// state changes (first edit, busy starts or ends) it calls host->notify(), and the dialog reads the states
// of all its pages again (buttons, running operation). Main thread only.

#include <windows.h>

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"
#include "ui/preferences_tree.h"

// A live page: a child window of the dialog and its state.
class preferences_panel_window : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x6893A996, 0xA816, 0x49FE, {0x82, 0xCE, 0x0C, 0xB8, 0x04, 0xA4, 0xCF, 0xEC}};

    // preferences_state_* flags (ui/preferences_tree.h).
    virtual uint32_t get_state() = 0;
    virtual HWND get_window() = 0;
    virtual void apply() = 0;
    virtual void reset() = 0;
};

// What a live page calls when its state changed.
class preferences_page_host : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x3D26E08E, 0x861C, 0x4599, {0x9C, 0x89, 0xAA, 0xA7, 0x19, 0xAF, 0x50, 0x70}};

    virtual void notify() = 0;
};

class preferences_panel : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x7255E8D0, 0x3FCF, 0x4781, {0xB9, 0x3B, 0xD0, 0x6C, 0xB8, 0x8D, 0xFA, 0xFA}};

    // The old way to make a page: a child window of `parent`. Asked only of pages without instantiate.
    virtual HWND create_window(HWND parent) = 0;
    virtual const char* name() = 0;
    virtual kpl::guid get_guid() = 0;
    virtual kpl::guid get_parent() = 0;
    virtual bool reset_supported() = 0;
    virtual void reset() = 0;
    virtual bool help_url(kpl::utf8_string& out) = 0;
};

class preferences_panel_ext : public preferences_panel {
public:
    static constexpr kpl::guid class_guid = {0xCE4EBC9E, 0xAB20, 0x46F9, {0x92, 0x5F, 0x88, 0x3B, 0x08, 0x4F, 0x05, 0x69}};
    using parent_interface = preferences_panel;

    virtual double sort_priority() = 0;
};

// Pages of this program answer both extensions, so the instantiable one extends the other: its query
// answers the sort priority's GUID too.
class preferences_panel_instantiable : public preferences_panel_ext {
public:
    static constexpr kpl::guid class_guid = {0xD6D0F741, 0x9F17, 0x4DF8, {0x9D, 0x5C, 0x87, 0xF2, 0x8B, 0x1F, 0x0E, 0x64}};
    using parent_interface = preferences_panel_ext;

    // The page's live object, its window a child of `parent`; `host` hears of state changes.
    virtual void instantiate(service_ptr<preferences_panel_window>& out, HWND parent, preferences_page_host* host) = 0;
};

// The dialog font with its height x 1.1 (rounded; a result of 0 becomes -1 or 1 by the height's sign) and
// weight 700; null when the window has no font. The caller deletes it.
HFONT create_heading_font(HWND dialog);
