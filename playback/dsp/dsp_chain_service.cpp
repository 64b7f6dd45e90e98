#include "playback/dsp/dsp_chain_service.h"

#include "foundation/services/config_variable.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "playback/dsp/dsp_chain_dialog.h"

namespace {

// {5E8263F3-E21E-4DC2-4C5D-034ABD412BBF}
constexpr kpl::guid k_dsp_chain_config_guid = {0x5E8263F3, 0xE21E, 0x4DC2, {0x4C, 0x5D, 0x03, 0x4A, 0xBD, 0x41, 0x2B, 0xBF}};

// The current chain in its stored form; empty by default.
class config_dsp_chain final : public config_variable {
public:
    explicit config_dsp_chain(const kpl::guid& guid) : config_variable(guid) {}
    void set_data(byte_source& source, uint32_t, const abort_signal& abort) override {
        dsp_chain read;  // a refused record leaves the chain as it was
        dsp_chain_read(read, source, abort);
        m_chain = read;
    }
    void get_data(byte_sink& sink, const abort_signal& abort) override { dsp_chain_write(m_chain, sink, abort); }

    dsp_chain m_chain;
};

config_dsp_chain g_chain(k_dsp_chain_config_guid);

class dsp_chain_service_impl final : public service_static<dsp_chain_service> {
public:
    void get_chain(dsp_chain& out) override {
        main_thread::assert_current();
        out = g_chain.m_chain;
    }
    void set_chain(const dsp_chain& chain) override {
        main_thread::assert_current();
        g_chain.m_chain = chain;
        service_iterator it(dsp_chain_listener::class_guid);
        service_ref each;
        while (it.next(each)) each.as<dsp_chain_listener>()->on_chain_changed(chain);
    }
    bool run_chain_dialog(dsp_chain& chain, HWND parent, const char* name) override {
        return dsp_chain_run_dialog(chain, parent, name);
    }
    HWND create_chain_panel(const dsp_chain& chain, HWND parent, int placeholder_id, bool flag) override {
        return dsp_chain_create_panel(chain, parent, placeholder_id, flag);
    }
    void panel_store(HWND panel, dsp_chain& out) override {
        SendMessageW(panel, msg_panel_store, 0, reinterpret_cast<LPARAM>(&out));
    }
    void panel_load(HWND panel, const dsp_chain& chain) override {
        SendMessageW(panel, msg_panel_load, 0, reinterpret_cast<LPARAM>(&chain));
    }
};

service_factory_single<dsp_chain_service_impl, dsp_chain_service> g_service;

}  // namespace

config_variable& dsp_chain_config() { return g_chain; }
