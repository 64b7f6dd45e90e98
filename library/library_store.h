#pragma once
// The library store: "database.dat" in the profile folder keeps each watched folder's monitor state
// between runs. The store never looks into a state; each folder's directory monitor reads and writes its
// own.
//
// Layout (integers little-endian, no padding, no version, no checksum):
//     16 bytes  the format GUID {9F65C755-13F6-4814-A9B1-F1B6F7AD7FFC} in its memory form
//               (55 C7 65 9F F6 13 14 48 A9 B1 F1 B6 F7 AD 7F FC)
//     u32       record count
//     records   u32 key length, the key (the folder string of the effective list, UTF-8, "." for the
//               program's folder), u32 state length, the state
// Records are written in byte order of their keys; a file with no records is 20 bytes long.
//
//     library_stored_states states;
//     library_store::read_records(states, *file, abort);   // keys and windows only: states are stepped over
//     states["D:\\Music"]->read(...);                      // each window reads just its own bytes
//
// Reading steps over each state by seeking, so loading touches little more than the keys; a window keeps
// the opened file alive, so the caller drops the map once every monitor has read its state.

#include <functional>
#include <string>
#include <vector>

#include "foundation/fs/byte_stream.h"
#include "foundation/fs/file_stream.h"
#include "foundation/kpl/guid.h"
#include "foundation/tasks/abort_signal.h"
#include "library/media_library.h"

namespace library_store {

constexpr kpl::guid format_guid = {0x9F65C755, 0x13F6, 0x4814, {0xA9, 0xB1, 0xF1, 0xB6, 0xF7, 0xAD, 0x7F, 0xFC}};
// The buffer the states are written through.
constexpr uint32_t write_buffer_size = 16384;

// One folder's record as written: its key and what writes its state.
struct record {
    std::string key;
    std::function<void(byte_sink& out, const abort_signal& abort)> save_state;
};

// Reads the records of an opened file (positioned at its start) into `out`. A foreign header gives
// ketrel_io::exception_io_data (its language text); a file ending inside a key or a length gives the file
// layer's short-read error; a state window whose end overflows 64 bits kpl::exception_overflow. A repeated
// key takes the later window. Records read before a failure stay in `out`.
void read_records(library_stored_states& out, file_stream& file, const abort_signal& abort);

// Writes the header and the records, in the given order, into the new file. A state longer than 32 bits
// can count gives kpl::exception_overflow.
void write_records(file_stream& file, const std::vector<record>& records, const abort_signal& abort);

// "database.dat" in the profile folder, as a location ("file://..."); empty while no profile folder is set,
// and then load reads nothing, save writes nothing (answering false) and remove removes nothing.
std::string location();

// Reads `location` into `out`. A missing file leaves `out` empty and answers true. A file that cannot be
// read whole (foreign, truncated, damaged, unreadable) answers false; records read before the failure stay
// and the failure's text goes to `error`.
bool load(const char* location, library_stored_states& out, std::string* error);

// Writes the records through a temporary file that then replaces `location`. When that fails, asks
//     "Library file could not be written (<the failure's text>).\nIf you choose 'cancel', your recent
//      library changes will be lost."
// (caption "Error writing library file", Retry and Cancel, warning icon, owned by the main window) and
// writes again on Retry. Answers whether the file was written; never throws.
bool save(const char* location, const std::vector<record>& records);

// Removes `location` for a reset of stored data; a missing file is fine. Other failures propagate.
void remove(const char* location);

}  // namespace library_store
