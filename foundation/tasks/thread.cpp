#include "foundation/tasks/thread.h"

#include <process.h>

namespace kpl {

thread::~thread() { wait_and_close(); }

void thread::start(int priority) {
    wait_and_close();
    unsigned id = 0;
    const uintptr_t created = _beginthreadex(nullptr, 0, &thread::entry, this, CREATE_SUSPENDED, &id);
    if (created == 0) throw exception_creation();
    HANDLE handle = reinterpret_cast<HANDLE>(created);
    SetThreadPriority(handle, priority);
    m_handle = handle;
    ResumeThread(handle);
}

void thread::wait_and_close() {
    if (m_handle == INVALID_HANDLE_VALUE) return;
    WaitForSingleObject(m_handle, INFINITE);
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
}

unsigned __stdcall thread::entry(void* self) {
    try {
        static_cast<thread*>(self)->body();
    } catch (...) {
        // A thread body has nobody to report to; its owner learns the outcome through its own state.
    }
    return 0;
}

}  // namespace kpl
