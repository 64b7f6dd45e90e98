#pragma once
// output_volume_control: the volume of the program's own audio session on a device, the entry the Windows
// volume mixer shows for the program (from Windows Vista on; see session_volume.h for the "DS" one).
//
//     service_ptr<output_volume_control> control;
//     if (module->open_volume_control(kpl::guid_null, control)) {
//         control->set_volume(-6.0f);          // level 10^(-6/20) = 0.501
//         float db = control->get_volume();    // -6.00, read back from the session
//         control->register_callback(&listener);   // mixer changes made outside, on the main thread
//     }
//
// Conversions: dB = 20 x log10(level), a level of 0 and anything below -100 dB giving -100; level =
// 10^(dB / 20) limited to [0, 1].

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class output_volume_callback {
public:
    // The mixer's volume changed (not by this program); main thread.
    virtual void on_volume_changed(float db) = 0;

protected:
    ~output_volume_callback() = default;
};

class output_volume_control : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x8EC89AE3, 0x5117, 0x4CDB, {0x80, 0x5B, 0xA6, 0x31, 0x55, 0x31, 0x03, 0x03}};

    // The set holds no references; a callback must be unregistered before it goes.
    virtual void register_callback(output_volume_callback* callback) = 0;
    virtual void unregister_callback(output_volume_callback* callback) = 0;
    // The session's level in dB, remembered; with no session or on failure the remembered value.
    virtual float get_volume() = 0;
    // Remembers the value; with a session, sets its level (failures are ignored).
    virtual void set_volume(float db) = 0;
};

// The conversions above.
float session_level_to_db(float level);
float session_db_to_level(float db);
