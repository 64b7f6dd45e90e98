#pragma once
// mpeg_seek_table_cache: the frame positions learnt while reading MPEG files, kept for the whole process so
// that seeking in a file that was read before (by this decoder or another one) starts close to its target.
//
//     mpeg_seek_table_cache& cache = mpeg_seek_table_cache::instance();
//     int id = cache.get_handle("file://C:\\a.mp3", stamp);   // same path and time stamp: same id
//     cache.add_point(id, 41700, 100);                        // frame 100 starts 41700 bytes after the first frame
//     uint64_t offset, frame;
//     cache.find_point(id, 140, offset, frame);               // true: 41700, 100 (the point at or before 140)
//
// Ten files at a time; the eleventh evicts the one used least recently. A file's points are at least 32
// frames apart. Every operation holds the cache's lock for its whole run; an entry is counted, so one that
// is replaced while an operation uses it stays valid until that operation lets go.

#include <cstdint>

#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/critical_section.h"

class mpeg_seek_table_cache {
public:
    static constexpr uint32_t slot_count = 10;
    static constexpr uint64_t point_spacing = 32;

    // The process's cache.
    static mpeg_seek_table_cache& instance();

    int get_handle(const char* path, uint64_t timestamp);
    // No effect for an id that is no longer cached.
    void add_point(int id, uint64_t byte_offset, uint64_t frame_index);
    // The point with the frame index, or the last one before it; false when there is none.
    bool find_point(int id, uint64_t frame_index, uint64_t& byte_offset, uint64_t& point_frame);

    // For tests: the number of points of an entry (0 when it is gone).
    uint32_t point_count(int id);

    mpeg_seek_table_cache();
    ~mpeg_seek_table_cache();
    mpeg_seek_table_cache(const mpeg_seek_table_cache&) = delete;
    mpeg_seek_table_cache& operator=(const mpeg_seek_table_cache&) = delete;

private:
    struct point {
        uint64_t byte_offset;
        uint64_t frame_index;
    };
    class entry;

    kpl::rc_ptr<entry> find(int id);
    // Index of the first point whose frame index is not below `frame_index`.
    static uint32_t lower_bound(const entry& e, uint64_t frame_index);

    kpl::critical_section m_lock;
    kpl::rc_ptr<entry> m_slots[slot_count];
    int m_use_counter = 0;
    int m_id_counter = 0;
};
