// The track context menu's "Properties" command (also Alt+Enter in the main window): the properties
// dialog over the selected tracks.
#include <vector>

#include "foundation/services/service_registry.h"
#include "properties/properties_dialog.h"
#include "shell/command_sets.h"
#include "shell/menu_nodes.h"

namespace {

const context_menu_command_entry k_properties[] = {
    {shell_commands::properties, "contextmenu_properties", nullptr, context_visible_always},
};

class properties_command final : public context_menu_command_set_base {
public:
    properties_command() : context_menu_command_set_base(menu_nodes::context_tail_section, 0.0, k_properties, 1) {}

    void execute(uint32_t index, const track_handle_list& tracks, service_object*) override {
        if (tracks.count() == 0) return;
        std::vector<track_handle_ref> list;
        for (uint32_t i = 0; i < tracks.count(); ++i) list.push_back(tracks.get_item(i));
        open_properties_dialog(list, static_cast<int>(index));
    }
};

service_factory_single<properties_command, context_menu_command_set> g_properties;

}  // namespace
