#pragma once
// Main-thread timers on wall-clock boundaries: a callback runs on the main thread once per period, at the
// multiples of its period counted from 1601-01-01 UTC (every full minute, every full hour, ...).
//
//   class minute_ticker : public main_thread_timer_callback {
//       void on_timer(uint64_t boundary) override { show_clock(boundary); }   // a FILETIME, UTC
//   };
//   minute_ticker ticker;
//   service_ptr<main_thread_timer_service> timers;
//   service_class::get_single(timers);
//   timers->add_timer(&ticker, 60 * 10000000ull);   // at 12:00:30: on_timer(12:00:00) at once,
//                                                   // then once shortly after 12:01:00, 12:02:00, ...
//   timers->remove_timer(&ticker);                  // before `ticker` goes
//
// One thread timer of 500 ms drives all callbacks; it exists exactly while a callback is registered. When
// the program was busy for several periods, only the latest boundary is reported. Main thread only: a call
// from another thread stops the process.

#include <cstdint>
#include <map>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class main_thread_timer_callback {
public:
    // boundary: the period boundary just passed, as a FILETIME (100-ns units since 1601-01-01 UTC).
    virtual void on_timer(uint64_t boundary) = 0;

protected:
    ~main_thread_timer_callback() = default;
};

class main_thread_timer_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xDC5D4938, 0x7927, 0x48BA, {0xBF, 0x84, 0xDA, 0x2F, 0xB1, 0x0B, 0x36, 0xF2}};

    // Registers the callback (or replaces its period, forgetting its last boundary) and reports the current
    // boundary at once. A period below one second (10,000,000) throws kpl::exception_invalid_params.
    virtual void add_timer(main_thread_timer_callback* callback, uint64_t period) = 0;
    // Removes the callback. Answers the number of callbacks left; when none is left, the result of killing
    // the thread timer; 0 when no timer ran.
    virtual int32_t remove_timer(main_thread_timer_callback* callback) = 0;
};

// The table behind the service, with the clock given by the caller.
//
//   main_thread_timer_table table;
//   table.add(&ticker, minute, at_12_00_30);   // on_timer(12:00:00)
//   table.dispatch(at_12_00_59);               // nothing
//   table.dispatch(at_12_01_00_3);             // on_timer(12:01:00)
class main_thread_timer_table {
public:
    // The boundary at or before `now` for the period.
    static uint64_t boundary(uint64_t now, uint64_t period) { return now - now % period; }

    // The add_timer rules (period check, replace, immediate report) at time `now`.
    void add(main_thread_timer_callback* callback, uint64_t period, uint64_t now);
    // True when the callback was registered.
    bool remove(main_thread_timer_callback* callback);
    // Reports every due boundary: each entry whose boundary >= last + period. A callback may add or remove
    // callbacks; one removed during the walk is not called any more.
    void dispatch(uint64_t now);
    uint32_t count() const { return static_cast<uint32_t>(m_entries.size()); }

private:
    struct entry {
        uint64_t period;
        uint64_t last;
    };
    std::map<main_thread_timer_callback*, entry> m_entries;
};
