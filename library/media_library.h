#pragma once
// media_library: the music library, the set of tracks found in the watched folders. One static service
// object; everything belongs to the main thread except is_indexing.
//
//     service_ptr<media_library> library;
//     service_class::get_single(library);
//     library->register_listener(&my_view);        // loads the library on the first such call
//     kpl::array_list<track_handle_ref> all;
//     library->list_all(all);                       // every track, ordered by handle identity
//     ...                                           // my_view hears additions, removals, changes
//     library->unregister_listener(&my_view);
//
// The shell drives its life:
//
//     media_library::startup();   // start-up: builds the effective folder list, nothing else
//     media_library::unload();    // shut-down: monitors stopped, every item removed (listeners hear it)
//
// Loading is lazy: the first contains, enumerate, list_all, register_listener, unregister_listener or
// "Refresh music folders now" reads "database.dat" from the profile folder and starts one directory
// monitor per distinct folder of the effective list. The effective list is "." (the program's folder)
// in portable-library mode, else the system Music folders when cfg_use_windows_library_folders is on;
// then every folder of cfg_library_folders, in order. Folder keys compare byte for byte:
//
//     cfg_library_folders = {"D:\\Music", "D:\\Music"}   ->  one monitor, "file://D:\\Music"
//     cfg_library_folders = {"C:\\"}                     ->  "file://C:\\" (a root keeps its backslash)
//     cfg_library_folders = {"D:\\Music\\"}              ->  "file://D:\\Music"
//
// A monitor gets flags 0 (rescan, then watch) while cfg_monitor_library_folders is on, 6 (stored state
// only) while it is off. A track that two watched folders both report stays until each has reported it
// gone.

#include <cstdint>
#include <map>
#include <string>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/guid.h"
#include "foundation/services/config_variable.h"
#include "foundation/services/service_base.h"
#include "library/folder_monitor_callback.h"

// Whether the Windows music library folders are watched too (not in portable mode). Default true.
extern config_bool cfg_use_windows_library_folders;
// The folders the user added, in order (UTF-8 native paths). Default empty.
extern config_string_list cfg_library_folders;
// Whether the monitors watch their folders for changes. Default true.
extern config_bool cfg_monitor_library_folders;

// A user of the library (a view). Not counted: it stays registered until it unregisters. Called on the main
// thread with non-empty lists.
class library_change_listener {
public:
    virtual void on_items_added(const library_track_list& tracks) = 0;
    virtual void on_items_removed(const library_track_list& tracks) = 0;
    virtual void on_items_modified(const library_track_list& tracks) = 0;
    virtual void on_indexing_changed(bool indexing) = 0;

protected:
    ~library_change_listener() = default;
};

// What enumerate calls per item; false stops the walk.
class library_enum_callback {
public:
    virtual bool on_item(const track_handle_ref& track) = 0;

protected:
    ~library_enum_callback() = default;
};

// The stored folder states read from "database.dat": folder key -> a window on the file over the
// folder's blob.
using library_stored_states = std::map<std::string, file_stream_ref>;

class media_library : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xFEBD85B5, 0xC12D, 0x45B5, {0xB5, 0x5D, 0x0D, 0x3F, 0x43, 0x2B, 0x0C, 0x6B}};

    // Loads the library, then answers whether the track is in it.
    virtual bool contains(const track_handle_ref& track) = 0;
    // Loads the library, then calls the callback with each item of a snapshot in list_all order.
    virtual void enumerate(library_enum_callback& callback) = 0;
    // Loads the library, empties `out` and appends every item.
    virtual void list_all(library_track_list& out) = 0;
    // Opens the preferences dialog at the Folders page (does not load the library).
    virtual void show_preferences() = 0;
    // Loads the library, then appends the listener (no duplicate check).
    virtual void register_listener(library_change_listener* listener) = 0;
    // Loads the library, then removes every occurrence of the listener.
    virtual void unregister_listener(library_change_listener* listener) = 0;
    // True while any monitor reports itself busy (does not load the library). Any thread.
    virtual bool is_indexing() = 0;

    // Start-up and Folders page apply: rebuilds the effective folder list; no monitor is touched.
    // Exceptions propagate to the start-up, which unwinds.
    static void startup();
    // Brings the monitors in line with the effective list and the monitoring option; new monitors start
    // from their stored state when `stored` has one (see the top).
    static void apply_folder_list(const library_stored_states& stored);
    // Stops every monitor and releases the library; listeners hear the removal of every item. No failure.
    static void unload();
    // True once "database.dat" was read and the folder list applied.
    static bool is_loaded();
};
