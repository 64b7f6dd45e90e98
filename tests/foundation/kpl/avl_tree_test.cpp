#include "foundation/kpl/avl_tree.h"
#include "foundation/kpl/maps.h"

#include <doctest/doctest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

// Counts the payloads alive, so tests see every node freed exactly once.
struct live_counter {
    static int live;
    live_counter() { ++live; }
    live_counter(const live_counter&) { ++live; }
    live_counter& operator=(const live_counter&) = default;
    ~live_counter() { --live; }
};
int live_counter::live = 0;

using int_tree = kpl::avl_tree<int, live_counter>;

// Checks depth, balance, parent links and key order below n; returns the height (depth + 1).
template <class Node>
uint32_t check_subtree(const Node* n, const Node* parent, const int* low, const int* high) {
    if (!n) return 0;
    REQUIRE(n->parent == parent);
    if (low) REQUIRE(n->key > *low);
    if (high) REQUIRE(n->key < *high);
    uint32_t hl = check_subtree(kpl::avl_detail::get(n->left), n, low, &n->key);
    uint32_t hr = check_subtree(kpl::avl_detail::get(n->right), n, &n->key, high);
    REQUIRE(n->depth == (hl > hr ? hl : hr));
    int bf = static_cast<int>(hr) - static_cast<int>(hl);
    REQUIRE(bf >= -1);
    REQUIRE(bf <= 1);
    return n->depth + 1;
}

void check_tree(const int_tree& tree, const std::set<int>& model) {
    check_subtree(tree.root(), static_cast<const int_tree::node*>(nullptr), nullptr, nullptr);
    REQUIRE(tree.count() == model.size());
    std::vector<int> forward, backward;
    for (auto n = tree.first(); n; n = tree.step(n.get(), kpl::avl_forward)) forward.push_back(n->key);
    for (auto n = tree.last(); n; n = tree.step(n.get(), kpl::avl_backward)) backward.insert(backward.begin(), n->key);
    REQUIRE(forward == std::vector<int>(model.begin(), model.end()));
    REQUIRE(backward == forward);
}

struct counted_value : kpl::refcounted {
    static int destroyed;
    ~counted_value() override { ++destroyed; }
};
int counted_value::destroyed = 0;

}  // namespace

TEST_CASE("avl_tree: the worked cases of insert, find, remove and step") {
    live_counter::live = 0;
    {
        int_tree tree;
        CHECK(tree.empty());
        CHECK_FALSE(tree.first());
        CHECK_FALSE(tree.last());
        tree.clear();  // clearing an empty tree does nothing

        for (int k : {1, 2, 3}) CHECK(tree.insert(k).inserted);
        REQUIRE(tree.root()->key == 2);
        CHECK(tree.root()->depth == 1);
        CHECK(kpl::avl_detail::get(tree.root()->left)->depth == 0);
        CHECK(kpl::avl_detail::get(tree.root()->right)->depth == 0);

        // An existing key: nothing inserted, the node that is there comes back.
        auto existing = tree.find(3);
        auto again = tree.insert(3);
        CHECK_FALSE(again.inserted);
        CHECK(again.node == existing);
        CHECK(tree.count() == 3);
        CHECK(live_counter::live == 3);

        // Removing a missing key reports false and changes no depth.
        CHECK_FALSE(tree.remove(7));
        CHECK(tree.root()->depth == 1);
        CHECK(tree.count() == 3);

        // Stepping past either end gives null.
        CHECK_FALSE(tree.step(tree.last().get(), kpl::avl_forward));
        CHECK_FALSE(tree.step(tree.first().get(), kpl::avl_backward));

        // Removing the root: the smallest key of its right subtree takes its place.
        CHECK(tree.remove(2));
        REQUIRE(tree.root()->key == 3);
        CHECK(tree.root()->parent == nullptr);
        CHECK(kpl::avl_detail::get(tree.root()->left)->key == 1);
        CHECK(kpl::avl_detail::get(tree.root()->left)->parent == tree.root());
        CHECK(live_counter::live == 2);
    }
    CHECK(live_counter::live == 0);
}

