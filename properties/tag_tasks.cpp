#include "properties/tag_tasks.h"

#include <cstring>

#include "foundation/fs/path_lock.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/sort.h"
#include "inputs/tag_remover.h"
#include "metadata/replaygain.h"
#include "metadata/track_info.h"
#include "properties/info_broadcast.h"
#include "properties/tag_operation_host.h"
#include "shell/localization.h"

namespace {

int compare_paths(const track_handle_ref& a, const track_handle_ref& b) {
    // Subsongs of one file in their order (any order would do; this one makes reports repeatable).
    const int c = std::strcmp(a->get_location().get_path(), b->get_location().get_path());
    if (c != 0) return c < 0 ? -1 : 1;
    return kpl::compare_values(a->get_location().get_subsong(), b->get_location().get_subsong());
}

bool has_tags(const track_info& info) { return info.meta_count() > 0 || info.get_replaygain().count_valid() > 0; }

}  // namespace

void tag_report_text(const kpl::array<tag_failure>& failures, kpl::utf8_string& out) {
    out.reset();
    for (const tag_failure& f : failures) {
        text_params params;
        params.set("error", f.text.c_str());
        kpl::utf8_string_pow2 line;
        if (!localization_table::format(f.message_id, params, line)) line = f.text;
        kpl::utf8_string_pow2 where;
        track_handle::location_text(f.track.get(), where);
        out << line << "\r\n" << where << "\r\n\r\n";
    }
}

int32_t tag_completion_code(bool aborted, bool failed) { return aborted ? 1 : failed ? 2 : 0; }

void tag_sort_by_path(const tag_track_list& tracks, kpl::array_list<track_handle_ref>& out) {
    out.insert_from(tracks, out.count());
    out.sort(&compare_paths);
}

// --- tag_task ---------------------------------------------------------------------------------------------

tag_task::tag_task(const tag_track_list& tracks, uint32_t flags, info_observer* observer, result_notifier* completion)
    : m_flags(flags), m_pending(observer), m_completion(completion) {
    tag_sort_by_path(tracks, m_tracks);
}

void tag_task::on_done(HWND, bool aborted) {
    pending_info_commit(m_pending);
    if (!(m_flags & tag_operation_no_report) && m_failures.count() > 0) {
        kpl::utf8_string_pow2 text;
        tag_report_text(m_failures, text);
        try {
            tag_operation_host::current().show_report(text.c_str(), localized_string("dialog_information"));
        } catch (const std::exception&) {
            // No popup service (start-up or shut-down): the completion still tells the caller.
        }
    }
    service_ptr<result_notifier> completion;
    std::swap(completion, m_completion);
    if (completion) completion->notify(tag_completion_code(aborted, m_failures.count() > 0));
}

uint32_t tag_task::group_end(uint32_t first) const {
    const char* path = path_of(first);
    uint32_t end = first + 1;
    while (end < m_tracks.count() && std::strcmp(path_of(end), path) == 0) ++end;
    return end;
}

void tag_task::fail(const track_handle_ref& track, const char* message_id, const char* text) {
    tag_failure f;
    f.track = track;
    f.message_id = message_id;
    f.text = text;
    m_failures.append(std::move(f));
}

void tag_task::fail_group(uint32_t first, uint32_t end, const char* message_id, const char* text) {
    for (uint32_t i = first; i < end; ++i) fail(m_tracks.get_item(i), message_id, text);
}

// --- load -------------------------------------------------------------------------------------------------

tag_load_task::tag_load_task(const tag_track_list& tracks, int mode, uint32_t flags, info_observer* observer,
                             result_notifier* completion)
    : tag_task(tracks, flags, observer, completion), m_mode(mode) {}

void tag_load_task::run(threaded_process::progress_sink& sink, const abort_signal& abort) {
    // One file's reader and shared lock, kept for its neighbours; the path is recorded last, so a failed
    // open never leaves a path behind without its reader.
    kpl::utf8_string_tight cached_path;
    service_ref lock;
    service_ptr<track_info_reader> reader;

    const uint32_t count = m_tracks.count();
    for (uint32_t i = 0; i < count; ++i) {
        abort.check();
        if (count > 1) sink.set_progress(static_cast<uint32_t>(static_cast<uint64_t>(i) * 5000 / count));
        const track_handle_ref track = m_tracks.get_item(i);
        const char* path = track->get_location().get_path();
        sink.set_item_path(path);
        const bool had_info = track->has_info();
        if (m_mode == 0 && had_info) continue;
        try {
            if (!reader || !cached_path.equals(path)) {
                cached_path.reset();
                reader.release();
                lock.release();
                path_lock_manager::acquire_shared(lock, path, abort);
                tag_operation_host::current().open_reader(reader, path, abort);
                cached_path = path;
            }
            const file_stats stats = reader->get_file_stats(abort);
            if (m_mode == 3 && had_info && stats.timestamp != 0 && stats.timestamp == track->get_file_stamp())
                continue;
            track_info_store info;
            reader->get_info(track->get_location().get_subsong(), info, abort);
            m_pending.add(track, info, stats, true);
        } catch (const ketrel_io::exception_aborted&) {
            throw;
        } catch (const std::exception& e) {
            fail(track, "error_info_load", e.what());
        }
    }
}

