#pragma once
// dsp_chunk_list: the audio_block_list that the DSP chain works on, with a pool of recycled blocks. Removed
// blocks go to the pool; insert_item takes one back (or makes a new one), empties it and places it.
//
//     dsp_chunk_list chunks;
//     audio_block* block = chunks.insert_item(chunks.count(), 4096);   // appended, empty
//     block->set_data(samples, 1024, 2, 44100, 0x3);
//     chunks.remove(0);                                               // back to the pool, data kept
//
// With a size hint, the pooled block whose data size (in floats) is closest to the hint is taken; without
// one (0), the most recently pooled block.

#include "metadata/audio_block.h"
#include "foundation/kpl/bit_array.h"
#include "playback/dsp/dsp_instance.h"

#include <memory>
#include <vector>

class dsp_chunk_list final : public audio_block_list {
public:
    uint32_t count() const override { return static_cast<uint32_t>(m_items.size()); }
    audio_block* get(uint32_t index) const override {
        return index < m_items.size() ? m_items[index].get() : nullptr;
    }
    void remove(uint32_t index) override;
    // Removes every block whose bit is set.
    void remove_mask(const kpl::bit_mask& mask);
    // An empty block (no samples, no rate) at `index`; an index past the end appends.
    audio_block* insert_item(uint32_t index, uint32_t size_hint = 0);
    // Every block back to the pool.
    void remove_all();

    uint32_t pool_count() const { return static_cast<uint32_t>(m_pool.size()); }

private:
    std::vector<std::unique_ptr<audio_block_store_pow2>> m_items;
    std::vector<std::unique_ptr<audio_block_store_pow2>> m_pool;
};
