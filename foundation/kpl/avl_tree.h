#pragma once
// Balanced binary trees: every map and set of the program.
//
// kpl::avl_tree<Key, Value, Compare> is an AVL tree of counted nodes. A node holds its key, its
// value, counted references to its two children (smaller keys left, larger right), a plain pointer
// to its parent and its depth (0 for a node without children, else 1 + the larger depth of its
// children). The tree itself is one counted reference to the root. Nodes are shared: a caller may
// keep a node it fetched after the node left the tree; such a node has null links.
//
// Compare is a function object answering -1, 0 or 1 for (key of a node, key looked for); lookups
// may use any key type the comparator accepts:
//
//     kpl::avl_tree<int> set;
//     set.insert(1); set.insert(2); set.insert(3);    // 2 at the root (depth 1), 1 and 3 below
//     auto r = set.insert(2);                         // r.inserted == false, r.node is the old node
//     for (auto n = set.first(); n; n = set.step(n.get(), kpl::avl_forward)) ...   // 1, 2, 3
//     set.remove(2);                                  // 3 becomes the root
//
// kpl::linked_tree<Node, Compare> keeps the same rules over nodes with plain child pointers that
// the tree does not own (the caller allocates and frees them).
//
// Neither tree locks: the owner serialises access. Allocation failure throws std::bad_alloc before
// the tree changes; comparators must not throw.

#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/sort.h"

#include <cstddef>
#include <cstdint>

