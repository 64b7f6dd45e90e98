#include "playback/dsp/dsp_chunk_list.h"

void dsp_chunk_list::remove(uint32_t index) {
    if (index >= m_items.size()) return;
    m_pool.push_back(std::move(m_items[index]));
    m_items.erase(m_items.begin() + index);
}

void dsp_chunk_list::remove_mask(const kpl::bit_mask& mask) {
    std::vector<std::unique_ptr<audio_block_store_pow2>> kept;
    for (uint32_t i = 0; i < m_items.size(); ++i) {
        if (mask.get(i))
            m_pool.push_back(std::move(m_items[i]));
        else
            kept.push_back(std::move(m_items[i]));
    }
    m_items.swap(kept);
}

void dsp_chunk_list::remove_all() {
    for (auto& item : m_items) m_pool.push_back(std::move(item));
    m_items.clear();
}

audio_block* dsp_chunk_list::insert_item(uint32_t index, uint32_t size_hint) {
    std::unique_ptr<audio_block_store_pow2> block;
    if (!m_pool.empty()) {
        size_t pick = m_pool.size() - 1;
        if (size_hint) {
            uint32_t best = UINT32_MAX;
            for (size_t i = 0; i < m_pool.size(); ++i) {
                uint32_t size = m_pool[i]->get_data_size();
                uint32_t distance = size > size_hint ? size - size_hint : size_hint - size;
                if (distance < best) {
                    best = distance;
                    pick = i;
                }
            }
        }
        block = std::move(m_pool[pick]);
        m_pool.erase(m_pool.begin() + pick);
    } else {
        block.reset(new audio_block_store_pow2());
    }
    block->reset();
    audio_block* result = block.get();
    if (index >= m_items.size())
        m_items.push_back(std::move(block));
    else
        m_items.insert(m_items.begin() + index, std::move(block));
    return result;
}
