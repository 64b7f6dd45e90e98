#pragma once
// kpl::ref_pair<T, Word>: a counted object and a second word that goes with it: a tag, or a pointer to
// the payload inside the object. Copy adds a reference, move transfers it and clears the source,
// reset releases and clears both words.
//
//     kpl::ref_pair<node, int*> p;
//     kpl::ref_pair_set_node(p, n, &n->value);   // holds n, points at its payload
//     kpl::ref_pair<node, int*> q = p;           // n counted twice
//     kpl::ref_pair_reset(p);                    // {null, null}

#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/shared_string.h"

#include <utility>

namespace kpl {

template <class T, class Word = void*>
class ref_pair {
public:
    ref_pair() = default;
    ref_pair(T* object, Word word) : m_object(object), m_word(word) {}

    ref_pair(const ref_pair&) = default;
    ref_pair& operator=(const ref_pair&) = default;  // rc_ptr takes the new reference first
    ref_pair(ref_pair&& other) noexcept : m_object(std::move(other.m_object)), m_word(other.m_word) { other.m_word = Word(); }
    ref_pair& operator=(ref_pair&& other) noexcept {
        if (this != &other) {
            m_object = std::move(other.m_object);
            m_word = other.m_word;
            other.m_word = Word();
        }
        return *this;
    }

    void set(T* object, Word word) {
        m_object = object;
        m_word = word;
    }
    void reset() {
        m_object.reset();
        m_word = Word();
    }

    T* object() const { return m_object.get(); }
    Word word() const { return m_word; }

private:
    rc_ptr<T> m_object;
    Word m_word = Word();
};

template <class T, class W>
inline void ref_pair_copy(ref_pair<T, W>& to, const ref_pair<T, W>& from) {
    to = from;
}
template <class T, class W>
inline void ref_pair_move(ref_pair<T, W>& to, ref_pair<T, W>& from) {
    to = std::move(from);
}
template <class T, class W>
inline void ref_pair_assign(ref_pair<T, W>& to, const ref_pair<T, W>& from) {
    to = from;
}
template <class T, class W>
inline void ref_pair_reset(ref_pair<T, W>& pair) {
    pair.reset();
}
// Holds the node and points the second word at its payload.
template <class T, class W>
inline void ref_pair_set_node(ref_pair<T, W>& pair, T* node, W payload) {
    pair.set(node, payload);
}

// The same helpers for two-word shared references (kpl::shared_ref): copy and assign take the new
// reference before dropping the old one; release clears both words.
template <class T>
inline void shared_ref_copy(shared_ref<T>& to, const shared_ref<T>& from) {
    to = from;
}
template <class T>
inline void shared_ref_assign(shared_ref<T>& to, const shared_ref<T>& from) {
    to = from;
}
template <class T>
inline void shared_ref_release(shared_ref<T>& ref) {
    ref.release();
}

}  // namespace kpl
