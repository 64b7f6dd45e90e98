#include "foundation/tasks/background_worker.h"

#include <process.h>

#include "foundation/kpl/win32_errors.h"
#include "shell/main_thread_queue.h"

namespace {

// A queued call of one notifier with one argument.
class main_thread_call final : public service_counted<main_thread_callback> {
public:
    main_thread_call(result_notifier* target, int32_t argument) : m_target(target), m_argument(argument) {
        m_target->add_ref();
    }
    ~main_thread_call() override { m_target->release(); }

    void run() override { m_target->notify(m_argument); }

private:
    result_notifier* m_target;
    int32_t m_argument;
};

// What the worker thread gets: its owner and its own reference to the key-0 notifier.
struct worker_context {
    background_worker* owner;
    const abort_signal* abort;
    service_ref notifier;
};

}  // namespace

void main_thread_post_call(result_notifier* target, int32_t argument) {
    if (target == nullptr) return;
    main_thread_call* call = new main_thread_call(target, argument);
    try {
        main_thread_queue::post(call);
    } catch (...) {
        call->release();
        throw;
    }
    call->release();
}

background_worker::~background_worker() {
    abort();
    m_notifier.release();
}

void background_worker::start() {
    m_abort.set();
    join();
    detach_all();
    m_abort.reset();
    m_notifier = create_notifier(0);
    worker_context* context = new worker_context{this, &m_abort, m_notifier};
    const uintptr_t thread = _beginthreadex(nullptr, 0, &background_worker::thread_entry, context, 0, nullptr);
    if (thread == 0) {
        const DWORD error = GetLastError();
        delete context;
        throw exception_win32(error);
    }
    m_thread = reinterpret_cast<HANDLE>(thread);
}

void background_worker::abort() {
    m_abort.set();
    join();
    detach_all();
}

void background_worker::on_notify(int key, int32_t code) {
    if (key != 0 || m_thread == nullptr) return;
    join();
    detach_all();
    on_done(code);
}

int32_t background_worker::run(const abort_signal&) { return 0; }

void background_worker::on_done(int32_t) {}

void background_worker::join() {
    if (m_thread == nullptr) return;
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
}

unsigned __stdcall background_worker::thread_entry(void* raw) {
    worker_context* context = static_cast<worker_context*>(raw);
    try {
        int32_t code;
        try {
            code = context->owner->run(*context->abort);
        } catch (...) {
            code = -1;
        }
        if (!context->abort->is_set()) main_thread_post_call(context->notifier.as<result_notifier>(), code);
    } catch (...) {
        // Posting failed (out of memory): the owner learns nothing; abort() still joins.
    }
    delete context;
    return 0;
}
