#pragma once
// embedded_cue: the subsong table of a file whose info may carry a cue sheet (the meta field "cuesheet"):
// subsong 0 is the whole file, subsong k is cue track k. The FLAC and WavPack inputs keep one per opened
// file and answer their subsong questions from it.
//
//     embedded_cue table;
//     embedded_cue_load(table, file_info);     // "cuesheet" with tracks at 0, 180 and 400 s, 600 s file
//     embedded_cue_count(table) == 4;          // entry 0 and three tracks: the input reports 3 subsongs
//     embedded_cue_subsong_id(table, 1) == 2;
//     embedded_cue_get_range(table, 2, start, length);      // start 180, length 220
//     embedded_cue_get_track_info(table, 2, info);          // the track's fields and the file's
//     embedded_cue_set_track_info(table, 2, edited);        // stage_info of subsong 2
//     embedded_cue_write_info(table, to_write);             // the file's info: regenerated "cuesheet",
//                                                          // fields common to all tracks, and per-track
//                                                          // "cue_track02_artist" style overrides
//
// Loading applies, in this order: the sheet's fields per track, the file's own fields (other than
// "cuesheet" and "cue_track..." ones) to every track, then each "cue_trackNN_name" field to track NN.
// Writing reverses it: fields equal on all tracks become file fields, the others per-track overrides;
// overrides of "title" and "tracknumber" that the regenerated sheet already says are left out.
//
// A table belongs to the thread that drives its input. Entries are counted: one taken out of the table
// stays valid while it is held.

#include <cstdint>

#include "foundation/kpl/avl_tree.h"
#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/string.h"
#include "inputs/field_value_map.h"
#include "metadata/cue/cue_sheet.h"
#include "metadata/cue/cue_track_record.h"
#include "metadata/track_info.h"

class embedded_cue_entry : public kpl::refcounted {
public:
    // 0 for the whole file, else the cue track number (1 to 99).
    uint32_t subsong = 0;
    cue_track_record record;
    // The FILE and FLAGS of the cue track (empty for entry 0).
    kpl::utf8_string_tight file_name;
    kpl::utf8_string_tight flags;
    // Seconds from the start of the file per INDEX number; 0 = absent; [1] is the track's start.
    double index_times[cue_parser::cue_index_count] = {};
};

class embedded_cue {
public:
    using tree = kpl::avl_tree<uint32_t, kpl::rc_ptr<embedded_cue_entry>>;

    embedded_cue() = default;
    embedded_cue(const embedded_cue&) = delete;
    embedded_cue& operator=(const embedded_cue&) = delete;

    // The entries in ascending subsong order.
    const tree& entries() const { return m_entries; }
    tree& entries() { return m_entries; }
    void clear() { m_entries.clear(); }

private:
    tree m_entries;
};

struct embedded_cue_insert_result {
    kpl::rc_ptr<embedded_cue_entry> entry;
    bool inserted;
};

// The entry of the subsong, or null.
kpl::rc_ptr<embedded_cue_entry> embedded_cue_find(const embedded_cue& table, uint32_t subsong);
// The entry of the subsong, made fresh when missing.
embedded_cue_insert_result embedded_cue_insert(embedded_cue& table, uint32_t subsong);
// Entries, entry 0 included. Inputs report one subsong below 2 and count - 1 otherwise.
uint32_t embedded_cue_count(const embedded_cue& table);
// The subsong number of cue track position i (ascending, entry 0 not counted); 0 when the table has no cue
// track or i is past them.
uint32_t embedded_cue_subsong_id(const embedded_cue& table, uint32_t i);
// Start (index 01) and length in seconds. An unknown subsong throws ketrel_io::exception_io_data.
void embedded_cue_get_range(const embedded_cue& table, uint32_t subsong, double& start, double& length);
// The subsong's info. An unknown subsong throws ketrel_io::exception_io_data.
void embedded_cue_get_track_info(const embedded_cue& table, uint32_t subsong, track_info& out);
// New metadata for a subsong: its meta fields become the info's, its ReplayGain values the info's (absent
// ones included); technical fields, length, file, flags and index times stay. An unknown subsong throws
// ketrel_io::exception_io_data and changes nothing.
void embedded_cue_set_track_info(embedded_cue& table, uint32_t subsong, const track_info& info);
// Appends one cue_track per cue-track entry (ascending) with the entry's number, file, flags, index times
// and info.
void embedded_cue_to_track_list(const embedded_cue& table, cue_parser::cue_track_list& out);
// The info's meta field i replaces the values of the field of that name on every cue track.
void embedded_cue_apply_file_field(embedded_cue& table, const track_info& info, uint32_t i);
// The fields that every cue track has with the same values (never "cuesheet" or "cue_track..."), with
// those values. Entry 0 takes no part.
void embedded_cue_common_fields(const embedded_cue& table, field_value_map& out);
// Every field of a cue track that `common` does not hold, as "cue_trackNN_name" with the track's values.
void embedded_cue_track_overrides(const embedded_cue& table, const field_value_map& common, field_value_map& out);

// Rebuilds the table from a file's info (see the top of this file). A malformed sheet throws
// cue_parser::exception_bad_cuesheet; a track that does not end after it starts (the next track's
// INDEX 01, or the file's end) throws ketrel_io::exception_io_data.
void embedded_cue_load(embedded_cue& table, const track_info& file_info);
// The info to write to the file: with no cue track, entry 0's info without "cuesheet"; otherwise the
// regenerated sheet with the common fields and per-track overrides, and entry 0's length, ReplayGain
// values and technical fields.
void embedded_cue_write_info(const embedded_cue& table, track_info& out);

// "cue_track" + (k mod 100) as two digits + "_" + name.     ("title", 5) -> "cue_track05_title"
void cue_track_field_name(kpl::utf8_string& out, const char* name, uint32_t k);
// False for names that begin with "cue_track" (any ASCII letter case).
bool is_plain_file_field(const char* name);
