#pragma once
// dsp_service: one installed audio effect, a service of its own class. The chain names effects by GUID;
// dsp_effect_find looks the GUID up among the registered effects (the first whose get_guid equals).
//
//     service_ptr<dsp_service> effect;
//     service_ptr<dsp_instance> instance;
//     if (dsp_effect_find(item.get_guid(), effect) && effect->create_instance(instance, item))
//         ...;   // run it over the chunk list
//
// No effect is registered by the program itself; any number may be added as further services.

#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"
#include "playback/dsp/dsp_chain.h"
#include "playback/dsp/dsp_instance.h"

#include <windows.h>

class dsp_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x0D048731, 0x8AA8, 0x4704, {0x8A, 0xD6, 0x18, 0x9E, 0x24, 0xD4, 0x8C, 0x88}};

    virtual void get_name(kpl::utf8_string& out) = 0;
    virtual bool get_default_preset(dsp_chain_item& out) = 0;
    // A new live instance configured by `item`; false when the effect cannot make one.
    virtual bool create_instance(service_ptr<dsp_instance>& out, const dsp_chain_item& item) = 0;
    virtual void get_guid(kpl::guid& out) = 0;
    virtual bool has_config_dialog() = 0;
    // Modal configuration dialog over `item`; true when the user changed it.
    virtual bool show_config_dialog(dsp_chain_item& item, HWND parent) = 0;
};

// Told every configuration the user makes in an effect's configuration dialog.
class dsp_config_callback {
public:
    virtual void on_config_changed(const dsp_chain_item& item) = 0;

protected:
    ~dsp_config_callback() = default;
};

// Extension of an effect whose configuration dialog reports each change as it happens.
class dsp_service_ext : public dsp_service {
public:
    static constexpr kpl::guid class_guid = {0x9EC5D45E, 0x10F5, 0x46A7, {0x95, 0x46, 0xF3, 0xAC, 0xEC, 0x68, 0xB1, 0x49}};

    virtual void show_config_dialog_ex(const dsp_chain_item& item, HWND parent, dsp_config_callback& callback) = 0;
};

// The registered effect whose GUID is `guid` into `out`; false (out untouched) when none is.
bool dsp_effect_find(const kpl::guid& guid, service_ptr<dsp_service>& out);
// The effect's name; false when no such effect is registered.
bool dsp_effect_name(const kpl::guid& guid, kpl::utf8_string& out);
bool dsp_effect_default_preset(const kpl::guid& guid, dsp_chain_item& out);
bool dsp_effect_has_config_dialog(const kpl::guid& guid);
// Shows the configuration dialog of the item's effect: show_config_dialog_ex when the effect has that
// extension (each reported configuration goes to the callback), else show_config_dialog on a copy that
// goes to the callback only when the effect reports a change. False when no such effect is registered.
bool dsp_effect_show_config(const dsp_chain_item& item, HWND parent, dsp_config_callback& callback);
