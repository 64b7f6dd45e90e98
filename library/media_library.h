#pragma once
// The media library as the application shell starts and stops it (main thread).
//
//     media_library::startup();   // start-up, after playback: collects and watches the library folders
//     ...
//     media_library::unload();    // shut-down, after the user interface is gone (also the undo of startup)
//
// The library also registers a persistent_state: its on_startup does nothing (startup loads the store),
// its on_shutdown(false) writes "database.dat" when there are unsaved changes and on_shutdown(true)
// deletes it.

#include "foundation/services/config_variable.h"

// Whether the Windows music library folders are watched too (not in portable mode). Default true.
extern config_bool cfg_use_windows_library_folders;

namespace media_library {

// Exceptions propagate to the start-up, which unwinds.
void startup();
// Stops the folder watchers and releases the library tree. No failure.
void unload();

}  // namespace media_library