TEST_CASE("avl_tree: a node held by a caller outlives removal and clear with null links") {
    live_counter::live = 0;
    int_tree tree;
    for (int k = 0; k < 20; ++k) tree.insert(k);
    int_tree::node_ptr removed;
    CHECK(tree.remove(10, &removed));
    REQUIRE(removed);
    CHECK(removed->key == 10);
    CHECK_FALSE(removed->left);
    CHECK_FALSE(removed->right);
    CHECK(removed->parent == nullptr);
    CHECK_FALSE(tree.step(removed.get(), kpl::avl_forward));

    int_tree::node_ptr held = tree.find(5);
    tree.clear();
    CHECK(tree.empty());
    CHECK(tree.count() == 0);
    REQUIRE(held);
    CHECK(held->key == 5);
    CHECK_FALSE(held->left);
    CHECK_FALSE(held->right);
    CHECK(held->parent == nullptr);
    CHECK(held->ref_count() == 1);
    CHECK(live_counter::live == 2);  // the removed node and the held one
    held.reset();
    removed.reset();
    CHECK(live_counter::live == 0);
}

TEST_CASE("avl_tree: balance, depths, parents and order hold under many random inserts and removes") {
    live_counter::live = 0;
    std::srand(12345);
    {
        int_tree tree;
        std::set<int> model;
        for (int round = 0; round < 4000; ++round) {
            int key = std::rand() % 600;
            if (std::rand() % 3 != 0) {
                bool inserted = tree.insert(key).inserted;
                CHECK(inserted == model.insert(key).second);
            } else {
                bool removed = tree.remove(key);
                CHECK(removed == (model.erase(key) == 1));
            }
            if (round % 50 == 0) check_tree(tree, model);
            REQUIRE(live_counter::live == static_cast<int>(model.size()));
        }
        check_tree(tree, model);
        // Drain in random order, checking as the tree shrinks.
        std::vector<int> keys(model.begin(), model.end());
        for (size_t i = keys.size(); i > 1; --i) std::swap(keys[i - 1], keys[std::rand() % i]);
        for (size_t i = 0; i < keys.size(); ++i) {
            REQUIRE(tree.remove(keys[i]));
            model.erase(keys[i]);
            if (i % 25 == 0) check_tree(tree, model);
        }
        CHECK(tree.empty());
        // Ascending and descending runs are the classic worst cases for an unbalanced tree.
        for (int k = 0; k < 1000; ++k) tree.insert(k), model.insert(k);
        for (int k = 2000; k > 1000; --k) tree.insert(k), model.insert(k);
        check_tree(tree, model);
        CHECK(tree.root()->depth + 1 <= 15);  // 1.44 log2(2000) is about 15.8
    }
    CHECK(live_counter::live == 0);
}

TEST_CASE("avl_map: insert-or-assign replaces the value and releases the old one once") {
    counted_value::destroyed = 0;
    kpl::avl_map<int, kpl::rc_ptr<counted_value>> map;
    kpl::rc_ptr<counted_value> first(new counted_value), second(new counted_value);
    map.set(1, first);
    CHECK(first->ref_count() == 2);
    map.set(1, second);
    CHECK(first->ref_count() == 1);
    CHECK(second->ref_count() == 2);
    CHECK(map.count() == 1);
    REQUIRE(map.find_value(1));
    CHECK(map.find_value(1)->get() == second.get());
    CHECK(map.find_value(2) == nullptr);
    // Assigning the value a key already holds must not free it on the way.
    map.set(1, *map.find_value(1));
    CHECK(second->ref_count() == 2);
    first.reset();
    CHECK(counted_value::destroyed == 1);
    map.clear();
    CHECK(second->ref_count() == 1);
}