namespace kpl {

enum avl_direction : int { avl_forward = 0, avl_backward = 1 };

// Comparators answering -1, 0 or 1 (kpl::compare_values is in sort.h).
// Addresses in numeric order.
inline int compare_pointers(const void* a, const void* b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}
inline int compare_ptr(const void* a, const void* b) { return compare_pointers(a, b); }
// Descending: -1 when a is the larger.
inline int compare_double_desc(double a, double b) { return a > b ? -1 : (a < b ? 1 : 0); }

// Default comparator: the key type's own < operator.
struct avl_less_compare {
    template <class A, class B>
    int operator()(const A& a, const B& b) const {
        return a < b ? -1 : (b < a ? 1 : 0);
    }
};
struct avl_pointer_compare {
    int operator()(const void* a, const void* b) const { return compare_pointers(a, b); }
};

// Value type of a set (a tree without payload beside the key).
struct avl_no_value {};

// The algorithms shared by both tree families. A node type has members left and right (links:
// either rc_ptr<Node> or Node*), parent (Node*) and depth (uint32_t). Storing a Node* into a link
// with = takes the new reference first for counted links.
namespace avl_detail {

template <class N>
inline N* get(const rc_ptr<N>& link) {
    return link.get();
}
template <class N>
inline N* get(N* link) {
    return link;
}

template <class N>
inline uint32_t height(const N* n) {
    return n ? n->depth + 1 : 0;
}

template <class N>
inline void update_depth(N* n) {
    uint32_t hl = height(get(n->left)), hr = height(get(n->right));
    n->depth = hl > hr ? hl : hr;
}

// Right height minus left height.
template <class N>
inline int balance_factor(const N* n) {
    return static_cast<int>(height(get(n->right))) - static_cast<int>(height(get(n->left)));
}

// Rotates the node held by slot to the left: its right child takes its place.
template <class Link>
void rotate_left(Link& slot) {
    auto* q = get(slot);
    auto* r = get(q->right);
    Link hold_q(q), hold_r(r);  // neither node may be freed while it is moved
    (void)hold_q, (void)hold_r;
    q->right = get(r->left);
    if (get(q->right)) get(q->right)->parent = q;
    r->left = q;
    r->parent = q->parent;
    q->parent = r;
    update_depth(q);
    update_depth(r);
    slot = r;
}

template <class Link>
void rotate_right(Link& slot) {
    auto* q = get(slot);
    auto* l = get(q->left);
    Link hold_q(q), hold_l(l);
    (void)hold_q, (void)hold_l;
    q->left = get(l->right);
    if (get(q->left)) get(q->left)->parent = q;
    l->right = q;
    l->parent = q->parent;
    q->parent = l;
    update_depth(q);
    update_depth(l);
    slot = l;
}

// Restores the AVL rule at the node held by slot after its subtrees changed.
template <class Link>
void rebalance(Link& slot) {
    auto* n = get(slot);
    if (!n) return;
    int bf = balance_factor(n);
    if (bf > 1) {
        if (balance_factor(get(n->right)) < 0) rotate_right(n->right);
        rotate_left(slot);
    } else if (bf < -1) {
        if (balance_factor(get(n->left)) > 0) rotate_left(n->left);
        rotate_right(slot);
    }
}

template <class N>
struct insert_outcome {
    N* node;
    bool inserted;
};

// Insert-or-find below slot. make() allocates the new node (it may throw; nothing has changed then).
template <class Link, class N, class K, class Compare, class Make>
insert_outcome<N> insert(Link& slot, N* parent, const K& key, const Compare& compare, Make& make) {
    N* n = get(slot);
    if (!n) {
        N* created = make();
        created->parent = parent;
        created->depth = 0;
        slot = created;
        return {created, true};
    }
    int c = compare(n->key, key);
    if (c == 0) return {n, false};
    insert_outcome<N> r = c > 0 ? insert(n->left, n, key, compare, make) : insert(n->right, n, key, compare, make);
    if (r.inserted) {
        update_depth(n);
        rebalance(slot);
    }
    return r;
}

template <class N, class K, class Compare>
N* find(N* n, const K& key, const Compare& compare) {
    while (n) {
        int c = compare(n->key, key);
        if (c == 0) return n;
        n = c > 0 ? get(n->left) : get(n->right);
    }
    return nullptr;
}

// Detaches the leftmost node below slot and returns it (held through the returned link).
template <class Link>
Link detach_leftmost(Link& slot) {
    auto* m = get(slot);
    if (get(m->left)) {
        Link found = detach_leftmost(m->left);
        update_depth(m);
        rebalance(slot);
        return found;
    }
    Link found(m);
    slot = get(m->right);
    if (get(slot)) get(slot)->parent = m->parent;
    m->right = nullptr;
    m->parent = nullptr;
    return found;
}

// Unlinks the node held by slot; whatever takes its place gets the node's parent. The node's links,
// parent and depth are cleared; the returned link holds it (for counted links, the tree's former
// reference).
template <class Link>
Link node_unlink(Link& slot) {
    auto* n = get(slot);
    Link held(n);
    auto* parent = n->parent;
    if (!get(n->left)) {
        slot = get(n->right);
    } else if (!get(n->right)) {
        slot = get(n->left);
    } else {
        Link successor = detach_leftmost(n->right);
        auto* s = get(successor);
        s->left = get(n->left);
        if (get(s->left)) get(s->left)->parent = s;
        s->right = get(n->right);
        if (get(s->right)) get(s->right)->parent = s;
        update_depth(s);
        slot = s;
    }
    if (get(slot)) get(slot)->parent = parent;
    n->left = nullptr;
    n->right = nullptr;
    n->parent = nullptr;
    n->depth = 0;
    return held;
}

// Removes the node with the key below slot; out receives it. False when the key is absent (then
// nothing changes).
template <class Link, class K, class Compare>
bool remove(Link& slot, const K& key, const Compare& compare, Link& out) {
    auto* n = get(slot);
    if (!n) return false;
    int c = compare(n->key, key);
    if (c == 0) {
        out = get(node_unlink(slot));
        if (get(slot)) {
            update_depth(get(slot));
            rebalance(slot);
        }
        return true;
    }
    bool removed = c > 0 ? remove(n->left, key, compare, out) : remove(n->right, key, compare, out);
    if (removed) {
        update_depth(n);
        rebalance(slot);
    }
    return removed;
}

template <class N>
N* far_end(N* n, int direction) {
    if (!n) return nullptr;
    if (direction == avl_forward) {
        while (get(n->left)) n = get(n->left);
    } else {
        while (get(n->right)) n = get(n->right);
    }
    return n;
}

// In-order successor (avl_forward) or predecessor (avl_backward); null past the end.
template <class N>
N* step(N* n, int direction) {
    if (!n) return nullptr;
    N* child = direction == avl_forward ? get(n->right) : get(n->left);
    if (child) return far_end(child, direction);
    while (n->parent && n == (direction == avl_forward ? get(n->parent->right) : get(n->parent->left))) n = n->parent;
    return n->parent;
}

template <class N>
size_t count_nodes(const N* n) {
    return n ? 1 + count_nodes(get(n->left)) + count_nodes(get(n->right)) : 0;
}

// Clears a counted subtree bottom-up: each node's subtrees first, then its links (which releases
// the children). Nodes still held elsewhere survive with null links.
template <class N>
void destroy_subtree(N* n) {
    if (!n) return;
    destroy_subtree(get(n->left));
    destroy_subtree(get(n->right));
    n->left = nullptr;
    n->right = nullptr;
    n->parent = nullptr;
    n->depth = 0;
}

}  // namespace avl_detail

template <class Key, class Value = avl_no_value, class Compare = avl_less_compare>
class avl_tree {
public:
    class node : public refcounted {
    public:
        template <class K>
        explicit node(const K& k) : key(k), value() {}

