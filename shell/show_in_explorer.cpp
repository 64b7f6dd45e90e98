#include "shell/show_in_explorer.h"

#include <set>
#include <string>
#include <vector>

#include "foundation/fs/location_text.h"
#include "foundation/kpl/path_names.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/kpl/text_lookup.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/shell.h"
#include "metadata/track_handle.h"
#include "playback/popup_notice.h"
#include "shell/app_state.h"
#include "shell/command_sets.h"
#include "shell/menu_nodes.h"

namespace {

struct nocase_less {
    bool operator()(const std::string& a, const std::string& b) const { return kpl::stricmp_utf8(a.c_str(), b.c_str()) < 0; }
};

void locations_of(const track_handle_list& tracks, kpl::string_array& out) {
    for (uint32_t i = 0; i < tracks.count(); ++i) {
        track_handle_ref track = tracks.get_item(i);
        out.append(track->get_location().get_path());
    }
}

const context_menu_command_entry k_entries[] = {
    {{0xEFC1E9C8, 0xEEEF, 0x427A, {0x8F, 0x42, 0xE5, 0x78, 0x16, 0x05, 0x84, 0x6D}},
     "contextmenu_show_in_explorer",
     nullptr,
     context_visible_always},
};

class show_in_explorer_command final : public context_menu_command_set_base {
public:
    show_in_explorer_command() : context_menu_command_set_base(menu_nodes::context_root, -50.0, k_entries, 1) {}

    bool get_display(uint32_t index, const track_handle_list& tracks, kpl::utf8_string& text,
                     uint32_t& flags) override {
        context_menu_command_set_base::get_display(index, tracks, text, flags);
        bool applicable = false;
        try {
            applicable = show_in_explorer_applicable(tracks);
        } catch (const std::exception&) {
            // Tracks whose locations cannot be read: shown, but not usable.
        }
        if (!applicable) flags |= context_display_disabled | context_display_grayed;
        return true;
    }
    void execute(uint32_t index, const track_handle_list& tracks, service_object*) override {
        entry(index);
        show_in_explorer_run(tracks);
    }
};

service_factory_single<show_in_explorer_command, context_menu_command_set> g_command;

}  // namespace

bool show_in_explorer_applicable_paths(const kpl::string_array& locations) {
    if (locations.count() == 0) return false;
    kpl::utf8_string_pow2 first;
    if (!file_url_to_native(locations[0].c_str(), first)) return false;
    const std::string first_folder(first.c_str(), kpl::filename_offset(first.c_str()));
    for (uint32_t i = 1; i < locations.count(); ++i) {
        kpl::utf8_string_pow2 path;
        if (!file_url_to_native(locations[i].c_str(), path)) return false;
        if (path.equals(first)) continue;
        if (std::string(path.c_str(), kpl::filename_offset(path.c_str())) != first_folder) return false;
    }
    return true;
}

bool show_in_explorer_applicable(const track_handle_list& tracks) {
    kpl::string_array locations;
    locations_of(tracks, locations);
    return show_in_explorer_applicable_paths(locations);
}

void show_in_explorer_names(const kpl::string_array& locations, kpl::string_array& out) {
    std::set<std::string, nocase_less> names;
    for (uint32_t i = 0; i < locations.count(); ++i) {
        kpl::utf8_string_pow2 path;
        if (!file_url_to_native(locations[i].c_str(), path)) path = locations[i];
        names.insert(kpl::filename_with_extension(path.c_str()).c_str());
    }
    for (const std::string& name : names) out.append(name.c_str());
}

void popup_information_error(const char* text) {
    kpl::utf8_string_pow2 title, message;
    kpl::lookup_text("dialog_information", title);
    message << title << ": " << text;
    popup_notice_show(message.c_str(), title.c_str());
}

void show_in_explorer_run(const track_handle_list& tracks) {
    kpl::string_array locations;
    locations_of(tracks, locations);
    if (!show_in_explorer_applicable_paths(locations)) return;
    kpl::utf8_string_pow2 first;
    file_url_to_native(locations[0].c_str(), first);
    const kpl::utf8_string_tight folder = kpl::path_parent(first.c_str());
    kpl::string_array names;
    show_in_explorer_names(locations, names);
    std::vector<const char*> pointers;
    for (uint32_t i = 0; i < names.count(); ++i) pointers.push_back(names[i].c_str());
    const shell_select_result result = shell_select_in_folder(folder.c_str(), pointers.data(), pointers.size());
    switch (result.step) {
        case shell_select_result::no_desktop:
            return;
        case shell_select_result::parse_folder:
        case shell_select_result::bind_folder:
        case shell_select_result::parse_item:
            popup_information_error(win32_error_text_with_code(static_cast<uint32_t>(result.hr)).c_str());
            return;
        case shell_select_result::opened:
            if (FAILED(result.hr) && result.hr != E_ABORT && modal_scope::can_start())
                shell_execute(app_state.main_window, nullptr, folder.c_str());
            return;
    }
}
