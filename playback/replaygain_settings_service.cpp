#include "playback/replaygain_settings_service.h"

#include "foundation/fs/stream_forms.h"
#include "foundation/services/config_variable.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/critical_section.h"
#include "playback/replaygain_engine_link.h"
#include "playback/replaygain_settings_dialog.h"


namespace {

// {C70F0A8C-3CD5-4BA9-88CD-CC161A87A00E}
constexpr kpl::guid k_replaygain_config_guid = {0xC70F0A8C, 0x3CD5, 0x4BA9, {0x88, 0xCD, 0xCC, 0x16, 0x1A, 0x87, 0xA0, 0x0E}};

kpl::critical_section g_lock;

// The live record, guarded by g_lock. A record shorter than 16 bytes leaves it as it was.
class config_replaygain final : public config_variable {
public:
    explicit config_replaygain(const kpl::guid& guid) : config_variable(guid), m_value(replaygain_settings_defaults()) {}

    void set_data(byte_source& source, uint32_t, const abort_signal& abort) override {
        stream_reader in(source, abort);
        replaygain_settings value;
        value.source = in.read_uint32();
        value.processing = in.read_uint32();
        value.preamp_without_gain = in.read_float();
        value.preamp_with_gain = in.read_float();
        kpl::critical_section_scope lock(g_lock);
        m_value = value;
    }
    void get_data(byte_sink& sink, const abort_signal& abort) override {
        replaygain_settings value = get();
        stream_writer out(sink, abort);
        out.write_uint32(value.source);
        out.write_uint32(value.processing);
        out.write_float(value.preamp_without_gain);
        out.write_float(value.preamp_with_gain);
    }

    replaygain_settings get() {
        kpl::critical_section_scope lock(g_lock);
        return m_value;
    }
    void set(const replaygain_settings& value) {
        kpl::critical_section_scope lock(g_lock);
        m_value = value;
    }

private:
    replaygain_settings m_value;
};

config_replaygain g_settings(k_replaygain_config_guid);

class replaygain_settings_service_impl final : public service_static<replaygain_settings_service> {
public:
    void get_settings(replaygain_settings& out) override { out = replaygain_settings_get(); }
    HWND create_panel(const replaygain_settings& settings, HWND parent, int control_id) override {
        return replaygain_create_panel(settings, parent, control_id);
    }
    void panel_store(HWND panel, replaygain_settings& out) override {
        SendMessageW(panel, msg_panel_store, 0, reinterpret_cast<LPARAM>(&out));
    }
    bool run_dialog(replaygain_settings& settings, HWND parent, const char* name) override {
        return replaygain_run_dialog(settings, parent, name);
    }
    void set_settings(const replaygain_settings& settings) override { replaygain_settings_set(settings); }
    void panel_load(HWND panel, const replaygain_settings& settings) override {
        SendMessageW(panel, msg_panel_load, 0, reinterpret_cast<LPARAM>(&settings));
    }
    void get_defaults(replaygain_settings& out) override { out = replaygain_settings_defaults(); }
};

service_factory_single<replaygain_settings_service_impl, replaygain_settings_service> g_service;

}  // namespace

replaygain_settings replaygain_settings_defaults() {
    replaygain_settings s;
    s.source = replaygain_settings::source_album;
    s.processing = replaygain_settings::processing_apply_gain;
    s.preamp_without_gain = 0.0f;
    s.preamp_with_gain = 0.0f;
    return s;
}

replaygain_settings replaygain_settings_get() { return g_settings.get(); }

void replaygain_settings_set(const replaygain_settings& settings) {
    main_thread::assert_current();
    g_settings.set(settings);
    playback_engine_set_replaygain(settings);
}

config_variable& replaygain_settings_config() { return g_settings; }
