#pragma once
// An abort signal that trips on cue, for the tests of work that must stop (or must not stop) part way:
// it answers "not set" to its first n questions and "set" from then on.
//
//     for (int checks = 0; !done; ++checks) {
//         abort_after_checks abort(checks);      // 0: set from the first question on
//         try { write(..., abort); done = true; } catch (const ketrel_io::exception_aborted&) { ... }
//     }

#include <windows.h>

#include "foundation/tasks/abort_signal.h"

class abort_after_checks final : public abort_signal {
public:
    explicit abort_after_checks(int checks) : m_left(checks) {}
    bool is_set() const override {
        if (m_left == 0) return true;
        --m_left;
        return false;
    }
    HANDLE get_event() const override { return abort_never.get_event(); }

private:
    mutable int m_left;
};
