#include "foundation/win32/control_class.h"

#include <cstdlib>

#include "foundation/kpl/win32_errors.h"

namespace {

// The classes registered here, unregistered at exit (a handful in the whole program).
constexpr int k_most_classes = 16;
const wchar_t* g_names[k_most_classes];
int g_count = 0;

void unregister_at_exit() {
    for (int i = 0; i < g_count; ++i) UnregisterClassW(g_names[i], GetModuleHandleW(nullptr));
}

}  // namespace

ATOM register_control_class(const wchar_t* name, WNDPROC procedure, ATOM& atom) {
    if (atom != 0) return atom;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    atom = RegisterClassExW(&wc);
    if (atom == 0) exception_win32::throw_last_error();
    if (g_count == 0) atexit(&unregister_at_exit);
    if (g_count < k_most_classes) g_names[g_count++] = name;
    return atom;
}
