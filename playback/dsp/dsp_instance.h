#pragma once
// What a DSP of the chain offers to the step that runs it (metadata/dsp_step.h): the instance interface, its
// abortable extension, and the list of audio blocks it works on. The chain runner and the chunk list with its
// pool of recycled blocks belong to the playback engine; no DSP is registered yet.
//
//     dsp_run_step(chunks, *instance, track, flags, latency_total, abort);

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

#include <cstdint>

class abort_signal;
class audio_block;
class track_handle;

// An ordered list of audio blocks handed through the DSP chain.
class audio_block_list {
public:
    virtual uint32_t count() const = 0;
    // The block at `index`, or null past the end.
    virtual audio_block* get(uint32_t index) const = 0;
    // Takes the block at `index` out of the list (index < count).
    virtual void remove(uint32_t index) = 0;

protected:
    ~audio_block_list() = default;
};

// One DSP of the chain: processes the list in place.
class dsp_instance : public service_object {
public:
    virtual void run(audio_block_list& chunks, track_handle* track, uint32_t flags) = 0;
    virtual void flush() = 0;
    // The DSP's delay in seconds.
    virtual double get_latency() = 0;
    virtual bool wants_track_end() = 0;
};

// Extension of a DSP instance that can be cancelled; used instead of run when the instance answers it.
class dsp_instance_abortable : public dsp_instance {
public:
    static constexpr kpl::guid class_guid = {0x9FB1DA49, 0xAF6F, 0x4FD2, {0x9C, 0x73, 0x48, 0xA8, 0xA1, 0x09, 0x00, 0x3B}};

    virtual void run_abortable(audio_block_list& chunks, track_handle* track, uint32_t flags,
                               const abort_signal& abort) = 0;
};