        Key key;
        Value value;
        rc_ptr<node> left, right;
        node* parent = nullptr;
        uint32_t depth = 0;
    };
    using node_ptr = rc_ptr<node>;

    struct insert_result {
        node_ptr node;
        bool inserted;
    };

    avl_tree() = default;
    explicit avl_tree(const Compare& compare) : m_compare(compare) {}
    avl_tree(const avl_tree&) = delete;
    avl_tree& operator=(const avl_tree&) = delete;
    ~avl_tree() { clear(); }

    // Insert-or-find: the node holding the key, and whether it was created now.
    template <class K>
    insert_result insert(const K& key) {
        auto make = [&key]() { return new node(key); };
        auto r = avl_detail::insert(m_root, static_cast<node*>(nullptr), key, m_compare, make);
        return {node_ptr(r.node), r.inserted};
    }

    template <class K>
    node_ptr find(const K& key) const {
        return node_ptr(avl_detail::find(m_root.get(), key, m_compare));
    }

    template <class K>
    bool contains(const K& key) const {
        return avl_detail::find(m_root.get(), key, m_compare) != nullptr;
    }

    // Removes the node with the key; false (and no change at all) when there is none. The removed
    // node goes to *removed when asked for, else the tree's reference to it is dropped.
    template <class K>
    bool remove(const K& key, node_ptr* removed = nullptr) {
        node_ptr out;
        bool done = avl_detail::remove(m_root, key, m_compare, out);
        if (done && removed) *removed = out;
        return done;
    }
    template <class K>
    bool remove_by_ptr(const K& key) {
        return remove(key);
    }
    template <class K>
    bool erase_node(const K& key) {
        return remove(key);
    }

    node_ptr first() const { return node_ptr(avl_detail::far_end(m_root.get(), avl_forward)); }
    node_ptr last() const { return node_ptr(avl_detail::far_end(m_root.get(), avl_backward)); }
    static node_ptr step(const node* n, int direction) { return node_ptr(avl_detail::step(const_cast<node*>(n), direction)); }
    static node_ptr next(const node* n) { return step(n, avl_forward); }
    static node_ptr prev(const node* n) { return step(n, avl_backward); }

    size_t count() const { return avl_detail::count_nodes(m_root.get()); }
    bool empty() const { return !m_root; }

    // Releases every node (bottom-up) and empties the tree.
    void clear() {
        avl_detail::destroy_subtree(m_root.get());
        m_root.reset();
    }

