#pragma once
// The session volume control of the "DS" module: the program's own audio session on a device, through the
// MMDevice and audio-session interfaces (Windows Vista and later).
//
//     service_ptr<output_volume_control> control;
//     if (session_volume_open(kpl::guid_null, control)) control->set_volume(-10.0f);
//
// Opening answers false before Windows 6.0 and on any failure. For the null GUID the control follows the
// system's default playback device: when it changes, the new device's session is opened and the remembered
// volume applied to it. Volumes the control sets carry its own event context, so they never come back as
// changes; changes made in the mixer reach the registered callbacks on the main thread (the mute flag is not
// looked at). COM must be initialised on the calling thread (the main thread).

#include <windows.h>

#include "foundation/kpl/guid.h"
#include "playback/output/output_volume_control.h"

bool session_volume_open(const kpl::guid& device, service_ptr<output_volume_control>& out);

// The event context of the volumes the control sets.
constexpr kpl::guid session_volume_context = {0x53CF1135, 0x1306, 0x45B2, {0x84, 0x35, 0x16, 0x43, 0x14, 0x1D, 0xAE, 0x54}};

// True for a change notified with `session_volume_context`: one the control made itself, which its callbacks
// are not told about.
bool session_volume_is_own_change(const GUID* context);
