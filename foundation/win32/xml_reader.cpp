#include "foundation/win32/xml_reader.h"

#include "foundation/kpl/case_mapping.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/utf8.h"

#include <cstring>

namespace {

[[noreturn]] void malformed() { throw ketrel_io::exception_io_data(); }

bool is_blank(char c) { return static_cast<unsigned char>(c) < '!'; }

// First position of c in [from, end), or end.
size_t find_char(const char* text, size_t from, size_t end, char c) {
    for (size_t i = from; i < end; ++i) {
        if (text[i] == c) return i;
    }
    return end;
}

bool starts_with(const char* text, size_t at, size_t end, const char* prefix) {
    size_t n = std::strlen(prefix);
    return end - at >= n && std::memcmp(text + at, prefix, n) == 0;
}

// at points to "<!--": returns the position after the comment's closing '>'.
size_t skip_comment(const char* text, size_t at, size_t end) {
    for (size_t i = at + 4; i + 1 < end; ++i) {
        if (text[i] == '-' && text[i + 1] == '-') {
            if (i + 2 >= end || text[i + 2] != '>') malformed();
            return i + 3;
        }
    }
    malformed();  // never closed
}

// The value of a numeric entity body, or 0 when the body is not numeric (no digits, another
// character, more than 32 bits) or names the value 0, which would cut the text.
uint32_t numeric_entity(const char* body, size_t n) {
    size_t i = 0;
    bool hex = false;
    if (n > 0 && body[0] == '#') {
        i = 1;
        if (n > 1 && (body[1] == 'x' || body[1] == 'X')) {
            hex = true;
            i = 2;
        }
    }
    if (i >= n) return 0;
    uint64_t value = 0;
    for (; i < n; ++i) {
        char c = body[i];
        unsigned d;
        if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
        else return 0;
        value = value * (hex ? 16 : 10) + d;
        if (value > 0xFFFFFFFFull) return 0;
    }
    return static_cast<uint32_t>(value);
}

char named_entity(const char* body, size_t n) {
    static const struct {
        const char* name;
        char value;
    } names[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"apos", '\''}, {"quot", '"'}};
    for (const auto& e : names) {
        if (std::strlen(e.name) == n && kpl::stricmp_ascii_counted(body, n, e.name, n) == 0) return e.value;
    }
    return 0;
}

struct end_tag {
    size_t open;   // position of its '<'
    size_t close;  // position of its '>'
    kpl::utf8_string_tight name;
};

// Finds the end tag that closes the element whose content starts at `from`.
end_tag find_end_tag(const char* text, size_t from, size_t end) {
    size_t depth = 0;
    size_t p = from;
    while (true) {
        size_t lt = find_char(text, p, end, '<');
        if (lt == end) malformed();
        if (starts_with(text, lt, end, "<!--")) {
            p = skip_comment(text, lt, end);
            continue;
        }
        size_t gt = find_char(text, lt + 1, end, '>');
        if (gt == end) malformed();
        if (text[lt + 1] == '/') {
            if (depth == 0) {
                size_t name_end = gt;
                while (name_end > lt + 2 && is_blank(text[name_end - 1])) --name_end;
                end_tag tag;
                tag.open = lt;
                tag.close = gt;
                xml_reader::decode_entities(tag.name, text + lt + 2, name_end - (lt + 2));
                return tag;
            }
            --depth;
        } else if (text[gt - 1] != '/') {
            ++depth;
        }
        p = gt + 1;
    }
}

// Reads the attributes in [p, end) of a start tag into the map.
void read_attributes(const char* text, size_t p, size_t end, xml_reader::attribute_map& attributes) {
    while (true) {
        while (p < end && is_blank(text[p])) ++p;
        if (p >= end) return;
        size_t eq = find_char(text, p, end, '=');
        if (eq == end) malformed();
        size_t name_end = eq;
        while (name_end > p && is_blank(text[name_end - 1])) --name_end;
        if (name_end == p) malformed();  // no name before '='
        size_t q = eq + 1;
        while (q < end && is_blank(text[q])) ++q;
        if (q >= end || text[q] != '"') malformed();
        size_t close = find_char(text, q + 1, end, '"');
        if (close == end) malformed();
        if (std::memchr(text + p, 0, name_end - p)) malformed();  // a zero byte would cut the name
        kpl::utf8_string_tight name(text + p, static_cast<uint32_t>(name_end - p));
        auto r = attributes.insert(name);
        if (!r.inserted) malformed();  // duplicate, ignoring A-Z case
        xml_reader::decode_entities(r.node->value, text + q + 1, close - (q + 1));
        p = close + 1;
    }
}

}  // namespace

const char* xml_reader::attribute(const attribute_map& attributes, const char* name) {
    const kpl::utf8_string_tight* value = attributes.find_value(name);
    return value ? value->c_str() : nullptr;
}

