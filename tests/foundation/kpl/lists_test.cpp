#include "foundation/kpl/linked_list.h"
#include "foundation/kpl/rc_list.h"
#include "foundation/kpl/ref_list.h"
#include "foundation/kpl/ref_pair.h"

#include <doctest/doctest.h>

#include <string>
#include <vector>

namespace {

struct item : kpl::refcounted {
    explicit item(int v) : value(v) {}
    ~item() override { ++destroyed; }
    item* prev = nullptr;
    item* next = nullptr;
    int value;
    static int destroyed;
};
int item::destroyed = 0;

std::vector<std::string> texts(const kpl::string_list& list) {
    std::vector<std::string> out;
    for (auto it = kpl::rc_list_first(list); it; kpl::rc_iterator_next(it)) out.push_back(it->text.c_str());
    return out;
}

}  // namespace

TEST_CASE("rc_list: push, iterate, clear; nodes held elsewhere survive the clear") {
    item::destroyed = 0;
    kpl::rc_list<item> list;
    kpl::rc_list_clear(list);  // an empty list: nothing happens
    for (int v : {1, 2, 3}) kpl::rc_list_push_back(list, new item(v));
    CHECK(list.count() == 3);
    CHECK(kpl::rc_list_first(list)->value == 1);
    CHECK(kpl::rc_list_last(list)->value == 3);

    std::vector<int> seen;
    for (auto it = kpl::rc_list_first(list); it; kpl::rc_iterator_next(it)) seen.push_back(it->value);
    CHECK(seen == std::vector<int>{1, 2, 3});

    kpl::rc_ptr<item> kept = kpl::rc_list_last(list);
    kpl::rc_list_clear(list);
    CHECK(list.count() == 0);
    CHECK(list.first_node() == nullptr);
    CHECK(list.last_node() == nullptr);
    CHECK(item::destroyed == 2);
    CHECK(kept->value == 3);
    CHECK(kept->prev == nullptr);
    CHECK(kept->next == nullptr);
    kept.reset();
    CHECK(item::destroyed == 3);
}

TEST_CASE("string_list: append, copy, assign to itself and convert to an array") {
    kpl::string_list list;
    kpl::string_list_push_back(list, "alpha");
    kpl::string_list_push_back(list, "beta-cut", 4);
    kpl::string_list_append_empty(list)->text = "gamma";
    CHECK(texts(list) == std::vector<std::string>{"alpha", "beta", "gamma"});

    kpl::string_list copy = kpl::string_list_copy_construct(list);
    copy.first()->text = "changed";
    CHECK(texts(list) == std::vector<std::string>{"alpha", "beta", "gamma"});  // a deep copy

    kpl::string_list_assign(list, list);
    CHECK(texts(list) == std::vector<std::string>{"alpha", "beta", "gamma"});

    kpl::string_array array;
    array.append("old");
    kpl::string_list_to_array(list, array);
    REQUIRE(array.count() == 3);
    CHECK(array[0] == "alpha");
    CHECK(array[2] == "gamma");
}

TEST_CASE("linked_list: insert before a node or at the end, remove, clear") {
    kpl::linked_list<int> list;
    auto* three = kpl::list_insert_before(list, nullptr, 3);
    auto* one = kpl::list_insert_before(list, three, 1);
    kpl::list_insert_before(list, three, 2);
    kpl::list_insert_before(list, one, 0);
    std::vector<int> values;
    for (auto* n = list.first(); n; n = n->next) values.push_back(n->payload);
    CHECK(values == std::vector<int>{0, 1, 2, 3});
    CHECK(list.count() == 4);
    list.remove(list.first());
    list.remove(list.last());
    CHECK(list.first()->payload == 1);
    CHECK(list.last()->payload == 2);
    CHECK(list.first()->prev == nullptr);
    CHECK(list.last()->next == nullptr);
    kpl::list_clear(list);
    CHECK(list.count() == 0);
    CHECK(list.first() == nullptr);

    kpl::plain_string_list strings;
    kpl::string_list_insert_before(strings, nullptr, "b");
    kpl::string_list_insert_before(strings, strings.first(), "a");
    CHECK(strings.first()->payload == "a");
    CHECK(strings.last()->payload == "b");
}

TEST_CASE("ref_pair: copy adds a reference, move transfers it, reset releases") {
    item::destroyed = 0;
    kpl::rc_ptr<item> owner(new item(7));
    kpl::ref_pair<item, int*> a;
    kpl::ref_pair_set_node(a, owner.get(), &owner->value);
    CHECK(owner->ref_count() == 2);
    kpl::ref_pair<item, int*> b;
    kpl::ref_pair_copy(b, a);
    CHECK(owner->ref_count() == 3);
    CHECK(*b.word() == 7);
    kpl::ref_pair<item, int*> c;
    kpl::ref_pair_move(c, b);
    CHECK(owner->ref_count() == 3);
    CHECK(b.object() == nullptr);
    CHECK(b.word() == nullptr);
    kpl::ref_pair_assign(c, c);  // to itself: nothing is freed
    CHECK(owner->ref_count() == 3);
    kpl::ref_pair_reset(a);
    kpl::ref_pair_reset(c);
    CHECK(owner->ref_count() == 1);
    owner.reset();
    CHECK(item::destroyed == 1);
}

TEST_CASE("shared_ref helpers: assigning a reference to itself keeps the block") {
    kpl::shared_string a = kpl::shared_string::make("text");
    kpl::shared_ref<kpl::utf8_string> b;
    kpl::shared_ref_copy(b, a);
    kpl::shared_ref_assign(b, b);
    CHECK(std::string(b->c_str()) == "text");
    kpl::shared_ref_release(a);
    CHECK(a.get() == nullptr);
    CHECK(a.block() == nullptr);
    CHECK(std::string(b->c_str()) == "text");  // b still holds the block
}

TEST_CASE("array_list: items, filter, insert from itself, sorts and search") {
    kpl::array_list<int> list;
    for (int v : {5, 3, 9, 1}) list.append(v);
    CHECK(list.get_item(2) == 9);
    CHECK_THROWS_AS(list.get_item(4), kpl::exception_invalid_params);
    CHECK_THROWS_AS(list.set_item(4, 0), kpl::exception_invalid_params);

    kpl::bit_array keep(4);
    keep.set(0, true);
    keep.set(2, true);
    list.filter_by_mask(keep);
    REQUIRE(list.count() == 2);
    CHECK(list.get_item(0) == 5);
    CHECK(list.get_item(1) == 9);

    list.insert_from(list, 1);  // 5, 5, 9, 9
    REQUIRE(list.count() == 4);
    CHECK(list.get_item(1) == 5);
    CHECK(list.get_item(2) == 9);
    list.insert_from(list, 100);  // clamped to the end
    CHECK(list.count() == 8);

    list.sort([](const int& a, const int& b) { return kpl::compare_values(b, a); });  // descending
    CHECK(list.get_item(0) == 9);
    CHECK(list.get_item(7) == 5);
    list.sort([](const int& a, const int& b) { return kpl::compare_values(a, b); });
    uint32_t at = 99;
    CHECK(list.binary_search([](const int& e) { return kpl::compare_values(e, 9); }, at));
    CHECK(list.get_item(at) == 9);
    CHECK_FALSE(list.binary_search([](const int& e) { return kpl::compare_values(e, 7); }, at));
    CHECK(at == 4);

    kpl::list_remove_all(list);
    CHECK(list.count() == 0);
}
