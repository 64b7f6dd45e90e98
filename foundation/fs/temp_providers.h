#pragma once
// The two providers of scratch files, each owning exactly one location:
//
//   "tempfile://"  a new file in the user's temporary folder, opened with no sharing and deleted by
//                  Windows when its last reference goes. Open mode must be open_mode_create (else
//                  ketrel_io::exception_io_denied).
//   "tempmem://"   a new empty memory_file. Open mode must be open_mode_create (else
//                  ketrel_io::exception_io).
//
// Each open makes a new, empty file. Every other operation on them (remove, move, stats, folders)
// gives ketrel_io::exception_io_not_found; relative forms do not exist.
//
//   file_stream_ref scratch;
//   temp_file_open(scratch, abort);      // through foundation/fs/file_system.h

#include "foundation/fs/filesystem_provider.h"

namespace temp_file_system {
filesystem_provider& provider();
}

namespace temp_memory_system {
filesystem_provider& provider();
}
