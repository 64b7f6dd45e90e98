#pragma once
// pending_info: the info an operation has read, waiting to be handed to the track handles on the main
// thread. Filled by one thread at a time (no lock); apply belongs to the main thread.
//
//     pending_info pending(observer);                  // observer may be null
//     pending.add(track, info, stats, true);           // observer->on_info first, always
//     pending.read_whole_file(*reader, path, abort);   // every subsong, and subsong 0 when no id is 0
//     kpl::array_list<track_handle_ref> changed;
//     pending.apply(changed);                          // the handles that took their record; map emptied
//
// Rules of add:
//   - kept only when the handle's info is stale for the file's time stamp (track_handle::info_is_stale
//     with exact = fresh): a hint with no time stamp never replaces existing info, a fresh read does;
//   - a fresh read is stamped with the current system time (FILETIME), a hint with 0, and an entry already
//     pending for the handle is replaced only by a strictly later one: a later read wins when the clock
//     moved on, a hint never replaces a fresh read;
//   - the record is built by browse_fields_builder::fill_from_info (length and the eight texts; several
//     values joined by "; ").

#include <cstdint>
#include <map>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/ref_list.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_service.h"
#include "metadata/browse_fields.h"
#include "metadata/tag_operations.h"
#include "metadata/track_handle.h"

class pending_info {
public:
    using clock_function = uint64_t (*)();

    explicit pending_info(info_observer* observer = nullptr, clock_function clock = nullptr);
    pending_info(const pending_info&) = delete;
    pending_info& operator=(const pending_info&) = delete;

    void add(const track_handle_ref& track, const track_info& info, const file_stats& stats, bool fresh);
    void read_whole_file(track_info_reader& reader, const char* path, const abort_signal& abort);
    // Each entry, in handle order, is offered to its handle (set_info without force); the handles that
    // took it are appended to `changed`.
    void apply(kpl::array_list<track_handle_ref>& changed);

    bool is_empty() const { return m_entries.empty(); }
    uint32_t count() const { return static_cast<uint32_t>(m_entries.size()); }

    // The current system time as a FILETIME value.
    static uint64_t system_time();

private:
    struct entry {
        track_handle_ref track;
        browse_fields_packed record;
        uint64_t stamp = 0;
        uint64_t load_time = 0;
    };

    service_ptr<info_observer> m_observer;
    clock_function m_clock;
    std::map<track_handle*, entry> m_entries;
};

// apply, then the broadcast of the changed handles with flag 0 (main thread).
void pending_info_commit(pending_info& pending);
