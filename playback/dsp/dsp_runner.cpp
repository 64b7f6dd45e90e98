#include "playback/dsp/dsp_runner.h"

#include "foundation/kpl/exceptions.h"
#include "metadata/dsp_step.h"
#include "playback/dsp/dsp_effect.h"

#include <float.h>

namespace {

class registered_effects final : public dsp_effect_source {
public:
    bool find(const kpl::guid& guid, service_ptr<dsp_service>& out) const override {
        return dsp_effect_find(guid, out);
    }
};

const registered_effects g_registered;

// Denormals flushed, rounding to nearest, for the scope.
class fpu_scope {
public:
    static constexpr unsigned mask = _MCW_DN | _MCW_RC;  // 0x3000300
    fpu_scope() : m_saved(_controlfp(0, 0)) { _controlfp(_DN_FLUSH | _RC_NEAR, mask); }
    ~fpu_scope() { _controlfp(m_saved, mask); }
    fpu_scope(const fpu_scope&) = delete;
    fpu_scope& operator=(const fpu_scope&) = delete;

private:
    unsigned m_saved;
};

void remove_invalid(dsp_chunk_list& chunks) {
    for (uint32_t i = chunks.count(); i-- > 0;) {
        audio_block* block = chunks.get(i);
        if (block->is_valid()) continue;
        block->reset();
        chunks.remove(i);
    }
}

}  // namespace

const dsp_effect_source& dsp_registered_effects() { return g_registered; }

void dsp_runner::set_chain(const dsp_chain& chain) {
    m_chain = chain;
    m_changed = true;
}

void dsp_runner::rebuild() {
    std::vector<entry> fresh;
    for (uint32_t i = 0; i < m_chain.count(); ++i) {
        const dsp_chain_item& item = m_chain.get_item(i);
        service_ptr<dsp_service> effect;
        if (!m_effects.find(item.get_guid(), effect)) continue;
        fresh.emplace_back();
        fresh.back().item = item;
        fresh.back().effect = effect;
    }

    bool keep = fresh.size() == m_live.size();
    uint32_t differing = 0;
    for (size_t i = 0; keep && i < fresh.size(); ++i) {
        if (!(fresh[i].item.get_guid() == m_live[i].item.get_guid()))
            keep = false;
        else if (fresh[i].item != m_live[i].item)
            ++differing;
    }
    if (differing > 1) keep = false;
    if (keep) {
        for (size_t i = 0; i < fresh.size(); ++i) {
            if (fresh[i].item != m_live[i].item) continue;
            fresh[i].instance = m_live[i].instance;
            fresh[i].kept = true;
        }
    }

    for (entry& e : fresh) {
        if (e.instance) continue;
        if (!e.effect->create_instance(e.instance, e.item) || !e.instance) throw kpl::exception_bug_check_v2();
    }
    m_live.swap(fresh);
    m_changed = false;
}

double dsp_runner::run(dsp_chunk_list& chunks, track_handle* track, uint32_t mode, const abort_signal& abort) {
    fpu_scope fpu;

    // Instances before this index drain so that everything reaches the one that ends the track itself.
    size_t track_end_index = 0;
    if (mode == mode_track_end) {
        for (size_t i = m_live.size(); i-- > 0;) {
            if (m_live[i].instance->wants_track_end()) {
                track_end_index = i;
                break;
            }
        }
    }

    const bool rebuilt = m_changed;
    if (rebuilt) rebuild();

    double latency = 0;
    for (size_t i = 0; i < m_live.size(); ++i) {
        uint32_t flags = mode;
        if (i < track_end_index || (rebuilt && !m_live[i].kept)) flags |= flag_drain;
        dsp_run_step(chunks, *m_live[i].instance, track, flags, latency, abort);
    }
    remove_invalid(chunks);
    return latency;
}

void dsp_runner::flush() {
    for (entry& e : m_live) e.instance->flush();
}
