#pragma once
// kpl::linked_list<T>: a plain doubly linked list {first, last, count} of heap nodes {prev, next,
// payload}, without reference counts; the list owns its nodes.
//
//     kpl::linked_list<int> list;
//     auto* b = kpl::list_insert_before(list, nullptr, 2);   // null: at the end
//     kpl::list_insert_before(list, b, 1);                   // 1, 2
//     kpl::list_clear(list);
//
// kpl::plain_string_list is the same list of stored strings (kpl::string_list_insert_before).

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/string.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

namespace kpl {

template <class T>
class linked_list {
public:
    struct node {
        node* prev;
        node* next;
        T payload;
    };

    linked_list() = default;
    linked_list(const linked_list&) = delete;
    linked_list& operator=(const linked_list&) = delete;
    ~linked_list() { clear(); }

    node* first() const { return m_first; }
    node* last() const { return m_last; }
    uint32_t count() const { return m_count; }

    // Inserts a new node before `before` (null: at the end) and returns it.
    template <class... Args>
    node* insert_before(node* before, Args&&... args) {
        void* memory = std::malloc(sizeof(node));
        if (!memory) throw_bad_alloc();
        node* n;
        try {
            n = new (memory) node{nullptr, nullptr, T(std::forward<Args>(args)...)};
        } catch (...) {
            std::free(memory);
            throw;
        }
        if (!before) {
            n->prev = m_last;
            if (m_last) m_last->next = n;
            else m_first = n;
            m_last = n;
        } else {
            n->prev = before->prev;
            n->next = before;
            if (before->prev) before->prev->next = n;
            else m_first = n;
            before->prev = n;
        }
        ++m_count;
        return n;
    }

    // Unlinks and deletes one node.
    void remove(node* n) {
        if (n->prev) n->prev->next = n->next;
        else m_first = n->next;
        if (n->next) n->next->prev = n->prev;
        else m_last = n->prev;
        --m_count;
        n->~node();
        std::free(n);
    }

    void clear() {
        while (m_first) remove(m_first);
    }

private:
    node* m_first = nullptr;
    node* m_last = nullptr;
    uint32_t m_count = 0;
};

template <class T, class... Args>
typename linked_list<T>::node* list_insert_before(linked_list<T>& list, typename linked_list<T>::node* before, Args&&... args) {
    return list.insert_before(before, std::forward<Args>(args)...);
}
template <class T>
void list_clear(linked_list<T>& list) {
    list.clear();
}

using plain_string_list = linked_list<utf8_string_tight>;
inline plain_string_list::node* string_list_insert_before(plain_string_list& list, plain_string_list::node* before,
                                                          const char* text) {
    return list.insert_before(before, text);
}

}  // namespace kpl
