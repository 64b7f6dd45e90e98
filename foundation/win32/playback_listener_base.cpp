#include "foundation/win32/playback_listener_base.h"

#include "foundation/services/service_registry.h"

namespace {

bool listener_registry(service_ptr<playback_listener_registry>& out) {
    service_ref found;
    if (!service_class::create_instance(service_class::find(playback_listener_registry::class_guid), 0, found))
        return false;
    out.attach_ref(std::move(found));
    return true;
}

}  // namespace

void playback_listener_base::add_playback_listener(uint32_t mask, bool replay) {
    service_ptr<playback_listener_registry> registry;
    if (m_added || !listener_registry(registry)) return;
    m_added = true;
    registry->register_listener(this, mask, replay);
}

void playback_listener_base::remove_playback_listener() {
    service_ptr<playback_listener_registry> registry;
    if (!m_added) return;
    m_added = false;
    if (listener_registry(registry)) registry->unregister_listener(this);
}
