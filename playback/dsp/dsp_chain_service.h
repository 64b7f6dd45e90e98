#pragma once
// dsp_chain_service: the configured DSP chain, stored with the configuration, and its editors.
// dsp_chain_listener: told every new chain (the playback controller hands it to the engine).
//
//     service_ptr<dsp_chain_service> dsp;
//     service_class::get_single(dsp);
//     dsp_chain chain;
//     dsp->get_chain(chain);
//     chain.insert_item(item, ~0u);
//     dsp->set_chain(chain);          // every dsp_chain_listener's on_chain_changed(chain)
//
// get_chain and set_chain run on the main thread only. The panel messages: 0x8000 asks a chain panel to
// write its chain into the dsp_chain* in lParam, 0x8001 to show the dsp_chain* in lParam.

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "playback/dsp/dsp_chain.h"

#include <windows.h>

class dsp_chain_listener : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xF8F03D26, 0xC2DA, 0x47ED, {0x87, 0x48, 0x1D, 0xBA, 0xCB, 0xCE, 0xA5, 0x08}};

    virtual void on_chain_changed(const dsp_chain& chain) = 0;
};

class dsp_chain_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xEE65D408, 0x70F6, 0x40F6, {0x94, 0x0D, 0xD9, 0xF5, 0x37, 0xF1, 0xBE, 0xF1}};
    enum : UINT { msg_panel_store = 0x8000, msg_panel_load = 0x8001 };

    virtual void get_chain(dsp_chain& out) = 0;
    virtual void set_chain(const dsp_chain& chain) = 0;
    // Modal "DSP Settings" dialog over `chain`; true (and the edited chain written back) on OK.
    virtual bool run_chain_dialog(dsp_chain& chain, HWND parent, const char* name) = 0;
    // The chain editor as a child window of `parent` in place of control `placeholder_id`; null on failure.
    virtual HWND create_chain_panel(const dsp_chain& chain, HWND parent, int placeholder_id, bool flag) = 0;
    virtual void panel_store(HWND panel, dsp_chain& out) = 0;
    virtual void panel_load(HWND panel, const dsp_chain& chain) = 0;
};

// The configured chain as the service keeps it (tests and the configuration store reach it through this).
class config_variable;
config_variable& dsp_chain_config();
