#pragma once
// The ReplayGain settings windows behind replaygain_settings_service: the settings panel and the modal
// dialog that hosts it.
//
//     HWND panel = replaygain_create_panel(settings, page, 122);

#include "playback/replaygain_settings.h"

#include <windows.h>

HWND replaygain_create_panel(const replaygain_settings& settings, HWND parent, int control_id);
bool replaygain_run_dialog(replaygain_settings& settings, HWND parent, const char* name);
