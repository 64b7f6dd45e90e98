// The play order: the commands continue, current, next and previous over lists of every length, with and
// without repeat; what each command leaves as the item last handed out; replacing the list while playing;
// shut-down. Track lists and cursors: ends, find by handle identity (the plain list and the walking default),
// cursors that never move and keep their list alive, references all given back.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "foundation/services/service_registry.h"
#include "playback/play_order.h"

namespace {

void ensure_services() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
}

track_handle_ref handle_of(const std::string& name) {
    track_handle_ref h;
    track_handle_registry::get().get_handle(h, track_location(("file://C:\\order\\" + name + ".flac").c_str()));
    return h;
}

// The tracks a..(a+n-1) as a plain list.
struct track_list {
    std::vector<track_handle_ref> handles;
    item_enumerator_ref list;

    explicit track_list(size_t n, char first = 'a') {
        kpl::ref_array array;
        for (size_t i = 0; i < n; ++i) {
            handles.push_back(handle_of(std::string(1, char(first + i))));
            array.append(handles.back().get());
        }
        list = item_enumerator::create(array);
    }
    item_cursor_ref at(size_t index) const {
        item_cursor_ref c;
        list->find(c, handles[index].get());
        REQUIRE(c);
        return c;
    }
};

// The track's letter, or "-" for no cursor.
std::string name(const item_cursor_ref& c) {
    if (!c) return "-";
    track_handle_ref h;
    c->get_handle(h);
    const std::string path = h->get_location().get_path();
    return path.substr(path.size() - 6, 1);
}

// The letters from a cursor to the end of its list.
std::string walk(item_cursor_ref c) {
    std::string out;
    while (c) {
        out += name(c);
        item_cursor_ref after;
        c->next(after);
        c = after;
    }
    return out;
}

play_order_manager_ext& order() {
    ensure_services();
    service_ptr<play_order_manager> order;
    service_class::get_single(order);
    service_ptr<play_order_manager_ext> ext;
    REQUIRE(service_query(order.get(), ext));
    return *ext.get();
}

// A list that builds its cursors itself and keeps the default find (walking first and next), as the
// library's lists do.
class walking_list final : public service_counted<item_enumerator> {
public:
    explicit walking_list(item_enumerator* inner) : m_inner(inner) {}
    void first(item_cursor_ref& out) override { m_inner->first(out); }
    void last(item_cursor_ref& out) override { m_inner->last(out); }

private:
    item_enumerator_ref m_inner;
};

}  // namespace

TEST_CASE("play order: each command from each state, with and without repeat") {
    struct row {
        size_t items;
        int current;  // index, -1 none
        int pending;  // index, -1 none
        bool repeat;
        int command;
        const char* expected;  // letter, "-" for none (false)
    };
    const row rows[] = {
        // empty list: nothing, whatever the command
        {0, -1, -1, false, 0, "-"}, {0, -1, -1, true, 0, "-"}, {0, -1, -1, false, 1, "-"},
        {0, -1, -1, true, 2, "-"}, {0, -1, -1, true, 3, "-"},
        // continue: from pending, else current, else the first item - always its successor
        {3, -1, -1, false, 0, "b"}, {1, -1, -1, false, 0, "-"}, {1, -1, -1, true, 0, "a"},
        {3, 0, -1, false, 0, "b"}, {3, 0, 1, false, 0, "c"}, {3, 2, 0, false, 0, "b"},
        {3, 0, 2, false, 0, "-"}, {3, 0, 2, true, 0, "a"}, {3, 2, -1, false, 0, "-"},
        // current: current (even the last), else the first
        {3, 2, -1, false, 1, "c"}, {3, -1, -1, false, 1, "a"}, {3, -1, 2, false, 1, "a"}, {3, 1, 0, true, 1, "b"},
        // next: counts from current, never from pending
        {3, -1, -1, false, 2, "a"}, {3, 0, -1, false, 2, "b"}, {3, 0, 2, false, 2, "b"},
        {3, 2, -1, false, 2, "-"}, {3, 2, -1, true, 2, "a"}, {1, 0, -1, true, 2, "a"}, {1, 0, -1, false, 2, "-"},
        // previous
        {3, -1, -1, false, 3, "c"}, {3, 1, -1, false, 3, "a"}, {3, 2, 0, false, 3, "b"},
        {3, 0, -1, false, 3, "-"}, {3, 0, -1, true, 3, "c"},
        // unknown commands
        {3, 0, 1, false, 4, "-"}, {3, 0, 1, true, -1, "-"},
    };
    play_order_manager_ext& po = order();
    for (const row& r : rows) {
        CAPTURE(r.items);
        CAPTURE(r.current);
        CAPTURE(r.pending);
        CAPTURE(r.repeat);
        CAPTURE(r.command);
        track_list t(r.items);
        po.shut_down();
        po.set_list(t.list.get());
        item_cursor_ref ignored;
        if (r.pending >= 0) {  // pending is what command 1 hands out
            po.set_current(t.at(r.pending).get());
            REQUIRE(po.next(play_order_current, ignored));
        }
        po.set_current(r.current >= 0 ? t.at(r.current).get() : nullptr);
        po.set_repeat(r.repeat);

        item_cursor_ref got;
        const bool found = po.next(r.command, got);
        CHECK(name(got) == r.expected);
        CHECK(found == (name(got) != "-"));

        // What became pending: command 0 now continues from it (unknown commands leave it as it was).
        po.set_repeat(false);
        po.set_current(nullptr);
        item_cursor_ref after;
        po.next(play_order_continue, after);
        std::string expected_after;
        if (r.command < 0 || r.command > 3) {
            const int from = r.pending >= 0 ? r.pending : 0;
            expected_after = from + 1 < int(r.items) ? std::string(1, char('a' + from + 1)) : "-";
        } else if (name(got) != "-") {
            expected_after = walk(got).size() > 1 ? walk(got).substr(1, 1) : "-";
        } else {  // pending cleared: continue starts from the list's first item
            expected_after = r.items > 1 ? "b" : "-";
        }
        CHECK(name(after) == expected_after);
    }
    po.shut_down();
    po.set_repeat(false);
}

