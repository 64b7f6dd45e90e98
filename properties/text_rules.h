#pragma once
// Text rules of the properties dialog's editing aids: splitting a value at separators, capitalising words
// and cleaning up blanks and underscores.
//
//     auto separators = split_separator_list("&\r\nand\r\n,\r\n;", true);   // "&", "and", ",", ";", "\n"
//     split_value("Rock & Roll, Blues; Jazz and Soul", separators);        // Rock|Roll|Blues|Jazz|Soul
//     split_value("Anderson", separators);                                 // Anderson
//     capitalize_text("HELLO wORLD");                                      // "Hello World"
//     clean_up_text("__my_song  title_");                                  // "my song title"

#include <string>
#include <vector>

#include "properties/field_model.h"

// The separators: the lines of `text` (split at LF, a CR before each LF dropped; the piece after the last
// LF counts, so a text ending in a line break gives an empty separator, which never matches), then LF when
// `line_breaks` is set. An empty text gives no lines.
std::vector<std::string> split_separator_list(const char* text, bool line_breaks);

// The pieces of one value: at each character the first separator that matches (case-insensitively; a
// separator starting with a letter needs a blank or the start before it, one ending with a letter a blank
// or the end after it) ends a piece; pieces lose trailing blanks, the blanks after a separator are
// skipped, empty pieces are dropped; the rest after the last separator is kept as it is.
properties_value_list split_value(const std::string& value, const std::vector<std::string>& separators);

// Split of every value of every track of the record; a track left without pieces loses its entry.
void split_field_values(properties_field_model& field, const std::vector<std::string>& separators);

// Words start after a space, comma, tab, ( ) [ ] | / \ . ; : CR or LF; quotes leave the word-start alone.
// A word's first character is upper-cased, the others lower-cased. Bytes after an invalid UTF-8 sequence
// are copied unchanged.
std::string capitalize_text(const std::string& text);

// Leading spaces, tabs and underscores dropped, every inner run of them one space, trailing ones dropped.
std::string clean_up_text(const std::string& text);