TEST_CASE("avl_tree: pointer, GUID-style and C-string keys use their comparators") {
    kpl::cstring_set set;
    char a[] = "beta", b[] = "alpha", c[] = "beta";
    CHECK(kpl::cstring_set_insert(set, a));
    CHECK(kpl::cstring_set_insert(set, b));
    CHECK_FALSE(kpl::cstring_set_insert(set, c));  // equal text at another address: a duplicate
    CHECK(set.first()->key == b);

    kpl::avl_tree<const void*, int, kpl::avl_pointer_compare> by_address;
    int x[3];
    by_address.insert(&x[2]);
    by_address.insert(&x[0]);
    by_address.insert(&x[1]);
    CHECK(by_address.first()->key == &x[0]);
    CHECK(by_address.last()->key == &x[2]);

    CHECK(kpl::compare_double_desc(2.0, 1.0) == -1);
    CHECK(kpl::compare_double_desc(1.0, 2.0) == 1);
    CHECK(kpl::compare_double_desc(1.0, 1.0) == 0);
}

namespace {

struct linked_node {
    int key;
    linked_node* left = nullptr;
    linked_node* right = nullptr;
    linked_node* parent = nullptr;
    uint32_t depth = 0;
};

uint32_t check_linked(const linked_node* n, const linked_node* parent) {
    if (!n) return 0;
    REQUIRE(n->parent == parent);
    if (n->left) REQUIRE(n->left->key < n->key);
    if (n->right) REQUIRE(n->right->key > n->key);
    uint32_t hl = check_linked(n->left, n), hr = check_linked(n->right, n);
    REQUIRE(n->depth == (hl > hr ? hl : hr));
    REQUIRE(static_cast<int>(hr) - static_cast<int>(hl) <= 1);
    REQUIRE(static_cast<int>(hl) - static_cast<int>(hr) <= 1);
    return n->depth + 1;
}

}  // namespace

TEST_CASE("linked_tree: same rules over caller-owned nodes") {
    kpl::linked_tree<linked_node> tree;
    std::set<int> model;
    std::srand(99);
    for (int round = 0; round < 2000; ++round) {
        int key = std::rand() % 300;
        if (std::rand() % 3) {
            auto r = tree.insert(key, [key] { return new linked_node{key}; });
            CHECK(r.inserted == model.insert(key).second);
            CHECK(r.node->key == key);
        } else {
            linked_node* out = tree.remove(key);
            CHECK((out != nullptr) == (model.erase(key) == 1));
            if (out) {
                CHECK(out->parent == nullptr);
                CHECK(out->left == nullptr);
                delete out;
            }
        }
        if (round % 100 == 0) check_linked(tree.root(), nullptr);
    }
    check_linked(tree.root(), nullptr);
    CHECK(tree.count() == model.size());
    std::vector<int> keys;
    for (linked_node* n = tree.first(); n; n = tree.step(n, kpl::avl_forward)) keys.push_back(n->key);
    CHECK(keys == std::vector<int>(model.begin(), model.end()));
    size_t disposed = 0;
    tree.clear([&](linked_node* n) {
        ++disposed;
        delete n;
    });
    CHECK(disposed == model.size());
    CHECK(tree.empty());
}

TEST_CASE("named maps: string keys in byte order, GUID keys in memory-byte order") {
    kpl::string_map<int> strings;
    strings.set("b", 2);
    strings.set("\xC3\xA9", 3);  // é: bytes as unsigned sort after ASCII
    strings.set("a", 1);
    strings.set("B", 4);
    std::vector<std::string> keys;
    strings.for_each([&](const kpl::string_map<int>::node& n) { keys.push_back(n.key.c_str()); });
    CHECK(keys == std::vector<std::string>{"B", "a", "b", "\xC3\xA9"});
    REQUIRE(strings.find_value("b"));
    CHECK(*strings.find_value("b") == 2);
    CHECK(strings.find_value("c") == nullptr);
    CHECK(strings.remove("a"));
    CHECK(strings.count() == 3);

    kpl::guid_map<int> guids;
    kpl::guid one = {0x00000001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};   // memory bytes 01 00 00 00
    kpl::guid top = {0xFF000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};   // memory bytes 00 00 00 FF
    guids.set(one, 1);
    guids.set(top, 2);
    CHECK(guids.first()->key == top);
    CHECK(*guids.find_value(one) == 1);

    kpl::pointer_map<int> pointers;
    int cells[2];
    pointers.set(&cells[1], 11);
    pointers.set(&cells[0], 10);
    CHECK(pointers.first()->key == &cells[0]);
}
