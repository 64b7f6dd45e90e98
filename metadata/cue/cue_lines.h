#pragma once
// The line layer of the cue-sheet reader: cuts a sheet into lines, reads each command's syntax and calls
// one handler operation per command. The reader runs it twice (cue_reader.cpp), once to collect the
// tracks and once per track to build its fields.
//
//     struct printer : cue_parser::cue_line_handler { ... };
//     printer p;
//     cue_parser::cue_parse_lines("FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n", p);
//         -> p.file("a.wav", "WAVE"), p.track(1, "AUDIO")
//     cue_parser::cue_parse_lines("\n\nINDEX 1 2 3\n", p);
//         -> throws exception_cue "invalid INDEX syntax (line 3)"
//
// Lines end at CR, LF and the terminating zero; only LF counts for line numbers. Leading blanks and tabs
// are skipped and empty lines ignored. Command names ignore ASCII letter case.

#include <cstdint>

#include "foundation/kpl/exceptions.h"

namespace cue_parser {

// A syntax or content error of a sheet; cue_parse turns it into exception_bad_cuesheet.
class exception_cue : public kpl::exception_with_message {
public:
    explicit exception_cue(const char* text) noexcept : kpl::exception_with_message(text) {}
};

// What the line parser calls, one operation per command. Texts are pointer and byte length (not
// zero-terminated); times are frames.
class cue_line_handler {
public:
    virtual void file(const char* name, uint32_t name_length, const char* type, uint32_t type_length) = 0;
    virtual void track(uint32_t number, const char* type, uint32_t type_length) = 0;
    virtual void pregap(uint32_t frames) = 0;
    virtual void index(uint32_t number, uint32_t frames) = 0;
    virtual void title(const char* text, uint32_t length) = 0;
    virtual void performer(const char* text, uint32_t length) = 0;
    virtual void songwriter(const char* text, uint32_t length) = 0;
    virtual void isrc(const char* text, uint32_t length) = 0;
    virtual void catalog(const char* text, uint32_t length) = 0;
    virtual void rem(const char* text, uint32_t length) = 0;
    virtual void flags(const char* text, uint32_t length) = 0;

protected:
    ~cue_line_handler() = default;
};

// Runs every line of the zero-terminated text through the line parser. An exception_cue of the parser or
// the handler is thrown again with " (line N)" appended to its message.
void cue_parse_lines(const char* text, cue_line_handler& handler);

// The line parser for one line (no line break inside; leading blanks already skipped; not empty).
// Throws exception_cue with the bare message.
void cue_parse_line(const char* line, uint32_t length, cue_line_handler& handler);

}  // namespace cue_parser
