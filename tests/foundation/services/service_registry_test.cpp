// The service registry over private registration lists: class rows, lookups and their failures,
// enumeration, start-up checks and loads, the shut-down save, and the two ownership kinds.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/services/persistent_state.h"
#include "foundation/services/service_registry.h"
#include "ui/preferences_group.h"

namespace {

constexpr kpl::guid k_class_a = {0x00000001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
constexpr kpl::guid k_class_b = {0xFF000000, 0, 0, {0, 0, 0, 0, 0, 0, 0, 2}};
constexpr kpl::guid k_class_c = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr kpl::guid k_unknown = {0xDEADBEEF, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
constexpr kpl::guid k_trailing_tag_io = {0xAD537D40, 0x499D, 0x4C29, {0x81, 0xD4, 0xC0, 0xFA, 0x49, 0x6D, 0xD5, 0x8C}};

class test_interface_a : public service_object {
public:
    static constexpr kpl::guid class_guid = k_class_a;
    virtual int id() = 0;
};
class test_interface_b : public service_object {
public:
    static constexpr kpl::guid class_guid = k_class_b;
};
class test_interface_c : public service_object {
public:
    static constexpr kpl::guid class_guid = k_class_c;
};
class test_tag_io : public service_object {
public:
    static constexpr kpl::guid class_guid = k_trailing_tag_io;
};

template <int Id>
class impl_a final : public service_static<test_interface_a> {
public:
    int id() override { return Id; }
};
class impl_b final : public service_static<test_interface_b> {};
class impl_c final : public service_static<test_interface_c> {};
class impl_tag_io final : public service_static<test_tag_io> {};

// Three of class A and two of class B, registered interleaved; one of C.
service_factory_list g_mixed;
service_factory_single<impl_a<1>, test_interface_a> g_a1(g_mixed);
service_factory_single<impl_b, test_interface_b> g_b1(g_mixed);
service_factory_single<impl_a<2>, test_interface_a> g_a2(g_mixed);
service_factory_single<impl_c, test_interface_c> g_c1(g_mixed);
service_factory_single<impl_a<3>, test_interface_a> g_a3(g_mixed);
service_factory_single<impl_b, test_interface_b> g_b2(g_mixed);

// persistent_state implementations that log what happens to them.
std::vector<std::string> g_log;

template <char Name>
class logging_state final : public service_static<persistent_state_flush> {
public:
    void on_startup() override { g_log.push_back(std::string("load ") + Name); }
    void on_shutdown(bool discard) override { g_log.push_back(std::string(discard ? "discard " : "save ") + Name); }
    void save_now() override {}
};

class failing_state final : public service_static<persistent_state> {
public:
    void on_startup() override { throw kpl::exception_with_message("cannot load"); }
    void on_shutdown(bool) override {}
};

service_factory_list g_states_without_tag_io;
service_factory_single<logging_state<'x'>, persistent_state> g_x0(g_states_without_tag_io);

service_factory_list g_states_with_two_tag_io;
service_factory_single<logging_state<'x'>, persistent_state> g_x1(g_states_with_two_tag_io);
service_factory_single<impl_tag_io, test_tag_io> g_tag1(g_states_with_two_tag_io);
service_factory_single<impl_tag_io, test_tag_io> g_tag2(g_states_with_two_tag_io);

service_factory_list g_states;
service_factory_single<logging_state<'x'>, persistent_state> g_x2(g_states);
service_factory_single<impl_tag_io, test_tag_io> g_tag3(g_states);
service_factory_single<logging_state<'y'>, persistent_state> g_y2(g_states);

service_factory_list g_failing_load;
service_factory_single<impl_tag_io, test_tag_io> g_tag4(g_failing_load);
service_factory_single<failing_state, persistent_state> g_fail(g_failing_load);

// A per-request object that counts live instances.
int g_live_counted = 0;
class counted_impl final : public service_counted<test_interface_c> {
public:
    counted_impl() { ++g_live_counted; }
    ~counted_impl() override { --g_live_counted; }
};
service_factory_list g_per_request;
service_factory_per_request<counted_impl, test_interface_c> g_counted(g_per_request);

std::string thrown_text(void (*call)(const service_table&), const service_table& table) {
    try {
        call(table);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

}  // namespace

TEST_CASE("class rows: records of one class are grouped and counted, rows found by binary search") {
    service_table table;
    table.build(g_mixed);
    CHECK(table.factory_count() == 6);
    REQUIRE(table.class_count() == 3);
    // Rows are in memory-byte order of the GUIDs: B (00 00 00 FF) before A (01 00 00 00).
    CHECK(kpl::guid_compare(table.class_at(0).class_guid, table.class_at(1).class_guid) < 0);
    CHECK(kpl::guid_compare(table.class_at(1).class_guid, table.class_at(2).class_guid) < 0);

    struct row_case {
        kpl::guid guid;
        uint32_t count;
    };
    const row_case cases[] = {{k_class_a, 3}, {k_class_b, 2}, {k_class_c, 1}};
    for (const row_case& c : cases) {
        const service_class_entry* entry = table.find(c.guid);
        REQUIRE(entry != nullptr);
        CHECK(entry->class_guid == c.guid);
        CHECK(entry->count == c.count);
        for (uint32_t i = 0; i < entry->count; ++i) CHECK(entry->factories[i]->class_guid() == c.guid);
    }
    CHECK(table.find(k_unknown) == nullptr);
}

TEST_CASE("get_single: one implementation, or Service not found / Service duplicated") {
    service_table table;
    table.build(g_mixed);

    service_ref single;
    table.get_single(single, k_class_c);
    CHECK(single.get() == static_cast<service_object*>(&g_c1.instance()));

    struct failure_case {
        kpl::guid guid;
        const char* text;
    };
    const failure_case cases[] = {
        {k_class_a, "Service duplicated"}, {k_class_b, "Service duplicated"}, {k_unknown, "Service not found"}};
    for (const failure_case& c : cases) {
        service_ref out = single;
        try {
            table.get_single(out, c.guid);
            FAIL("nothing thrown");
        } catch (const exception_service_duplicated& e) {
            CHECK(std::string(e.what()) == c.text);
        } catch (const exception_service_not_found& e) {
            CHECK(std::string(e.what()) == c.text);
        }
        CHECK(out == single);  // the caller's reference is untouched
    }
    CHECK(table.find(k_class_c)->count == 1);  // a failed lookup changes nothing
}

TEST_CASE("an empty or released table finds nothing") {
    service_table table;
    CHECK(table.find(k_class_c) == nullptr);
    CHECK(thrown_text([](const service_table& t) {
              service_ref r;
              t.get_single(r, k_class_c);
          }, table) == "Service not found");

    table.build(g_mixed);
    table.release();
    CHECK(table.class_count() == 0);
    CHECK(table.find(k_class_c) == nullptr);
    CHECK_FALSE(table.is_running());
}

TEST_CASE("create_instance, create_nth and enumeration over a row") {
    service_table table;
    table.build(g_mixed);
    const service_class_entry* a = table.find(k_class_a);
    REQUIRE(a != nullptr);

    service_ref out;
    CHECK_FALSE(service_class::create_instance(nullptr, 0, out));
    CHECK_FALSE(service_class::create_instance(a, 3, out));
    CHECK(out.is_empty());
    CHECK(service_class::create_instance(a, 2, out));
    CHECK_FALSE(out.is_empty());

    for (uint32_t bad : {3u, 100u}) {
        try {
            service_class::create_nth(out, a, bad);
            FAIL("nothing thrown");
        } catch (const kpl::exception_bug_check_v2& e) {
            CHECK(std::string(e.what()) == "Bug check");
        }
    }

    // Enumeration: exactly the three implementations (each once, in some order), then false with the last
    // reference left in place.
    service_iterator it(a);
    service_ref each;
    std::vector<int> ids;
    while (it.next(each)) ids.push_back(each.as<test_interface_a>()->id());
    REQUIRE(ids.size() == 3);
    CHECK(ids[0] + ids[1] + ids[2] == 6);
    CHECK(ids[0] * ids[1] * ids[2] == 6);
    REQUIRE_FALSE(each.is_empty());
    service_object* last = each.get();
    CHECK_FALSE(it.next(each));
    CHECK(each.get() == last);

    service_iterator none(nullptr);
    service_ref untouched;
    CHECK_FALSE(none.next(untouched));
    CHECK(untouched.is_empty());
}

TEST_CASE("start: exactly one trailing_tag_io is required before any persistent_state loads") {
    struct start_case {
        const char* name;
        service_factory_list* list;
        bool damaged;
    };
    const start_case cases[] = {
        {"no trailing_tag_io", &g_states_without_tag_io, true},
        {"two trailing_tag_io", &g_states_with_two_tag_io, true},
        {"one trailing_tag_io", &g_states, false},
    };
    for (const start_case& c : cases) {
        INFO(c.name);
        g_log.clear();
        service_table table;
        if (c.damaged) {
            try {
                table.start(*c.list);
                FAIL("nothing thrown");
            } catch (const exception_installdamaged& e) {
                CHECK(std::string(e.what()) ==
                      "Internal error - one or more of the installed components have been damaged.");
            }
            CHECK(g_log.empty());
        } else {
            table.start(*c.list);
            CHECK(table.is_running());
            REQUIRE(g_log.size() == 2);
            CHECK(((g_log[0] == "load x" && g_log[1] == "load y") || (g_log[0] == "load y" && g_log[1] == "load x")));
        }
    }
}

TEST_CASE("start: a failing load propagates; the table stays built") {
    service_table table;
    try {
        table.start(g_failing_load);
        FAIL("nothing thrown");
    } catch (const std::exception& e) {
        CHECK(std::string(e.what()) == "cannot load");
    }
    CHECK(table.is_running());
    CHECK(table.find(persistent_state::class_guid) != nullptr);
}

TEST_CASE("notify_shutdown passes the flag to every persistent_state, and nothing while saving is suppressed") {
    service_table table;
    table.start(g_states);

    struct shutdown_case {
        bool suppressed;
        bool discard;
        std::vector<std::string> expected;  // sorted
    };
    const shutdown_case cases[] = {
        {false, false, {"save x", "save y"}},
        {false, true, {"discard x", "discard y"}},
        {true, false, {}},
        {true, true, {}},
    };
    for (const shutdown_case& c : cases) {
        g_log.clear();
        table.set_saving_suppressed(c.suppressed);
        table.notify_shutdown(c.discard);
        std::sort(g_log.begin(), g_log.end());
        CHECK(g_log == c.expected);
    }
}

TEST_CASE("query answers the interface, the interfaces it extends, and nothing else") {
    service_table table;
    table.build(g_states);
    const service_class_entry* states = table.find(persistent_state::class_guid);
    REQUIRE(states != nullptr);
    service_ref state;
    REQUIRE(service_class::create_instance(states, 0, state));

    service_ref out;
    CHECK(state->query(out, persistent_state_flush::class_guid));
    CHECK(out.get() == state.get());
    out.release();
    CHECK(state->query(out, persistent_state::class_guid));
    CHECK_FALSE(out.is_empty());

    service_ref kept = out;
    CHECK_FALSE(state->query(out, k_unknown));
    CHECK(out == kept);

    service_ptr<persistent_state_flush> flush;
    CHECK(service_query(state.get(), flush));
    CHECK_FALSE(flush.is_empty());
}

TEST_CASE("ownership: static singletons always answer 1; per-request objects die with their last reference") {
    impl_c& singleton = g_c1.instance();
    for (int i = 0; i < 5; ++i) {
        CHECK(singleton.add_ref() == 1);
        CHECK(singleton.release() == 1);
    }
    CHECK(singleton.release() == 1);

    service_table table;
    table.build(g_per_request);
    const service_class_entry* entry = table.find(k_class_c);
    REQUIRE(entry != nullptr);
    {
        service_ref first;
        service_ref second;
        REQUIRE(service_class::create_instance(entry, 0, first));
        REQUIRE(service_class::create_instance(entry, 0, second));
        CHECK(first != second);  // a new object per request
        CHECK(g_live_counted == 2);

        service_ref copy = first;
        CHECK(first->add_ref() == 3);
        CHECK(first->release() == 2);
        first.release();
        CHECK(g_live_counted == 2);
        copy.release();
        CHECK(g_live_counted == 1);  // deleted exactly at the last release
        second = second;             // self-assignment keeps it alive
        CHECK(g_live_counted == 1);
    }
    CHECK(g_live_counted == 0);
}

TEST_CASE("the foundation's preferences branches: Input under the Playback page, [broken components] at the top") {
    service_table table;
    table.build(service_registration_list());
    const service_class_entry* groups = table.find(preferences_group::class_guid);
    REQUIRE(groups != nullptr);

    const kpl::guid input = kpl::guid_from_text("{FC01B529-4BD7-47CD-BAF7-2FB632F0DBB6}");
    const kpl::guid broken = kpl::guid_from_text("{2E8E9647-4174-41B2-9EC4-910BE128082E}");
    int found = 0;
    service_iterator it(groups);
    service_ref each;
    while (it.next(each)) {
        preferences_group* group = each.as<preferences_group>();
        service_ptr<preferences_group_ext> ext;
        REQUIRE(service_query(group, ext));
        CHECK(ext->sort_priority() == 0.0);
        CHECK(each->add_ref() == 1);
        CHECK(each->release() == 1);
        if (group->get_guid() == input) {
            CHECK(std::string(group->name()) == "Input");
            CHECK(group->get_parent() == kpl::guid_from_text("{67508677-CFCC-4A1C-921C-49B39CC5B986}"));
            ++found;
        } else if (group->get_guid() == broken) {
            CHECK(std::string(group->name()) == "[broken components]");
            CHECK(group->get_parent() == preferences_group::root_guid);
            ++found;
        }
    }
    CHECK(found == 2);
}
