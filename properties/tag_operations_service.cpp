// The tag_operations service object, with the hint collector and the stream info loader it makes.
#include <cstdint>

#include "foundation/kpl/exceptions.h"
#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/background_worker.h"
#include "foundation/tasks/result_notifier.h"
#include "metadata/decoding/location_tracks.h"
#include "metadata/tag_operations.h"
#include "metadata/track_info.h"
#include "properties/info_broadcast.h"
#include "properties/pending_info.h"
#include "properties/tag_operation_host.h"
#include "properties/tag_tasks.h"
#include "shell/localization.h"
#include "shell/main_thread_queue.h"

namespace {

// Runs `Call` (an object with run()) on the main thread: at once there, else queued with a reference to
// `owner` that keeps it alive until it has run.
template <class Owner>
class main_thread_commit final : public service_counted<main_thread_callback> {
public:
    explicit main_thread_commit(Owner* owner) : m_owner(owner) {}
    void run() override { m_owner->commit_now(); }

private:
    kpl::rc_ptr<Owner> m_owner;
};

template <class Owner>
void commit_on_main_thread(Owner* owner) {
    if (main_thread::is_current()) {
        owner->commit_now();
        return;
    }
    service_ref call;
    call.attach(static_cast<main_thread_callback*>(new main_thread_commit<Owner>(owner)));
    main_thread_queue::post(call.as<main_thread_callback>());
}

class hint_collector final : public service_counted<info_hint_collector> {
public:
    void add_hint(const track_handle_ref& track, const track_info& info, uint64_t stamp, bool fresh) override {
        file_stats stats;
        stats.timestamp = stamp;
        m_pending.add(track, info, stats, fresh);
    }
    void add_hints_from_reader(const char* path, track_info_reader* reader, const abort_signal& abort) override {
        m_pending.read_whole_file(*reader, path, abort);
    }
    void commit() override {
        if (!m_pending.is_empty()) commit_on_main_thread(this);
    }
    void commit_now() { pending_info_commit(m_pending); }

private:
    pending_info m_pending;
};

class info_loader final : public service_counted<stream_info_loader> {
public:
    void load(const track_handle_ref& track, uint64_t stamp, byte_source& source, const abort_signal& abort) override {
        if (track->load_info(stamp, source, abort)) m_changed.append(track);
    }
    void load_location(track_handle_ref& out, const track_location& location, uint64_t stamp, byte_source& source,
                       const abort_signal& abort) override {
        track_handle_registry::get().get_handle(out, location);
        if (out->load_info(stamp, source, abort) && !out->is_sole_reference()) m_changed.append(out);
    }
    void commit() override { commit_on_main_thread(this); }
    void commit_now() {
        kpl::array_list<track_handle_ref> changed;
        std::swap(changed, m_changed);
        info_broadcast(changed, 0);
    }

private:
    kpl::array_list<track_handle_ref> m_changed;
};

// What the location loaders report while resolving a location.
class resolve_sink final : public service_counted<location_track_sink> {
public:
    explicit resolve_sink(tag_track_list& out) : m_out(out) {}

    void on_location(const char*) override {}
    void on_track(const track_handle_ref& track, uint32_t, const file_stats&, uint32_t) override {
        kpl::array_list<track_handle_ref> one;
        one.append(track);
        m_out.insert_from(one, m_out.count());
    }
    bool wants_info(const track_handle_ref& track, uint32_t, const file_stats& stats, uint32_t) override {
        return track_handle::info_is_stale(*track, stats.timestamp, true);
    }
    void on_track_info(const track_handle_ref& track, uint32_t walk_flag, const file_stats& stats,
                       const track_info& info, uint32_t flags) override {
        browse_fields_builder record;
        record.fill_from_info(info);
        if (track->set_info(record, stats.timestamp, pending_info::system_time(), false)) m_changed.append(track);
        on_track(track, walk_flag, stats, flags);
    }
    void make_handle(track_handle_ref& out, const track_location& location) override {
        track_handle_registry::get().get_handle(out, location);
    }
    bool accepts_file(const char*, uint32_t) override { return true; }

    kpl::array_list<track_handle_ref> m_changed;

private:
    tag_track_list& m_out;
};

// Calls the completion later on the main thread with 0, for a load that had nothing to do.
void complete_later(result_notifier* completion) {
    if (completion) main_thread_post_call(completion, 0);
}

void start(tag_task* task, uint32_t flags, HWND parent, const char* title_id) {
    service_ref owner;
    owner.attach(static_cast<threaded_process::task*>(task));
    tag_operation_host::current().run_task(task, tag_operation_options(flags), parent, localized_string(title_id));
}

class tag_operations_impl final : public service_static<tag_operations, tag_operations_ext, tag_operations_ext2> {
public:
    void resolve_location(const char* path, tag_track_list& out) override {
        main_thread::assert_current();
        resolve_sink* s = new resolve_sink(out);
        service_ref held;
        held.attach(static_cast<location_track_sink*>(s));
        location_load_through_services(path, *s, abort_never);
        info_broadcast(s->m_changed, 0);
    }

    void notify_changed(const tag_track_list& tracks) override {
        main_thread::assert_current();
        info_broadcast(tracks, 1);
    }

    void load_info(const tag_track_list& tracks, int mode, HWND parent, uint32_t flags, info_observer* observer,
                   result_notifier* completion) override {
        main_thread::assert_current();
        if (mode < 0 || mode > 3) kpl::crash();
        bool work = false;
        for (uint32_t i = 0; i < tracks.count() && !work; ++i) work = mode != 0 || !tracks.get_item(i)->has_info();
        if (!work) {
            complete_later(completion);
            return;
        }
        start(new tag_load_task(tracks, mode, flags, observer, completion), flags, parent, "dialog_title_load_info");
    }

    void update_info(const tag_track_list& tracks, info_editor* editor, HWND parent, uint32_t flags,
                     info_observer* observer, result_notifier* completion) override {
        main_thread::assert_current();
        start(new tag_update_task(tracks, editor, flags, observer, completion), flags, parent,
              "dialog_title_update_info");
    }

    void remove_tags(const tag_track_list& tracks, HWND parent, uint32_t flags, info_observer* observer,
                     result_notifier* completion) override {
        main_thread::assert_current();
        start(new tag_remove_task(tracks, flags, observer, completion), flags, parent, "dialog_title_remove_tags");
    }

    void create_info_hint_collector(service_ptr<info_hint_collector>& out) override {
        service_ref r;
        r.attach(static_cast<info_hint_collector*>(new hint_collector()));
        out.attach_ref(std::move(r));
    }

    void create_stream_info_loader(service_ptr<stream_info_loader>& out) override {
        service_ref r;
        r.attach(static_cast<stream_info_loader*>(new info_loader()));
        out.attach_ref(std::move(r));
    }

    void register_info_change_callback(info_change_callback* callback) override { info_callback_register(callback); }
    void unregister_info_change_callback(info_change_callback* callback) override {
        info_callback_unregister(callback);
    }
};

service_factory_single<tag_operations_impl, tag_operations> g_tag_operations;

}  // namespace
