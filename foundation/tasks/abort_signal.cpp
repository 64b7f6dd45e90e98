#include "foundation/tasks/abort_signal.h"

#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/win32_errors.h"

void abort_signal::check() const {
    if (is_set()) throw ketrel_io::exception_aborted();
}

void abort_signal::sleep(double seconds) const {
    check();
    if (win32_event::wait_for(get_event(), seconds)) throw ketrel_io::exception_aborted();
}

bool abort_signal::wait_event(double seconds) const {
    return !win32_event::wait_for(get_event(), seconds);
}

abort_signal_never abort_never;

abort_signal_never::~abort_signal_never() {
    HANDLE event = InterlockedExchangePointer(&m_event, nullptr);
    if (event != nullptr) CloseHandle(event);
}

HANDLE abort_signal_never::get_event() const {
    // Made on first use, so that users running during static initialisation find it too; a thread that
    // loses the race to publish its event closes it again.
    HANDLE event = m_event;
    if (event != nullptr) return event;
    HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (created == nullptr) exception_win32::throw_last_error();
    HANDLE previous = InterlockedCompareExchangePointer(&m_event, created, nullptr);
    if (previous == nullptr) return created;
    CloseHandle(created);
    return previous;
}

namespace kpl {

waitable_flag::waitable_flag() { m_event.create(); }

void waitable_flag::set() {
    InterlockedExchange(&m_flag, 1);
    m_event.set();
}

void waitable_flag::reset() {
    InterlockedExchange(&m_flag, 0);
    m_event.reset();
}

bool waitable_flag::is_set() const { return m_flag != 0; }

}  // namespace kpl
