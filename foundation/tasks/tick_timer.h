#pragma once
// tick_timer: elapsed seconds from the system tick count, counted across its 32-bit wrap-around.
//
//   tick_timer t;
//   t.start();
//   ... work ...
//   if (t.query_seconds() > 10.0) give_up();
//
// The 32-bit millisecond tick wraps after 49.7 days; the timer keeps a 64-bit value and counts a wrap
// whenever a reading is below the previous one, so it must be queried at least once per wrap period.

#include <cstdint>

class tick_timer {
public:
    // Starts at the current tick.
    void start();
    // Starts at the given tick (the high part of the 64-bit value is 0).
    void start(uint32_t tick);
    // Seconds since start at the current tick.
    double query_seconds();
    // Seconds since start at the given tick, which must not be older than the last reading.
    double query_seconds(uint32_t tick);

private:
    uint64_t m_start = 0;
    uint64_t m_last = 0;
};
