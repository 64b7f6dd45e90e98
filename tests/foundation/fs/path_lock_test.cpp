// Path locks between threads of one process: writers first, readers share, aborts leave no one stuck.
#include <doctest/doctest.h>

#include <windows.h>

#include <memory>
#include <vector>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/fs/path_lock.h"
#include "foundation/tasks/abort_signal.h"
#include "foundation/tasks/thread.h"
#include "foundation/tasks/win32_event.h"

namespace {

const unsigned shared = path_lock_manager::mode_shared;
const unsigned exclusive = path_lock_manager::mode_exclusive;

// One request on a thread of its own: acquires, reports, holds until told to let go.
class requester : public kpl::thread {
public:
    enum outcome_kind : LONG { pending, granted, aborted, failed };

    requester(const char* key, unsigned mode) : m_key(key), m_mode(mode) {
        m_done.create();
        m_let_go.create();
        start();
    }
    ~requester() {
        m_abort.set();
        m_let_go.set();
        wait_and_close();
    }

    // True once the request was granted, waiting up to the given seconds for it.
    bool is_granted_within(double seconds) { return m_done.wait(seconds) && m_outcome == granted; }
    // True when the request is still waiting after the given seconds.
    bool still_waiting_after(double seconds) { return !m_done.wait(seconds); }
    outcome_kind outcome_within(double seconds) {
        m_done.wait(seconds);
        return outcome_kind(m_outcome);
    }
    bool is_contended() { return m_lock.as<path_lock>()->is_contended(); }
    void abort_request() { m_abort.set(); }
    // Lets go of a granted lock and waits until it is released. (A request still waiting, which only a
    // failing test leaves behind, is given up instead of waited for.)
    void let_go() {
        m_let_go.set();
        m_abort.set();
        wait_and_close();
    }

private:
    void body() override {
        try {
            path_lock_manager::instance().acquire(m_lock, m_key, m_mode, m_abort);
            m_outcome = granted;
        } catch (const ketrel_io::exception_aborted&) {
            m_outcome = aborted;
        } catch (...) {
            m_outcome = failed;
        }
        m_done.set();
        m_let_go.wait(-1);
        m_lock.release();
    }

    const char* m_key;
    unsigned m_mode;
    kpl::waitable_flag m_abort;
    win32_event m_done, m_let_go;
    service_ref m_lock;
    volatile LONG m_outcome = pending;
};

const double soon = 5.0;      // something that must happen does so well within this
const double a_while = 0.15;  // something that must not happen has not happened after this

// True once exactly `count` requests wait on the key. A requester's thread may take a while to queue its
// request on a loaded machine; a test that releases before then would see another order.
bool queued(const char* key, size_t count) {
    const DWORD start = GetTickCount();
    while (path_lock_manager::waiting_count(key) != count) {
        if (GetTickCount() - start > DWORD(soon * 1000)) return false;
        Sleep(1);
    }
    return true;
}

}  // namespace

TEST_CASE("readers share a key; a writer waits for all of them") {
    requester reader1("file://C:\\a.flac", shared), reader2("file://C:\\a.flac", shared);
    CHECK(reader1.is_granted_within(soon));
    CHECK(reader2.is_granted_within(soon));
    CHECK_FALSE(reader1.is_contended());

    requester writer("file://C:\\a.flac", exclusive);
    REQUIRE(queued("file://C:\\a.flac", 1));
    CHECK(writer.still_waiting_after(a_while));
    CHECK(reader1.is_contended());  // a writer waits for this lock to go
    reader1.let_go();
    CHECK(writer.still_waiting_after(a_while));
    reader2.let_go();
    CHECK(writer.is_granted_within(soon));
    CHECK_FALSE(writer.is_contended());
}

