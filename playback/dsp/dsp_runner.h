#pragma once
// dsp_runner: the playback engine's live DSP chain. It turns the configured chain into effect instances,
// keeps them across small changes of the chain and runs them over the chunk list. Worker thread only.
//
//     dsp_runner runner;
//     runner.set_chain(chain);                                    // picked up by the next run
//     double latency = runner.run(chunks, track, dsp_runner::mode_decoded, abort);
//     ...
//     runner.run(chunks, track, dsp_runner::mode_track_end, abort);   // the track's last blocks
//
// A run, in this order:
//   1. the FPU flushes denormals and rounds to nearest (restored afterwards);
//   2. in mode_track_end, the last live instance that wants the track end is noted;
//   3. after set_chain, the instances are rebuilt from the chain's items whose effect is installed. When the
//      new and old lists are equally long, every GUID matches and at most one configuration differs, the
//      instances of equal items are kept; otherwise every instance is new. create_instance failing is a
//      kpl::exception_bug_check_v2;
//   4. every instance runs (dsp_run_step) with flags = mode, plus flag_drain when it comes before the instance
//      noted in step 2 or when it is new after a rebuild;
//   5. blocks that fail audio_block::is_valid leave the list.
// The answer is the sum of the instances' latencies in seconds. With no instance, blocks pass unchanged.

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"
#include "playback/dsp/dsp_chain.h"
#include "playback/dsp/dsp_chunk_list.h"

#include <vector>

class dsp_service;

// Where the runner finds effects; the program's registry by default (dsp_effect_find).
class dsp_effect_source {
public:
    virtual bool find(const kpl::guid& guid, service_ptr<dsp_service>& out) const = 0;

protected:
    ~dsp_effect_source() = default;
};

const dsp_effect_source& dsp_registered_effects();

class dsp_runner {
public:
    enum : uint32_t { mode_decoded = 0, mode_track_end = 1, mode_drain = 2 };
    enum : uint32_t { flag_track_end = 1, flag_drain = 2 };

    explicit dsp_runner(const dsp_effect_source& effects = dsp_registered_effects()) : m_effects(effects) {}

    // A copy of the chain, rebuilt at the next run.
    void set_chain(const dsp_chain& chain);
    double run(dsp_chunk_list& chunks, track_handle* track, uint32_t mode, const abort_signal& abort);
    // flush on every live instance.
    void flush();

    uint32_t instance_count() const { return static_cast<uint32_t>(m_live.size()); }
    dsp_instance* instance(uint32_t index) const { return m_live[index].instance.get(); }

private:
    struct entry {
        dsp_chain_item item;
        service_ptr<dsp_service> effect;
        service_ptr<dsp_instance> instance;
        bool kept = false;
    };

    void rebuild();

    const dsp_effect_source& m_effects;
    dsp_chain m_chain;
    bool m_changed = false;
    std::vector<entry> m_live;
};
