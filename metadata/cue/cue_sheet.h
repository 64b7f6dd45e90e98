#pragma once
// Cue sheets: the text that describes the tracks inside one audio file, read into a list of tracks and
// written back.
//
// A sheet names a FILE and its TRACKs; each track starts at its INDEX 01 (a time in minutes, seconds and
// frames of 1/75 second) and may carry TITLE, PERFORMER, SONGWRITER, ISRC, FLAGS and some REM fields:
//
//     REM DATE 1999
//     PERFORMER "Band"
//     TITLE "Album"
//     FILE "disc.wav" WAVE
//       TRACK 01 AUDIO
//         TITLE "One"
//         INDEX 01 00:00:00
//       TRACK 02 AUDIO
//         TITLE "Two"
//         INDEX 00 03:00:00
//         INDEX 01 03:02:00
//
//     cue_parser::cue_track_list tracks;
//     cue_parser::cue_parse(text, tracks);        // two tracks
//     tracks.first()->info: album=Album, artist=Band, date=1999, title=One, tracknumber=1, totaltracks=2
//     tracks.last()->index_times[1] == 182.0;     // seconds
//     tracks.last()->info "pregap" == "00:02:00"
//     kpl::utf8_string_pow2 out;
//     cue_parser::cue_write(out, tracks);         // the sheet again, CR LF line ends
//
// Reading rules in short: commands ignore letter case; a sheet-level TITLE is the album and a sheet-level
// PERFORMER the artist; when some track's PERFORMER differs from the sheet's, every track gets
// "album artist" = the sheet's performer. Every error ends the parse with exception_bad_cuesheet,
// "Error parsing cuesheet: " + what went wrong + " (line N)" (no line number for errors found after the
// last line, such as a last track without INDEX 01).
//
// Writing: values common to all tracks (genre, date, discid, comment, catalog, songwriter, album artist or
// artist, album, album ReplayGain) go once into the header, the rest per track. Double quotes in values
// become apostrophes, CR LF becomes a backslash and other control bytes '_', and an ISRC or CATALOG made
// only of blanks is left out, so every written sheet reads back.
//
// No shared state: parsing and writing work only on their arguments.

#include <cstdint>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/rc_list.h"
#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/string.h"
#include "metadata/track_info.h"

namespace cue_parser {

// Frames per second of cue times.
constexpr uint32_t cue_frames_per_second = 75;
// Index numbers run from 00 to 99.
constexpr uint32_t cue_index_count = 100;

// One TRACK of a sheet. Counted; lives as long as its list or another holder keeps it.
class cue_track : public kpl::refcounted {
public:
    cue_track* prev = nullptr;
    cue_track* next = nullptr;

    // The track's fields: meta fields, technical info ("referenced_offset", "pregap", "index NN") and
    // ReplayGain values.
    track_info_store info;
    // The FILE in force for the track.
    kpl::utf8_string_tight file_name;
    // The text of the track's FLAGS line; empty when none.
    kpl::utf8_string_tight flags;
    // 1 to 99.
    uint32_t number = 0;
    // Seconds from the start of the file, one per INDEX number; 0 = absent. Index 00 may be negative
    // (a PREGAP before INDEX 01 at the start of the file).
    double index_times[cue_index_count] = {};
};

// The tracks of one sheet in TRACK order.
class cue_track_list : public kpl::rc_list<cue_track> {
public:
    // A fresh entry linked at the tail, returned with a reference for the caller.
    kpl::rc_ptr<cue_track> append();
};

// Every cue error reaches callers as this kind of data error; what() is "Error parsing cuesheet: " and
// the message.
class exception_bad_cuesheet : public ketrel_io::exception_io_data {
public:
    explicit exception_bad_cuesheet(const char* text) noexcept : ketrel_io::exception_io_data(text) {}
};

// Parses a whole sheet (zero-terminated UTF-8) and appends its tracks to `out`. On an error the list keeps
// the tracks appended so far and exception_bad_cuesheet is thrown.
void cue_parse(const char* text, cue_track_list& out);

// Appends the sheet text of the list to `out`; an empty list writes nothing.
void cue_write(kpl::utf8_string& out, const cue_track_list& tracks);

// A time in seconds as cue text: minutes, seconds and frames, two digits each at least, joined by ':'.
//     0 -> "00:00:00"     182.04 -> "03:02:03"     6000 -> "100:00:00"     negative -> "00:00:00"
kpl::utf8_string_tight cue_time_text(double seconds);

// Reads a cue time ("ff", "ss:ff" or "mm:ss:ff"; parts of any size add up) into frames. A third colon, a
// character other than a digit or ':', or a time of 2^32 frames or more raises the cue error "invalid
// INDEX time syntax" (see cue_lines.h).
//     "01:02:03" -> 4653     "2:80" -> 230     "" -> 0
uint32_t cue_parse_time(const char* text, uint32_t length);

}  // namespace cue_parser
