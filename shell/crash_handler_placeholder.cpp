// Placeholder of the crash handler until crash dumps and the close confirmation exist: a crash ends the
// process at once with the exception code as exit code; the close confirmation always agrees (no
// operation can be running yet).
#include "shell/crash_handler.h"

#include "foundation/kpl/exceptions.h"

LONG WINAPI crash_exception_filter(EXCEPTION_POINTERS* exception) {
    UINT code = exception && exception->ExceptionRecord ? exception->ExceptionRecord->ExceptionCode : 1;
    TerminateProcess(GetCurrentProcess(), code ? code : 1);
    return EXCEPTION_EXECUTE_HANDLER;
}

void crash_from_callback() noexcept { kpl::crash(); }

bool confirm_close() { return true; }
