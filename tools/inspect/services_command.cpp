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
        char line[64];
        std::snprintf(line, sizeof(line), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X} %lu",
                      static_cast<unsigned long>(g.data1), g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2],
                      g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7],
                      static_cast<unsigned long>(entry.count));
        out.line(line);
    }
    return 0;
}

inspect_command g_services("services", "", "lists the registered service classes: GUID and number of implementations",
                           &run_services);

}  // namespace
