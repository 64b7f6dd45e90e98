#pragma once
// folder_view_node: the music-folders view (node kind 2). Its path's first key is the folders root key;
// it lists the library's watched folders by friendly names, and opening one leads to the folder tree.
//
//     node_path path(1);
//     append_folders_root_key(path[0]);
//     folder_view_node view(path);             // folders "C:\Users\me\Music", "D:\Music", "E:\"
//     view.items();                            // "My Music", "Music", "E:\"
//     view_path where;
//     view.redirect(where, list_text(L"Music"));   // kind 1, [["D:"], ["Music"]]
//
// My Music and Shared Music are matched in any letter case; equal names get " (1)", " (2)" ...; a drive
// root shows in full. "." (the portable library) leads to the program's folder, "\\server\share\Music" to
// that share ([["\\server"], ["share"], ["Music"]]). Any other path shows nothing.

#include <map>
#include <string>
#include <vector>

#include "library/library_node.h"

extern const wchar_t* const folders_root_key;
void append_folders_root_key(key_list& keys);

class folder_view_node final : public library_node {
public:
    // `folders`: the watched folders (UTF-8); the library's effective list when null.
    explicit folder_view_node(const node_path& path, const std::vector<std::string>* folders = nullptr);

    int kind() override { return 2; }
    key_list selection_to_here() override;
    void set_path(const node_path& path) override;
    void get_path(node_path& out) override { out = m_path; }
    bool can_open(const key_list& selection) override { return selection.count() == 1; }
    bool can_go_up() override { return false; }
    bool is_leaf_level() override { return false; }
    bool item_contains_track(const list_text&, const track_handle*) override { return false; }
    bool is_summary_item(const list_text&) override { return false; }
    void get_tracks_of(const key_list&, track_list& out) override { kpl::list_remove_all(out); }
    bool item_has_tracks(const list_text&) override { return false; }
    void go_up() override;
    void open(const key_list&) override {}
    const list_text_list& items() override { return m_items; }
    void get_all_tracks(track_list& out) override { kpl::list_remove_all(out); }
    void get_title(navigation_text& out) override;
    bool has_items() override { return false; }
    bool redirect(view_path& out, const list_text& key) override;
    bool can_play() override { return false; }
    item_enumerator_ref create_item_track_list(const key_list&) override { return item_enumerator::create_from_list(); }

    // The folder tree path of a watched folder string.
    static node_path folder_path(const std::wstring& folder);

private:
    void refill();

    node_path m_path;
    std::vector<std::string> m_folders;
    bool m_own_list;
    list_text_list m_items;
    std::map<list_text, std::wstring> m_names;
};
