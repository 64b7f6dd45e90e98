#pragma once
// background_worker: work on a thread of its own whose result comes back to the main thread.
//
//   class folder_scan : public background_worker {
//       int32_t run(const abort_signal& abort) override {      // on the worker thread
//           for (...) { abort.check(); ... }
//           return found;
//       }
//       void on_done(int32_t code) override { show(code); }    // later, on the main thread; -1: run threw
//   public:
//       ~folder_scan() { abort(); }                            // stop before the derived part goes
//   };
//   scan.start();      // a scan still running is aborted and waited for first
//   scan.abort();      // sets the signal and waits; an aborted scan never reaches on_done
//
// The result travels as a call queued on the main thread (main_thread_post_call with the worker's key-0
// notifier). start and abort detach the notifiers, so a result of an earlier run that is still queued
// arrives at a detached notifier and is dropped. start, abort and on_done belong to the main thread.

#include <windows.h>

#include <cstdint>

#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"
#include "foundation/tasks/result_notifier.h"

class background_worker : public notifier_owner {
public:
    background_worker() = default;
    // Aborts a running worker. Derived classes call abort() in their own destructor, because run() is
    // theirs and must not run on after their part is gone.
    ~background_worker() override;

    // Aborts and joins a running worker, then runs run() on a new thread (normal priority). Throws
    // exception_win32 when the thread cannot be made.
    void start();
    // Sets the abort signal, waits for the worker without time-out and drops the notifiers: no on_done.
    void abort();
    // True from start until the result arrived or abort returned.
    bool is_running() const { return m_thread != nullptr; }

    // The key-0 notifier's call on the main thread: joins the worker and calls on_done(code).
    void on_notify(int key, int32_t code) override;

protected:
    // The work, on the worker thread; an exception escaping it gives the code -1. Default: 0.
    virtual int32_t run(const abort_signal& abort);
    // The result, on the main thread. Default: nothing.
    virtual void on_done(int32_t code);

private:
    static unsigned __stdcall thread_entry(void* context);
    void join();

    kpl::waitable_flag m_abort;
    HANDLE m_thread = nullptr;
    service_ref m_notifier;
};

// Queues a call of target->notify(argument) on the main thread (the main-thread queue). The call holds a
// reference to the target until it has run. A null target posts nothing. Any thread.
void main_thread_post_call(result_notifier* target, int32_t argument);
