#pragma once
// folder_tree_node: the folder tree (node kind 1). At the root it lists the computer's drives ("C:\",
// "D:\ [Backup]" with a volume label); inside a folder its subfolders, then its playable files (an input
// takes the extension), each part in logical order with code units breaking ties, so "01 a.flac" and
// "1 a.flac" are two items. Names beginning with '.' and hidden entries are left out. The shown folder
// is watched: a change refreshes the node on the main thread and tells the host when the items changed.
//
//     folder_tree_node tree(host, path);       // path [["C:"], ["Music"]]
//     tree.items();                            // "Album", "b.flac", "c.flac"
//     tree.find_picture(picture);              // "C:\Music\cover.jpg" (the best cover name found)
//     key_list pick;  pick.append(list_text(L"Album"));
//     tree.open(pick);                         // C:\Music\Album
//     tree.create_item_track_list(pick);       // Album's files, then each subfolder's
//
// Covers by priority, any letter case: "front cover.jpg", "front.jpg", "cover.jpg", "folder.jpg".
// Main thread only; the watcher thread only posts notices.

#include <map>
#include <memory>
#include <string>

#include "foundation/tasks/thread.h"
#include "library/library_node.h"

class folder_tree_node final : public library_node {
public:
    folder_tree_node(library_view_host& host, const node_path& path);
    ~folder_tree_node() override;
    folder_tree_node(const folder_tree_node&) = delete;
    folder_tree_node& operator=(const folder_tree_node&) = delete;

    int kind() override { return 1; }
    key_list selection_to_here() override;
    void set_path(const node_path& path) override;
    void get_path(node_path& out) override;
    bool can_open(const key_list& selection) override;
    bool can_go_up() override { return !m_path.empty(); }
    bool is_leaf_level() override { return true; }
    bool item_contains_track(const list_text& key, const track_handle* handle) override;
    bool is_summary_item(const list_text& key) override { return !is_file(key); }
    void get_tracks_of(const key_list& selection, track_list& out) override;
    bool item_has_tracks(const list_text& key) override { return is_file(key); }
    void go_up() override;
    void open(const key_list& selection) override;
    const list_text_list& items() override { return m_items; }
    void get_all_tracks(track_list& out) override;
    void get_title(navigation_text& out) override;
    bool get_explorer_path(std::wstring& out) override;
    bool has_items() override { return !m_files.empty(); }
    bool find_picture(std::wstring& out) override;
    item_enumerator_ref create_item_track_list(const key_list& selection) override;

    // A change notice of the watcher: refreshes when `generation` is the current one (a notice from a
    // folder no longer shown does nothing), and tells the host when the items differ afterwards.
    void on_change_notice(uint32_t generation);
    uint32_t generation() const { return m_generation; }
    // The folder's path text (components joined by "\"); a lone drive gets its backslash.
    std::wstring folder_text() const;

    class watcher;
    class notice_target;

private:
    void refresh();
    bool is_file(const list_text& key) const { return m_files.count(key.text()) != 0; }

    library_view_host& m_host;
    std::vector<std::wstring> m_path;
    list_text_list m_items;
    std::map<std::wstring, track_handle_ref> m_files;
    std::wstring m_cover;
    uint32_t m_generation = 0;
    watcher* m_watcher;
    std::shared_ptr<notice_target> m_target;
};

// The volume label of a drive root ("C:\"); empty when it has none or it cannot be read.
std::wstring drive_label(const std::wstring& root);