TEST_CASE("writers come first: new readers queue behind a waiting writer") {
    requester holder("k", shared);
    REQUIRE(holder.is_granted_within(soon));
    requester writer("k", exclusive);
    REQUIRE(queued("k", 1));
    REQUIRE(writer.still_waiting_after(a_while));
    requester late_reader("k", shared);
    REQUIRE(queued("k", 2));
    CHECK(late_reader.still_waiting_after(a_while));  // even though only readers hold the key
    CHECK(holder.is_contended());

    holder.let_go();
    CHECK(writer.is_granted_within(soon));
    CHECK(late_reader.still_waiting_after(a_while));
    CHECK(writer.is_contended());  // a writer's lock is contended by waiting readers too

    SUBCASE("when the writer leaves, the next writer goes before the queued readers") {
        requester second_writer("k", exclusive);
        REQUIRE(queued("k", 2));
        REQUIRE(second_writer.still_waiting_after(a_while));
        writer.let_go();
        CHECK(second_writer.is_granted_within(soon));
        CHECK(late_reader.still_waiting_after(a_while));
        second_writer.let_go();
        CHECK(late_reader.is_granted_within(soon));
    }
    SUBCASE("when the writer leaves, the queued readers all go") {
        requester another_reader("k", shared);
        REQUIRE(queued("k", 2));
        writer.let_go();
        CHECK(late_reader.is_granted_within(soon));
        CHECK(another_reader.is_granted_within(soon));
    }
}

TEST_CASE("a writer that gives up lets the readers queued behind it in at once") {
    requester holder("key", shared);
    REQUIRE(holder.is_granted_within(soon));
    requester writer("key", exclusive);
    REQUIRE(queued("key", 1));
    REQUIRE(writer.still_waiting_after(a_while));
    requester queued1("key", shared), queued2("key", shared);
    REQUIRE(queued("key", 3));
    REQUIRE(queued1.still_waiting_after(a_while));

    writer.abort_request();
    CHECK(writer.outcome_within(soon) == requester::aborted);
    // The reader still holds its lock: nobody releases anything, yet the queue moves.
    CHECK(queued1.is_granted_within(soon));
    CHECK(queued2.is_granted_within(soon));
    CHECK_FALSE(holder.is_contended());

    // A later writer is served normally once all readers have gone.
    requester writer2("key", exclusive);
    CHECK(writer2.still_waiting_after(a_while));
    holder.let_go();
    queued1.let_go();
    CHECK(writer2.still_waiting_after(a_while));
    queued2.let_go();
    CHECK(writer2.is_granted_within(soon));
}

TEST_CASE("an aborted request leaves no trace; the next release grants the others") {
    requester writer("x", exclusive);
    REQUIRE(writer.is_granted_within(soon));
    requester reader_that_gives_up("x", shared), patient_reader("x", shared);
    requester second_writer("x", exclusive);
    REQUIRE(queued("x", 3));
    REQUIRE(patient_reader.still_waiting_after(a_while));

    reader_that_gives_up.abort_request();
    CHECK(reader_that_gives_up.outcome_within(soon) == requester::aborted);
    CHECK(writer.is_contended());  // the second writer still waits

    writer.let_go();
    CHECK(second_writer.is_granted_within(soon));
    second_writer.let_go();
    CHECK(patient_reader.is_granted_within(soon));
    CHECK_FALSE(patient_reader.is_contended());
}

TEST_CASE("a request with its signal already set throws before it takes anything") {
    kpl::waitable_flag abort;
    abort.set();
    service_ref lock;
    CHECK_THROWS_AS(path_lock_manager::acquire_exclusive(lock, "free key", abort), ketrel_io::exception_aborted);
    CHECK_FALSE(lock);
    // The key is untouched: a writer gets it at once.
    path_lock_manager::acquire_exclusive(lock, "free key", abort_never);
    CHECK(lock);
    CHECK_FALSE(lock.as<path_lock>()->is_contended());
}

TEST_CASE("keys are compared byte by byte: letter case makes another lock") {
    service_ref upper, lower;
    path_lock_manager::acquire_exclusive(upper, "file://C:\\Music\\A.flac", abort_never);
    requester other_case("file://C:\\Music\\a.flac", exclusive);
    CHECK(other_case.is_granted_within(soon));
    requester same("file://C:\\Music\\A.flac", shared);
    CHECK(same.still_waiting_after(a_while));
    upper.release();
    CHECK(same.is_granted_within(soon));
}

TEST_CASE("the manager answers its class and hands out locks that answer theirs") {
    path_lock_manager& manager = path_lock_manager::instance();
    CHECK(manager.add_ref() == 1);
    CHECK(manager.release() == 1);
    service_ref self, none;
    CHECK(manager.query(self, path_lock_manager::class_guid));
    CHECK(self.get() == &manager);
    CHECK_FALSE(manager.query(none, path_lock::class_guid));

    service_ref lock, again;
    path_lock_manager::acquire_shared(lock, "q", abort_never);
    CHECK(lock->query(again, path_lock::class_guid));
    CHECK(again.get() == lock.get());
    // The lock is held until the last reference goes.
    lock.release();
    requester writer("q", exclusive);
    CHECK(writer.still_waiting_after(a_while));
    again.release();
    CHECK(writer.is_granted_within(soon));
}

