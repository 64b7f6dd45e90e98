#include "foundation/tasks/win32_event.h"

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/win32_errors.h"

void win32_event::create() {
    close();
    HANDLE handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (handle == nullptr) exception_win32::throw_last_error();
    m_handle = handle;
}

void win32_event::close() {
    if (m_handle != nullptr) {
        CloseHandle(m_handle);
        m_handle = nullptr;
    }
}

DWORD win32_event::timeout_ms(double seconds) {
    if (seconds < 0) return INFINITE;
    if (!(seconds > 0)) return 0;
    const double ms = seconds * 1000.0 + 0.5;
    // INFINITE is reserved for the negative case; a huge finite time-out stays just below it.
    if (ms >= double(INFINITE - 1)) return INFINITE - 1;
    const DWORD rounded = DWORD(ms);
    return rounded < 1 ? 1 : rounded;
}

bool win32_event::wait_for(HANDLE event, double seconds) {
    switch (WaitForSingleObject(event, timeout_ms(seconds))) {
    case WAIT_OBJECT_0:
        return true;
    case WAIT_TIMEOUT:
        return false;
    case WAIT_FAILED:
        exception_win32::throw_last_error();
    default:
        throw kpl::exception_bug_check();
    }
}
