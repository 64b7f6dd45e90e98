#include "properties/pending_info.h"

#include <windows.h>

#include "metadata/track_info.h"
#include "properties/info_broadcast.h"

pending_info::pending_info(info_observer* observer, clock_function clock)
    : m_observer(observer), m_clock(clock ? clock : &pending_info::system_time) {}

uint64_t pending_info::system_time() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

void pending_info::add(const track_handle_ref& track, const track_info& info, const file_stats& stats, bool fresh) {
    if (m_observer) m_observer->on_info(track, info, stats);
    if (!track_handle::info_is_stale(*track, stats.timestamp, fresh)) return;
    const uint64_t load_time = fresh ? m_clock() : 0;
    auto found = m_entries.find(track.get());
    if (found != m_entries.end() && !(load_time > found->second.load_time)) return;
    browse_fields_builder builder;
    builder.fill_from_info(info);
    entry& e = m_entries[track.get()];
    e.track = track;
    e.record.copy_from(builder);
    e.record.length = builder.length;
    e.stamp = stats.timestamp;
    e.load_time = load_time;
}

void pending_info::read_whole_file(track_info_reader& reader, const char* path, const abort_signal& abort) {
    const uint32_t count = reader.subsong_count();
    const file_stats stats = reader.get_file_stats(abort);
    bool zero_seen = false;
    for (uint32_t i = 0; i <= count; ++i) {
        uint32_t id = 0;
        if (i < count) {
            id = reader.subsong_id(i);
            zero_seen = zero_seen || id == 0;
        } else if (zero_seen) {
            break;
        }
        track_handle_ref track;
        track_handle_registry::get().get_handle(track, track_location(path, id));
        track_info_store info;
        reader.get_info(id, info, abort);
        add(track, info, stats, true);
    }
}

void pending_info::apply(kpl::array_list<track_handle_ref>& changed) {
    std::map<track_handle*, entry> entries;
    entries.swap(m_entries);
    for (auto& item : entries) {
        entry& e = item.second;
        if (e.track->set_info(e.record, e.stamp, e.load_time, false)) changed.append(e.track);
    }
}

void pending_info_commit(pending_info& pending) {
    kpl::array_list<track_handle_ref> changed;
    pending.apply(changed);
    info_broadcast(changed, 0);
}