TEST_CASE("play order: a playback run, the audible item, replacing the list, shut-down") {
    play_order_manager_ext& po = order();
    po.shut_down();
    po.set_repeat(false);

    // An empty list from the start; get_list never answers null.
    item_enumerator_ref list;
    po.get_list(list);
    REQUIRE(list);
    item_cursor_ref c;
    list->first(c);
    CHECK(!c);

    // Start at b: the controller queues b, c, then the list ends.
    track_list t(3);
    po.set_list(t.list.get());
    po.set_current(t.at(1).get());
    item_cursor_ref got;
    CHECK(po.next(play_order_current, got));
    CHECK(name(got) == "b");
    CHECK(po.next(play_order_continue, got));
    CHECK(name(got) == "c");
    CHECK(!po.next(play_order_continue, got));
    CHECK(!got);

    // c becomes audible: next and previous count from it.
    po.set_playing(t.at(2).get());
    po.get_current(c);
    CHECK(name(c) == "c");
    CHECK(po.next(play_order_previous, got));
    CHECK(name(got) == "b");
    CHECK(!po.next(play_order_next, got));  // Next on the last track: nothing (the controller stops)
    po.set_repeat(true);
    CHECK(po.get_repeat());
    CHECK(po.next(play_order_next, got));
    CHECK(name(got) == "a");
    po.set_repeat(false);

    // A new list while playing: current and pending stay on the old one until the user starts again.
    po.set_current(t.at(0).get());
    CHECK(po.next(play_order_current, got));  // pending a (old list)
    track_list other(2, 'x');
    po.set_list(other.list.get());
    CHECK(po.next(play_order_continue, got));
    CHECK(name(got) == "b");
    CHECK(po.next(play_order_next, got));
    CHECK(name(got) == "b");
    po.get_list(list);
    CHECK(list.get() == other.list.get());
    po.set_current(nullptr);
    CHECK(po.next(play_order_current, got));
    CHECK(name(got) == "x");
    po.set_list(nullptr);  // null: an empty list
    po.get_list(list);
    REQUIRE(list);
    list->last(c);
    CHECK(!c);

    // Shut-down: empty list, no current, no pending.
    po.set_list(t.list.get());
    po.set_current(t.at(2).get());
    po.shut_down();
    po.get_current(c);
    CHECK(!c);
    po.get_list(list);
    REQUIRE(list);
    CHECK(list.get() != t.list.get());
    list->first(c);
    CHECK(!c);
    CHECK(!po.next(play_order_continue, got));
    CHECK(!po.next(play_order_current, got));
}

TEST_CASE("track lists: ends, find by identity, fixed cursors, lists kept alive and released") {
    const uint32_t handles_before = track_handle_registry::handle_count();
    {
        track_list t(4);
        SUBCASE("ends and neighbours") {
            item_cursor_ref first, last, c;
            t.list->first(first);
            t.list->last(last);
            CHECK(walk(first) == "abcd");
            CHECK(name(last) == "d");
            last->next(c);
            CHECK(!c);
            first->previous(c);
            CHECK(!c);
            last->previous(c);
            CHECK(name(c) == "c");
            CHECK(name(first) == "a");  // cursors never move
            CHECK(name(last) == "d");
        }
        SUBCASE("find: the plain list and the default walk agree") {
            item_enumerator_ref walking(new walking_list(t.list.get()));
            walking->release();  // the pointer holds the only reference
            const track_handle_ref stranger = handle_of("z");
            for (item_enumerator* list : {t.list.get(), walking.get()}) {
                item_cursor_ref c;
                list->find(c, t.handles[2].get());
                CHECK(walk(c) == "cd");
                list->find(c, t.handles[0].get());
                CHECK(walk(c) == "abcd");
                list->find(c, stranger.get());
                CHECK(!c);
                list->find(c, t.handles[3].get());
                list->find(c, nullptr);
                CHECK(!c);
            }
        }
        SUBCASE("a handle twice: find gives the first one") {
            kpl::ref_array array;
            for (int i : {1, 0, 1}) array.append(t.handles[i].get());
            item_enumerator_ref list = item_enumerator::create(array);
            array.set_count(0);  // the list holds its own copy
            item_cursor_ref c;
            list->find(c, t.handles[1].get());
            CHECK(walk(c) == "bab");
        }
        SUBCASE("a cursor keeps its list alive") {
            item_cursor_ref c;
            {
                track_list inner(2, 'p');
                inner.list->first(c);
            }
            // The list, the track list and its handles are gone from the caller; the cursor still walks.
            CHECK(walk(c) == "pq");
            item_cursor_ref q;
            c->next(q);
            c.release();
            item_cursor_ref p;
            q->previous(p);
            CHECK(name(p) == "p");
        }
        SUBCASE("an empty list") {
            item_enumerator_ref empty = item_enumerator::create_from_list();
            item_cursor_ref c;
            empty->first(c);
            CHECK(!c);
            empty->last(c);
            CHECK(!c);
            empty->find(c, t.handles[0].get());
            CHECK(!c);
        }
    }
    // Every list, cursor and handle reference was given back.
    CHECK(track_handle_registry::handle_count() == handles_before);
}
