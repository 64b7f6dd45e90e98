#pragma once
// The local disk: "file://" locations and bare native paths.
//
// These are the operations of the "file://" provider, callable directly where no provider lookup is
// wanted (start-up, the configuration file, the library's watched folders):
//
//   file_stream_ref f;
//   local_filesystem::open(abort, "file://C:\\Music\\a.flac", f, open_mode_read);
//   kpl::utf8_string_pow2 c;
//   local_filesystem::canonicalize("file:///c:\\music\\A.FLAC", c, false);
//       // true, "file://C:\Music\a.flac" when that file exists with that spelling
//   local_filesystem::create_folder("C:\\Users\\me\\AppData\\Roaming\\Vorn");
//
// Files are opened for overlapped I/O, except by open_read_synchronous. Reading shares with other readers only (nobody may write the file
// meanwhile); writing shares with nobody. Every Windows call receives the long form of the path
// (local_path::to_long_path).

#include <cstdint>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/fs/filesystem_provider.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"

namespace local_filesystem {

// Opens a location in one of the three open modes (another value: kpl::exception_invalid_params); out
// receives the file, releasing what it held.
void open(const abort_signal& abort, const char* location, file_stream_ref& out, uint32_t mode);
// Opens a location for reading (as open_mode_read) on a synchronous handle (disk_file::create_synchronous):
// cheaper to open and to read, but an abort cannot cut a read short.
void open_read_synchronous(const abort_signal& abort, const char* location, file_stream_ref& out);

// The canonical location: "file://" + the full path in its stored spelling. The full path comes from
// the system's path search (existing files only; otherwise the path stays as given) unless
// true_case_only is set; then the spelling walk of path_true_case. False for another scheme and for
// paths that are neither drive nor UNC paths.
bool canonicalize(const char* location, kpl::utf8_string& out, bool true_case_only);

// Removes a file, or an empty folder.
void remove(const char* location, const abort_signal& abort);
void create_folder(const char* location);
// Size and last-write time (a folder has size 0); writable unless the read-only attribute is set.
void get_stats(const char* location, file_stats& out, bool& writable);
file_stats get_stats(const char* location);

// The "file://" provider.
filesystem_provider& provider();

}  // namespace local_filesystem
