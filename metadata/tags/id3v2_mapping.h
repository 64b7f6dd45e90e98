#pragma once
// Between the frames of an ID3v2 tag and the metadata fields of a track_info.
//
// Reading goes frames -> id3v2_field_map -> track_info; writing goes track_info -> map -> frames and keeps
// every old frame that still says exactly what the new metadata says, so that frames the mapping does not
// know (pictures, private data) and unchanged frames survive a rewrite byte for byte.
//
//     id3parser::tag t = ...;                        // read from a file
//     track_info_store info;
//     id3v2_tag_to_info(t, info);                    // TPE1 "A / B" in 2.3 -> artist = {A, B}
//     info.meta_set("title", track_info::npos, "New", track_info::npos);
//     id3v2_info_to_tag(info, t);                    // t.frames rebuilt: new TIT2, old TPE1 and APIC kept
//
// Field names are the program's own ("title", "album artist", "tracknumber", "comment", ...). The
// ReplayGain values travel as the four fields replaygain_{track,album}_{gain,peak} (TXXX frames).
//
// Frames are read in the tag's order; a frame that cannot be read adds nothing and reading goes on.
// A TCMP compilation flag without a TPE2 frame shows "Various Artists" as album artist; a flag of "0"
// (or "no", "false": see id3v2_is_compilation) is no compilation. That shown value is never written back: a tag without a TPE2 frame
// whose info still has exactly that album artist and the flag is written without TPE2.
//
// Writing makes version 3 of a tag of another version than 3 or 4 (keeping only its pictures, comments
// and lyrics). Version 3 writes UTF-16 with byte-order marks, version 4 UTF-8. A date that version 3 has
// no frame for (not YYYY, YYYY-MM or YYYY-MM-DD) is kept in a TXXX frame "date".

#include "metadata/tags/id3_tag.h"
#include "metadata/tags/id3v2_field_map.h"
#include "metadata/track_info.h"

// Frames -> map, in tag order, with the compilation rule at the end.
void id3v2_frames_to_map(const id3parser::tag& t, id3v2_field_map& out);

// Map -> info: meta fields and ReplayGain are replaced; ReplayGain fields set the record, every other
// entry with values becomes a meta field (in ascending name order).
void id3v2_map_to_info(const id3v2_field_map& map, track_info& info);

// Info -> map: every non-empty value of every meta field, then the present ReplayGain values as texts.
void id3v2_info_to_map(const track_info& info, id3v2_field_map& out);

// Map -> frames: rebuilds the tag's frame list (see above); raises id3parser::writeError only for what
// the text helpers refuse.
void id3v2_map_to_frames(id3parser::tag& t, const id3v2_field_map& map);

void id3v2_tag_to_info(const id3parser::tag& t, track_info& info);
// Refuses (exception_tag_field_name, before the tag changes) a field that reading would not give back
// under its name; see id3v2_check_field_names.
void id3v2_info_to_tag(const track_info& info, id3parser::tag& t);

// exception_tag_field_name for the first field name that a user-text frame cannot carry: a name ending in
// a bracketed number ("part[2]"), which reading takes for a numbered copy of "part".
void id3v2_check_field_names(const track_info& info);

// Whether reading the tag makes up the album artist: a compilation flag and no TPE2 frame.
bool id3v2_invents_album_artist(const id3parser::tag& t);

// Whether a TCMP value marks a compilation: a whole number other than zero ("1", "-1"), or "yes" or "true"
// in any letter case, blanks around it ignored. "0", "no", "false", "" and other texts do not.
bool id3v2_is_compilation(const char* value);

// The album artist that the compilation rule shows.
extern const char* const id3v2_various_artists;
