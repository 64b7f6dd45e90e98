#include "foundation/fs/provider_list.h"

#include "foundation/services/service_registry.h"

bool filesystem_provider_at(uint32_t index, filesystem_provider_ref& out) {
    service_ref provider;
    if (!service_class::create_instance(service_class::find(filesystem_provider::class_guid), index, provider))
        return false;
    out = provider.as<filesystem_provider>();
    return true;
}
