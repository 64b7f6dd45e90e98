#pragma once
// dsp_run_step: one step of the DSP chain runner. Removes from the list every block that fails
// audio_block::is_valid (resetting it first), runs the DSP over the rest (run_abortable when the instance
// answers that extension, else run) and adds the DSP's latency in seconds to `latency_total`.
//
//     double latency = 0;
//     for (each instance of the chain) dsp_run_step(chunks, instance, track, flags, latency, abort);

#include "playback/dsp/dsp_instance.h"

#include <cstdint>

void dsp_run_step(audio_block_list& chunks, dsp_instance& dsp, track_handle* track, uint32_t flags,
                  double& latency_total, const abort_signal& abort);
