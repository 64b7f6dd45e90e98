#include "shell/startup_sequence.h"

#include <exception>
#include <utility>

startup_sequence::startup_sequence(startup_observer* observer) : m_observer(observer) {
    // Room for every undo step of the start-up, so that arming one after its step succeeded does not
    // allocate.
    m_undo.set_capacity(32);
}

void startup_sequence::arm(const char* name, std::function<void()> undo) {
    undo_step step;
    step.name = name;
    step.action = std::move(undo);
    m_undo.append(std::move(step));
}

void startup_sequence::unwind() {
    std::exception_ptr first;
    while (m_undo.count() > 0) {
        undo_step step = std::move(m_undo[m_undo.count() - 1]);
        m_undo.set_count(m_undo.count() - 1);
        try {
            if (m_observer) m_observer->on_undo(step.name);
            step.action();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

void startup_sequence::unwind_after_failure() noexcept {
    try {
        unwind();
    } catch (...) {
    }
}
