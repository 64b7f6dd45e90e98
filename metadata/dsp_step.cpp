#include "metadata/dsp_step.h"

#include "metadata/audio_block.h"

void dsp_run_step(audio_block_list& chunks, dsp_instance& dsp, track_handle* track, uint32_t flags,
                  double& latency_total, const abort_signal& abort) {
    for (uint32_t i = chunks.count(); i-- > 0;) {
        audio_block* block = chunks.get(i);
        if (block && block->is_valid()) continue;
        if (block) block->reset();
        chunks.remove(i);
    }
    service_ptr<dsp_instance_abortable> abortable;
    if (service_query(&dsp, abortable))
        abortable->run_abortable(chunks, track, flags, abort);
    else
        dsp.run(chunks, track, flags);
    latency_total += dsp.get_latency();
}
