// The navigation line: the fixed places, linked unless shown now.
#include "ui/navigation_line.h"

#include "foundation/kpl/codepage.h"
#include "library/folder_view_node.h"
#include "shell/localization.h"

namespace {

std::wstring wide(const char* utf8) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, utf8);
    return w.c_str();
}

}  // namespace

void build_navigation_line(navigation_text& out, const view_path& current, const std::vector<std::string>& music_folders) {
    struct entry {
        const char* text_id;
        view_path where;
    };
    std::vector<entry> entries(5);
    entries[0].text_id = "ui_nav_genres";
    entries[1].text_id = "ui_nav_artists";
    entries[1].where.path.resize(1);
    entries[2].text_id = "ui_nav_albums";
    entries[2].where.path.resize(2);
    if (music_folders.size() == 1) {
        entries[3].text_id = "ui_nav_folder";
        entries[3].where.kind = 1;
        entries[3].where.path = folder_view_node::folder_path(wide(music_folders[0].c_str()));
    } else {
        entries[3].text_id = "ui_nav_folders";
        entries[3].where.kind = 2;
        entries[3].where.path.resize(1);
        append_folders_root_key(entries[3].where.path[0]);
    }
    entries[4].text_id = "ui_nav_computer";
    entries[4].where.kind = 1;

    out.clear();
    out.append_escaped(localization_table::get_text("ui_nav_prefix"));
    out.append_escaped(" ");
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i) out.append_escaped(", ");
        const std::wstring text = wide(localization_table::get_text(entries[i].text_id));
        if (entries[i].where == current)
            out.append_text(text.c_str());
        else
            out.append_link(text.c_str(), entries[i].where);
    }
}
