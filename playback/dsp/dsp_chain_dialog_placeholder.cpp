// Stand-in until the chain editor exists: the dialog is never confirmed and no panel is created.
#include "playback/dsp/dsp_chain_dialog.h"

bool dsp_chain_run_dialog(dsp_chain&, HWND, const char*) { return false; }

HWND dsp_chain_create_panel(const dsp_chain&, HWND, int, bool) { return nullptr; }
