// The preferences-tree branches of the user interface: "Tools", "Tag writing" and "Visualisations" at the
// top level and "Tagging" under "Tools". None has a page below it in this program, so none is shown.
#include "ui/preferences_group.h"

namespace {

constexpr kpl::guid k_tools = {0x627C0767, 0x0793, 0x44F8, {0x80, 0x87, 0xBE, 0x49, 0x34, 0x31, 0x12, 0x82}};
constexpr kpl::guid k_tag_writing = {0x7D0334E5, 0xADD7, 0x4FF5, {0x9D, 0xB8, 0xA6, 0x18, 0xB4, 0x82, 0x40, 0x28}};
constexpr kpl::guid k_visualisations = {0x494326C8, 0x88FF, 0x4265, {0xB2, 0xB2, 0xE6, 0x47, 0x0B, 0xEE, 0x13, 0xB3}};
constexpr kpl::guid k_tagging = {0x563107C3, 0xFC7D, 0x4022, {0xA8, 0x72, 0xA8, 0x2A, 0x2B, 0x3F, 0xD5, 0x25}};

preferences_branch_registration g_tools(k_tools, preferences_group::root_guid, "Tools");
preferences_branch_registration g_tag_writing(k_tag_writing, preferences_group::root_guid, "Tag writing");
preferences_branch_registration g_visualisations(k_visualisations, preferences_group::root_guid, "Visualisations");
preferences_branch_registration g_tagging(k_tagging, k_tools, "Tagging");

}  // namespace
