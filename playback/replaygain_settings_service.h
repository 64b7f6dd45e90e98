#pragma once
// replaygain_settings_service: the user's ReplayGain settings, stored with the configuration as the
// 16-byte record {u32 source, u32 processing, float preamp without RG info, float preamp with RG info}
// (little-endian), default {album, apply gain, 0 dB, 0 dB}.
//
//     service_ptr<replaygain_settings_service> rg;
//     service_class::get_single(rg);
//     replaygain_settings s;
//     rg->get_settings(s);                     // any thread: a copy taken under the settings lock
//     s.preamp_with_gain = -3.0f;
//     rg->set_settings(s);                     // main thread: stored, then handed to a running engine
//
// The panel messages: 0x8000 asks a settings panel to write its state into the replaygain_settings* in
// lParam, 0x8001 to show the replaygain_settings* in lParam.

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "playback/replaygain_settings.h"

#include <windows.h>

class replaygain_settings_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xA00CB77D, 0xED72, 0x4031, {0x80, 0x6B, 0x4E, 0x45, 0xAF, 0x99, 0x52, 0x41}};
    enum : UINT { msg_panel_store = 0x8000, msg_panel_load = 0x8001 };

    virtual void get_settings(replaygain_settings& out) = 0;
    // The settings panel as a child of `parent` with control id `control_id`, showing `settings`.
    virtual HWND create_panel(const replaygain_settings& settings, HWND parent, int control_id) = 0;
    virtual void panel_store(HWND panel, replaygain_settings& out) = 0;
    // Modal "ReplayGain Settings" dialog over `settings`; true when OK was pressed. Applies nothing.
    virtual bool run_dialog(replaygain_settings& settings, HWND parent, const char* name) = 0;
    virtual void set_settings(const replaygain_settings& settings) = 0;
    virtual void panel_load(HWND panel, const replaygain_settings& settings) = 0;
    virtual void get_defaults(replaygain_settings& out) = 0;
};

// What the service does, for callers that hold no service reference (and tests).
replaygain_settings replaygain_settings_defaults();
// A copy under the settings lock.
replaygain_settings replaygain_settings_get();
// Main thread only: stores under the lock, then (outside it) hands the settings to the playback engine.
void replaygain_settings_set(const replaygain_settings& settings);

class config_variable;
// The stored record (16 bytes).
config_variable& replaygain_settings_config();
