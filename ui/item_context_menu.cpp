// What the item list's context menu holds, the one-folder test and the main menu's id ranges.
#include "ui/item_context_menu.h"

#include <cstring>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/path_names.h"

namespace {

std::wstring wide(const std::string& utf8) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, utf8.c_str(), utf8.size());
    return w.c_str();
}

void add(item_menu_plan& plan, uint32_t id, const char* text_id) { plan.items.push_back({id, text_id, false}); }

void add_separator(item_menu_plan& plan) { plan.items.push_back({item_menu::separator, nullptr, false}); }

}  // namespace

bool plan_item_menu(library_node& view, const key_list& selected, item_menu_plan& out) {
    out = item_menu_plan();
    if (selected.empty()) return false;
    const bool openable = view.can_open(selected);
    if (openable) add(out, item_menu::browse, "contextmenu_browse");
    if (view.can_play()) {
        if (selected.count() == 1 && !openable) add(out, item_menu::start_playback_here, "contextmenu_start_playback_here");
        add(out, item_menu::play_this, "contextmenu_play_this");
        if (selected.count() > 1) add(out, item_menu::play_this_random_order, "contextmenu_play_this_random_order");
    }
    for (item_menu_entry& item : out.items)
        if (item.id == item_menu::browse || item.id == item_menu::start_playback_here || item.id == item_menu::play_this) {
            item.is_default = true;
            break;
        }

    bool all_have_tracks = true;
    for (const list_text& row : selected)
        if (!view.item_has_tracks(row)) {
            all_have_tracks = false;
            break;
        }
    if (all_have_tracks) {
        add_separator(out);
        view.get_tracks_of(selected, out.tracks);
        if (view.kind() != 1) {
            std::vector<std::string> paths;
            for (uint32_t i = 0; i < out.tracks.count(); ++i)
                paths.push_back(out.tracks.items()[i]->get_location().get_path());
            if (one_folder_of(paths, out.folder, out.names)) {
                add(out, item_menu::go_to_folder, "contextmenu_go_to_folder");
                add_separator(out);
            }
        }
        out.command_tree = true;
    } else if (view.get_explorer_path(out.explorer_path)) {
        add_separator(out);
        add(out, item_menu::show_in_explorer, "contextmenu_show_in_explorer");
    }
    return true;
}

bool one_folder_of(const std::vector<std::string>& paths, std::wstring& folder, std::vector<std::wstring>& names) {
    folder.clear();
    names.clear();
    if (paths.empty()) return false;
    static const char scheme[] = "file://";
    const size_t scheme_length = sizeof scheme - 1;
    const std::string& first = paths[0];
    const size_t cut = kpl::filename_offset(first.c_str());
    if (first.compare(0, scheme_length, scheme) != 0 || cut < scheme_length) return false;
    for (const std::string& path : paths)
        if (kpl::filename_offset(path.c_str()) != cut || path.compare(0, cut, first, 0, cut) != 0) return false;
    std::string part = first.substr(scheme_length, cut - scheme_length);
    if (!part.empty() && part.back() == '\\') part.pop_back();
    if (!part.empty() && part.back() == ':') part += '\\';
    folder = wide(part);
    for (const std::string& path : paths) names.push_back(wide(path.substr(cut)));
    return true;
}

namespace main_menu_ids {

bool decode(uint32_t id, uint32_t& group, uint32_t& command) {
    if (id < 1 || id > per_group * group_count) return false;
    group = (id - 1) / per_group;
    command = (id - 1) % per_group;
    return true;
}

}  // namespace main_menu_ids
