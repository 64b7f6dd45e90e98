#include "playback/dsp/dsp_effect.h"

#include "foundation/services/service_registry.h"

bool dsp_effect_find(const kpl::guid& guid, service_ptr<dsp_service>& out) {
    service_iterator it(dsp_service::class_guid);
    service_ref each;
    while (it.next(each)) {
        kpl::guid found = kpl::guid_null;
        each.as<dsp_service>()->get_guid(found);
        if (found == guid) {
            out.assign(each.as<dsp_service>());
            return true;
        }
    }
    return false;
}

bool dsp_effect_name(const kpl::guid& guid, kpl::utf8_string& out) {
    service_ptr<dsp_service> effect;
    if (!dsp_effect_find(guid, effect)) return false;
    effect->get_name(out);
    return true;
}

bool dsp_effect_default_preset(const kpl::guid& guid, dsp_chain_item& out) {
    service_ptr<dsp_service> effect;
    return dsp_effect_find(guid, effect) && effect->get_default_preset(out);
}

bool dsp_effect_has_config_dialog(const kpl::guid& guid) {
    service_ptr<dsp_service> effect;
    return dsp_effect_find(guid, effect) && effect->has_config_dialog();
}

bool dsp_effect_show_config(const dsp_chain_item& item, HWND parent, dsp_config_callback& callback) {
    service_ptr<dsp_service> effect;
    if (!dsp_effect_find(item.get_guid(), effect)) return false;
    service_ptr<dsp_service_ext> ext;
    if (service_query(effect.get(), ext)) {
        ext->show_config_dialog_ex(item, parent, callback);
        return true;
    }
    dsp_chain_item copy(item);
    if (effect->show_config_dialog(copy, parent)) callback.on_config_changed(copy);
    return true;
}
