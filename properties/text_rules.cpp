#include "properties/text_rules.h"

#include <windows.h>

#include <cstring>

#include "foundation/kpl/utf8.h"
#include "foundation/win32/text_nocase.h"

std::vector<std::string> split_separator_list(const char* text, bool line_breaks) {
    std::vector<std::string> out;
    if (*text) {
        const char* start = text;
        for (const char* p = text;; ++p) {
            if (*p != '\n' && *p != 0) continue;
            const char* end = p;
            if (*p == '\n' && end > start && end[-1] == '\r') --end;
            out.emplace_back(start, end - start);
            if (*p == 0) break;
            start = p + 1;
        }
    }
    if (line_breaks) out.emplace_back("\n");
    return out;
}

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool is_letter(uint32_t c) { return c < 0x10000 && IsCharAlphaW(static_cast<wchar_t>(c)); }

uint32_t first_char(const std::string& text) {
    uint32_t c = 0;
    kpl::utf8_decode_char(text.c_str(), &c, text.size());
    return c;
}

uint32_t last_char(const std::string& text) {
    size_t at = text.size();
    while (at > 0 && (static_cast<unsigned char>(text[at - 1]) & 0xC0) == 0x80) --at;
    if (at > 0) --at;
    uint32_t c = 0;
    kpl::utf8_decode_char(text.c_str() + at, &c, text.size() - at);
    return c;
}

// The byte length of the value's part that matches the separator at `at`, or 0.
size_t match_separator(const std::string& value, size_t at, const std::string& separator) {
    if (separator.empty()) return 0;
    size_t v = at, s = 0;
    while (s < separator.size()) {
        uint32_t a = 0, b = 0;
        const size_t sl = kpl::utf8_decode_char(separator.c_str() + s, &b, separator.size() - s);
        const size_t vl = kpl::utf8_decode_char(value.c_str() + v, &a, value.size() - v);
        if (sl == 0 || vl == 0) return 0;
        if (a != b && unicode_char_to_lower(a) != unicode_char_to_lower(b)) return 0;
        s += sl;
        v += vl;
    }
    if (is_letter(first_char(separator)) && at > 0 && !is_blank(value[at - 1])) return 0;
    if (is_letter(last_char(separator)) && v < value.size() && !is_blank(value[v])) return 0;
    return v - at;
}

}  // namespace

properties_value_list split_value(const std::string& value, const std::vector<std::string>& separators) {
    properties_value_list out;
    size_t piece = 0, at = 0;
    while (at < value.size()) {
        size_t matched = 0;
        for (const std::string& separator : separators) {
            matched = match_separator(value, at, separator);
            if (matched) break;
        }
        if (!matched) {
            uint32_t c;
            const size_t length = kpl::utf8_decode_char(value.c_str() + at, &c, value.size() - at);
            at += length ? length : 1;
            continue;
        }
        size_t end = at;
        while (end > piece && is_blank(value[end - 1])) --end;
        if (end > piece) out.emplace_back(value, piece, end - piece);
        at += matched;
        while (at < value.size() && is_blank(value[at])) ++at;
        piece = at;
    }
    if (piece < value.size()) out.emplace_back(value, piece, std::string::npos);
    return out;
}

void split_field_values(properties_field_model& field, const std::vector<std::string>& separators) {
    for (uint32_t t = 0; t < field.track_count(); ++t) {
        const properties_value_list* values = field.find_values(t);
        if (!values) continue;
        properties_value_list pieces;
        for (const std::string& value : *values) {
            properties_value_list split = split_value(value, separators);
            pieces.insert(pieces.end(), split.begin(), split.end());
        }
        if (pieces.empty())
            field.clear_track(t);
        else
            field.set_values(t, pieces);
    }
}

std::string capitalize_text(const std::string& text) {
    std::string out;
    bool word_start = true;
    size_t at = 0;
    while (at < text.size()) {
        uint32_t c = 0;
        const size_t length = kpl::utf8_decode_char(text.c_str() + at, &c, text.size() - at);
        if (length == 0) {
            // Not UTF-8 from here on: kept as it is rather than lost.
            out.append(text, at, std::string::npos);
            break;
        }
        at += length;
        if (std::strchr(" ,\t()[]|/\\.;:\r\n", static_cast<int>(c)) && c != 0 && c < 128) {
            word_start = true;
        } else if (c == '"' || c == '\'') {
            // leaves word-start as it is
        } else if (word_start) {
            word_start = false;
            if (c >= 'a' && c <= 'z')
                c -= 32;
            else if (c >= 128 && c < 0x10000)
                c = unicode_char_to_upper(c);
        } else {
            if (c >= 'A' && c <= 'Z')
                c += 32;
            else if (c >= 128 && c < 0x10000)
                c = unicode_char_to_lower(c);
        }
        char buffer[8];
        out.append(buffer, kpl::utf8_encode_char(c, buffer));
    }
    return out;
}

std::string clean_up_text(const std::string& text) {
    std::string out;
    size_t at = 0;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '_'; };
    while (at < text.size() && blank(text[at])) ++at;
    bool pending = false;
    for (; at < text.size(); ++at) {
        if (blank(text[at])) {
            pending = true;
            continue;
        }
        if (pending) out.push_back(' ');
        pending = false;
        out.push_back(text[at]);
    }
    return out;
}
