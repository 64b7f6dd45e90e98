#pragma once
// library_view_model: the tag view (node kind 0) over the music library, in four levels: genres, artists,
// albums, songs. Each level's items come from the tracks the choices above it leave; choosing a level's
// summary item ("[albums by all artists]", "[songs from all albums]"; "[all genres]" in paths) lifts that
// level's restriction.
//
//     library_view_model view(host, path);   // path [["Rock"], []]: level 2, Rock's albums
//     view.items();                           // "[songs from all albums]", "Abbey Road [1969]", ...
//     key_list pick;  pick.append(list_text(L"Abbey Road [1969]"));
//     view.open(pick);                        // level 3: "1. Come Together", "2. Something", ...
//     view.create_track_list();               // the album sorted by disc and track, one copy per song
//
// Genres and artists are the browse texts cut at "; " (keys compare by exact code units, so "abc" and
// "ABC" are two items); items sort by StrCmpLogicalW, ties by code units. The model listens to the
// library and rebuilds the levels 0 .. current on every change, telling the host when the items changed.
// Main thread only.

#include <map>
#include <string>
#include <vector>

#include "library/library_node.h"
#include "metadata/browse_fields.h"
#include "library/media_library.h"
#include "metadata/title_formatting/title_script.h"

// The library keys of a browse text: its non-empty pieces cut at every "; ". "A; B" -> "A", "B";
// "Earth, Wind & Fire" -> one key.
std::vector<std::wstring> library_value_texts(const char* utf8);
// The keys an album's artists are known by: the record's Album Artist pieces, else its Artist pieces.
std::vector<std::wstring> library_album_artist_texts(const browse_fields& record);

class library_view_model final : public library_node, public library_change_listener {
public:
    // Registers with `library` (the media_library service when null), compiles the scripts (a script that
    // does not compile throws kpl::exception_bug_check_v2), sets the path and tells the host whether the
    // library is indexing.
    library_view_model(library_view_host& host, const node_path& path, media_library* library = nullptr);
    ~library_view_model() override;
    library_view_model(const library_view_model&) = delete;
    library_view_model& operator=(const library_view_model&) = delete;

    int kind() override { return 0; }
    key_list selection_to_here() override;
    void set_path(const node_path& path) override;
    void get_path(node_path& out) override;
    bool can_open(const key_list&) override { return m_level < 3; }
    bool can_go_up() override { return m_level > 0; }
    bool is_leaf_level() override { return m_level == 3; }
    bool item_contains_track(const list_text& key, const track_handle* handle) override;
    bool is_summary_item(const list_text& key) override;
    void get_tracks_of(const key_list& selection, track_list& out) override;
    bool item_has_tracks(const list_text& key) override;
    void go_up() override;
    void open(const key_list& selection) override;
    const list_text_list& items() override { return m_items; }
    void get_all_tracks(track_list& out) override;
    void get_title(navigation_text& out) override;
    bool has_items() override { return !m_items.empty(); }
    bool find_picture(std::wstring& out) override;
    item_enumerator_ref create_item_track_list(const key_list& selection) override;
    item_enumerator_ref create_track_list() override;

    void on_items_added(const library_track_list&) override { rebuild_all(); }
    void on_items_removed(const library_track_list&) override { rebuild_all(); }
    void on_items_modified(const library_track_list&) override { rebuild_all(); }
    void on_indexing_changed(bool indexing) override { m_host.on_indexing_changed(indexing); }

    int level() const { return m_level; }

    // Of adjacent tracks with byte-equal browse records, the one with the best extension ("FLAC" 6, "WV"
    // 5, "MPC" 4, "M4A" 3, "OGG" 2, "MP3" 1, others 0; any letter case), then the newer file, then the
    // earlier one. Tracks without a record are kept.
    static void thin_duplicates(track_list& tracks);
    static int extension_score(const char* path);

private:
    using level_map = std::map<list_text, track_list>;

    void rebuild(int level);
    void rebuild_all();
    void tracks_of_state(int level, track_list& out);
    void set_choice(int level, const key_list& selection);
    const wchar_t* pseudo_text(int level) const;
    void sort_tracks(track_list& tracks);

    library_view_host& m_host;
    media_library* m_library;
    service_ptr<media_library> m_library_ref;
    int m_level = 0;
    key_list m_choices[4];
    level_map m_maps[4];
    std::map<list_text, track_handle_ref> m_album_last;  // each album line's last track: its details
    list_text_list m_items;

    title_script_ref m_song_one_album, m_song_title, m_track_sort, m_album_other, m_album_chosen, m_album_all,
        m_album_artist, m_album, m_date;
    const title_script* m_current_sort = nullptr;
};
