#pragma once
// file_writer: writes a whole local file through a temporary one, so that the old content stays until
// the new one is complete.
//
//   class config_writer : public file_writer {
//       void write(file_stream& file, const abort_signal& abort) override { file.write(data, size, abort); }
//   } w;
//   file_writer::write_replacing(w, "file://C:\\Profile\\config.dat", abort);
//
// The content goes to the target's path + ".tmp" (created or emptied), which then replaces the target.
// - An existing read-only target is refused with a plain exception "file exists and is read-only".
// - When writing the content fails, the ".tmp" file is removed and the failure passes on; the target is
//   untouched.
// - Replacing meets sharing violations while another program holds the target: it tries 20 times with
//   50 ms sleeps in between. When every attempt fails, the ".tmp" file is removed and
//   ketrel_io::exception_io_sharing_violation passes on: the target keeps its old content, and the caller
//   knows the new content was not saved. Any other failure of the replacement does the same with its own
//   exception.

#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"

class file_writer {
public:
    // Writes the whole content into the file.
    virtual void write(file_stream& file, const abort_signal& abort) = 0;

    static void write_replacing(file_writer& writer, const char* location, const abort_signal& abort);

    // The replacing move's attempts and the sleep between them.
    static constexpr int replace_attempts = 20;
    static constexpr unsigned replace_sleep_ms = 50;

protected:
    ~file_writer() = default;
};
