// The "DS" output module: DirectSound devices, outputs through the shared output thread and, from Windows
// Vista on, the session volume control.
#include "foundation/services/service_registry.h"
#include "foundation/win32/system_paths.h"
#include "playback/output/ds_audio_output.h"
#include "playback/output/ds_endpoints.h"
#include "playback/output/output_selection.h"
#include "playback/output/session_volume.h"

namespace {

class ds_module final : public service_static<output_module_volume> {
public:
    void create_output(service_ptr<audio_output>& out, const kpl::guid& device, double buffer_seconds, int,
                       int) override {
        ds_audio_output_create(out, device, buffer_seconds);
    }

    void enumerate_devices(output_device_sink& sink) override {
        ds_enumerate_devices([&](const ds_device_entry& entry) {
            sink.on_device(entry.guid, entry.name.c_str(), entry.name.length());
        });
    }

    void get_guid(kpl::guid& out) override { out = ds_module_guid; }
    const char* get_name() override { return "DS"; }
    void reserved(void*, void*, void*) override {}
    uint32_t get_flags() override { return is_windows_vista_or_later() ? 0 : 3; }

    bool open_volume_control(const kpl::guid& device, service_ptr<output_volume_control>& out) override {
        return session_volume_open(device, out);
    }
};

service_factory_single<ds_module, output_module> g_ds_module;

}  // namespace
