#include "foundation/win32/app_event_listener.h"

#include "foundation/services/service_registry.h"

namespace {

bool loop_hooks(service_ptr<message_loop_hooks>& out) {
    service_ref found;
    if (!service_class::create_instance(service_class::find(message_loop_hooks::class_guid), 0, found)) return false;
    out.attach_ref(std::move(found));
    return true;
}

}  // namespace

void app_event_listener::add_app_event_listener() {
    service_ptr<message_loop_hooks> hooks;
    if (m_added || !loop_hooks(hooks)) return;
    hooks->add_message_filter(this);
    m_added = true;
}

void app_event_listener::remove_app_event_listener() {
    service_ptr<message_loop_hooks> hooks;
    if (!m_added) return;
    m_added = false;
    if (loop_hooks(hooks)) hooks->remove_message_filter(this);
}
