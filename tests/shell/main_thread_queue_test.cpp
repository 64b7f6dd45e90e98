// The main-thread queue with the real hidden window: each 1201 wake-up drains what was queued when it
// arrived, callbacks queued by callbacks wait for their own wake-up, foreign 1201 words are ignored.
#include <doctest/doctest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/services/service_base.h"
#include "shell/app_state.h"
#include "shell/hidden_window.h"
#include "shell/main_thread_queue.h"

namespace {

std::vector<std::string> g_ran;
int g_live = 0;

// Logs its name when run; optionally queues a follow-up or throws.
class logging_call final : public service_counted<main_thread_callback> {
public:
    explicit logging_call(std::string name, std::string follow_up = "", bool throws = false)
        : m_name(std::move(name)), m_follow_up(std::move(follow_up)), m_throws(throws) {
        ++g_live;
    }
    ~logging_call() override { --g_live; }

    void run() override {
        g_ran.push_back(m_name);
        if (!m_follow_up.empty()) post(m_follow_up);
        if (m_throws) throw std::runtime_error("callback failed");
    }

    static void post(const std::string& name, const std::string& follow_up = "", bool throws = false) {
        logging_call* call = new logging_call(name, follow_up, throws);
        main_thread_queue::post(call);
        call->release();
    }

private:
    std::string m_name;
    std::string m_follow_up;
    bool m_throws;
};

// Takes one wake-up message of the hidden window off the queue and dispatches it; false when none waits.
bool pump_one_wakeup() {
    MSG msg;
    if (!PeekMessageW(&msg, app_state.hidden_window, main_thread_queue_message, main_thread_queue_message, PM_REMOVE)) {
        return false;
    }
    DispatchMessageW(&msg);
    return true;
}

int pump_all_wakeups() {
    int n = 0;
    while (pump_one_wakeup()) ++n;
    return n;
}

struct hidden_window_fixture {
    hidden_window_fixture() {
        pump_all_wakeups();
        main_thread_queue::drain(true);
        g_ran.clear();
        hidden_window_create();
    }
    ~hidden_window_fixture() {
        main_thread_queue::drain(true);
        hidden_window_destroy();
    }
};

DWORD WINAPI post_two(void*) {
    logging_call::post("w1");
    logging_call::post("w2");
    return 0;
}

}  // namespace

TEST_CASE("queue: callbacks run in order on the main thread, one wake-up per add") {
    hidden_window_fixture fixture;
    REQUIRE(app_state.hidden_window != nullptr);
    for (const char* name : {"a", "b", "c"}) logging_call::post(name);
    CHECK(main_thread_queue::pending() == 3);
    CHECK(g_ran.empty());

    REQUIRE(pump_one_wakeup());
    CHECK(g_ran == std::vector<std::string>{"a", "b", "c"});
    CHECK(pump_all_wakeups() == 2);  // the other two wake-ups find nothing
    CHECK(g_ran.size() == 3);
    CHECK(g_live == 0);
}

TEST_CASE("queue: a callback queued by a running callback runs on the next wake-up, not in the same drain") {
    hidden_window_fixture fixture;
    logging_call::post("first", "second");
    REQUIRE(pump_one_wakeup());
    CHECK(g_ran == std::vector<std::string>{"first"});
    CHECK(main_thread_queue::pending() == 1);
    REQUIRE(pump_one_wakeup());
    CHECK(g_ran == std::vector<std::string>{"first", "second"});
    CHECK_FALSE(pump_one_wakeup());
}

TEST_CASE("queue: two callbacks from a worker before the first wake-up: the first runs both, the second none") {
    hidden_window_fixture fixture;
    HANDLE worker = CreateThread(nullptr, 0, &post_two, nullptr, 0, nullptr);
    REQUIRE(worker != nullptr);
    WaitForSingleObject(worker, 10000);
    CloseHandle(worker);

    REQUIRE(pump_one_wakeup());
    CHECK(g_ran == std::vector<std::string>{"w1", "w2"});
    REQUIRE(pump_one_wakeup());
    CHECK(g_ran.size() == 2);
    CHECK_FALSE(pump_one_wakeup());
}

TEST_CASE("queue: a 1201 message with other words runs nothing and answers 0") {
    hidden_window_fixture fixture;
    logging_call::post("queued");
    pump_all_wakeups();
    g_ran.clear();
    logging_call::post("waiting");
    MSG stale;
    PeekMessageW(&stale, app_state.hidden_window, main_thread_queue_message, main_thread_queue_message, PM_REMOVE);

    const std::pair<WPARAM, LPARAM> words[] = {{0, 0},
                                               {main_thread_queue_wparam, 0},
                                               {0, main_thread_queue_lparam},
                                               {main_thread_queue_lparam, main_thread_queue_wparam}};
    for (const auto& w : words) {
        CHECK(SendMessageW(app_state.hidden_window, main_thread_queue_message, w.first, w.second) == 0);
    }
    CHECK(g_ran.empty());
    CHECK(main_thread_queue::pending() == 1);
    CHECK(SendMessageW(app_state.hidden_window, main_thread_queue_message, main_thread_queue_wparam,
                       main_thread_queue_lparam) == 0);
    CHECK(g_ran == std::vector<std::string>{"waiting"});
}

TEST_CASE("queue: drain with all runs until empty, including callbacks queued meanwhile") {
    hidden_window_fixture fixture;
    logging_call::post("a", "b");
    logging_call::post("c");
    main_thread_queue::drain(true);
    CHECK(g_ran == std::vector<std::string>{"a", "c", "b"});
    CHECK(main_thread_queue::pending() == 0);
    pump_all_wakeups();
    CHECK(g_ran.size() == 3);
}

TEST_CASE("queue: a throwing callback leaves the drain; it is released, the ones behind it stay queued") {
    hidden_window_fixture fixture;
    logging_call::post("boom", "", true);
    logging_call::post("behind");
    CHECK_THROWS_AS(main_thread_queue::drain(false), std::runtime_error);
    CHECK(g_ran == std::vector<std::string>{"boom"});
    CHECK(main_thread_queue::pending() == 1);
    CHECK(g_live == 1);  // only "behind" is still alive
    main_thread_queue::drain(false);
    CHECK(g_ran == std::vector<std::string>{"boom", "behind"});
    CHECK(g_live == 0);
}

TEST_CASE("queue: a callback added while no hidden window exists waits for the first drain") {
    pump_all_wakeups();
    main_thread_queue::drain(true);
    g_ran.clear();
    REQUIRE(app_state.hidden_window == nullptr);
    logging_call::post("early");  // its wake-up goes to no window
    CHECK(g_ran.empty());
    MSG msg;
    while (PeekMessageW(&msg, reinterpret_cast<HWND>(-1), main_thread_queue_message, main_thread_queue_message,
                        PM_REMOVE)) {
        DispatchMessageW(&msg);  // a thread message: reaches no window procedure
    }
    CHECK(g_ran.empty());

    hidden_window_create();
    logging_call::post("later");
    REQUIRE(pump_one_wakeup());
    CHECK(g_ran == std::vector<std::string>{"early", "later"});
    main_thread_queue::drain(true);
    hidden_window_destroy();
    CHECK(app_state.hidden_window == nullptr);
}
