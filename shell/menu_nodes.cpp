// The built-in nodes of the main menu and the context menu.
#include "shell/menu_nodes.h"

#include "foundation/services/service_registry.h"
#include "shell/command_sets.h"

namespace {

using namespace menu_nodes;

using main_popup = service_factory_single<main_menu_popup_node, main_menu_section>;
using main_section = service_factory_single<main_menu_section_node, main_menu_section>;
using context_popup = service_factory_single<context_menu_popup_node, context_menu_section>;
using context_section = service_factory_single<context_menu_section_node, context_menu_section>;

constexpr uint32_t last = 0xFFFFFFFF;        // -1
constexpr uint32_t next_to_last = 0xFFFFFFFE;  // -2
// The parent of three sections that no node has, so they never appear.
constexpr kpl::guid k_missing_parent = {0x8CDA6B10, 0x0613, 0x4CFD, {0x87, 0x30, 0x3B, 0x9C, 0xBF, 0x4C, 0x6A, 0x39}};

main_popup g_file(file_popup, kpl::guid_null, 0u, "menu_group_file");
main_popup g_view(view_popup, kpl::guid_null, 2u, "menu_group_view");
main_popup g_playback(playback_popup, kpl::guid_null, 3u, "menu_group_playback");
main_popup g_help(help_popup, kpl::guid_null, 5u, "menu_group_help");
main_popup g_theme(theme_popup, view_popup, 0u, "menu_group_theme");
main_section g_file_0(file_section_0, file_popup, 0u);
main_section g_file_1(file_section_1, file_popup, 1u);
main_section g_file_2(file_section_2, file_popup, 2u);
main_section g_file_tail(file_tail_section, file_popup, last);
main_section g_library(library_section, file_tail_section, 0u);
main_section g_library_tail(library_tail_section, library_section, last);
main_section g_preferences(preferences_section, file_tail_section, next_to_last);
main_section g_exit(exit_section, file_tail_section, last);
main_section g_transport(transport_section, playback_popup, 0u);
main_section g_playback_1(playback_section_1, playback_popup, 1u);
main_section g_about(about_section, help_popup, last);
constexpr kpl::guid k_orphan_0 = {0xD8A4FC46, 0x5E3D, 0x47AA, {0x97, 0xB7, 0x94, 0x79, 0x88, 0x22, 0x82, 0x46}};
constexpr kpl::guid k_orphan_1 = {0x007682CE, 0x2A99, 0x4B70, {0x8F, 0x63, 0xDE, 0x76, 0x5D, 0x1C, 0x55, 0x55}};
constexpr kpl::guid k_orphan_2 = {0x1F572090, 0xD620, 0x4940, {0x85, 0xEC, 0x0E, 0xFE, 0x49, 0x9F, 0xAC, 0x03}};
main_section g_orphan_0(k_orphan_0, k_missing_parent, 0u);
main_section g_orphan_1(k_orphan_1, k_missing_parent, 1u);
main_section g_orphan_2(k_orphan_2, k_missing_parent, 2u);

context_popup g_root(context_root, kpl::guid_null, 0.0, "Root");
context_popup g_tagging(context_tagging, context_root, -49.0, "Tagging");
context_popup g_replaygain(context_replaygain, context_root, -45.0, "ReplayGain");
context_section g_context_tail(context_tail_section, context_root, 100.0);

}  // namespace
