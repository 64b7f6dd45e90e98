#include "playback/dsp/dsp_chain.h"

#include "foundation/fs/stream_forms.h"
#include "foundation/kpl/io_exceptions.h"

#include <cstring>

void dsp_chain_item::set_data(const void* data, uint32_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    m_data.assign(bytes, bytes + size);
}

void dsp_chain_item::read_data(byte_source& source, uint32_t size, const abort_signal& abort) {
    std::vector<uint8_t> data(size);
    if (size) source.read_exact(data.data(), size, abort);
    m_data.swap(data);
}

bool dsp_chain_item::operator==(const dsp_chain_item& other) const {
    return m_guid == other.m_guid && m_data == other.m_data;
}

void dsp_chain::insert_item(const dsp_chain_item& item, uint32_t index) {
    std::unique_ptr<dsp_chain_item> copy(new dsp_chain_item(item));
    if (index >= m_items.size())
        m_items.push_back(std::move(copy));
    else
        m_items.insert(m_items.begin() + index, std::move(copy));
}

void dsp_chain::remove_mask(const kpl::bit_mask& mask) {
    std::vector<std::unique_ptr<dsp_chain_item>> kept;
    for (uint32_t i = 0; i < m_items.size(); ++i)
        if (!mask.get(i)) kept.push_back(std::move(m_items[i]));
    m_items.swap(kept);
}

void dsp_chain::copy_from(const dsp_chain& other) {
    std::vector<std::unique_ptr<dsp_chain_item>> items;
    items.reserve(other.m_items.size());
    for (const auto& item : other.m_items) items.emplace_back(new dsp_chain_item(*item));
    m_items.swap(items);
}

bool dsp_chain::operator==(const dsp_chain& other) const {
    if (m_items.size() != other.m_items.size()) return false;
    for (size_t i = 0; i < m_items.size(); ++i)
        if (*m_items[i] != *other.m_items[i]) return false;
    return true;
}

void dsp_chain_write(const dsp_chain& chain, byte_sink& sink, const abort_signal& abort) {
    stream_writer w(sink, abort);
    w.write_uint32(chain.count());
    for (uint32_t i = 0; i < chain.count(); ++i) {
        const dsp_chain_item& item = chain.get_item(i);
        w.write_guid(item.get_guid());
        w.write_uint32(item.get_data_size());
        if (item.get_data_size()) w.write(item.get_data(), item.get_data_size());
    }
}

void dsp_chain_read(dsp_chain& chain, byte_source& source, const abort_signal& abort) {
    chain.remove_all();
    stream_reader r(source, abort);
    const uint32_t count = r.read_uint32();
    for (uint32_t i = 0; i < count; ++i) {
        dsp_chain_item item(r.read_guid());
        const uint32_t size = r.read_uint32();
        if (size > dsp_chain_item::max_data_size) throw ketrel_io::exception_io_data();
        item.read_data(source, size, abort);
        chain.insert_item(item, ~0u);
    }
}
