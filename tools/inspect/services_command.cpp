// vorn-inspect services: the registered service classes, one line per class: its GUID in braces and the
// number of implementations, in class-table order.
//     {1131D64B-04CB-43EE-95EB-24D18B753248} 1
#include <cstdio>

#include "foundation/services/service_registry.h"
#include "tools/inspect/inspect_command.h"

namespace {

int run_services(const inspect_arguments& args, inspect_output& out) {
    args.expect(0);
    service_table table;
    table.build(service_registration_list());
    for (uint32_t i = 0; i < table.class_count(); ++i) {
        const service_class_entry& entry = table.class_at(i);
        const kpl::guid& g = entry.class_guid;
        char count[16];
        std::snprintf(count, sizeof(count), " %lu", static_cast<unsigned long>(entry.count));
        out.line((inspect_guid_text(g) + count).c_str());
    }
    return 0;
}

inspect_command g_services("services", "", "lists the registered service classes: GUID and number of implementations",
                           &run_services);

}  // namespace
