// list_text, its list, paths and the title-line markup.
#include "library/list_text.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <new>

#include "foundation/kpl/codepage.h"

namespace {

wchar_t g_shared_empty[2] = {L' ', 0};

wchar_t* make_buffer(const wchar_t* a, size_t a_length, const wchar_t* b, size_t b_length) {
    wchar_t* buffer = new wchar_t[a_length + b_length + 2];
    buffer[0] = L' ';
    if (a_length) std::memcpy(buffer + 1, a, a_length * sizeof(wchar_t));
    if (b_length) std::memcpy(buffer + 1 + a_length, b, b_length * sizeof(wchar_t));
    buffer[1 + a_length + b_length] = 0;
    return buffer;
}

size_t measure(const wchar_t* text, size_t length) {
    if (!text) return 0;
    return length == static_cast<size_t>(-1) ? std::wcslen(text) : length;
}

std::wstring wide(const char* utf8) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, utf8);
    return w.c_str();
}

}  // namespace

const wchar_t* const all_genres_text = L"[all genres]";

list_text::list_text() noexcept : m_buffer(g_shared_empty), m_length(0) {}

list_text::list_text(const wchar_t* text, size_t length) : m_buffer(g_shared_empty), m_length(measure(text, length)) {
    if (m_length) m_buffer = make_buffer(text, m_length, nullptr, 0);
}

list_text list_text::from_utf8(const char* text) { return list_text(wide(text)); }

list_text::list_text(const list_text& other) : m_buffer(g_shared_empty), m_length(other.m_length) {
    if (m_length) m_buffer = make_buffer(other.text(), m_length, nullptr, 0);
}

list_text::list_text(list_text&& other) noexcept : m_buffer(other.m_buffer), m_length(other.m_length) {
    other.m_buffer = g_shared_empty;
    other.m_length = 0;
}

list_text& list_text::operator=(const list_text& other) {
    if (this != &other) {
        list_text copy(other);
        *this = std::move(copy);
    }
    return *this;
}

list_text& list_text::operator=(list_text&& other) noexcept {
    if (this != &other) {
        if (m_buffer != g_shared_empty) delete[] m_buffer;
        m_buffer = other.m_buffer;
        m_length = other.m_length;
        other.m_buffer = g_shared_empty;
        other.m_length = 0;
    }
    return *this;
}

list_text::~list_text() {
    if (m_buffer != g_shared_empty) delete[] m_buffer;
}

bool list_text::is_shared_empty() const noexcept { return m_buffer == g_shared_empty; }

void list_text::append(const wchar_t* text, size_t length) {
    length = measure(text, length);
    if (!length) return;
    wchar_t* grown = make_buffer(this->text(), m_length, text, length);
    if (m_buffer != g_shared_empty) delete[] m_buffer;
    m_buffer = grown;
    m_length += length;
}

std::string list_text::utf8() const {
    return kpl::utf8_string_from_utf16(text(), m_length).c_str();
}

bool list_text::operator==(const list_text& other) const noexcept {
    return m_length == other.m_length && std::wmemcmp(text(), other.text(), m_length) == 0;
}

bool list_text::operator<(const list_text& other) const noexcept {
    const size_t n = m_length < other.m_length ? m_length : other.m_length;
    for (size_t i = 0; i < n; ++i) {
        const uint16_t a = static_cast<uint16_t>(text()[i]), b = static_cast<uint16_t>(other.text()[i]);
        if (a != b) return a < b;
    }
    return m_length < other.m_length;
}

int list_text_compare_logical(const list_text& a, const list_text& b) {
    const int c = StrCmpLogicalW(a.text(), b.text());
    if (c) return c;
    if (a < b) return -1;
    if (b < a) return 1;
    return 0;
}

list_text_list::list_text_list() noexcept : m_sentinel{&m_sentinel, &m_sentinel, list_text()}, m_count(0) {}

list_text_list::list_text_list(const list_text_list& other) : list_text_list() {
    for (const list_text& t : other) append(t);
}

list_text_list& list_text_list::operator=(const list_text_list& other) {
    if (this != &other) {
        list_text_list copy(other);
        clear();
        for (const list_text& t : copy) append(t);
    }
    return *this;
}

list_text_list::~list_text_list() { clear(); }

list_text_list::node* list_text_list::insert_before(node* position, const list_text& text) {
    node* n = new node{position->previous, position, text};
    position->previous->next = n;
    position->previous = n;
    ++m_count;
    return n;
}

void list_text_list::clear() {
    node* n = m_sentinel.next;
    while (n != &m_sentinel) {
        node* next = n->next;
        delete n;
        n = next;
    }
    m_sentinel.next = m_sentinel.previous = &m_sentinel;
    m_count = 0;
}

bool list_text_list::contains(const list_text& text) const {
    for (const list_text& t : *this)
        if (t == text) return true;
    return false;
}

bool list_text_list::operator==(const list_text_list& other) const {
    if (m_count != other.m_count) return false;
    node* a = head();
    node* b = other.head();
    for (; a != sentinel(); a = a->next, b = b->next)
        if (a->text != b->text) return false;
    return true;
}

node_path library_view_key::to_path() const {
    node_path path;
    if (genres.empty() && artists.empty()) return path;
    if (genres.empty()) {
        key_list all;
        all.append(list_text(all_genres_text));
        path.push_back(all);
    } else {
        path.push_back(genres);
    }
    if (!artists.empty()) {
        path.push_back(artists);
        if (!album.empty()) {
            key_list a;
            a.append(album);
            path.push_back(a);
        }
    }
    return path;
}

void syslink_text::append_escaped(const char* utf8) {
    const size_t n = std::strlen(utf8);
    for (size_t i = 0; i < n; ++i) {
        const char c = utf8[i];
        if (c == '<' || c == '>') {
            if (i > 0 && utf8[i - 1] != ' ') m_markup += ' ';
            m_markup += c;
            if (i + 1 < n && utf8[i + 1] != ' ') m_markup += ' ';
        } else {
            m_markup += c;
        }
    }
}

void syslink_text::append_text(const wchar_t* text) {
    append_escaped(kpl::utf8_string_from_utf16(text).c_str());
}

void syslink_text::append_link(const wchar_t* text) {
    m_markup += "<a>";
    append_text(text);
    m_markup += "</a>";
}

void navigation_text::append_link(const wchar_t* text, const library_view_key& key) {
    view_path target;
    target.kind = 0;
    target.path = key.to_path();
    append_link(text, target);
}

void navigation_text::append_link(const wchar_t* text, const view_path& target) {
    syslink_text::append_link(text);
    m_targets.push_back(target);
}
