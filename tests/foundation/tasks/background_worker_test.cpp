// Background workers: results come back to the main thread, aborted runs never report.
#include <doctest/doctest.h>

#include <windows.h>

#include <vector>

#include "foundation/kpl/exceptions.h"
#include "foundation/tasks/background_worker.h"
#include "foundation/tasks/win32_event.h"
#include "shell/main_thread_queue.h"

namespace {

// Runs queued main-thread calls until the condition holds or the time is up.
template <class Condition>
bool pump_until(Condition done, double seconds = 5.0) {
    const DWORD limit = GetTickCount() + DWORD(seconds * 1000);
    while (!done()) {
        main_thread_queue::drain(true);
        if (done()) break;
        if (int(GetTickCount() - limit) > 0) return false;
        Sleep(1);
    }
    return true;
}

class test_worker : public background_worker {
public:
    ~test_worker() override { abort(); }

    // What the next run does.
    int32_t result = 7;
    bool throw_in_run = false;
    bool wait_for_abort = false;
    DWORD delay_ms = 0;

    std::vector<int32_t> done_codes;
    volatile LONG runs_started = 0, runs_finished = 0, overlapping = 0;
    win32_event started;

    test_worker() { started.create(); }

private:
    int32_t run(const abort_signal& abort) override {
        static volatile LONG active = 0;
        if (InterlockedIncrement(&active) != 1) InterlockedIncrement(&overlapping);
        InterlockedIncrement(&runs_started);
        started.set();
        struct leave {
            test_worker* self;
            ~leave() {
                InterlockedIncrement(&self->runs_finished);
                InterlockedDecrement(&active);
            }
        } on_exit{this};
        if (delay_ms) Sleep(delay_ms);
        if (wait_for_abort) win32_event::wait_for(abort.get_event(), 30.0);
        if (throw_in_run) throw kpl::exception_bug_check();
        return result;
    }
    void on_done(int32_t code) override { done_codes.push_back(code); }
};

}  // namespace

TEST_CASE("a background worker's result reaches on_done on the main thread") {
    main_thread_queue::drain(true);
    test_worker worker;
    worker.start();
    CHECK(worker.is_running());
    CHECK(pump_until([&] { return !worker.done_codes.empty(); }));
    CHECK(worker.done_codes == std::vector<int32_t>{7});
    CHECK_FALSE(worker.is_running());

    SUBCASE("an exception in run gives -1") {
        worker.throw_in_run = true;
        worker.start();
        CHECK(pump_until([&] { return worker.done_codes.size() == 2; }));
        CHECK(worker.done_codes.back() == -1);
    }
    SUBCASE("the default run answers 0") {
        struct plain : background_worker {
            std::vector<int32_t> codes;
            void on_done(int32_t code) override { codes.push_back(code); }
            ~plain() override { abort(); }
        } p;
        p.start();
        CHECK(pump_until([&] { return !p.codes.empty(); }));
        CHECK(p.codes == std::vector<int32_t>{0});
    }
}

TEST_CASE("an aborted background worker never reaches on_done") {
    main_thread_queue::drain(true);
    test_worker worker;
    worker.wait_for_abort = true;
    worker.start();
    REQUIRE(worker.started.wait(5.0));
    worker.abort();  // returns once the worker thread has ended
    CHECK_FALSE(worker.is_running());
    CHECK(worker.runs_finished == 1);
    main_thread_queue::drain(true);
    Sleep(20);
    main_thread_queue::drain(true);
    CHECK(worker.done_codes.empty());

    SUBCASE("a result already queued when abort comes is dropped") {
        worker.wait_for_abort = false;
        worker.result = 3;
        worker.start();
        // Wait until the run's result is queued, then abort before the queue runs.
        const DWORD start = GetTickCount();
        while (main_thread_queue::pending() == 0 && GetTickCount() - start < 5000) Sleep(1);
        REQUIRE(main_thread_queue::pending() >= 1);
        worker.abort();
        main_thread_queue::drain(true);
        CHECK(worker.done_codes.empty());
    }
}

TEST_CASE("starting twice runs the second run only after the first ended, and reports once") {
    main_thread_queue::drain(true);
    test_worker worker;
    worker.delay_ms = 50;
    worker.result = 1;
    worker.start();
    REQUIRE(worker.started.wait(5.0));
    worker.result = 2;
    worker.start();  // aborts and joins the first run
    CHECK(worker.runs_finished >= 1);
    CHECK(pump_until([&] { return !worker.done_codes.empty(); }));
    Sleep(20);
    main_thread_queue::drain(true);
    CHECK(worker.overlapping == 0);
    CHECK(worker.runs_started == 2);
    CHECK(worker.done_codes == std::vector<int32_t>{2});  // the first run's result never arrives
}

TEST_CASE("posted calls reach a notifier on the main thread, not after it was detached") {
    main_thread_queue::drain(true);
    struct owner : notifier_owner {
        std::vector<int32_t> codes;
        void on_notify(int, int32_t code) override { codes.push_back(code); }
    } o;
    service_ref n = o.create_notifier(0);
    main_thread_post_call(n.as<result_notifier>(), 11);
    main_thread_post_call(nullptr, 12);  // posts nothing
    CHECK(o.codes.empty());             // nothing runs before the main thread drains
    main_thread_queue::drain(true);
    CHECK(o.codes == std::vector<int32_t>{11});
    main_thread_post_call(n.as<result_notifier>(), 13);
    o.detach_all();
    main_thread_queue::drain(true);
    CHECK(o.codes == std::vector<int32_t>{11});
}
