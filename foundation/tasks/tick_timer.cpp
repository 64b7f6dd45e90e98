#include "foundation/tasks/tick_timer.h"

#include <windows.h>

void tick_timer::start() { start(GetTickCount()); }

void tick_timer::start(uint32_t tick) { m_start = m_last = tick; }

double tick_timer::query_seconds() { return query_seconds(GetTickCount()); }

double tick_timer::query_seconds(uint32_t tick) {
    uint64_t high = m_last >> 32;
    if (tick < uint32_t(m_last)) ++high;
    m_last = (high << 32) | tick;
    return double(m_last - m_start) * 0.001;
}