namespace {

// Many threads taking and releasing locks on a few keys at random, some giving up half-way; the holder
// counts they keep must never show a writer beside anyone else.
struct shared_counts {
    volatile LONG writers[3] = {};
    volatile LONG readers[3] = {};
    volatile LONG violations = 0;
};

class stress_worker : public kpl::thread {
public:
    stress_worker(shared_counts& counts, const abort_signal& pulse, unsigned start)
        : m_counts(counts), m_pulse(pulse), m_state(start) {}
    ~stress_worker() { wait_and_close(); }
    volatile LONG acquired = 0, aborted = 0, failed = 0;

private:
    unsigned next() {
        m_state = m_state * 1103515245u + 12345u;
        return m_state >> 16;
    }
    void body() override {
        static const char* const keys[3] = {"a", "b", "c"};
        for (int i = 0; i < 150; ++i) {
            const unsigned k = next() % 3;
            const bool write = next() % 4 == 0;
            // A quarter of the requests listen to a signal that another thread sets now and then, so some
            // give up before they start and some while they wait.
            const abort_signal& abort = next() % 4 == 0 ? m_pulse : static_cast<const abort_signal&>(abort_never);
            service_ref lock;
            try {
                path_lock_manager::instance().acquire(lock, keys[k], write ? 1 : 0, abort);
            } catch (const ketrel_io::exception_aborted&) {
                ++aborted;
                continue;
            } catch (...) {
                ++failed;
                continue;
            }
            ++acquired;
            if (write) {
                if (InterlockedIncrement(&m_counts.writers[k]) != 1 || m_counts.readers[k] != 0)
                    InterlockedIncrement(&m_counts.violations);
            } else {
                InterlockedIncrement(&m_counts.readers[k]);
                if (m_counts.writers[k] != 0) InterlockedIncrement(&m_counts.violations);
            }
            if (next() % 2) Sleep(0);
            if (write) InterlockedDecrement(&m_counts.writers[k]);
            else InterlockedDecrement(&m_counts.readers[k]);
            lock.release();
        }
    }
    shared_counts& m_counts;
    const abort_signal& m_pulse;
    unsigned m_state;
};

// Sets and clears a signal in short pulses until told to stop.
class pulser : public kpl::thread {
public:
    explicit pulser(kpl::waitable_flag& signal) : m_signal(signal) {}
    ~pulser() { stop(); }
    void stop() {
        m_stop = 1;
        wait_and_close();
    }

private:
    void body() override {
        for (unsigned i = 0; !m_stop; ++i) {
            m_signal.set();
            Sleep(1);
            m_signal.reset();
            Sleep(1 + i % 4);
        }
    }
    kpl::waitable_flag& m_signal;
    volatile LONG m_stop = 0;
};

}  // namespace

TEST_CASE("stress: eight threads on three keys keep the writer rule and all finish") {
    shared_counts counts;
    kpl::waitable_flag pulse;
    pulser aborts(pulse);
    aborts.start();
    std::vector<std::unique_ptr<stress_worker>> workers;
    for (unsigned i = 0; i < 8; ++i) workers.emplace_back(new stress_worker(counts, pulse, 7919u * (i + 1)));
    for (auto& w : workers) w->start();
    std::vector<HANDLE> handles;
    for (auto& w : workers) handles.push_back(w->handle());
    // Nobody may stay stuck: all workers end well within the limit.
    CHECK(WaitForMultipleObjects(DWORD(handles.size()), handles.data(), TRUE, 60000) == WAIT_OBJECT_0);
    LONG acquired = 0, aborted = 0, failed = 0;
    for (auto& w : workers) {
        w->wait_and_close();
        acquired += w->acquired;
        aborted += w->aborted;
        failed += w->failed;
    }
    aborts.stop();
    CHECK(counts.violations == 0);
    CHECK(failed == 0);
    CHECK(acquired + aborted == 8 * 150);
    CHECK(aborted > 0);
    // Afterwards every key is free again: a writer gets each at once.
    for (const char* key : {"a", "b", "c"}) {
        requester writer(key, exclusive);
        CHECK(writer.is_granted_within(soon));
    }
}
