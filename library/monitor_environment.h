#pragma once
// monitor_environment: the clock, the sleeps and the watch faults a directory monitor runs on. The
// program's monitors use the real one; tests give their own to move time on and to make a folder fail
// change notifications or overflow them.
//
//     class test_environment : public monitor_environment {
//         uint32_t now_ms() override { return clock; }              // moved on by the test
//         uint32_t watch_failure() override { return 50; }          // as a share without notifications
//     };
//     test_environment env;
//     directory_monitor_create(monitor, callback, root, nullptr, 0, initial, env);   // polls
//
// The environment must outlive every monitor made over it. Its operations are called on monitor threads.

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"
#include "library/directory_monitor.h"

class monitor_environment {
public:
    // Milliseconds of a wrapping tick count (GetTickCount).
    virtual uint32_t now_ms();
    // A sleep that ends early by throwing ketrel_io::exception_aborted when the signal is set.
    virtual void sleep(const abort_signal& abort, double seconds);
    // Seconds between attempts after a failed one (10).
    virtual double retry_seconds();
    // 0, or the Win32 error code with which every change-notification request fails.
    virtual uint32_t watch_failure();
    // True when the request that just completed is to count as overflowed (no records).
    virtual bool take_overflow();
    // Told at the start of every full rescan.
    virtual void on_full_rescan();
    // GetFileAttributesW of a path in its long form: the attributes, or INVALID_FILE_ATTRIBUTES with the
    // Win32 error in `error`.
    virtual uint32_t file_attributes(const wchar_t* path, uint32_t& error);
    // How many threads read the files of a pending pass ahead of the monitor thread (0: the monitor thread
    // reads each file itself). The program's: 0.
    virtual uint32_t read_threads();

    // The program's environment.
    static monitor_environment& real();

protected:
    monitor_environment() = default;
    ~monitor_environment() = default;
};

// create_monitor over a given environment.
void directory_monitor_create(service_ptr<directory_monitor_instance>& out, folder_monitor_callback* callback,
                              const char* root, file_stream* stored, uint32_t flags, library_track_list& initial,
                              monitor_environment& environment);
