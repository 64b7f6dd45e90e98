#pragma once
// embedded_cue: the subsong table of a file whose info may carry a cue sheet ("cuesheet"), as the FLAC and
// WavPack inputs use it: subsong 0 is the whole file, subsong k is cue track k.
//
//     embedded_cue table;
//     embedded_cue_load(table, file_info);                     // when a file is opened
//     uint32_t n = embedded_cue_count(table) < 2 ? 1 : embedded_cue_count(table) - 1;
//     embedded_cue_get_track_info(table, embedded_cue_subsong_id(table, 0), info);
//     embedded_cue_set_track_info(table, 0, edited);          // stage_info of a cue track
//     embedded_cue_write_info(table, to_write);                // the file's info for a tag rewrite
//
// This build holds the whole file only: the table keeps the file's info as entry 0 and hands it back
// unchanged, cue sheet included, so every file has one subsong. Cue tracks come with the cue-sheet layer.

#include <cstdint>

#include "metadata/track_info.h"

class embedded_cue {
public:
    embedded_cue() = default;
    embedded_cue(const embedded_cue&) = delete;
    embedded_cue& operator=(const embedded_cue&) = delete;

private:
    friend void embedded_cue_load(embedded_cue&, const track_info&);
    friend void embedded_cue_write_info(const embedded_cue&, track_info&);
    friend uint32_t embedded_cue_count(const embedded_cue&);
    friend void embedded_cue_get_track_info(const embedded_cue&, uint32_t, track_info&);
    friend void embedded_cue_set_track_info(embedded_cue&, uint32_t, const track_info&);

    track_info_store m_file;
    bool m_loaded = false;
};

// Clears the table and fills it from a file's info.
void embedded_cue_load(embedded_cue& table, const track_info& file_info);
// The file's info to write, built from the table.
void embedded_cue_write_info(const embedded_cue& table, track_info& out);
// The number of entries, entry 0 included (1 for a loaded table without cue tracks).
uint32_t embedded_cue_count(const embedded_cue& table);
// The subsong number at position i among the cue tracks; 0 when the table has no cue track.
uint32_t embedded_cue_subsong_id(const embedded_cue& table, uint32_t i);
// The start (index 01) and length in seconds of a cue track; ketrel_io::exception_io_data for a subsong
// the table does not hold.
void embedded_cue_get_range(const embedded_cue& table, uint32_t subsong, double& start, double& length);
// The info of an entry; ketrel_io::exception_io_data for a subsong the table does not hold.
void embedded_cue_get_track_info(const embedded_cue& table, uint32_t subsong, track_info& out);
// New metadata (meta fields and ReplayGain) for an entry; ketrel_io::exception_io_data for a subsong the
// table does not hold.
void embedded_cue_set_track_info(embedded_cue& table, uint32_t subsong, const track_info& info);
