#include "playback/popup_notice.h"

#include "foundation/services/service_registry.h"

void popup_notice_show(const char* text, const char* title) {
    service_ptr<popup_notice_service> service;
    service_class::get_single(service);
    service->show(text, size_t(-1), title, size_t(-1), 1);
}
