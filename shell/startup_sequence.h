#pragma once
// The start-up's steps and their undo steps.
//
//     startup_sequence steps(observer);
//     try {
//         steps.run("ole", [] { ole_initialize(); });
//         steps.arm("ole", [] { OleUninitialize(); });     // armed once the step has succeeded
//         steps.run("registry", [] { service_registry::start(); });
//         steps.arm("registry", [] { service_registry::release_table(); });
//     } catch (...) {
//         steps.unwind_after_failure();                   // "registry" failed: OleUninitialize only
//         throw;
//     }
//     ...                                                  // the program runs
//     steps.unwind();                                      // the normal shut-down: every undo, newest first
//
// Undo steps run newest first, each once. An undo step that throws does not stop the ones after it;
// unwind rethrows the first such exception at the end, unwind_after_failure drops them (the start-up's
// own failure is what is reported).
//
// An observer, when given, is told each step's and each undo step's name before it runs; an observer that
// throws from on_step fails that step (tests use this to fail any step of the real start-up).

#include <cstdint>
#include <functional>

#include "foundation/kpl/array.h"

class startup_observer {
public:
    virtual void on_step(const char* name) = 0;
    virtual void on_undo(const char* name) = 0;

protected:
    ~startup_observer() = default;
};

class startup_sequence {
public:
    explicit startup_sequence(startup_observer* observer = nullptr);
    startup_sequence(const startup_sequence&) = delete;
    startup_sequence& operator=(const startup_sequence&) = delete;

    // Tells the observer, then runs the step. Exceptions propagate.
    template <class Action>
    void run(const char* name, Action&& action) {
        if (m_observer) m_observer->on_step(name);
        action();
    }

    // Arms an undo step (newest runs first).
    void arm(const char* name, std::function<void()> undo);

    // Runs and disarms every armed undo step, newest first; rethrows the first exception of one at the end.
    void unwind();
    // The same, but exceptions of undo steps are dropped.
    void unwind_after_failure() noexcept;

    uint32_t armed_count() const noexcept { return m_undo.count(); }

private:
    struct undo_step {
        const char* name = nullptr;
        std::function<void()> action;
    };

    kpl::array<undo_step> m_undo;
    startup_observer* m_observer;
};
