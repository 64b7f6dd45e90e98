// dsp_run_step: invalid blocks leave the list (reset first), the abortable run is preferred, the latency adds
// up.
#include <doctest/doctest.h>

#include "foundation/tasks/abort_signal.h"
#include "metadata/audio_block.h"
#include "metadata/dsp_step.h"

#include <string>
#include <type_traits>
#include <vector>

namespace {

class block_list final : public audio_block_list {
public:
    std::vector<audio_block*> blocks;
    uint32_t count() const override { return static_cast<uint32_t>(blocks.size()); }
    audio_block* get(uint32_t index) const override { return index < blocks.size() ? blocks[index] : nullptr; }
    void remove(uint32_t index) override { blocks.erase(blocks.begin() + index); }
};

// Records which run it got and what the list held then. Lives on the stack: release and add_ref count
// nothing; query answers the abortable extension only when the instance implements it.
template <class Interface>
class recording_dsp : public Interface {
public:
    uint32_t release() override { return 1; }
    uint32_t add_ref() override { return 1; }
    bool query(service_ref& out, const kpl::guid& interface_guid) override {
        if constexpr (std::is_base_of<dsp_instance_abortable, Interface>::value) {
            if (interface_guid == dsp_instance_abortable::class_guid) {
                out.assign(this);
                return true;
            }
        }
        return false;
    }

    std::string ran;
    uint32_t seen_blocks = 0;
    uint32_t seen_flags = 0;
    const abort_signal* seen_abort = nullptr;
    double latency = 0.25;

    void run(audio_block_list& chunks, track_handle*, uint32_t flags) override {
        ran += "run;";
        seen_blocks = chunks.count();
        seen_flags = flags;
    }
    void flush() override {}
    double get_latency() override { return latency; }
    bool wants_track_end() override { return false; }
};

class plain_dsp final : public recording_dsp<dsp_instance> {};

class abortable_dsp final : public recording_dsp<dsp_instance_abortable> {
public:
    void run_abortable(audio_block_list& chunks, track_handle*, uint32_t flags, const abort_signal& abort) override {
        ran += "run_abortable;";
        seen_blocks = chunks.count();
        seen_flags = flags;
        seen_abort = &abort;
    }
};

void fill(audio_block& block, uint32_t rate, uint32_t channels, uint32_t frames) {
    block.set_data(nullptr, frames, channels, rate, channel_mask_default(channels));
}

}  // namespace

TEST_CASE("dsp_run_step drops invalid blocks, resetting them, and keeps the order of the rest") {
    audio_block_store good1, bad_rate, good2, no_frames, bad_channels;
    fill(good1, 44100, 2, 10);
    fill(bad_rate, 999, 2, 10);
    fill(good2, 48000, 1, 5);
    fill(no_frames, 44100, 2, 0);
    fill(bad_channels, 44100, 257, 1);
    block_list list;
    list.blocks = {&bad_rate, &good1, &no_frames, &good2, &bad_channels};

    plain_dsp dsp;
    double latency = 1.0;
    dsp_run_step(list, dsp, nullptr, 7, latency, abort_never);

    CHECK(list.blocks == std::vector<audio_block*>{&good1, &good2});
    for (audio_block* dropped : {static_cast<audio_block*>(&bad_rate), static_cast<audio_block*>(&bad_channels)}) {
        CHECK(dropped->get_sample_count() == 0);
        CHECK(dropped->get_sample_rate() == 0);
        CHECK(dropped->get_channels() == 0);
        CHECK(dropped->get_data_size() == 0);
    }
    CHECK(good1.get_sample_count() == 10);
    CHECK(dsp.ran == "run;");
    CHECK(dsp.seen_blocks == 2);  // the DSP sees only the valid blocks
    CHECK(dsp.seen_flags == 7);
    CHECK(latency == 1.25);
}

TEST_CASE("dsp_run_step prefers the abortable run and adds each latency") {
    audio_block_store block;
    fill(block, 44100, 2, 4);
    block_list list;
    list.blocks = {&block};

    abortable_dsp abortable;
    plain_dsp plain;
    plain.latency = 0.5;
    double latency = 0;
    dsp_run_step(list, abortable, nullptr, 3, latency, abort_never);
    dsp_run_step(list, plain, nullptr, 3, latency, abort_never);
    CHECK(abortable.ran == "run_abortable;");
    CHECK(abortable.seen_abort == &abort_never);
    CHECK(abortable.seen_blocks == 1);
    CHECK(plain.ran == "run;");
    CHECK(latency == 0.75);

    // An empty list still runs the DSP (it may have output of its own to give).
    block_list empty;
    dsp_run_step(empty, plain, nullptr, 0, latency, abort_never);
    CHECK(plain.ran == "run;run;");
    CHECK(plain.seen_blocks == 0);
}
