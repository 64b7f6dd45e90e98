#include "foundation/fs/filesystem_provider.h"

// {2FBCE1E5-902E-49E0-B9CF-CE0FBA765348}
const kpl::guid filesystem_provider::class_guid = {
    0x2FBCE1E5, 0x902E, 0x49E0, {0xB9, 0xCF, 0xCE, 0x0F, 0xBA, 0x76, 0x53, 0x48}};

bool filesystem_provider_singleton::query(service_ref& out, const kpl::guid& interface_guid) {
    if (interface_guid != filesystem_provider::class_guid) return false;
    out.assign(this);
    return true;
}
