// read_ahead: jobs on worker threads taken strictly in order, their failures, jobs passed over, and
// stopping while jobs still run.
#include <doctest/doctest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/tasks/abort_signal.h"
#include "foundation/tasks/critical_section.h"
#include "library/read_ahead.h"

namespace {

// Jobs that write index * 7 into place index % places, count their runs, and fail where asked.
class counting_jobs final : public read_ahead::jobs {
public:
    counting_jobs(uint32_t count, uint32_t places) : runs(count, 0), slots(places, 0) {}

    void run(uint32_t index) override {
        {
            kpl::critical_section_scope lock(m_lock);
            ++runs[index];
            threads.push_back(GetCurrentThreadId());
        }
        if (gate) gate->wait_event(60);  // held "running" until the test opens the gate
        if (index % 5 == 3) throw std::runtime_error("job " + std::to_string(index));
        // A place still in use by the consumer or by another job would show as a wrong value below.
        slots[index % slots.size()] = index * 7;
        Sleep(index % 3);
        if (slots[index % slots.size()] != index * 7) overlapped = true;
    }

    uint32_t started() {
        kpl::critical_section_scope lock(m_lock);
        return static_cast<uint32_t>(threads.size());
    }

    std::vector<uint32_t> runs;
    std::vector<uint32_t> slots;
    std::vector<DWORD> threads;
    volatile bool overlapped = false;
    const abort_signal* gate = nullptr;

private:
    kpl::critical_section m_lock;
};

std::string failure_text(const std::exception_ptr& failure) {
    if (!failure) return "";
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return e.what();
    }
}

}  // namespace

TEST_CASE("read ahead: every job runs once, results come in order, failures stay with their job") {
    struct shape {
        uint32_t workers, window;
    };
    for (const shape s : {shape{0, 4}, shape{1, 1}, shape{3, 4}, shape{4, 32}}) {
        CAPTURE(s.workers);
        CAPTURE(s.window);
        const uint32_t count = 60;
        counting_jobs jobs(count, s.window + 1);
        {
            read_ahead ahead(jobs, count, s.workers, s.window);
            CHECK(ahead.worker_count() == s.workers);
            for (uint32_t i = 0; i < count; ++i) {
                const std::exception_ptr failure = ahead.take(i);
                if (i % 5 == 3) {
                    CHECK(failure_text(failure) == "job " + std::to_string(i));
                } else {
                    CHECK_FALSE(failure);
                    CHECK(jobs.slots[i % jobs.slots.size()] == i * 7);
                }
            }
        }
        CHECK_FALSE(jobs.overlapped);
        CHECK(jobs.runs == std::vector<uint32_t>(count, 1));
        if (s.workers == 0) CHECK(jobs.threads == std::vector<DWORD>(count, GetCurrentThreadId()));
    }
}

TEST_CASE("read ahead: jobs passed over are given up, a job not started runs on the taking thread") {
    const uint32_t count = 20;
    counting_jobs jobs(count, 3);
    kpl::waitable_flag gate;
    jobs.gate = &gate;
    read_ahead ahead(jobs, count, 2, 2);
    gate.set();
    CHECK_FALSE(ahead.take(0));
    CHECK_FALSE(ahead.take(12));
    CHECK(jobs.runs[12] == 1);
    // Within the window of job 0 only jobs 1 and 2 could start.
    for (uint32_t i = 3; i < 12; ++i) CHECK(jobs.runs[i] == 0);
    CHECK(failure_text(ahead.take(13)) == "job 13");
    CHECK_FALSE(ahead.take(19));
    CHECK_THROWS_AS(ahead.take(19), std::out_of_range);
}

TEST_CASE("read ahead: leaving early lets running jobs end and starts no more") {
    const uint32_t count = 100;
    counting_jobs jobs(count, 5);
    kpl::waitable_flag gate;
    jobs.gate = &gate;
    {
        read_ahead ahead(jobs, count, 3, 4);
        // Three jobs running, held at the gate.
        const DWORD start = GetTickCount();
        while (jobs.started() < 3 && GetTickCount() - start < 30000) Sleep(5);
        REQUIRE(jobs.started() == 3);
        // As a monitor stopping: the abort fires, the jobs end with it, the object goes.
        gate.set();
    }
    uint32_t ran = 0;
    for (uint32_t r : jobs.runs) {
        CHECK(r <= 1);
        ran += r;
    }
    CHECK(ran >= 3);
    CHECK(ran <= 4);
}
