#pragma once
// The library manager's inner workings, for the library's own services, the console tool and tests. Main
// thread unless said otherwise.
//
//     library_manager::save(false);                   // what the shut-down's persistent_state save does
//     for (auto& f : library_manager::watched()) ...  // key, URL, flags and monitor of each folder
//
// Seams: a test replaces the directory monitor service, the system Music folders and the program folder:
//
//     library_manager::seams fake;
//     fake.monitors = &my_fake_monitor_service;
//     fake.system_folders = [](std::vector<std::string>& out) { out = {"C:\\Users\\me\\Music"}; };
//     library_manager::set_seams(fake);
//     media_library::startup();                       // the effective list takes the fake folders

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "library/directory_monitor.h"
#include "library/media_library.h"

namespace library_manager {

struct seams {
    // Null: the registered directory_monitor service.
    directory_monitor* monitors = nullptr;
    // Empty: the system's Music library folders, else its Music folder.
    std::function<void(std::vector<std::string>& out)> system_folders;
    // Empty: the running program's folder (with its trailing separator).
    std::string program_folder;
    // Portable-library mode; -1: as the shell found it.
    int portable = -1;
};
void set_seams(const seams& replacement);

// The system's Music folders: the folders of the Music library where the system has libraries, else the
// Music known folder (SHGetKnownFolderPath where the system has it, else CSIDL_MYMUSIC). Failures give none.
void system_music_folders(std::vector<std::string>& out);

// The URL a folder key is watched under: "." becomes the program's folder; "file://" + the path, less a
// trailing backslash unless it follows ':' or another backslash.
std::string folder_url(const std::string& key);

// The effective folder list as startup built it (duplicates included).
const std::vector<std::string>& effective_list();

struct watched_folder_view {
    std::string key;
    std::string url;
    uint32_t flags;
    directory_monitor_instance* monitor;
    bool busy;
};
// The watched folders in key order.
std::vector<watched_folder_view> watched();

// Counts for the console tool: tracks handed over from stored states, and files whose information a
// monitor asked to read (any thread increments the latter).
struct statistics {
    uint32_t stored_tracks = 0;
    uint32_t files_read = 0;
    uint32_t items = 0;
};
statistics stats();

// The save of the library's stored data (the shut-down's, and that of a reset of stored data): while
// not loaded and without reset nothing happens; with reset "database.dat" is removed (a missing file is
// fine); otherwise it is written (see library_store::save).
void save(bool reset);

// The two main-menu commands: index 0 toggles monitoring (re-applies the folder list while loaded), index
// 1 rescans every folder once (loading the library first) while monitoring is off.
void toggle_monitoring();
void rescan_all();

// info_change_notify's receiver: listeners hear on_items_modified with the changed tracks that are items.
void on_info_changed(const library_track_list& tracks);

}  // namespace library_manager
