#include "foundation/fs/provider_list.h"

#include "foundation/fs/local_filesystem.h"
#include "foundation/fs/temp_providers.h"

// Until the service registry exists, the three providers of the program are listed here.
bool filesystem_provider_at(uint32_t index, filesystem_provider_ref& out) {
    switch (index) {
    case 0:
        out = &local_filesystem::provider();
        return true;
    case 1:
        out = &temp_file_system::provider();
        return true;
    case 2:
        out = &temp_memory_system::provider();
        return true;
    default:
        return false;
    }
}
