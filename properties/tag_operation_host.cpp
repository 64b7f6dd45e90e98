#include "properties/tag_operation_host.h"

#include "foundation/services/service_registry.h"
#include "inputs/input_probe.h"
#include "playback/popup_notice.h"
#include "properties/file_end_tags.h"

namespace {

class program_host final : public tag_operation_host {};

program_host g_program_host;
tag_operation_host* g_host = &g_program_host;

}  // namespace

void tag_operation_host::run_task(threaded_process::task* task, uint32_t options, HWND parent, const char* title) {
    service_ptr<threaded_process> progress;
    service_class::get_single(progress);
    progress->run_nonblocking(task, options, parent, title);
}

void tag_operation_host::open_reader(service_ptr<track_info_reader>& out, const char* path,
                                     const abort_signal& abort) {
    input_open_info_reader(out, file_stream_ref(), path, abort, false);
}

void tag_operation_host::open_writer(service_ptr<track_info_writer>& out, const char* path,
                                     const abort_signal& abort, double timeout) {
    input_open_info_writer_ex(out, file_stream_ref(), path, abort, timeout, false);
}

void tag_operation_host::strip_file_ends(const char* path, const abort_signal& abort) {
    tag_strip_file_ends(path, abort);
}

void tag_operation_host::show_report(const char* text, const char* title) { popup_notice_show(text, title); }

tag_operation_host* tag_operation_host::install(tag_operation_host* host) {
    tag_operation_host* previous = g_host;
    g_host = host ? host : &g_program_host;
    return previous;
}

tag_operation_host& tag_operation_host::current() { return *g_host; }

uint32_t tag_operation_options(uint32_t flags) {
    uint32_t options = threaded_process::option_abort_button | threaded_process::option_progress_bar |
                       threaded_process::option_item_text;
    if (flags & 0x2) options |= threaded_process::option_no_activate;
    if (flags & 0x4) options |= threaded_process::option_delayed_window | threaded_process::option_no_activate;
    return options;
}
