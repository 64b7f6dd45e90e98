#include "playback/output/output_selection.h"

#include "foundation/kpl/array.h"
#include "foundation/services/config_variable.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/critical_section.h"
#include "playback/output/output_errors.h"

namespace {

constexpr kpl::guid k_module_variable = {0x4EF867C5, 0xBD50, 0x4E87, {0x87, 0x6B, 0x9E, 0x34, 0x70, 0x74, 0xC8, 0x0B}};
constexpr kpl::guid k_device_variable = {0xC9026507, 0xB29B, 0x4A35, {0xA2, 0xB7, 0x3C, 0x16, 0xBC, 0xCB, 0x03, 0x91}};

kpl::critical_section g_selection_lock;
config_guid g_module(k_module_variable, ds_module_guid);
config_guid g_device(k_device_variable, kpl::guid_null);

struct module_position {
    kpl::guid guid;
    uint32_t index;
};
kpl::critical_section g_map_lock;
kpl::array<module_position> g_module_map;
bool g_map_built = false;

void build_module_map() {
    kpl::critical_section_scope lock(g_map_lock);
    if (g_map_built) return;
    const service_class_entry* entry = service_class::find(output_module::class_guid);
    const uint32_t count = entry ? entry->count : 0;
    for (uint32_t i = 0; i < count; ++i) {
        service_ref ref;
        if (!service_class::create_instance(entry, i, ref)) continue;
        module_position p;
        ref.as<output_module>()->get_guid(p.guid);
        p.index = i;
        g_module_map.append(p);
    }
    g_map_built = true;
}

}  // namespace

void output_selection_get(kpl::guid& module, kpl::guid& device) {
    kpl::critical_section_scope lock(g_selection_lock);
    module = g_module.get();
    device = g_device.get();
}

void output_selection_set(const kpl::guid& module, const kpl::guid& device) {
    kpl::critical_section_scope lock(g_selection_lock);
    g_module = module;
    g_device = device;
}

void output_open_configured(output_holder& holder) {
    build_module_map();
    kpl::guid module, device;
    output_selection_get(module, device);
    const module_position* found = nullptr;
    for (const module_position& p : g_module_map) {
        if (p.guid == module) {
            found = &p;
            break;
        }
    }
    if (!found) throw exception_output_module_not_found();
    service_ref ref;
    if (!service_class::create_instance(service_class::find(output_module::class_guid), found->index, ref)) {
        throw exception_output_module_not_found();
    }
    service_ptr<audio_output> output;
    ref.as<output_module>()->create_output(output, device, 3.0, 0, 32);
    output->set_volume(holder.volume_db);
    if (holder.paused) output->pause(true);
    holder.output = output;
    holder.opened = true;
}

bool output_volume_bind(service_ptr<output_volume_control>& bound) {
    bound.release();
    kpl::guid module, device;
    output_selection_get(module, device);
    service_iterator it(output_module::class_guid);
    service_ref each;
    while (it.next(each)) {
        service_ptr<output_module_volume> volume;
        if (!service_query(each.get(), volume)) continue;
        kpl::guid guid;
        volume->get_guid(guid);
        if (guid != module) continue;
        service_ptr<output_volume_control> control;
        if (volume->open_volume_control(device, control)) {
            bound = control;
            return true;
        }
    }
    return false;
}
