// The preferences-tree branches the foundation registers: "Input" under the Playback page and
// "[broken components]" at the top level.
#include "ui/preferences_group.h"

namespace {

constexpr kpl::guid k_input = {0xFC01B529, 0x4BD7, 0x47CD, {0xBA, 0xF7, 0x2F, 0xB6, 0x32, 0xF0, 0xDB, 0xB6}};
constexpr kpl::guid k_playback_page = {0x67508677, 0xCFCC, 0x4A1C, {0x92, 0x1C, 0x49, 0xB3, 0x9C, 0xC5, 0xB9, 0x86}};
constexpr kpl::guid k_broken_components = {0x2E8E9647, 0x4174, 0x41B2, {0x9E, 0xC4, 0x91, 0x0B, 0xE1, 0x28, 0x08, 0x2E}};

preferences_branch_registration g_input(k_input, k_playback_page, "Input");
preferences_branch_registration g_broken_components(k_broken_components, preferences_group::root_guid,
                                                    "[broken components]");

}  // namespace
