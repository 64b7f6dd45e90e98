// Cutting a sheet into lines and reading the syntax of each command.
#include "metadata/cue/cue_lines.h"

#include "foundation/kpl/string.h"
#include "foundation/kpl/text_compare.h"
#include "metadata/cue/cue_sheet.h"

namespace cue_parser {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A read position inside one line.
struct cursor {
    const char* p;
    const char* end;

    bool at_end() const { return p == end; }
    void skip_blanks() {
        while (p < end && is_blank(*p)) ++p;
    }
    // Moves past a word (up to the next blank or the end of the line) and returns its start.
    const char* take_word() {
        const char* start = p;
        while (p < end && !is_blank(*p)) ++p;
        return start;
    }
    uint32_t from(const char* start) const { return static_cast<uint32_t>(p - start); }
};

bool command_is(const char* word, uint32_t length, const char* name) {
    return kpl::stricmp_ascii_counted(word, length, name, kpl::text_npos) == 0;
}

[[noreturn]] void fail(const char* message) { throw exception_cue(message); }

// Digits up to the next blank; a saturating value (numbers past the limits only need to compare as large).
// False when another character comes first.
bool take_number(cursor& c, uint32_t& value, uint32_t& digits) {
    value = 0;
    digits = 0;
    while (c.p < c.end && !is_blank(*c.p)) {
        if (!is_digit(*c.p)) return false;
        if (value < 100000) value = value * 10 + static_cast<uint32_t>(*c.p - '0');
        ++digits;
        ++c.p;
    }
    return true;
}

// A time word (digits and ':' only) up to the next blank; false when another character comes first.
bool take_time_word(cursor& c, const char*& start, uint32_t& length) {
    start = c.p;
    while (c.p < c.end && !is_blank(*c.p)) {
        if (!is_digit(*c.p) && *c.p != ':') return false;
        ++c.p;
    }
    length = c.from(start);
    return true;
}

void parse_file(cursor c, cue_line_handler& handler) {
    const char* name;
    uint32_t name_length;
    if (!c.at_end() && *c.p == '"') {
        name = ++c.p;
        while (c.p < c.end && *c.p != '"') ++c.p;
        if (c.at_end()) fail("invalid FILE syntax");
        name_length = c.from(name);
        ++c.p;
    } else {
        name = c.take_word();
        name_length = c.from(name);
    }
    c.skip_blanks();
    const char* type = c.take_word();
    uint32_t type_length = c.from(type);
    c.skip_blanks();
    if (!c.at_end() || name_length == 0 || type_length == 0) fail("invalid FILE syntax");
    handler.file(name, name_length, type, type_length);
}

void parse_track(cursor c, cue_line_handler& handler) {
    uint32_t number, digits;
    if (!take_number(c, number, digits)) fail("invalid TRACK syntax");
    if (digits == 0 || number == 0 || number > 99) fail("invalid track number");
    c.skip_blanks();
    const char* type = c.take_word();
    uint32_t type_length = c.from(type);
    c.skip_blanks();
    if (!c.at_end() || type_length == 0) fail("invalid TRACK syntax");
    handler.track(number, type, type_length);
}

void parse_index(cursor c, cue_line_handler& handler) {
    uint32_t number, digits;
    if (!take_number(c, number, digits) || digits == 0) fail("invalid INDEX syntax");
    c.skip_blanks();
    const char* time;
    uint32_t time_length;
    if (!take_time_word(c, time, time_length) || time_length == 0) fail("invalid INDEX syntax");
    c.skip_blanks();
    if (!c.at_end() || number >= cue_index_count) fail("invalid INDEX syntax");
    handler.index(number, cue_parse_time(time, time_length));
}

void parse_pregap(cursor c, cue_line_handler& handler) {
    const char* time;
    uint32_t time_length;
    if (!take_time_word(c, time, time_length) || time_length == 0) fail("invalid PREGAP syntax");
    c.skip_blanks();
    if (!c.at_end()) fail("invalid PREGAP syntax");
    handler.pregap(cue_parse_time(time, time_length));
}

// TITLE, PERFORMER, SONGWRITER: a quoted text followed only by blanks, or the rest of the line as it is.
void parse_text(cursor c, const char* error, const char*& text, uint32_t& length) {
    if (c.at_end()) fail(error);
    if (*c.p != '"') {
        text = c.p;
        length = static_cast<uint32_t>(c.end - c.p);
        return;
    }
    text = ++c.p;
    while (c.p < c.end && *c.p != '"') ++c.p;
    if (c.at_end()) fail(error);
    length = c.from(text);
    ++c.p;
    c.skip_blanks();
    if (!c.at_end()) fail(error);
}

}  // namespace

