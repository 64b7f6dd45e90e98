// Main-thread timers: boundaries of the wall clock, the immediate first report, replacement of a period,
// removal during a walk, the thread timer's life, and real ticks on the message loop.
#include <doctest/doctest.h>

#include <windows.h>

#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/tasks/main_thread_timer.h"
#include "tests/support/gui_support.h"

namespace {

constexpr uint64_t second = 10000000;
constexpr uint64_t minute = 60 * second;
// 2024-01-01 12:00:00 UTC as a FILETIME.
constexpr uint64_t noon = 133485264000000000ull;

struct recorder : main_thread_timer_callback {
    std::vector<uint64_t> boundaries;
    main_thread_timer_table* table = nullptr;
    main_thread_timer_callback* remove_on_call = nullptr;
    void on_timer(uint64_t boundary) override {
        boundaries.push_back(boundary);
        if (table && remove_on_call) table->remove(remove_on_call);
    }
};

}  // namespace

TEST_CASE("a one-minute timer reports the minute at once, then once after each full minute") {
    main_thread_timer_table table;
    recorder r;
    table.add(&r, minute, noon + 30 * second);  // 12:00:30
    CHECK(r.boundaries == std::vector<uint64_t>{noon});
    table.dispatch(noon + 59 * second);
    CHECK(r.boundaries.size() == 1);
    table.dispatch(noon + minute + 3 * second / 10);  // 12:01:00.3
    CHECK(r.boundaries == std::vector<uint64_t>{noon, noon + minute});
    table.dispatch(noon + minute + 8 * second / 10);
    CHECK(r.boundaries.size() == 2);
    // Busy for several periods: only the latest boundary.
    table.dispatch(noon + 5 * minute + second);
    CHECK(r.boundaries.back() == noon + 5 * minute);
    CHECK(r.boundaries.size() == 3);
}

TEST_CASE("timer periods: one second is the least; adding again replaces the period") {
    main_thread_timer_table table;
    recorder r;
    CHECK_THROWS_AS(table.add(&r, second - 1, noon), kpl::exception_invalid_params);
    CHECK(table.count() == 0);
    table.add(&r, second, noon);
    table.add(&r, minute, noon + 10 * second);
    CHECK(table.count() == 1);
    CHECK(r.boundaries == std::vector<uint64_t>{noon, noon});
    table.dispatch(noon + 30 * second);  // a one-second period would have fired
    CHECK(r.boundaries.size() == 2);
}

TEST_CASE("a callback may remove another one during a walk; the removed one is not called") {
    main_thread_timer_table table;
    recorder a, b;
    table.add(&a, second, noon);
    table.add(&b, second, noon);
    recorder& first = &a < &b ? a : b;
    recorder& second_one = &a < &b ? b : a;
    first.table = &table;
    first.remove_on_call = &second_one;
    const size_t before = second_one.boundaries.size();
    table.dispatch(noon + 2 * second);
    CHECK(first.boundaries.size() == 2);
    CHECK(second_one.boundaries.size() == before);
    CHECK(table.count() == 1);
}

TEST_CASE("the timer service fires on the message loop and keeps its thread timer only while needed") {
    gui_test::registry_scope registry;
    service_ptr<main_thread_timer_service> timers;
    service_class::get_single(timers);
    recorder a, b;
    timers->add_timer(&a, second);
    REQUIRE(a.boundaries.size() == 1);
    CHECK(a.boundaries[0] % second == 0);
    timers->add_timer(&b, minute);
    CHECK(gui_test::pump_until([&] { return a.boundaries.size() >= 3; }, 5.0));
    for (size_t i = 1; i < a.boundaries.size(); ++i) CHECK(a.boundaries[i] == a.boundaries[i - 1] + second);
    CHECK(timers->remove_timer(&a) == 1);      // one left
    CHECK(timers->remove_timer(&a) == 1);      // unknown: the number left
    CHECK(timers->remove_timer(&b) != 0);      // the last: KillTimer's result
    CHECK(timers->remove_timer(&b) == 0);      // no timer runs
    const size_t fired = a.boundaries.size();
    gui_test::pump_for(1.2);
    CHECK(a.boundaries.size() == fired);
}
