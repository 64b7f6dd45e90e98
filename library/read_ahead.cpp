#include "library/read_ahead.h"

#include <new>
#include <stdexcept>

namespace {

constexpr uint32_t yield_tries = 64;

}  // namespace

read_ahead::read_ahead(jobs& work, uint32_t count, uint32_t workers, uint32_t window)
    : m_jobs(work), m_count(count), m_window(window ? window : 1), m_state(count, job_waiting), m_failures(count) {
    m_progress.create();
    m_room.create();
    if (workers > count) workers = count;
    const int priority = GetThreadPriority(GetCurrentThread());
    try {
        for (uint32_t t = 0; t < workers; ++t) {
            std::unique_ptr<worker> made(new worker(*this));
            made->start(priority == THREAD_PRIORITY_ERROR_RETURN ? THREAD_PRIORITY_NORMAL : priority);
            m_workers.push_back(std::move(made));
        }
    } catch (const kpl::thread::exception_creation&) {
        // Fewer workers; with none, take runs every job itself.
    } catch (const std::bad_alloc&) {
    }
}

read_ahead::~read_ahead() {
    {
        kpl::critical_section_scope lock(m_lock);
        m_stopping = true;
        m_room.set();
    }
    m_workers.clear();  // each joins its thread; a running job ends first
}

bool read_ahead::next_job(uint32_t& index) {
    if (m_stopping || m_next >= m_count || m_next - m_taken >= m_window) return false;
    index = m_next++;
    m_state[index] = job_running;
    return true;
}

void read_ahead::run_job(uint32_t index) {
    try {
        m_jobs.run(index);
    } catch (...) {
        m_failures[index] = std::current_exception();
    }
}

// Under Wine every event operation is a round trip to the server, about what opening a file costs: events
// are set only for a thread that waits, and waiting workers are woken once a good part of the window is
// free rather than for every job taken.
void read_ahead::work() {
    for (;;) {
        uint32_t index = 0;
        {
            kpl::critical_section_scope lock(m_lock);
            if (m_stopping || m_next >= m_count) return;
            if (!next_job(index)) {
                // Cleared under the lock before waiting: a take that makes room afterwards sets it again.
                ++m_workers_waiting;
                m_room.reset();
                index = m_count;
            }
        }
        if (index == m_count) {
            win32_event::wait_for(m_room.get(), -1);
            kpl::critical_section_scope lock(m_lock);
            --m_workers_waiting;
            continue;
        }
        run_job(index);
        kpl::critical_section_scope lock(m_lock);
        m_state[index] = job_done;
        if (m_consumer_waiting && index <= m_wanted) m_progress.set();
    }
}

std::exception_ptr read_ahead::take(uint32_t index) {
    bool inline_run = false;
    uint32_t first;
    {
        kpl::critical_section_scope lock(m_lock);
        if (index >= m_count || index < m_taken) throw std::out_of_range("read_ahead::take");
        first = m_taken;
        // Jobs passed over are given up: those not started never will be.
        if (m_next <= index) {
            m_next = index + 1;
            m_state[index] = job_running;
            inline_run = true;
        }
    }
    if (inline_run) {
        run_job(index);
        kpl::critical_section_scope lock(m_lock);
        m_state[index] = job_done;
    }
    // Every job started up to `index` ends before the window moves on, so no job still runs whose
    // place a later job could take.
    for (uint32_t tries = 0;; ++tries) {
        {
            kpl::critical_section_scope lock(m_lock);
            m_consumer_waiting = false;
            uint32_t j = first;
            while (j <= index && m_state[j] != job_running) ++j;
            if (j > index) {
                m_taken = index + 1;
                const uint32_t started_ahead = m_next > m_taken ? m_next - m_taken : 0;
                if (m_workers_waiting && m_next < m_count && m_window - started_ahead >= (m_window + 1) / 2)
                    m_room.set();
                break;
            }
            if (tries < yield_tries) {
                // The job is usually about to end: giving up the processor a few times costs less than an
                // event's round trips.
                m_consumer_waiting = false;
            } else {
                m_consumer_waiting = true;
                m_wanted = index;
                m_progress.reset();
            }
        }
        if (tries < yield_tries)
            SwitchToThread();
        else
            win32_event::wait_for(m_progress.get(), -1);
    }
    std::exception_ptr failure;
    failure.swap(m_failures[index]);
    for (uint32_t j = first; j < index; ++j) m_failures[j] = nullptr;
    return failure;
}
