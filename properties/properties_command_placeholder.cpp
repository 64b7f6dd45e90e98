// Placeholder of the properties dialog's context command until the dialog exists: "Properties" in the
// context menu (and Alt+Enter) writes "Properties of N tracks" to the debugger output instead of opening
// the dialog.
#include "foundation/services/service_registry.h"
#include "shell/command_sets.h"
#include "shell/debug_log.h"
#include "shell/menu_nodes.h"

namespace {

const context_menu_command_entry k_properties[] = {
    {shell_commands::properties, "contextmenu_properties", nullptr, context_visible_always},
};

class properties_command final : public context_menu_command_set_base {
public:
    properties_command() : context_menu_command_set_base(menu_nodes::context_root, 0.0, k_properties, 1) {}

    void execute(uint32_t index, const track_handle_list& tracks, service_object*) override {
        entry(index);
        kpl::utf8_string_pow2 line("Properties of ");
        line << tracks.count() << " tracks";
        debug_log(line.c_str());
    }
};

service_factory_single<properties_command, context_menu_command_set> g_properties;

}  // namespace
