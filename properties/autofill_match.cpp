#include "properties/autofill_match.h"

#include <cstring>

#include "foundation/win32/text_nocase.h"
#include "properties/text_rules.h"

void autofill_result::store(const char* name, const std::string& value, uint32_t track,
                            const properties_field_info& info) {
    std::string field_name(name);
    for (uint32_t i = 0; i < properties_field_info::standard_count; ++i) {
        if (utf8_compare_nocase_fast(info.standard_display_name(i).c_str(), name) == 0) {
            field_name = properties_field_info::standard_names[i];
            break;
        }
    }
    field* target = nullptr;
    for (field& f : fields)
        if (utf8_compare_nocase_fast(f.name.c_str(), field_name.c_str()) == 0) {
            target = &f;
            break;
        }
    if (!target) {
        fields.push_back(field{field_name, std::vector<std::string>(track_count), std::vector<bool>(track_count)});
        target = &fields.back();
    }
    if (track < track_count) {
        target->values[track] = value;
        target->captured[track] = true;
    }
}

namespace {

bool is_separator(char c) { return c == '/' || c == ':' || c == '\\' || c == '|'; }
bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The position after the literal matched at `at`, or npos.
size_t match_literal(const std::string& text, size_t at, const char* literal, size_t length) {
    size_t t = at, l = 0;
    while (l < length) {
        if (t < text.size() && is_blank(text[t]) && is_blank(literal[l])) {
            while (t < text.size() && is_blank(text[t])) ++t;
            while (l < length && is_blank(literal[l])) ++l;
            continue;
        }
        if (t >= text.size() || text[t] != literal[l]) return std::string::npos;
        ++t;
        ++l;
    }
    return t;
}

}  // namespace

std::string autofill_source_tail(const char* display_path, const char* pattern) {
    size_t separators = 0;
    for (const char* p = pattern; *p; ++p)
        if (is_separator(*p)) ++separators;
    const std::string path(display_path);
    size_t at = path.size();
    while (at > 0 && !is_separator(path[at - 1])) --at;
    for (size_t n = 0; n < separators && at > 0; ++n) {
        if (is_separator(path[at - 1]) && at >= 2 && !is_separator(path[at - 2])) {
            --at;
            while (at > 0 && !is_separator(path[at - 1])) --at;
        } else if (at == 1) {
            // A separator at the very start: the step is used up without moving.
        }
    }
    std::string tail = path.substr(at);
    for (size_t i = tail.size(); i > 0; --i) {
        if (is_separator(tail[i - 1])) break;
        if (tail[i - 1] == '.') {
            tail.resize(i - 1);
            break;
        }
    }
    return clean_up_text(tail);
}

std::vector<std::string> autofill_clipboard_lines(const char* text, uint32_t tracks) {
    std::vector<std::string> lines;
    const char* start = text;
    for (const char* p = text;; ++p) {
        if (*p != '\n' && *p != 0) continue;
        const char* end = p;
        if (*p == '\n') {
            while (end > start && end[-1] == '\r') --end;
        }
        lines.emplace_back(start, end - start);
        if (*p == 0) break;
        start = p + 1;
    }
    lines.resize(tracks);
    return lines;
}

void autofill_match_pattern(const std::string& text, const std::string& pattern, const properties_field_info& info,
                            autofill_result& result, uint32_t track) {
    size_t t = 0, p = 0;
    if (pattern.empty() || pattern[0] != '%') {
        const size_t first = pattern.find('%');
        const size_t length = first == std::string::npos ? pattern.size() : first;
        const size_t after = match_literal(text, 0, pattern.c_str(), length);
        if (after != std::string::npos) t = after;
        p = length;
    }
    while (p < pattern.size() && t < text.size()) {
        const size_t close = pattern.find('%', p + 1);
        if (close == std::string::npos) return;
        const std::string name = pattern.substr(p + 1, close - p - 1);
        size_t literal_end = pattern.find('%', close + 1);
        if (literal_end == std::string::npos) literal_end = pattern.size();
        const char* literal = pattern.c_str() + close + 1;
        const size_t literal_length = literal_end - close - 1;
        std::string capture;
        if (literal_length == 0) {
            capture = text.substr(t);
            t = text.size();
        } else {
            size_t found = std::string::npos, after = std::string::npos;
            for (size_t s = t; s < text.size(); ++s) {
                after = match_literal(text, s, literal, literal_length);
                if (after != std::string::npos) {
                    found = s;
                    break;
                }
            }
            if (found == std::string::npos) {
                capture = text.substr(t);
                t = text.size();
            } else {
                capture = text.substr(t, found - t);
                t = after;
            }
        }
        if (!name.empty() && !capture.empty()) {
            while (!capture.empty() && is_blank(capture.back())) capture.pop_back();
            result.store(name.c_str(), capture, track, info);
        }
        p = literal_end;
    }
}

void autofill_apply(const autofill_result& result, properties_field_list& fields, uint32_t track_count,
                    const properties_field_info& info) {
    for (const autofill_result::field& column : result.fields) {
        int index = properties_find_by_name(fields, column.name.c_str());
        if (index < 0) {
            fields.emplace_back(column.name.c_str(), track_count);
            index = static_cast<int>(fields.size()) - 1;
        }
        for (uint32_t t = 0; t < track_count && t < column.values.size(); ++t)
            fields[index].set_from_text(t, column.values[t].c_str(), info);
    }
}