void xml_reader::decode_entities(kpl::utf8_string& out, const char* text, size_t length) {
    kpl::utf8_string_pow2 result;
    size_t run = 0;  // start of the text not yet copied
    size_t i = 0;
    while (i < length) {
        if (text[i] != '&') {
            size_t n = kpl::utf8_decode_char(text + i, nullptr, length - i);
            if (n == 0) malformed();  // invalid UTF-8, or a zero byte inside the text
            i += n;
            continue;
        }
        size_t semicolon = find_char(text, i + 1, length, ';');
        if (semicolon == length) {
            ++i;  // no ';' anywhere after: the '&' stays
            continue;
        }
        const char* body = text + i + 1;
        size_t body_length = semicolon - (i + 1);
        uint32_t code_point = numeric_entity(body, body_length);
        char named = code_point ? 0 : named_entity(body, body_length);
        if (code_point && kpl::utf8_encode_char(code_point, nullptr) == 0) code_point = 0;
        if (!code_point && !named) {
            ++i;  // unknown: the '&' and the body stay as written
            continue;
        }
        result.append(text + run, static_cast<uint32_t>(i - run));
        if (code_point) kpl::string_append_codepoint(result, code_point);
        else result.append(&named, 1);
        i = semicolon + 1;
        run = i;
    }
    result.append(text + run, static_cast<uint32_t>(length - run));
    out.append(result.c_str(), result.length());
}

void xml_reader::parse_body(handler& h, const char* text, size_t length) {
    size_t pos = 0;
    while (pos < length) {
        size_t lt = find_char(text, pos, length, '<');
        if (lt == length) {
            h.on_text(text + pos, length - pos);
            return;
        }
        if (lt > pos) h.on_text(text + pos, lt - pos);
        if (starts_with(text, lt, length, "<!--")) {
            pos = skip_comment(text, lt, length);
            continue;
        }
        size_t gt = find_char(text, lt + 1, length, '>');
        if (gt == length) malformed();
        bool empty = gt > lt + 1 && text[gt - 1] == '/';
        size_t tag_end = empty ? gt - 1 : gt;

        size_t name_end = lt + 1;
        while (name_end < tag_end && !is_blank(text[name_end])) {
            if (text[name_end] == '/' || text[name_end] == '<') malformed();  // a stray end tag, or "<<"
            ++name_end;
        }
        if (name_end == lt + 1) malformed();
        kpl::utf8_string_tight name;
        decode_entities(name, text + lt + 1, name_end - (lt + 1));

        attribute_map attributes;
        read_attributes(text, name_end, tag_end, attributes);

        if (empty) {
            h.on_element(name.c_str(), attributes, nullptr, 0);
            pos = gt + 1;
            continue;
        }
        size_t content = gt + 1;
        end_tag close = find_end_tag(text, content, length);
        if (kpl::stricmp_ascii(close.name.c_str(), name.c_str()) != 0) malformed();
        h.on_element(name.c_str(), attributes, text + content, close.open - content);
        pos = close.close + 1;
    }
}

void xml_reader::parse_document(handler& h, const char* text, size_t length) {
    // A byte-order mark, as text editors write it, comes before the declaration.
    if (length >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        text += 3;
        length -= 3;
    }
    if (length <= 5 || std::memcmp(text, "<?xml ", 6) != 0) malformed();

    attribute_map declaration;
    size_t p = 6;
    while (true) {
        if (p >= length) malformed();  // the declaration never closes
        char c = text[p];
        if (is_blank(c)) {
            ++p;
            continue;
        }
        if (c == '?') {
            if (p + 1 >= length || text[p + 1] != '>') malformed();
            p += 2;
            break;
        }
        bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum) malformed();
        size_t name_start = p;
        while (p < length && ((text[p] >= 'a' && text[p] <= 'z') || (text[p] >= 'A' && text[p] <= 'Z') ||
                              (text[p] >= '0' && text[p] <= '9')))
            ++p;
        if (p >= length || text[p] != '=') malformed();
        ++p;
        if (p >= length || text[p] != '"') malformed();
        size_t close = find_char(text, p + 1, length, '"');
        if (close == length) malformed();
        kpl::utf8_string_pow2 value;
        decode_entities(value, text + p + 1, close - (p + 1));
        declaration.set(kpl::utf8_string_tight(text + name_start, static_cast<uint32_t>(p - 1 - name_start)),
                        kpl::utf8_string_tight(value));
        p = close + 1;
    }
    while (p < length && is_blank(text[p])) ++p;

    const char* encoding = attribute(declaration, "encoding");
    if (encoding && kpl::stricmp_ascii(encoding, "utf-8") != 0) {
        throw ketrel_io::exception_io_data("Heathen character encodings not supported");
    }
    parse_body(h, text + p, length - p);
}
