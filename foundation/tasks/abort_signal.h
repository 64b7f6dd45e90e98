#pragma once
// The cancellation token that every long operation takes.
//
// An operation given an abort_signal checks it before it starts and between its steps, and waits on its
// event together with whatever it waits for, so that setting the signal from another thread ends the
// operation at once with ketrel_io::exception_aborted ("User abort"). A cancel is never an error shown to
// the user.
//
//   kpl::waitable_flag abort;                 // the program's own signal: a flag plus an event
//   start_worker(abort);                      // the worker calls abort.check() and abort.sleep(0.01)
//   ...
//   abort.set();                              // the worker's next check, or its current sleep, throws
//
// Callers without a signal of their own pass abort_never, which is never set.

#include <windows.h>

#include "foundation/tasks/win32_event.h"

class abort_signal {
public:
    // True once the signal is set. Reads a flag only; never waits.
    virtual bool is_set() const = 0;
    // A manual-reset event that is signalled once the signal is set; for waits on several events.
    virtual HANDLE get_event() const = 0;

    // The same two operations under the names some callers use.
    bool is_aborting() const { return is_set(); }
    HANDLE get_abort_event() const { return get_event(); }

    // Throws ketrel_io::exception_aborted "User abort" when the signal is set.
    void check() const;
    // Sleeps for the given seconds (rules of win32_event::wait_for) unless the signal is set first, which
    // throws ketrel_io::exception_aborted; a signal already set throws at once. The only cancellable sleep.
    void sleep(double seconds) const;
    // Waits up to the given seconds on the signal's event: false when the signal fired, true when the
    // time ran out. Never throws for an abort.
    bool wait_event(double seconds) const;

protected:
    abort_signal() = default;
    ~abort_signal() = default;
};

// The process-wide signal that is never set. Its event exists for the whole process and is never
// signalled, so a wait on it ends only by its time-out. Usable from static initialisation on.
class abort_signal_never final : public abort_signal {
public:
    constexpr abort_signal_never() = default;
    ~abort_signal_never();
    bool is_set() const override { return false; }
    HANDLE get_event() const override;

private:
    mutable HANDLE m_event = nullptr;
};
extern abort_signal_never abort_never;

namespace kpl {

// The program's abort_signal: a flag and a manual-reset event that follows it.
//   set():   flag true, then the event signalled;
//   reset(): flag false, then the event cleared.
// is_set reads the flag, never the event. Set and reset may be called from any thread.
class waitable_flag final : public abort_signal {
public:
    // Creates the event (unsignalled); throws exception_win32 when the system refuses.
    waitable_flag();
    ~waitable_flag() = default;
    waitable_flag(const waitable_flag&) = delete;
    waitable_flag& operator=(const waitable_flag&) = delete;

    void set();
    void reset();
    // set() for true, reset() for false.
    void set_state(bool state) { state ? set() : reset(); }

    bool is_set() const override;
    HANDLE get_event() const override { return m_event.get(); }

private:
    volatile LONG m_flag = 0;
    win32_event m_event;
};

}  // namespace kpl