    // Calls fn(node&) for every node in key order.
    template <class Fn>
    void for_each(Fn&& fn) const {
        for (node* n = avl_detail::far_end(m_root.get(), avl_forward); n; n = avl_detail::step(n, avl_forward)) fn(*n);
    }

    node* root() const { return m_root.get(); }
    const Compare& comparator() const { return m_compare; }

private:
    node_ptr m_root;
    Compare m_compare;
};

// A map from key to value; insert-or-assign replaces the value of an existing key (for counted
// values: the new value is add-ref'd, the old one released once).
template <class Key, class Value, class Compare = avl_less_compare>
class avl_map : public avl_tree<Key, Value, Compare> {
    using base = avl_tree<Key, Value, Compare>;

public:
    using base::base;

    template <class K, class V>
    typename base::node_ptr set(const K& key, V&& value) {
        auto r = base::insert(key);
        r.node->value = static_cast<V&&>(value);
        return r.node;
    }
    // The value stored under the key, or null.
    template <class K>
    Value* find_value(const K& key) const {
        typename base::node* n = avl_detail::find(base::root(), key, base::comparator());
        return n ? &n->value : nullptr;
    }
};

// A set of C-string pointers ordered byte-wise (bytes as unsigned); the texts are not copied.
struct cstring_compare {
    int operator()(const char* a, const char* b) const {
        const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
        const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
        while (*x && *x == *y) ++x, ++y;
        return *x < *y ? -1 : (*x > *y ? 1 : 0);
    }
};
using cstring_set = avl_tree<const char*, avl_no_value, cstring_compare>;

// Adds the text to the set; false when an equal text is there already (used to drop duplicates).
inline bool cstring_set_insert(cstring_set& set, const char* text) { return set.insert(text).inserted; }

// kpl::linked_tree: the same tree over nodes with plain child pointers, owned by the caller. Node
// has members key, left, right, parent (Node*) and depth (uint32_t).
template <class Node, class Compare = avl_less_compare>
class linked_tree {
public:
    struct insert_result {
        Node* node;
        bool inserted;
    };

    linked_tree() = default;
    explicit linked_tree(const Compare& compare) : m_compare(compare) {}
    linked_tree(const linked_tree&) = delete;
    linked_tree& operator=(const linked_tree&) = delete;

    // Insert-or-find; make() allocates the node for a new key (it may throw; nothing changes then).
    template <class K, class Make>
    insert_result insert(const K& key, Make&& make) {
        auto r = avl_detail::insert(m_root, static_cast<Node*>(nullptr), key, m_compare, make);
        return {r.node, r.inserted};
    }
    template <class K>
    Node* find(const K& key) const {
        return avl_detail::find(m_root, key, m_compare);
    }
    // Unlinks the node with the key and returns it (the caller frees it), or null.
    template <class K>
    Node* remove(const K& key) {
        Node* out = nullptr;
        return avl_detail::remove(m_root, key, m_compare, out) ? out : nullptr;
    }
    Node* first() const { return avl_detail::far_end(m_root, avl_forward); }
    Node* last() const { return avl_detail::far_end(m_root, avl_backward); }
    static Node* step(Node* n, int direction) { return avl_detail::step(n, direction); }
    size_t count() const { return avl_detail::count_nodes(m_root); }
    bool empty() const { return m_root == nullptr; }
    // Empties the tree, handing every node (children before parents) to dispose.
    template <class Dispose>
    void clear(Dispose&& dispose) {
        clear_below(m_root, dispose);
        m_root = nullptr;
    }
    Node* root() const { return m_root; }

private:
    template <class Dispose>
    static void clear_below(Node* n, Dispose& dispose) {
        if (!n) return;
        clear_below(n->left, dispose);
        clear_below(n->right, dispose);
        n->left = n->right = n->parent = nullptr;
        n->depth = 0;
        dispose(n);
    }

    Node* m_root = nullptr;
    Compare m_compare;
};

}  // namespace kpl