// --- update and remove ------------------------------------------------------------------------------------

tag_write_task::tag_write_task(const tag_track_list& tracks, uint32_t flags, info_observer* observer,
                               result_notifier* completion, const char* name_id, const char* write_error_id)
    : tag_task(tracks, flags, observer, completion), m_name_id(name_id), m_write_error_id(write_error_id) {
    running_operation_registry::instance().register_operation(this);
}

tag_write_task::~tag_write_task() { running_operation_registry::instance().unregister_operation(this); }

void tag_write_task::get_name(kpl::utf8_string& out) { out = localized_string(m_name_id).c_str(); }

void tag_write_task::run(threaded_process::progress_sink& sink, const abort_signal& abort) {
    const uint32_t count = m_tracks.count();
    for (uint32_t first = 0, end = 0; first < count; first = end) {
        abort.check();
        sink.set_progress(static_cast<uint32_t>(static_cast<uint64_t>(first) * 5000 / count));
        const kpl::utf8_string_tight path(path_of(first));
        sink.set_item_path(path.c_str());
        end = group_end(first);
        bool committed = false;
        try {
            service_ref lock;
            path_lock_manager::acquire_exclusive(lock, path.c_str(), abort);
            write_file(path.c_str(), first, end, abort, committed);
        } catch (const ketrel_io::exception_aborted&) {
            throw;
        } catch (const std::exception& e) {
            fail_group(first, end, committed ? "error_info_load" : m_write_error_id, e.what());
        }
    }
}

// --- update -----------------------------------------------------------------------------------------------

tag_update_task::tag_update_task(const tag_track_list& tracks, info_editor* editor, uint32_t flags,
                                 info_observer* observer, result_notifier* completion)
    : tag_write_task(tracks, flags, observer, completion, "dialog_title_update_info", "error_info_write"),
      m_editor(editor) {}

void tag_update_task::write_file(const char* path, uint32_t first, uint32_t end, const abort_signal& abort,
                                 bool& committed) {
    service_ptr<track_info_writer> writer;
    tag_operation_host::current().open_writer(writer, path, abort, 0.5);
    // The writer is open: this file is finished before an abort counts.
    const file_stats stats = writer->get_file_stats(abort_never);
    bool staged = false;
    for (uint32_t i = first; i < end; ++i) {
        const track_handle_ref track = m_tracks.get_item(i);
        const uint32_t subsong = track->get_location().get_subsong();
        track_info_store info;
        writer->get_info(subsong, info, abort_never);
        if (m_editor->apply(track, stats, info)) {
            writer->stage_info(subsong, info, abort_never);
            staged = true;
        }
    }
    if (staged) {
        writer->commit_info(abort_never);
        committed = true;
    }
    m_pending.read_whole_file(*writer, path, abort_never);
}

// --- remove -----------------------------------------------------------------------------------------------

tag_remove_task::tag_remove_task(const tag_track_list& tracks, uint32_t flags, info_observer* observer,
                                 result_notifier* completion)
    : tag_write_task(tracks, flags, observer, completion, "dialog_title_remove_tags", "error_info_remove") {}

void tag_remove_task::write_file(const char* path, uint32_t first, uint32_t end, const abort_signal&,
                                 bool& committed) {
    // Once the file is touched it is finished before an abort counts.
    tag_operation_host& host = tag_operation_host::current();
    host.strip_file_ends(path, abort_never);
    service_ptr<track_info_writer> writer;
    host.open_writer(writer, path, abort_never, 0.5);
    service_ptr<track_info_writer_tag_remover> remover;
    if (service_query(writer.get(), remover)) {
        remover->remove_all_tags(abort_never);
        committed = true;
    } else {
        bool staged = false;
        for (uint32_t i = first; i < end; ++i) {
            const uint32_t subsong = m_tracks.get_item(i)->get_location().get_subsong();
            track_info_store info;
            writer->get_info(subsong, info, abort_never);
            if (!has_tags(info)) continue;
            info.replaygain_reset();
            info.meta_remove_all();
            writer->stage_info(subsong, info, abort_never);
            staged = true;
        }
        if (staged) {
            writer->commit_info(abort_never);
            committed = true;
        }
    }
    remover.release();
    m_pending.read_whole_file(*writer, path, abort_never);
}
