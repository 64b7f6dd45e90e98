#pragma once
// read_ahead: runs a numbered list of jobs on a few worker threads, a bounded distance ahead of one
// consumer that takes their results strictly in order. The directory monitor reads queued files this way:
// opening files is slow, applying what was read is quick and must happen in the pending order.
//
//     class my_jobs : public read_ahead::jobs {
//         void run(uint32_t index) override { ... }   // on a worker; an exception is kept for the consumer
//     } jobs;
//     read_ahead ahead(jobs, count, 3, 32);             // three workers, at most 32 jobs ahead
//     for (uint32_t i = 0; i < count; ++i) {
//         if (std::exception_ptr e = ahead.take(i)) ...   // waits until job i ran; its failure, if any
//         ...                                            // use job i's result
//     }
//                                                        // the destructor stops and joins the workers
//
// Workers start jobs in index order. take(i) also gives up every job before i that was not taken (they
// are never run if not started yet) and returns once every job started up to i has ended. A job starts
// only while it is fewer than `window` places past the last job taken, so jobs i and i + window + 1 are
// never alive together: results may live in window + 1 places reused in turn. A consumer may stop early:
// the destructor lets running jobs end and starts no more. Threads run at the priority of the thread
// that makes the object.

#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "foundation/tasks/critical_section.h"
#include "foundation/tasks/thread.h"
#include "foundation/tasks/win32_event.h"

class read_ahead {
public:
    class jobs {
    public:
        // Runs job `index`; called once per job, on a worker thread, for several jobs at the same time.
        virtual void run(uint32_t index) = 0;

    protected:
        ~jobs() = default;
    };

    // Starts `workers` threads (at least one; fewer when the system refuses more) for jobs 0 .. count-1,
    // at most `window` jobs (at least one) started beyond the last one taken.
    read_ahead(jobs& work, uint32_t count, uint32_t workers, uint32_t window);
    ~read_ahead();
    read_ahead(const read_ahead&) = delete;
    read_ahead& operator=(const read_ahead&) = delete;

    // Waits until job `index` has run and answers its failure (null when it ran through). Indexes must grow
    // from call to call. A job not started yet is run on the calling thread.
    std::exception_ptr take(uint32_t index);

    uint32_t worker_count() const { return static_cast<uint32_t>(m_workers.size()); }

private:
    class worker final : public kpl::thread {
    public:
        explicit worker(read_ahead& owner) : m_owner(owner) {}
        ~worker() override { wait_and_close(); }

    private:
        void body() override { m_owner.work(); }
        read_ahead& m_owner;
    };

    enum : uint8_t { job_waiting = 0, job_running = 1, job_done = 2 };

    void work();
    // The next job a worker may start, or false when there is none (or the window is full).
    bool next_job(uint32_t& index);
    void run_job(uint32_t index);

    jobs& m_jobs;
    const uint32_t m_count;
    const uint32_t m_window;
    kpl::critical_section m_lock;
    std::vector<uint8_t> m_state;
    std::vector<std::exception_ptr> m_failures;
    uint32_t m_next = 0;      // the next job to start (under the lock)
    uint32_t m_taken = 0;     // every job below this one is taken or given up (under the lock)
    bool m_stopping = false;  // under the lock
    uint32_t m_workers_waiting = 0;  // workers waiting for room (under the lock)
    bool m_consumer_waiting = false;  // take waits for jobs up to m_wanted (under the lock)
    uint32_t m_wanted = 0;
    win32_event m_progress;   // a job the consumer waits for ended
    win32_event m_room;       // the window moved on for waiting workers, or the object is stopping
    std::vector<std::unique_ptr<worker>> m_workers;
};
