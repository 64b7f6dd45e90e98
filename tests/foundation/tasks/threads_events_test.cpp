// Events, waits, abort signals, threads and the tick timer.
#include <doctest/doctest.h>

#include <windows.h>

#include <cstring>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/tasks/abort_signal.h"
#include "foundation/tasks/thread.h"
#include "foundation/tasks/tick_timer.h"
#include "foundation/tasks/win32_event.h"

namespace {

double seconds_since(LARGE_INTEGER start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

LARGE_INTEGER now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

// Sets an abort signal from another thread after a delay.
class delayed_setter : public kpl::thread {
public:
    delayed_setter(kpl::waitable_flag& flag, DWORD delay_ms) : m_flag(flag), m_delay(delay_ms) {}
    ~delayed_setter() { wait_and_close(); }

private:
    void body() override {
        Sleep(m_delay);
        m_flag.set();
    }
    kpl::waitable_flag& m_flag;
    DWORD m_delay;
};

}  // namespace

TEST_CASE("win32_event time-outs: rounded milliseconds, at least 1, negative waits for ever") {
    struct {
        double seconds;
        DWORD ms;
    } const cases[] = {
        {0.0, 0},        {0.0001, 1}, {0.0004, 1},  {0.0015, 2},          {0.01, 10},
        {1.2344, 1234},  {-1.0, INFINITE},          {-0.0001, INFINITE},  {1e12, INFINITE - 1},
    };
    for (const auto& c : cases) {
        CAPTURE(c.seconds);
        CHECK(win32_event::timeout_ms(c.seconds) == c.ms);
    }
}

TEST_CASE("win32_event waits: signalled, timed out, failed and abandoned") {
    win32_event event;
    event.create();
    CHECK(event.is_valid());
    CHECK_FALSE(event.wait(0));

    LARGE_INTEGER start = now();
    CHECK_FALSE(event.wait(0.05));
    CHECK(seconds_since(start) >= 0.04);

    event.set();
    CHECK(event.wait(0));
    CHECK(event.wait(-1));  // signalled: no time-out needed
    event.reset();
    CHECK_FALSE(event.wait(0));

    // create() on a held event replaces it with a fresh, unsignalled one.
    event.set();
    event.create();
    CHECK_FALSE(event.wait(0));
    event.close();
    CHECK_FALSE(event.is_valid());

    SUBCASE("a failed wait reports the system error") {
        CHECK_THROWS_AS(win32_event::wait_for(nullptr, 0), exception_win32);
    }
    SUBCASE("an abandoned wait is a broken invariant") {
        struct owner_thread : kpl::thread {
            HANDLE mutex = nullptr;
            void body() override { WaitForSingleObject(mutex, INFINITE); }  // ends while owning it
            ~owner_thread() { wait_and_close(); }
        } owner;
        owner.mutex = CreateMutexW(nullptr, FALSE, nullptr);
        owner.start();
        owner.wait_and_close();
        CHECK_THROWS_AS(win32_event::wait_for(owner.mutex, 1), kpl::exception_bug_check);
        CloseHandle(owner.mutex);
    }
}

TEST_CASE("abort signals: check, sleep and wait_event") {
    kpl::waitable_flag flag;
    CHECK_FALSE(flag.is_set());
    CHECK_FALSE(flag.is_aborting());
    CHECK(flag.get_event() == flag.get_abort_event());
    CHECK(WaitForSingleObject(flag.get_event(), 0) == WAIT_TIMEOUT);
    CHECK_NOTHROW(flag.check());

    SUBCASE("an unset signal sleeps the whole time") {
        LARGE_INTEGER start = now();
        CHECK_NOTHROW(flag.sleep(0.01));
        const double slept = seconds_since(start);
        CHECK(slept >= 0.008);
        CHECK(slept < 0.5);
        start = now();
        CHECK(flag.wait_event(0.02));  // true: the time ran out
        CHECK(seconds_since(start) >= 0.015);
    }
    SUBCASE("a set signal throws at once, with the user-abort text") {
        flag.set();
        CHECK(flag.is_set());
        CHECK(WaitForSingleObject(flag.get_event(), 0) == WAIT_OBJECT_0);
        LARGE_INTEGER start = now();
        CHECK_THROWS_AS(flag.sleep(10.0), ketrel_io::exception_aborted);
        CHECK(seconds_since(start) < 0.5);
        try {
            flag.check();
            FAIL("check did not throw");
        } catch (const ketrel_io::exception_aborted& e) {
            CHECK(std::strcmp(e.what(), "User abort") == 0);
        }
        CHECK_FALSE(flag.wait_event(10.0));  // false: the signal fired

        flag.reset();
        CHECK_FALSE(flag.is_set());
        CHECK(WaitForSingleObject(flag.get_event(), 0) == WAIT_TIMEOUT);
        CHECK_NOTHROW(flag.check());
    }
    SUBCASE("setting the signal from another thread ends a long sleep at once") {
        delayed_setter setter(flag, 50);
        setter.start();
        LARGE_INTEGER start = now();
        CHECK_THROWS_AS(flag.sleep(30.0), ketrel_io::exception_aborted);
        const double slept = seconds_since(start);
        CHECK(slept >= 0.03);
        CHECK(slept < 5.0);
    }
    SUBCASE("the cancel is not an I/O error") {
        flag.set();
        bool caught_as_io = false, caught_as_abort = false;
        try {
            try {
                flag.check();
            } catch (const ketrel_io::exception_io&) {
                caught_as_io = true;
            }
        } catch (const ketrel_io::exception_aborted&) {
            caught_as_abort = true;
        }
        CHECK_FALSE(caught_as_io);
        CHECK(caught_as_abort);
    }
}

TEST_CASE("abort_never is never set and its event never fires") {
    CHECK_FALSE(abort_never.is_set());
    CHECK_NOTHROW(abort_never.check());
    HANDLE event = abort_never.get_event();
    CHECK(event != nullptr);
    CHECK(abort_never.get_event() == event);  // one event for the whole process
    CHECK(WaitForSingleObject(event, 0) == WAIT_TIMEOUT);
    LARGE_INTEGER start = now();
    CHECK_NOTHROW(abort_never.sleep(0.01));
    CHECK(seconds_since(start) >= 0.008);
    CHECK(abort_never.wait_event(0));
}

namespace {

class recording_thread : public kpl::thread {
public:
    ~recording_thread() { wait_and_close(); }
    volatile LONG runs = 0;
    volatile LONG overlap = 0;  // a run that began while another was still going
    DWORD delay_ms = 0;
    bool throw_at_end = false;

private:
    void body() override {
        static volatile LONG running = 0;
        if (InterlockedIncrement(&running) != 1) InterlockedIncrement(&overlap);
        Sleep(delay_ms);
        InterlockedIncrement(&runs);
        InterlockedDecrement(&running);
        if (throw_at_end) throw kpl::exception_bug_check();
    }
};

}  // namespace

TEST_CASE("kpl::thread runs its body, joins, and restarts only after the previous run ended") {
    recording_thread t;
    CHECK_FALSE(t.is_started());
    t.wait_and_close();  // nothing to wait for

    t.delay_ms = 100;
    t.start(THREAD_PRIORITY_BELOW_NORMAL);
    CHECK(t.is_started());
    t.start();  // waits for the first run before the second begins
    t.wait_and_close();
    CHECK_FALSE(t.is_started());
    CHECK(t.runs == 2);
    CHECK(t.overlap == 0);

    SUBCASE("an exception escaping the body ends the thread quietly") {
        t.delay_ms = 0;
        t.throw_at_end = true;
        t.start();
        HANDLE handle = t.handle();
        WaitForSingleObject(handle, INFINITE);
        DWORD exit_code = 1;
        CHECK(GetExitCodeThread(handle, &exit_code));
        CHECK(exit_code == 0);
        t.wait_and_close();
        CHECK(t.runs == 3);
    }
}

TEST_CASE("tick_timer counts seconds across the 32-bit tick wrap-around") {
    struct step {
        uint32_t tick;
        double seconds;
    };
    struct {
        const char* name;
        uint32_t start;
        step steps[3];
    } const cases[] = {
        {"plain", 1000, {{1000, 0.0}, {1500, 0.5}, {61000, 60.0}}},
        {"wrap between readings", 0xFFFFFF00u, {{0xFFFFFFF0u, 0.24}, {0x10, 0.272}, {0x1010, 4.368}}},
        {"wrap right at start", 0xFFFFFFFFu, {{0xFFFFFFFFu, 0.0}, {0, 0.001}, {999, 1.0}}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.name);
        tick_timer timer;
        timer.start(c.start);
        double previous = -1;
        for (const step& s : c.steps) {
            const double seconds = timer.query_seconds(s.tick);
            CHECK(seconds == doctest::Approx(s.seconds));
            CHECK(seconds >= previous);
            previous = seconds;
        }
    }

    // The live timer follows the system tick. Under Wine the tick is published by the server and may lag a
    // loaded machine's clock by a few milliseconds, so wait (briefly) until it has moved on.
    tick_timer live;
    live.start();
    double elapsed = 0;
    for (int i = 0; i < 100 && elapsed < 0.01; ++i) {
        Sleep(20);
        elapsed = live.query_seconds();
    }
    CHECK(elapsed >= 0.01);
    CHECK(elapsed < 5.0);
}
