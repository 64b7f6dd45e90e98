#pragma once
// The matching behind Automatically Fill Values: which text of a track a pattern sees, and how a pattern
// such as '%tracknumber%. %artist% - %title%' captures pieces of it into fields.
//
//     autofill_source_tail("C:\\Music\\Artist\\Album\\01. Foo - Bar.flac", "%artist%\\%album%\\%title%");
//                                                       // "Artist\Album\01. Foo - Bar"  (after clean-up)
//     autofill_result result(1);
//     autofill_match_pattern("01. Foo - Bar", "%tracknumber%. %artist% - %title%", info, result, 0);
//     // result.fields: tracknumber {"01"}, artist {"Foo"}, title {"Bar"}
//
// Bytes compare as they are (case-sensitively); one or more blanks (space, tab) of a literal match one or
// more blanks of the text. A literal prefix that does not match is ignored. A capture loses its trailing
// blanks; an empty capture or an empty name ('%%') stores nothing but still consumes its literal.

#include <cstdint>
#include <string>
#include <vector>

#include "properties/field_model.h"

struct autofill_result {
    struct field {
        std::string name;
        std::vector<std::string> values;  // one per track, empty when nothing was captured
        std::vector<bool> captured;       // whether the track stored a capture
    };
    explicit autofill_result(uint32_t tracks) : track_count(tracks) {}
    // Stores a capture: a name equal (case-insensitively) to a standard field's display name takes that
    // field's name; the field of that name (case-insensitive) is found or appended.
    void store(const char* name, const std::string& value, uint32_t track, const properties_field_info& info);

    uint32_t track_count;
    std::vector<field> fields;
};

// The tail of a display path a pattern is matched against: as many trailing components as the pattern
// has '/', ':', '\' and '|' characters, plus the file name; the extension cut; then clean_up_text.
std::string autofill_source_tail(const char* display_path, const char* pattern);

// The clipboard text as one line per track: split at LF (a CR before it dropped); the piece after the last
// LF is a line too; missing lines are empty.
std::vector<std::string> autofill_clipboard_lines(const char* text, uint32_t tracks);

// Matches one track's text against the pattern, storing its captures into `result` under `track`.
void autofill_match_pattern(const std::string& text, const std::string& pattern, const properties_field_info& info,
                            autofill_result& result, uint32_t track);

// Writes the result's cells into the field list (records found by name case-insensitively, else
// appended): set_from_text per track, so an empty cell leaves the track without that field.
void autofill_apply(const autofill_result& result, properties_field_list& fields, uint32_t track_count,
                    const properties_field_info& info);
