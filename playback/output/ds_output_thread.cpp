#include "playback/output/ds_output_thread.h"

#include <objbase.h>
#include <process.h>
#include <windows.h>

#include <new>

#include "foundation/kpl/array.h"
#include "foundation/tasks/thread.h"

namespace {

kpl::critical_section g_lock;
kpl::array<ds_device*> g_devices;
HANDLE g_thread = nullptr;
volatile bool g_shutdown = false;
bool g_manual = false;

typedef HANDLE(WINAPI* set_characteristics_fn)(LPCWSTR task, LPDWORD index);
typedef BOOL(WINAPI* revert_characteristics_fn)(HANDLE task);

// One pass over the list (lock held): services every object in order, frees those that are done. Answers
// whether anything was removed.
bool service_all() {
    bool removed = false;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < g_devices.count(); ++i) {
        ds_device* device = g_devices[i];
        if (device->service()) {
            g_devices[kept++] = device;
        } else {
            delete device;
            removed = true;
        }
    }
    g_devices.resize_exact(kept);
    return removed;
}

// Joins the MMCSS task "Playback" through avrt.dll from the system folder; answers the library (null when
// absent) and the task handle (null when not joined).
HMODULE join_playback_task(HANDLE& task, revert_characteristics_fn& revert) {
    task = nullptr;
    revert = nullptr;
    wchar_t path[MAX_PATH + 16];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    lstrcpyW(path + length, L"\\avrt.dll");
    HMODULE avrt = LoadLibraryW(path);
    if (!avrt) return nullptr;
    auto set = reinterpret_cast<set_characteristics_fn>(
        reinterpret_cast<void*>(GetProcAddress(avrt, "AvSetMmThreadCharacteristicsW")));
    revert = reinterpret_cast<revert_characteristics_fn>(
        reinterpret_cast<void*>(GetProcAddress(avrt, "AvRevertMmThreadCharacteristics")));
    if (set) {
        DWORD index = 0;
        task = set(L"Playback", &index);
    }
    return avrt;
}

unsigned __stdcall thread_entry(void*) {
    try {
        HANDLE task = nullptr;
        revert_characteristics_fn revert = nullptr;
        HMODULE avrt = join_playback_task(task, revert);
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        const HRESULT com = CoInitialize(nullptr);
        for (;;) {
            if (g_shutdown) {
                // Program exit: the DirectSound objects go on the thread that made them, before COM ends here.
                kpl::critical_section_scope lock(g_lock);
                for (ds_device* device : g_devices) delete device;
                g_devices.clear();
                break;
            }
            bool end = false;
            {
                kpl::critical_section_scope lock(g_lock);
                if (FAILED(com)) {
                    for (ds_device* device : g_devices) {
                        if (!device->is_closed()) device->fail(com);
                    }
                }
                const bool removed = service_all();
                if (removed && g_devices.count() == 0) {
                    CloseHandle(g_thread);
                    g_thread = nullptr;
                    end = true;
                }
            }
            if (end) break;
            SleepEx(10, TRUE);
        }
        if (task && revert) revert(task);
        if (avrt) FreeLibrary(avrt);
        if (SUCCEEDED(com)) CoUninitialize();
    } catch (...) {
        // Nothing here throws by design; a failure must not unwind out of the thread.
    }
    return 0;
}

struct exit_guard {
    ~exit_guard() { ds_output_shutdown(); }
} g_exit_guard;

}  // namespace

kpl::critical_section& ds_output_lock() noexcept { return g_lock; }

ds_device* ds_output_register(const kpl::guid& device, double buffer_seconds, const ds_stream_format& format) {
    ds_device* object = new ds_device(device, buffer_seconds, format);
    kpl::critical_section_scope lock(g_lock);
    try {
        g_devices.append(object);
    } catch (...) {
        delete object;
        throw;
    }
    if (g_manual || g_thread) return object;
    unsigned id = 0;
    const uintptr_t created = _beginthreadex(nullptr, 0, &thread_entry, nullptr, CREATE_SUSPENDED, &id);
    if (created == 0) {
        g_devices.resize_exact(g_devices.count() - 1);
        delete object;
        throw kpl::thread::exception_creation();
    }
    g_thread = reinterpret_cast<HANDLE>(created);
    ResumeThread(g_thread);
    return object;
}

bool ds_output_thread_running() {
    kpl::critical_section_scope lock(g_lock);
    return g_thread != nullptr;
}

HANDLE ds_output_thread_duplicate(DWORD access) {
    kpl::critical_section_scope lock(g_lock);
    HANDLE thread = nullptr;
    if (g_thread) DuplicateHandle(GetCurrentProcess(), g_thread, GetCurrentProcess(), &thread, access, FALSE, 0);
    return thread;
}

bool ds_output_wait_idle(double seconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (!ds_output_thread_running()) return true;
        if (seconds >= 0 && (GetTickCount() - start) >= seconds * 1000) return false;
        Sleep(5);
    }
}

void ds_output_set_manual(bool manual) {
    kpl::critical_section_scope lock(g_lock);
    g_manual = manual;
}

uint32_t ds_output_pass() {
    kpl::critical_section_scope lock(g_lock);
    service_all();
    return g_devices.count();
}

uint32_t ds_output_object_count() {
    kpl::critical_section_scope lock(g_lock);
    return g_devices.count();
}

void ds_output_shutdown() noexcept {
    HANDLE thread = nullptr;
    {
        kpl::critical_section_scope lock(g_lock);
        g_shutdown = true;
        if (g_thread) {
            DuplicateHandle(GetCurrentProcess(), g_thread, GetCurrentProcess(), &thread, SYNCHRONIZE, FALSE, 0);
        }
    }
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    kpl::critical_section_scope lock(g_lock);
    for (ds_device* device : g_devices) delete device;
    g_devices.clear();
    if (g_thread) {
        CloseHandle(g_thread);
        g_thread = nullptr;
    }
    g_shutdown = false;
}