uint32_t cue_parse_time(const char* text, uint32_t length) {
    uint64_t parts[3] = {0, 0, 0};
    uint32_t colons = 0;
    for (uint32_t i = 0; i < length; ++i) {
        char ch = text[i];
        if (ch == ':') {
            if (++colons > 2) fail("invalid INDEX time syntax");
        } else if (is_digit(ch)) {
            uint64_t& part = parts[colons];
            part = part * 10 + static_cast<uint64_t>(ch - '0');
            // Any part at 2^32 already makes the time too large.
            if (part > UINT32_MAX) fail("invalid INDEX time syntax");
        } else {
            fail("invalid INDEX time syntax");
        }
    }
    // parts[0..colons] are minutes, seconds, frames from the right.
    uint64_t frames = parts[colons];
    if (colons >= 1) frames += parts[colons - 1] * cue_frames_per_second;
    if (colons == 2) frames += parts[0] * 60 * cue_frames_per_second;
    if (frames > UINT32_MAX) fail("invalid INDEX time syntax");
    return static_cast<uint32_t>(frames);
}

void cue_parse_line(const char* line, uint32_t length, cue_line_handler& handler) {
    cursor c{line, line + length};
    const char* command = c.take_word();
    uint32_t command_length = c.from(command);
    c.skip_blanks();
    const char* rest = c.p;
    uint32_t rest_length = static_cast<uint32_t>(c.end - c.p);

    if (command_is(command, command_length, "FILE")) {
        parse_file(c, handler);
    } else if (command_is(command, command_length, "TRACK")) {
        parse_track(c, handler);
    } else if (command_is(command, command_length, "INDEX")) {
        parse_index(c, handler);
    } else if (command_is(command, command_length, "PREGAP")) {
        parse_pregap(c, handler);
    } else if (command_is(command, command_length, "TITLE")) {
        const char* text;
        uint32_t n;
        parse_text(c, "invalid TITLE syntax", text, n);
        handler.title(text, n);
    } else if (command_is(command, command_length, "PERFORMER")) {
        const char* text;
        uint32_t n;
        parse_text(c, "invalid PERFORMER syntax", text, n);
        handler.performer(text, n);
    } else if (command_is(command, command_length, "SONGWRITER")) {
        const char* text;
        uint32_t n;
        parse_text(c, "invalid SONGWRITER syntax", text, n);
        handler.songwriter(text, n);
    } else if (command_is(command, command_length, "ISRC")) {
        if (rest_length == 0) fail("invalid ISRC syntax");
        handler.isrc(rest, rest_length);
    } else if (command_is(command, command_length, "CATALOG")) {
        if (rest_length == 0) fail("invalid CATALOG syntax");
        handler.catalog(rest, rest_length);
    } else if (command_is(command, command_length, "FLAGS")) {
        if (rest_length) handler.flags(rest, rest_length);
    } else if (command_is(command, command_length, "REM")) {
        if (rest_length) handler.rem(rest, rest_length);
    } else if (command_is(command, command_length, "POSTGAP")) {
        fail("POSTGAP is not supported");
    } else if (command_is(command, command_length, "CDTEXTFILE")) {
        // Ignored.
    } else {
        fail("unknown cuesheet item");
    }
}

void cue_parse_lines(const char* text, cue_line_handler& handler) {
    uint32_t line_number = 1;
    const char* p = text;
    for (;;) {
        const char* start = p;
        while (*p && *p != '\r' && *p != '\n') ++p;
        while (start < p && is_blank(*start)) ++start;
        if (start < p) {
            try {
                cue_parse_line(start, static_cast<uint32_t>(p - start), handler);
            } catch (const exception_cue& e) {
                kpl::utf8_string_pow2 message(e.what());
                message << " (line " << line_number << ")";
                throw exception_cue(message.c_str());
            }
        }
        if (*p == 0) break;
        if (*p == '\n') ++line_number;
        ++p;
    }
}

}  // namespace cue_parser
