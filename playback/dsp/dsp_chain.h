#pragma once
// dsp_chain_item and dsp_chain: the ordered list of effects applied between decoding and output. Each item
// names its effect by GUID and carries the effect's configuration as opaque bytes.
//
//     dsp_chain chain;
//     dsp_chain_item echo(echo_guid);
//     echo.set_data(config_bytes, config_size);
//     chain.insert_item(echo, ~0u);                 // past the end: appended
//     memory_sink out;
//     dsp_chain_write(chain, out, abort_never);     // 01 00 00 00, the GUID, u32 size, the bytes
//
// Stored form (little-endian): u32 count, then per item the GUID (u32 Data1, u16 Data2, u16 Data3, 8 bytes),
// a u32 size and that many configuration bytes. An item size above dsp_chain_item::max_data_size makes the
// whole record ketrel_io::exception_io_data.

#include "foundation/fs/byte_stream.h"
#include "foundation/kpl/bit_array.h"
#include "foundation/kpl/guid.h"
#include "foundation/tasks/abort_signal.h"

#include <cstdint>
#include <memory>
#include <vector>

class dsp_chain_item {
public:
    // Configurations larger than this (32 MiB) are refused when read.
    static constexpr uint32_t max_data_size = 0x2000000;

    dsp_chain_item() : m_guid(kpl::guid_null) {}
    explicit dsp_chain_item(const kpl::guid& guid) : m_guid(guid) {}

    const kpl::guid& get_guid() const { return m_guid; }
    void set_guid(const kpl::guid& guid) { m_guid = guid; }
    const uint8_t* get_data() const { return m_data.data(); }
    uint32_t get_data_size() const { return static_cast<uint32_t>(m_data.size()); }
    void set_data(const void* data, uint32_t size);
    // Replaces the configuration by `size` bytes of the source (ketrel_io::exception_io_data when short).
    void read_data(byte_source& source, uint32_t size, const abort_signal& abort);

    // Same GUID, same size, same bytes.
    bool operator==(const dsp_chain_item& other) const;
    bool operator!=(const dsp_chain_item& other) const { return !(*this == other); }

private:
    kpl::guid m_guid;
    std::vector<uint8_t> m_data;
};

class dsp_chain {
public:
    dsp_chain() = default;
    dsp_chain(const dsp_chain& other) { copy_from(other); }
    dsp_chain& operator=(const dsp_chain& other) {
        if (this != &other) copy_from(other);
        return *this;
    }

    uint32_t count() const { return static_cast<uint32_t>(m_items.size()); }
    // The item at `index` (index < count).
    const dsp_chain_item& get_item(uint32_t index) const { return *m_items[index]; }
    dsp_chain_item& get_item(uint32_t index) { return *m_items[index]; }
    void copy_item(uint32_t index, dsp_chain_item& out) const { out = *m_items[index]; }
    // Inserts a copy at `index`; an index past the end appends.
    void insert_item(const dsp_chain_item& item, uint32_t index);
    // Removes every item whose bit is set.
    void remove_mask(const kpl::bit_mask& mask);
    void remove_all() { m_items.clear(); }
    void copy_from(const dsp_chain& other);

    bool operator==(const dsp_chain& other) const;
    bool operator!=(const dsp_chain& other) const { return !(*this == other); }

private:
    std::vector<std::unique_ptr<dsp_chain_item>> m_items;
};

void dsp_chain_write(const dsp_chain& chain, byte_sink& sink, const abort_signal& abort);
// Empties `chain`, then appends the items of the stored form. On an error the items read so far stay.
void dsp_chain_read(dsp_chain& chain, byte_source& source, const abort_signal& abort);
