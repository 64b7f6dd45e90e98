#pragma once
// Named presets of whole DSP chains, kept with the configuration.
//
//     dsp_preset_list& presets = dsp_presets();
//     presets.store("Night", chain);              // added, or the chain of "Night" replaced
//     const dsp_chain* found = presets.find("night");   // null: names compare byte for byte
//     memory_sink out;
//     dsp_presets_write(presets, out, abort_never);
//     // 01 00 00 00 | 05 00 00 00 "Night" | the chain's stored form
//
// Stored form (little-endian): u32 count, then per preset a u32 name length, the UTF-8 name (no
// terminator) and the chain's stored form (dsp_chain_write). A read that fails part-way leaves the list
// empty and passes the error on.

#include "foundation/fs/byte_stream.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"
#include "playback/dsp/dsp_chain.h"

#include <string>
#include <vector>

struct dsp_preset {
    std::string name;  // UTF-8
    dsp_chain chain;
};

class dsp_preset_list {
public:
    size_t count() const { return m_items.size(); }
    const dsp_preset& get(size_t index) const { return m_items[index]; }
    // The preset whose name is byte for byte `name`; null when none.
    const dsp_preset* find(const char* name) const;
    // Replaces the chain of the preset named `name`, or appends a new preset.
    void store(const char* name, const dsp_chain& chain);
    // Removes the preset named `name`; false when there is none.
    bool remove(const char* name);
    void remove_all() { m_items.clear(); }

private:
    friend void dsp_presets_read(dsp_preset_list&, byte_source&, const abort_signal&);
    std::vector<dsp_preset> m_items;
};

void dsp_presets_write(const dsp_preset_list& presets, byte_sink& sink, const abort_signal& abort);
void dsp_presets_read(dsp_preset_list& presets, byte_source& source, const abort_signal& abort);

// The program's presets (configuration variable {9C6E5D7A-A426-4960-A2E6-2A1AB834B8A2}). Main thread.
dsp_preset_list& dsp_presets();
