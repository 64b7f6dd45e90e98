#pragma once
// The DSP chain editor windows behind dsp_chain_service: the modal "DSP Settings" dialog and the chain panel.
//
//     if (dsp_chain_run_dialog(chain, parent, "Output")) apply(chain);

#include "playback/dsp/dsp_chain.h"

#include <windows.h>

bool dsp_chain_run_dialog(dsp_chain& chain, HWND parent, const char* name);
HWND dsp_chain_create_panel(const dsp_chain& chain, HWND parent, int placeholder_id, bool flag);
