#pragma once
// tag_operation_host: what the tag operations need from the rest of the program, in one replaceable
// object: the progress window that runs a task, the input probing that opens readers and writers, the
// stripping of the tags every file may carry at its ends, and the popup that shows the failure report.
//
//     class quiet_host : public tag_operation_host {            // a test: no windows, fake inputs
//         bool run_task(threaded_process::task* task, uint32_t, HWND, const char*) override {
//             task->on_start(nullptr);  task->run(sink, abort);  task->on_done(nullptr, false);  return true;
//         }
//         void show_report(const char* text, const char* title) override { m_reports.push_back(text); }
//     };
//     quiet_host host;
//     tag_operation_host* previous = tag_operation_host::install(&host);
//     ...
//     tag_operation_host::install(previous);                    // null installs the program's own
//
// The default of each operation is the program's: threaded_process::run_nonblocking, probing over the
// registered inputs (writers retried for `timeout` seconds while the file is in use), tag_strip_file_ends
// and popup_notice_show. install and current belong to the main thread.

#include <windows.h>

#include <cstdint>

#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"
#include "foundation/tasks/threaded_process.h"
#include "inputs/input_service.h"

class tag_operation_host {
public:
    virtual void run_task(threaded_process::task* task, uint32_t options, HWND parent, const char* title);
    virtual void open_reader(service_ptr<track_info_reader>& out, const char* path, const abort_signal& abort);
    virtual void open_writer(service_ptr<track_info_writer>& out, const char* path, const abort_signal& abort,
                             double timeout);
    // Removes leading ID3v2 and trailing APEv2 / ID3v1 tags from the file (the caller holds its exclusive
    // path lock); a path no file system handles is left alone.
    virtual void strip_file_ends(const char* path, const abort_signal& abort);
    virtual void show_report(const char* text, const char* title);

    // The host in use; `host` null puts the program's own back. Answers the one installed before.
    static tag_operation_host* install(tag_operation_host* host);
    static tag_operation_host& current();

protected:
    ~tag_operation_host() = default;
};

// The option word of threaded_process for operation flags: abort button, progress bar and item line, plus
// "no activation" for flag 0x2 and "shown after 500 ms" for flag 0x4.
//     tag_operation_options(0) == 0x15;  tag_operation_options(2) == 0x115;  tag_operation_options(4) == 0x195
uint32_t tag_operation_options(uint32_t flags);
