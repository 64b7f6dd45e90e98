// The one-pass compiler from script text to a node tree.
//
// Every construct is completed or compilation stops: the nodes built so far stay, the rest of the text is
// ignored and nothing is reported.
//
//     "a%b%c"        literal "a", field "b", literal "c"
//     "a%b"          literal "a"                      (unclosed '%': stop)
//     "x$f (1)"      literal "x"                      (a name must be followed directly by '(')
//     "$if(a,[b,c])" call of if with the arguments "a" and "[b,c]" (the comma is inside brackets)
//
// Sections and call arguments nest at most title_nesting_limit levels deep; a script that goes deeper is
// not compiled at all but becomes the text title_nesting_error, so that neither compiling nor running it
// recurses without bound (and compiling stays linear in the depth allowed).
#include <cstdint>
#include <cstring>

#include "foundation/kpl/string.h"
#include "metadata/title_formatting/title_function_table.h"
#include "metadata/title_formatting/title_nodes.h"

namespace {

constexpr uint32_t not_found = 0xFFFFFFFF;

// Offset of the first byte of `terminators` at parenthesis and bracket depth zero, or not_found. Text
// between apostrophes is stepped over; a closing parenthesis or bracket without its opening partner, or
// an apostrophe without its closing partner, ends the search unsuccessfully. Percent signs are plain.
uint32_t find_at_depth_zero(const char* text, uint32_t length, const char* terminators) {
    int parens = 0, brackets = 0;
    for (uint32_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (parens == 0 && brackets == 0) {
            for (const char* t = terminators; *t; ++t)
                if (c == *t) return i;
        }
        switch (c) {
            case '\'': {
                uint32_t j = i + 1;
                while (j < length && text[j] != '\'') ++j;
                if (j >= length) return not_found;
                i = j;
                break;
            }
            case '(': ++parens; break;
            case ')':
                if (--parens < 0) return not_found;
                break;
            case '[': ++brackets; break;
            case ']':
                if (--brackets < 0) return not_found;
                break;
            default: break;
        }
    }
    return not_found;
}

uint32_t find_byte(const char* text, uint32_t from, uint32_t length, char c) {
    for (uint32_t i = from; i < length; ++i)
        if (text[i] == c) return i;
    return not_found;
}

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

class compiler {
public:
    explicit compiler(bool& too_deep, uint32_t depth = 0) : m_too_deep(too_deep), m_depth(depth) {}

    // The nodes of `length` bytes of text; an empty list when the text yields nothing.
    void compile(const char* text, uint32_t length, title_node_list& nodes);

private:
    void flush(title_node_list& nodes) {
        if (m_pending.is_empty()) return;
        nodes.append(title_node_ref(new title_node_literal(m_pending.c_str(), m_pending.length(), false)));
        m_pending.reset();
    }

    // One node for a piece of text: the only node, a sequence of several, or `if_none` for none.
    title_node_ref compile_piece(const char* text, uint32_t length, bool empty_node_if_none);

    kpl::utf8_string_pow2 m_pending;
    bool& m_too_deep;
    uint32_t m_depth;
};

title_node_ref compiler::compile_piece(const char* text, uint32_t length, bool empty_node_if_none) {
    if (m_depth + 1 > title_nesting_limit) {
        m_too_deep = true;
        return title_node_ref(new title_node_empty());
    }
    compiler inner(m_too_deep, m_depth + 1);
    title_node_list nodes;
    inner.compile(text, length, nodes);
    if (nodes.count() == 1) return nodes[0];
    if (nodes.count() == 0 && empty_node_if_none) return title_node_ref(new title_node_empty());
    return title_node_ref(new title_node_sequence(static_cast<title_node_list&&>(nodes)));
}

void compiler::compile(const char* text, uint32_t length, title_node_list& nodes) {
    uint32_t pos = 0;
    while (pos < length && !m_too_deep) {
        const char c = text[pos];
        if (c == '%') {
            uint32_t close = find_byte(text, pos + 1, length, '%');
            if (close == not_found) break;
            if (close == pos + 1) {
                m_pending.append("%", 1);
            } else {
                flush(nodes);
                nodes.append(title_node_ref(new title_node_field(text + pos + 1, close - pos - 1)));
            }
            pos = close + 1;
        } else if (c == '[') {
            uint32_t inner = find_at_depth_zero(text + pos + 1, length - pos - 1, "]");
            if (inner == not_found) break;
            flush(nodes);
            title_node_ref child = compile_piece(text + pos + 1, inner, false);
            nodes.append(title_node_ref(new title_node_conditional(child.get())));
            pos += inner + 2;
        } else if (c == '\'') {
            if (pos + 1 == length) break;
            uint32_t close = find_byte(text, pos + 1, length, '\'');
            if (close == not_found) break;
            if (close == pos + 1) {
                m_pending.append("'", 1);
            } else {
                m_pending.append(text + pos + 1, close - pos - 1);
            }
            pos = close + 1;
        } else if (c == '$') {
            if (pos + 1 == length) break;
            if (text[pos + 1] == '$') {
                m_pending.append("$", 1);
                pos += 2;
                continue;
            }
            flush(nodes);
            const uint32_t name = pos + 1;
            uint32_t name_end = name;
            while (name_end < length && is_name_char(text[name_end])) ++name_end;
            if (name_end == length || text[name_end] != '(') break;
            const uint32_t args = name_end + 1;
            uint32_t close = find_at_depth_zero(text + args, length - args, ")");
            if (close == not_found) break;
            close += args;

            title_node_list arguments;
            uint32_t piece = args;
            for (bool first = true;; first = false) {
                uint32_t sep = find_at_depth_zero(text + piece, close + 1 - piece, ",)");
                if (sep == not_found) break;  // cannot happen: the closing ')' is at depth zero
                if (first && sep == 0 && text[piece] == ')') break;
                arguments.append(compile_piece(text + piece, sep, true));
                piece += sep;
                if (text[piece] == ')' || piece >= close) break;
                ++piece;
            }

            title_function_handler handler;
            bool foldable;
            if (title_function_resolve(text + name, name_end - name, handler, foldable)) {
                nodes.append(title_node_ref(
                    new title_node_function(handler, foldable, static_cast<title_node_list&&>(arguments))));
            } else {
                nodes.append(title_node_ref(new title_node_unknown_function(
                    text + name, name_end - name, static_cast<title_node_list&&>(arguments))));
            }
            pos = close + 1;
        } else if (c == '(' || c == ')' || c == ']') {
            break;
        } else if (c == '\r' || c == '\n') {
            ++pos;
        } else {
            // Plain bytes, UTF-8 sequences included, gathered up to the next special byte.
            uint32_t end = pos + 1;
            while (end < length) {
                const char d = text[end];
                if (d == '%' || d == '[' || d == '\'' || d == '$' || d == '(' || d == ')' || d == ']' || d == '\r' ||
                    d == '\n')
                    break;
                ++end;
            }
            m_pending.append(text + pos, end - pos);
            pos = end;
        }
    }
    flush(nodes);
}

}  // namespace

const char title_nesting_error[] = "[SCRIPT NESTED DEEPER THAN 100 LEVELS]";

title_node_ref title_compile_nodes(const char* text, uint32_t length) {
    bool too_deep = false;
    compiler c(too_deep);
    title_node_list nodes;
    c.compile(text, length, nodes);
    if (too_deep) {
        return title_node_ref(new title_node_literal(title_nesting_error, std::strlen(title_nesting_error), false));
    }
    if (nodes.count() == 1) return nodes[0];
    return title_node_ref(new title_node_sequence(static_cast<title_node_list&&>(nodes)));
}
