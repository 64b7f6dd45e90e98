#pragma once
// library_node: what the main window browses through, one node at a time: the tag view (kind 0), the
// folder tree (kind 1) or the music-folders view (kind 2). Items, selections and paths are list texts
// (library/list_text.h); tracks are track handles; playable lists are item_enumerators.
//
//     library_node& node = ...;                 // say a tag view at level 0 (genres)
//     key_list pick;  pick.append(list_text(L"Rock"));
//     if (node.can_open(pick)) node.open(pick);  // level 1: "[albums by all artists]", then Rock's artists
//     navigation_text title;
//     node.get_title(title);                     // "All artists in <a>Rock</a>", one link target
//     item_enumerator_ref list = node.create_track_list();   // Rock's tracks, sorted, ready to play
//
// Nodes belong to the main thread.

#include <cstdint>

#include "foundation/kpl/ref_list.h"
#include "library/list_text.h"
#include "metadata/track_handle.h"
#include "playback/item_list.h"

using track_list = kpl::array_list<track_handle_ref>;

// What a view tells the main window.
class library_view_host {
public:
    virtual void on_items_changed() = 0;
    virtual void on_indexing_changed(bool indexing) = 0;

protected:
    ~library_view_host() = default;
};

class library_node {
public:
    virtual ~library_node() = default;

    virtual int kind() = 0;
    // What was opened to reach the current state (re-selected after go_up).
    virtual key_list selection_to_here() = 0;
    virtual void set_path(const node_path& path) = 0;
    virtual void get_path(node_path& out) = 0;
    virtual bool can_open(const key_list& selection) = 0;
    virtual bool can_go_up() = 0;
    // The items are (or include) tracks.
    virtual bool is_leaf_level() = 0;
    // Default: the handle is among get_tracks_of([key]).
    virtual bool item_contains_track(const list_text& key, const track_handle* handle);
    // The item stands for many tracks (skipped when the playing track is marked).
    virtual bool is_summary_item(const list_text& key) = 0;
    // Empties `out`, then the tracks of the selected items.
    virtual void get_tracks_of(const key_list& selection, track_list& out) = 0;
    // Default: get_tracks_of([key]) is not empty.
    virtual bool item_has_tracks(const list_text& key);
    virtual void go_up() = 0;
    virtual void open(const key_list& selection) = 0;
    virtual const list_text_list& items() = 0;
    // Default: get_tracks_of(items()).
    virtual void get_all_tracks(track_list& out);
    virtual void get_title(navigation_text& out) = 0;
    // Default false.
    virtual bool get_explorer_path(std::wstring& out);
    virtual bool has_items() = 0;
    // Default false: opening the item leads to a node of another kind, `out`.
    virtual bool redirect(view_path& out, const list_text& key);
    // Default true.
    virtual bool can_play();
    // Default false: the picture file of the view.
    virtual bool find_picture(std::wstring& out);
    // Default: a plain list of get_tracks_of(selection).
    virtual item_enumerator_ref create_item_track_list(const key_list& selection);
    // Default: a plain list of get_all_tracks.
    virtual item_enumerator_ref create_track_list();
};

// Track lists for playback.
// A plain list over the handles.
item_enumerator_ref track_list_create(const track_list& tracks);
// The chain of member lists: a folder's files then each subfolder's, or the lists of a selection.
item_enumerator_ref track_list_chain(const std::vector<item_enumerator_ref>& members);
// A folder's playable files (exact code-unit order of names), then each subfolder's tracks, recursively;
// listed on first use. `folder` is a Windows path without the trailing backslash.
item_enumerator_ref track_list_folder(const std::wstring& folder);
// Whether some input accepts the file name's extension.
bool track_list_is_playable(const wchar_t* name);
