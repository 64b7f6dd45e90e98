#include "playback/dsp/dsp_presets.h"

#include "foundation/fs/stream_forms.h"
#include "foundation/services/config_variable.h"

#include <cstring>

const dsp_preset* dsp_preset_list::find(const char* name) const {
    for (const dsp_preset& p : m_items)
        if (p.name == name) return &p;
    return nullptr;
}

void dsp_preset_list::store(const char* name, const dsp_chain& chain) {
    for (dsp_preset& p : m_items) {
        if (p.name == name) {
            p.chain = chain;
            return;
        }
    }
    dsp_preset added;
    added.name = name;
    added.chain = chain;
    m_items.push_back(added);
}

bool dsp_preset_list::remove(const char* name) {
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].name == name) {
            m_items.erase(m_items.begin() + static_cast<ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

void dsp_presets_write(const dsp_preset_list& presets, byte_sink& sink, const abort_signal& abort) {
    stream_writer w(sink, abort);
    w.write_uint32(static_cast<uint32_t>(presets.count()));
    for (size_t i = 0; i < presets.count(); ++i) {
        const dsp_preset& p = presets.get(i);
        w.write_uint32(static_cast<uint32_t>(p.name.size()));
        if (!p.name.empty()) w.write(p.name.data(), p.name.size());
        dsp_chain_write(p.chain, sink, abort);
    }
}

void dsp_presets_read(dsp_preset_list& presets, byte_source& source, const abort_signal& abort) {
    presets.remove_all();
    try {
        stream_reader r(source, abort);
        const uint32_t count = r.read_uint32();
        for (uint32_t i = 0; i < count; ++i) {  // no reservation: the count is not trusted
            kpl::utf8_string_pow2 name;
            r.read_string(name);
            dsp_preset p;
            p.name.assign(name.c_str(), name.length());
            dsp_chain_read(p.chain, source, abort);
            presets.m_items.push_back(p);
        }
    } catch (...) {
        presets.remove_all();
        throw;
    }
}

namespace {

// {9C6E5D7A-A426-4960-A2E6-2A1AB834B8A2}
constexpr kpl::guid k_presets_guid = {0x9C6E5D7A, 0xA426, 0x4960, {0xA2, 0xE6, 0x2A, 0x1A, 0xB8, 0x34, 0xB8, 0xA2}};

class config_dsp_presets final : public config_variable {
public:
    config_dsp_presets() : config_variable(k_presets_guid) {}
    void set_data(byte_source& source, uint32_t, const abort_signal& abort) override {
        dsp_presets_read(m_presets, source, abort);
    }
    void get_data(byte_sink& sink, const abort_signal& abort) override { dsp_presets_write(m_presets, sink, abort); }

    dsp_preset_list m_presets;
};

config_dsp_presets g_presets;

}  // namespace

dsp_preset_list& dsp_presets() { return g_presets.m_presets; }
