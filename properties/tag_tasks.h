#pragma once
// The three background operations of tag_operations as threaded_process tasks: load info, update info and
// remove tags. Each works over a copy of the caller's tracks sorted by path (unsigned bytes, a prefix
// first), so the subsongs of one file are neighbours.
//
//     service_ptr<threaded_process::task> task(new tag_update_task(tracks, editor, flags, observer, done));
//     tag_operation_host::current().run_task(task.get(), tag_operation_options(flags), parent, title);
//     // worker: run (file by file); main thread: on_done -> handles take the read info, broadcast,
//     //         report of the failures (unless flag 0x1), done->notify(0 ok / 1 aborted / 2 failures)
//
// Update and remove, for each file (a run of equal paths):
//   1. abort check, progress (first index x 5000 / count), the path as the item line;
//   2. exclusive path lock on the path (waits for readers, abortable);
//   3. update: the info writer by probing, retried 0.5 s while the file is in use (abortable);
//      remove: the file's end tags stripped, then the writer;
//   4. from here on the file is finished whatever the user presses: the reads, the editor's apply, the
//      stagings, the commit and the read-back of every subsong use the never-aborting signal;
//   5. a failure before the commit reports every listed track of the file as not written ("error_info_write"
//      / "error_info_remove"); a failure after it (the read-back) as not read ("error_info_load").
// Load keeps one reader open (with a shared path lock) for consecutive tracks of one file; the cached path
// is recorded only once the lock and the reader were had.
//
// Update and remove count as running operations ("Updating Files", "Removing Tags") while they exist, so
// that closing the program asks first.

#include <windows.h>

#include <cstdint>

#include "foundation/kpl/array.h"
#include "foundation/kpl/ref_list.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/result_notifier.h"
#include "foundation/tasks/threaded_process.h"
#include "metadata/tag_operations.h"
#include "properties/pending_info.h"
#include "shell/running_operations.h"

struct tag_failure {
    track_handle_ref track;
    // "error_info_load", "error_info_write" or "error_info_remove".
    const char* message_id = "";
    kpl::utf8_string_tight text;
};

// The report: per failure the message with {error} filled in, "\r\n", the track's location text
// (track_handle::location_text), "\r\n\r\n".
void tag_report_text(const kpl::array<tag_failure>& failures, kpl::utf8_string& out);
// 1 when aborted, else 2 with failures, else 0.
int32_t tag_completion_code(bool aborted, bool failed);
// Sorts a copy of the tracks by path.
void tag_sort_by_path(const tag_track_list& tracks, kpl::array_list<track_handle_ref>& out);

class tag_task : public service_counted<threaded_process::task> {
public:
    void on_start(HWND) override {}
    void on_done(HWND dialog, bool aborted) override;

    const kpl::array_list<track_handle_ref>& tracks() const { return m_tracks; }
    const kpl::array<tag_failure>& failures() const { return m_failures; }

protected:
    tag_task(const tag_track_list& tracks, uint32_t flags, info_observer* observer, result_notifier* completion);

    const char* path_of(uint32_t index) const { return m_tracks.get_item(index)->get_location().get_path(); }
    // The end of the run of tracks with the path of `first`.
    uint32_t group_end(uint32_t first) const;
    void fail(const track_handle_ref& track, const char* message_id, const char* text);
    void fail_group(uint32_t first, uint32_t end, const char* message_id, const char* text);

    kpl::array_list<track_handle_ref> m_tracks;
    uint32_t m_flags;
    kpl::array<tag_failure> m_failures;
    pending_info m_pending;
    service_ptr<result_notifier> m_completion;
};

class tag_load_task final : public tag_task {
public:
    tag_load_task(const tag_track_list& tracks, int mode, uint32_t flags, info_observer* observer,
                  result_notifier* completion);
    void run(threaded_process::progress_sink& sink, const abort_signal& abort) override;

private:
    int m_mode;
};

// Update and remove: one write per file (a run of equal paths) under the file's exclusive path lock, and a
// running operation while the task exists.
class tag_write_task : public tag_task, public running_operation {
public:
    ~tag_write_task() override;
    void run(threaded_process::progress_sink& sink, const abort_signal& abort) final;
    void get_name(kpl::utf8_string& out) override;

protected:
    // `name_id`: the operation's name; `write_error_id`: the message of a failure before the commit.
    tag_write_task(const tag_track_list& tracks, uint32_t flags, info_observer* observer, result_notifier* completion,
                   const char* name_id, const char* write_error_id);

    // Writes the tracks [first, end) of the file `path`, its exclusive lock held, and reads the file back
    // into m_pending; sets `committed` once the file was changed (a later failure is then a read failure).
    virtual void write_file(const char* path, uint32_t first, uint32_t end, const abort_signal& abort,
                            bool& committed) = 0;

private:
    const char* m_name_id;
    const char* m_write_error_id;
};

class tag_update_task final : public tag_write_task {
public:
    tag_update_task(const tag_track_list& tracks, info_editor* editor, uint32_t flags, info_observer* observer,
                    result_notifier* completion);

private:
    void write_file(const char* path, uint32_t first, uint32_t end, const abort_signal& abort,
                    bool& committed) override;

    service_ptr<info_editor> m_editor;
};

class tag_remove_task final : public tag_write_task {
public:
    tag_remove_task(const tag_track_list& tracks, uint32_t flags, info_observer* observer, result_notifier* completion);

private:
    void write_file(const char* path, uint32_t first, uint32_t end, const abort_signal& abort,
                    bool& committed) override;
};
