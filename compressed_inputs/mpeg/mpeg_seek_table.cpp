#include "compressed_inputs/mpeg/mpeg_seek_table.h"

#include <vector>

class mpeg_seek_table_cache::entry final : public kpl::refcounted {
public:
    int id = 0;
    int last_use = 0;
    kpl::utf8_string_tight path;
    uint64_t timestamp = 0;
    std::vector<point> points;
};

namespace {
mpeg_seek_table_cache g_cache;
}

mpeg_seek_table_cache::mpeg_seek_table_cache() = default;
mpeg_seek_table_cache::~mpeg_seek_table_cache() = default;

mpeg_seek_table_cache& mpeg_seek_table_cache::instance() { return g_cache; }

int mpeg_seek_table_cache::get_handle(const char* path, uint64_t timestamp) {
    kpl::critical_section_scope lock(m_lock);
    uint32_t chosen = slot_count;
    for (uint32_t i = 0; i < slot_count; ++i) {
        entry* e = m_slots[i].get();
        if (!e) {
            if (chosen == slot_count || m_slots[chosen]) chosen = i;
            continue;
        }
        if (e->timestamp == timestamp && e->path.equals(path)) {
            e->last_use = ++m_use_counter;
            return e->id;
        }
        if (chosen == slot_count || (m_slots[chosen] && e->last_use < m_slots[chosen]->last_use)) chosen = i;
    }
    kpl::rc_ptr<entry> fresh(new entry);
    fresh->last_use = ++m_use_counter;
    fresh->id = ++m_id_counter;
    fresh->path.assign_cstr(path);
    fresh->timestamp = timestamp;
    m_slots[chosen] = fresh;  // the old entry lives on while someone still holds it
    return fresh->id;
}

kpl::rc_ptr<mpeg_seek_table_cache::entry> mpeg_seek_table_cache::find(int id) {
    for (auto& slot : m_slots) {
        if (slot && slot->id == id) {
            slot->last_use = ++m_use_counter;
            return slot;
        }
    }
    return kpl::rc_ptr<entry>();
}

uint32_t mpeg_seek_table_cache::lower_bound(const entry& e, uint64_t frame_index) {
    uint32_t low = 0, high = static_cast<uint32_t>(e.points.size());
    while (low < high) {
        const uint32_t mid = low + (high - low) / 2;
        if (e.points[mid].frame_index < frame_index)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

void mpeg_seek_table_cache::add_point(int id, uint64_t byte_offset, uint64_t frame_index) {
    kpl::critical_section_scope lock(m_lock);
    kpl::rc_ptr<entry> e = find(id);
    if (!e) return;
    const uint32_t at = lower_bound(*e, frame_index);
    if (at < e->points.size() && e->points[at].frame_index == frame_index) return;
    if (at > 0 && e->points[at - 1].frame_index + point_spacing > frame_index) return;
    if (at < e->points.size() && e->points[at].frame_index < frame_index + point_spacing) return;
    e->points.insert(e->points.begin() + at, point{byte_offset, frame_index});
}

bool mpeg_seek_table_cache::find_point(int id, uint64_t frame_index, uint64_t& byte_offset, uint64_t& point_frame) {
    kpl::critical_section_scope lock(m_lock);
    kpl::rc_ptr<entry> e = find(id);
    if (!e) return false;
    uint32_t at = lower_bound(*e, frame_index);
    if (!(at < e->points.size() && e->points[at].frame_index == frame_index)) {
        if (at == 0) return false;
        --at;
    }
    byte_offset = e->points[at].byte_offset;
    point_frame = e->points[at].frame_index;
    return true;
}

uint32_t mpeg_seek_table_cache::point_count(int id) {
    kpl::critical_section_scope lock(m_lock);
    kpl::rc_ptr<entry> e = find(id);
    return e ? static_cast<uint32_t>(e->points.size()) : 0;
}
