// Stand-in until the settings panel and dialog exist: no panel is created and the dialog is never confirmed.
#include "playback/replaygain_settings_dialog.h"

HWND replaygain_create_panel(const replaygain_settings&, HWND, int) { return nullptr; }

bool replaygain_run_dialog(replaygain_settings&, HWND, const char*) { return false; }
