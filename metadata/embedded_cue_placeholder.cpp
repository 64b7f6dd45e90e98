// The whole-file table: entry 0 only (see embedded_cue.h).
#include "metadata/embedded_cue.h"

#include "foundation/kpl/io_exceptions.h"

void embedded_cue_load(embedded_cue& table, const track_info& file_info) {
    table.m_file.copy(file_info);
    table.m_loaded = true;
}

void embedded_cue_write_info(const embedded_cue& table, track_info& out) { out.copy(table.m_file); }

uint32_t embedded_cue_count(const embedded_cue& table) { return table.m_loaded ? 1 : 0; }

uint32_t embedded_cue_subsong_id(const embedded_cue&, uint32_t) { return 0; }

void embedded_cue_get_range(const embedded_cue&, uint32_t, double&, double&) {
    // Only cue tracks have ranges, and this table holds none.
    throw ketrel_io::exception_io_data();
}

void embedded_cue_get_track_info(const embedded_cue& table, uint32_t subsong, track_info& out) {
    if (subsong != 0 || !table.m_loaded) throw ketrel_io::exception_io_data();
    out.copy(table.m_file);
}

void embedded_cue_set_track_info(embedded_cue& table, uint32_t subsong, const track_info& info) {
    if (subsong != 0 || !table.m_loaded) throw ketrel_io::exception_io_data();
    table.m_file.copy_meta(info);
    table.m_file.set_replaygain(info.get_replaygain());
}
