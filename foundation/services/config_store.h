#pragma once
// The configuration store: every config_variable saved together in "config.dat" in the profile folder,
// loaded at start-up, saved at shut-down (only when something changed) and on request.
//
// File layout (integers little-endian):
//     offset  size  field
//     0       16    magic: the GUID {B2223DD1-15C4-46F5-8031-96E692BC1E20} in its memory form
//     16      16    MD5 over the program's 16-byte salt followed by the record stream
//     32      4     L: length of the record stream
//     36      L     record stream; bytes after it are ignored
// The record stream holds records back to back until fewer than 16 bytes remain:
//     16 bytes  variable GUID (memory form)
//     4         payload length P
//     P         payload, as the variable's get_data wrote it
//
//     config_store store(my_variables);              // the program uses config_store::program()
//     store.load("file://C:\\Profile\\config.dat", quiet);
//     ...                                             // owners change their variables
//     store.save_now("file://C:\\Profile\\config.dat");   // nothing written when nothing changed
//
// Loading: a missing file keeps the defaults silently. Any other failure asks
//     "Error reading configuration file (<the failure's text>).\nContinue?"
// in a message box (OK/Cancel, error icon, the system's default caption) through message_box, so a test
// can answer it; OK goes on with whatever was loaded, Cancel throws exception_shutdownrequest. In quiet
// mode nothing is asked and the load goes on. From the failure until the answer, and for good after
// Cancel, the store writes and deletes nothing: the file the user was asked about stays as it is.
//
// Saving builds the whole stream in memory first; when its digest equals the one last read or written,
// nothing touches the disk. An empty stream deletes the file; otherwise it is written through
// file_writer::write_replacing, and the new digest is kept only once that succeeded, so a failed save is
// tried again by the next one.
//
// Main thread (start-up, shut-down, preferences apply).

#include <cstdint>

#include "foundation/fs/byte_stream.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/services/config_variable.h"
#include "foundation/tasks/abort_signal.h"
#include "foundation/win32/md5_hasher.h"

namespace config_file {

constexpr kpl::guid magic = {0xB2223DD1, 0x15C4, 0x46F5, {0x80, 0x31, 0x96, 0xE6, 0x92, 0xBC, 0x1E, 0x20}};
constexpr uint32_t header_size = 36;
constexpr const char* name = "config.dat";

// The program's salt. Files are readable only by builds sharing it: never change it.
extern const uint8_t salt[16];

// MD5 over the salt followed by the stream.
md5_digest digest_of(const void* stream, uint32_t size);

}  // namespace config_file

class config_store {
public:
    explicit config_store(config_variable_list& variables) noexcept : m_variables(variables) {}
    config_store(const config_store&) = delete;
    config_store& operator=(const config_store&) = delete;

    // The program's store: the variables of config_variable_lists(), the file in the profile folder.
    static config_store& program() noexcept;
    // The program's file: the profile folder, a '\' unless it ends with one, then "config.dat". Empty
    // while no profile folder is set.
    static kpl::utf8_string_pow2 program_location();
    // The "quiet" switch: no question on a load failure. Set by the shell during start-up.
    static void set_quiet(bool quiet) noexcept;
    static bool quiet() noexcept;

    // Parses a record stream into the variables. The variable registered first gets the records of a GUID
    // that several carry. A record of an unknown GUID is skipped. A variable gets a source cut at its
    // payload; a data error inside its set_data is ignored (the variable keeps what it set) and what it
    // left unread is skipped. A stream ending inside a record header or an unknown payload throws
    // ketrel_io::exception_io_data; any other failure of a variable passes on as well (the variables read
    // so far keep their values).
    static void read_records(byte_source& source, const abort_signal& abort, const config_variable_list& variables);
    // Writes every variable of the write list, in list order, as a record.
    static void write_records(byte_sink& sink, const abort_signal& abort, const config_variable_list& variables);

    // Reads the file into the variables. Missing: ketrel_io::exception_io_not_found; size unknown or at
    // most 20 bytes, a foreign magic or a stream length beyond the file's end: ketrel_io::exception_io_data
    // (its language text); a digest that does not match: ketrel_io::exception_io_data "Corrupted
    // configuration file". The file's digest is kept before the records are applied.
    void read_file(const char* location);
    // Writes the file unless the digest is unchanged (see the top); failures pass on. Nothing while writing
    // is held back.
    void write_file(const char* location);

    // Start-up: the digest becomes zeros, then the file is read; failures as described at the top.
    void load(const char* location, bool quiet);
    // Shut-down: with `discard` deletes the file (missing is fine), otherwise writes it. Up to
    // shutdown_attempts tries while they meet sharing violations, shutdown_wait_ms apart; any other
    // failure, or the last sharing violation, gives up silently.
    void save_at_shutdown(const char* location, bool discard);
    // Writes once; every failure is swallowed.
    void save_now(const char* location);

    // The digest of the configuration as last read from or written to the file (zeros: none).
    const md5_digest& state() const noexcept { return m_state; }
    void reset_state() noexcept { m_state = md5_digest{}; }
    // True while a load failure waits for its answer, and after the answer Cancel.
    bool writing_held() const noexcept { return m_writing_held; }

    uint32_t shutdown_attempts = 10;
    uint32_t shutdown_wait_ms = 1000;

private:
    void remove_file(const char* location);

    config_variable_list& m_variables;
    md5_digest m_state = {};
    bool m_writing_held = false;
};
