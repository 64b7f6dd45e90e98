#pragma once
// The texts of the browsing views: list_text (one item key, title or path component), list_text_list (a
// selection, an item list or a key list), node paths, view_path (the main window's navigation state), the
// tag-view link target library_view_key, and the SysLink markup of title lines.
//
//     list_text genre(L"Rock");           // buffer L" Rock": a marker space, then the text
//     genre.text();                       // L"Rock"
//     list_text none(L"");                // the shared empty value " ", never freed
//     list_text_list keys;
//     keys.append(genre);                 // count 1
//     library_view_key key;
//     key.genres.append(genre);
//     node_path path = key.to_path();     // [["Rock"]]: the artists of Rock
//     navigation_text title;
//     title.append_text(L"All artists in ");
//     title.append_link(L"Rock", key);    // "All artists in <a>Rock</a>", target: kind 0, [["Rock"]]
//
// Markup escaping: '<' and '>' get a space before them when a character that is not a space precedes,
// and after them when one follows: "a<b" -> "a < b". Nothing else is escaped.

#include <cstdint>
#include <string>
#include <vector>

// A UTF-16 text behind a marker space; texts compare by code units (text()).
class list_text {
public:
    list_text() noexcept;
    explicit list_text(const wchar_t* text, size_t length = static_cast<size_t>(-1));
    explicit list_text(const std::wstring& text) : list_text(text.c_str(), text.size()) {}
    static list_text from_utf8(const char* text);
    list_text(const list_text& other);
    list_text(list_text&& other) noexcept;
    list_text& operator=(const list_text& other);
    list_text& operator=(list_text&& other) noexcept;
    ~list_text();

    // The text after the marker.
    const wchar_t* text() const noexcept { return m_buffer + 1; }
    // The buffer with the marker.
    const wchar_t* marked() const noexcept { return m_buffer; }
    size_t length() const noexcept { return m_length; }
    bool empty() const noexcept { return m_length == 0; }
    // Whether this is the shared empty value (true for every empty text).
    bool is_shared_empty() const noexcept;
    void append(const wchar_t* text, size_t length = static_cast<size_t>(-1));
    std::string utf8() const;

    bool operator==(const list_text& other) const noexcept;
    bool operator!=(const list_text& other) const noexcept { return !(*this == other); }
    // Code-unit order (unsigned), for maps keyed by exact text.
    bool operator<(const list_text& other) const noexcept;

private:
    wchar_t* m_buffer;
    size_t m_length;
};

// StrCmpLogicalW over the texts; equal ones ordered by their code units, so distinct texts never tie.
int list_text_compare_logical(const list_text& a, const list_text& b);

// A doubly linked list of texts with a count.
class list_text_list {
public:
    struct node {
        node* previous;
        node* next;
        list_text text;
    };

    list_text_list() noexcept;
    list_text_list(const list_text_list& other);
    list_text_list& operator=(const list_text_list& other);
    ~list_text_list();

    // Inserts before `position` (end() appends).
    node* insert_before(node* position, const list_text& text);
    node* append(const list_text& text) { return insert_before(sentinel(), text); }
    void clear();
    uint32_t count() const noexcept { return m_count; }
    bool empty() const noexcept { return m_count == 0; }
    // The first node and the end sentinel (insertion before it appends).
    node* head() const noexcept { return m_sentinel.next; }
    node* sentinel() const noexcept { return const_cast<node*>(&m_sentinel); }
    bool contains(const list_text& text) const;
    const list_text& front() const { return m_sentinel.next->text; }
    bool operator==(const list_text_list& other) const;
    bool operator!=(const list_text_list& other) const { return !(*this == other); }

    // Range-for over the texts.
    class iterator {
    public:
        explicit iterator(node* n) : m_node(n) {}
        const list_text& operator*() const { return m_node->text; }
        iterator& operator++() {
            m_node = m_node->next;
            return *this;
        }
        bool operator!=(const iterator& other) const { return m_node != other.m_node; }

    private:
        node* m_node;
    };
    iterator begin() const { return iterator(head()); }
    iterator end() const { return iterator(sentinel()); }

private:
    node m_sentinel;
    uint32_t m_count;
};

// A key list is a selection; a node path is one key list per level.
using key_list = list_text_list;
using node_path = std::vector<key_list>;

// A node kind (0 tag view, 1 folder tree, 2 music folders) and its path.
struct view_path {
    int kind = 0;
    node_path path;
    bool operator==(const view_path& other) const { return kind == other.kind && path == other.path; }
};

// The tag-view pseudo text standing for no genre choice.
extern const wchar_t* const all_genres_text;

// Target of a tag-view title link.
struct library_view_key {
    key_list genres;
    key_list artists;
    list_text album;
    // Empty when genres and artists are empty; else the genres (or ["[all genres]"]), then the artists
    // when there are any, then [album] when it is not empty and there are artists.
    node_path to_path() const;
};

// UTF-8 markup for a SysLink control.
class syslink_text {
public:
    void append_escaped(const char* utf8);
    void append_text(const wchar_t* text);
    void append_link(const wchar_t* text);
    const std::string& markup() const { return m_markup; }

protected:
    std::string m_markup;
};

// Markup that also records where each link leads, in link order.
class navigation_text : public syslink_text {
public:
    using syslink_text::append_link;
    // A tag-view link (kind 0, the key's path).
    void append_link(const wchar_t* text, const library_view_key& key);
    // A link to any view.
    void append_link(const wchar_t* text, const view_path& target);
    const std::vector<view_path>& targets() const { return m_targets; }
    void clear() {
        m_markup.clear();
        m_targets.clear();
    }

private:
    std::vector<view_path> m_targets;
};
