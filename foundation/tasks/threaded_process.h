#pragma once
// threaded_process: one task on a worker thread while the main thread shows a progress dialog (bar, second
// bar, the item in work, Abort, Pause and Minimize).
//
//   class retag : public service_counted<threaded_process::task> {
//       void on_start(HWND) override {}                                   // main thread, before run
//       void run(threaded_process::progress_sink& sink, const abort_signal& abort) override {
//           for (uint32_t i = 0; i < count; ++i) {
//               abort.check();                                            // "User abort" ends run silently
//               sink.set_item_path(paths[i]);                             // "file://C:\a.flac" shows C:\a.flac
//               sink.set_progress(uint32_t(uint64_t(i) * 5000 / count));  // 0..5000
//               if (!sink.wait_while_paused()) return;                    // Pause button
//               write(paths[i]);
//           }
//       }
//       void on_done(HWND, bool aborted) override { report(aborted); }     // main thread, after run
//   };
//   service_ptr<threaded_process> progress;
//   service_class::get_single(progress);
//   progress->run_nonblocking(task, threaded_process::option_abort_button | threaded_process::option_progress_bar |
//                             threaded_process::option_item_text | threaded_process::option_delayed_window,
//                             owner, "Updating Files");
//
// on_done's `aborted` is true whenever the task did not complete: the user pressed Abort, run ended with
// "User abort", or run failed with another exception. A failure is also shown as a popup notice captioned
// "Unhandled exception in " followed by the title in double quotes, holding the exception's message. A
// dialog destroyed before the worker's end was handled (its owner went away) gets no on_done.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"

class threaded_process : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x9DBC262F, 0x4795, 0x4292, {0x82, 0x4B, 0x23, 0xA6, 0x55, 0x01, 0x1A, 0x3E}};

    enum : uint32_t {
        option_abort_button = 0x1,         // Abort enabled and the window menu kept
        option_minimize_button = 0x2,      // Minimize shown; it minimizes the parent window
        option_progress_bar = 0x4,         // a 0..100 bar; without it the bar runs as a marquee
        option_second_progress_bar = 0x8,  // a second bar; implies option_progress_bar
        option_item_text = 0x10,           // the "Processing:" line
        option_pause_button = 0x20,        // the Pause check box
        option_time_critical_thread = 0x40,
        option_delayed_window = 0x80,      // non-blocking runs: hidden for the first 500 ms; implies no_activate
        option_no_activate = 0x100,        // the dialog does not take the keyboard focus
    };

    // What run reports through; valid while run runs, used on the worker thread.
    class progress_sink {
    public:
        // Main bar on the scale 0..5000 (shown as value x 100 / 5000 percent).
        virtual void set_progress(uint32_t value) = 0;
        virtual void set_progress_secondary(uint32_t value) = 0;
        // The item line; ignored once aborted. A length of size_t(-1): up to the terminating zero.
        virtual void set_item(const char* text, size_t length = size_t(-1)) = 0;
        // The item line from a location, shown as its display path; ignored once aborted.
        virtual void set_item_path(const char* location, size_t length = size_t(-1)) = 0;
        // The window title, refreshed at once; ignored once aborted.
        virtual void set_title(const char* text, size_t length = size_t(-1)) = 0;
        // Requests an immediate refresh unless aborted.
        virtual void force_update() = 0;
        // The Pause button's state.
        virtual bool is_paused() = 0;
        // While paused waits in 0.01 s steps; false when aborted, else true.
        virtual bool wait_while_paused() = 0;

    protected:
        ~progress_sink() = default;
    };

    // The caller's task (reference counted).
    class task : public service_object {
    public:
        static constexpr kpl::guid class_guid = {0x7B69141B, 0x4271, 0x4070, {0x89, 0x98, 0x10, 0xCD, 0x39, 0x24, 0x9C, 0x12}};

        // Main thread, after the dialog exists and before the worker runs.
        virtual void on_start(HWND dialog) = 0;
        // Worker thread.
        virtual void run(progress_sink& sink, const abort_signal& abort) = 0;
        // Main thread, after the worker has ended; aborted: the task did not complete.
        virtual void on_done(HWND dialog, bool aborted) = 0;
    };

    // Modal dialog (DialogBoxParamW inside a modal scope). Main thread, never inside a playback-listener
    // notification. True when the task completed; false when it was aborted, failed, or the dialog could not
    // be made. Exceptions of on_start and on_done are thrown here after the dialog has ended.
    virtual bool run_modal(task* work, uint32_t options, HWND parent, const char* title,
                           size_t title_length = size_t(-1)) = 0;
    // Modeless dialog, registered for keyboard navigation; answers true at once. Main thread. Throws
    // exception_win32 when the dialog cannot be made.
    virtual bool run_nonblocking(task* work, uint32_t options, HWND parent, const char* title,
                                 size_t title_length = size_t(-1)) = 0;

    // The options with their implications applied: 0x8 adds 0x4, 0x80 adds 0x100.
    static uint32_t effective_options(uint32_t options);
    // The dialog for the (effective) options: 680 with a second bar, else 219 with the item line, else 679.
    static int dialog_resource(uint32_t options);
    // Bar position in percent for a value on the 0..5000 scale (values above 5000 count as 5000).
    static int bar_percent(uint32_t value);
    // "Unhandled exception in \"" + title + "\"".
    static void failure_caption(const char* title, kpl::utf8_string& out);
};
