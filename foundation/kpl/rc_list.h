#pragma once
// kpl::rc_list<Node>: an intrusive doubly linked list of counted nodes {first, last, count}. Each node
// carries its own prev and next links (plain pointers); the list holds one reference per node, so a
// node fetched from the list stays valid after the list let go of it.
//
//     struct item : kpl::refcounted { item* prev = nullptr; item* next = nullptr; int value = 0; };
//     kpl::rc_list<item> list;
//     kpl::rc_list_push_back(list, new item);       // the list's reference is the only one
//     for (auto it = kpl::rc_list_first(list); it; kpl::rc_iterator_next(it)) use(it->value);
//     kpl::rc_list_clear(list);                     // unlinks and releases every node, front first
//
// kpl::string_list is the list of stored strings built on it:
//
//     kpl::string_list names;
//     kpl::string_list_push_back(names, "a");
//     kpl::string_list_append_empty(names)->text = "b";
//     kpl::string_array a; kpl::string_list_to_array(names, a);   // {"a", "b"}
//
// No locking: the owner serialises access. Node counters are interlocked, so a node may be released
// on another thread.

#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"

#include <cstdint>

namespace kpl {

template <class Node>
class rc_list {
public:
    rc_list() = default;
    rc_list(const rc_list&) = delete;
    rc_list& operator=(const rc_list&) = delete;
    ~rc_list() { clear(); }

    Node* first_node() const { return m_first; }
    Node* last_node() const { return m_last; }
    uint32_t count() const { return m_count; }
    bool empty() const { return m_count == 0; }

    // Takes a reference to the node and links it at the end.
    void push_back(Node* node) {
        node->add_ref();
        node->prev = m_last;
        node->next = nullptr;
        if (m_last) m_last->next = node;
        else m_first = node;
        m_last = node;
        ++m_count;
    }

    rc_ptr<Node> first() const { return rc_ptr<Node>(m_first); }
    rc_ptr<Node> last() const { return rc_ptr<Node>(m_last); }

    // Exchanges the content of two lists (no reference changes).
    void swap(rc_list& other) {
        Node* f = m_first;
        Node* l = m_last;
        uint32_t c = m_count;
        m_first = other.m_first, m_last = other.m_last, m_count = other.m_count;
        other.m_first = f, other.m_last = l, other.m_count = c;
    }

    // Unlinks and releases every node from the front; count back to 0.
    void clear() {
        while (Node* node = m_first) {
            m_first = node->next;
            if (m_first) m_first->prev = nullptr;
            else m_last = nullptr;
            --m_count;
            node->next = nullptr;
            node->prev = nullptr;
            node->release();
        }
    }

private:
    Node* m_first = nullptr;
    Node* m_last = nullptr;
    uint32_t m_count = 0;
};

template <class Node>
using counted_list = rc_list<Node>;

template <class Node>
inline void rc_list_push_back(rc_list<Node>& list, Node* node) {
    list.push_back(node);
}
template <class Node>
inline rc_ptr<Node> rc_list_first(const rc_list<Node>& list) {
    return list.first();
}
template <class Node>
inline rc_ptr<Node> rc_list_last(const rc_list<Node>& list) {
    return list.last();
}
// Moves the iterator's reference to the node after it (null past the end).
template <class Node>
inline void rc_iterator_next(rc_ptr<Node>& iterator) {
    iterator = iterator ? iterator->next : nullptr;
}
template <class Node>
inline void rc_list_clear(rc_list<Node>& list) {
    list.clear();
}

// A list node holding one stored string.
class string_list_node : public refcounted {
public:
    string_list_node* prev = nullptr;
    string_list_node* next = nullptr;
    utf8_string_tight text;
};

class string_list : public rc_list<string_list_node> {
public:
    string_list() = default;
    string_list(const string_list& other);
    string_list& operator=(const string_list& other);
};

void string_list_push_back(string_list& list, const char* text, uint32_t max = utf8_string::npos);
// Appends an empty string node and returns it.
rc_ptr<string_list_node> string_list_append_empty(string_list& list);
// Replaces the content of list with copies of the strings of source.
void string_list_assign(string_list& list, const string_list& source);
inline string_list string_list_copy_construct(const string_list& source) { return string_list(source); }
// Replaces the content of out with the strings in list order.
void string_list_to_array(const string_list& list, string_array& out);

}  // namespace kpl
