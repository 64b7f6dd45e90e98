// The crash filter: a minidump into the profile folder, then the end of the process.
//
// The filter runs on the failing thread, possibly with a damaged heap: it allocates nothing and takes no
// locks; paths live in static buffers.
#include <windows.h>
#include <dbghelp.h>

#include <cstdio>
#include <cwchar>

#include "foundation/kpl/exceptions.h"
#include "shell/app_state.h"
#include "shell/crash_handler.h"
#include "shell/profile_setup.h"

namespace {

constexpr size_t k_path_units = 32768;
wchar_t g_folder[k_path_units];
wchar_t g_dump_path[k_path_units];

// The memory callback's state: the calls so far and the failing thread's registers.
struct dump_memory_state {
    unsigned calls = 0;
    CONTEXT* context = nullptr;
    uintptr_t stack_base = 0;
    unsigned stack_offset = 0;
};
dump_memory_state g_memory;

// The thread whose exception is being dumped (0: the calling thread) and the dump's input.
DWORD g_failing_thread = 0;
EXCEPTION_POINTERS* g_dump_exception = nullptr;

DWORD WINAPI dump_thread(void*) {
    write_crash_dump(g_dump_exception);
    return 0;
}

constexpr unsigned k_range = 1024;
constexpr unsigned k_below = 512;
constexpr unsigned k_stack_bytes = 1024;

// True when `size` bytes at `address` are committed and readable (probed without touching them).
bool is_readable(uintptr_t address, size_t size) {
    while (size > 0) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof(info)) == 0) return false;
        if (info.State != MEM_COMMIT) return false;
        if (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) return false;
        const uintptr_t region_end = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
        const size_t here = region_end - address;
        if (here >= size) return true;
        address = region_end;
        size -= here;
    }
    return true;
}

uintptr_t stack_pointer_of(const CONTEXT& context) {
#ifdef _WIN64
    return context.Rsp;
#else
    return context.Esp;
#endif
}

void add_range(MINIDUMP_CALLBACK_OUTPUT* output, uintptr_t address) {
    const uintptr_t start = address < k_below ? address : address - k_below;
    output->MemoryBase = start;
    output->MemorySize = k_range;
}

BOOL CALLBACK memory_callback(PVOID, const PMINIDUMP_CALLBACK_INPUT input, PMINIDUMP_CALLBACK_OUTPUT output) {
    if (input == nullptr || output == nullptr || input->CallbackType != MemoryCallback) return TRUE;
    CONTEXT* context = g_memory.context;
    if (context == nullptr) return FALSE;
    const unsigned call = g_memory.calls++;
    if (call < 8) {
#ifdef _WIN64
        const uintptr_t registers[8] = {context->Rdi, context->Rsi, context->Rbx, context->Rdx,
                                        context->Rcx, context->Rax, context->Rip, context->Rsp};
#else
        const uintptr_t registers[8] = {context->Edi, context->Esi, context->Ebx, context->Edx,
                                        context->Ecx, context->Eax, context->Eip, context->Esp};
#endif
        add_range(output, registers[call]);
        return TRUE;
    }
    // Stack words upward from the stack pointer (rounded down to a word) that point at readable memory.
    if (g_memory.stack_base == 0)
        g_memory.stack_base = stack_pointer_of(*context) & ~uintptr_t(sizeof(void*) - 1);
    while (g_memory.stack_offset <= k_stack_bytes) {
        const uintptr_t word_address = g_memory.stack_base + g_memory.stack_offset;
        g_memory.stack_offset += sizeof(void*);
        if (!is_readable(word_address, sizeof(void*))) return FALSE;
        const uintptr_t value = *reinterpret_cast<const uintptr_t*>(word_address);
        if (value >= 4096 && is_readable(value, 1)) {
            add_range(output, value);
            return TRUE;
        }
    }
    return FALSE;
}

bool file_exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

bool crash_dump_file_name(const wchar_t* folder, wchar_t* out, size_t capacity) {
    const size_t length = std::wcslen(folder);
    const bool separator = length > 0 && folder[length - 1] != L'\\';
    for (unsigned n = 1; n != 0; ++n) {
        const int written = std::swprintf(out, capacity, L"%ls%lsfailure-%u.dmp", folder, separator ? L"\\" : L"", n);
        if (written < 0 || static_cast<size_t>(written) >= capacity) return false;
        if (!file_exists(out)) return true;
    }
    return false;
}

void write_crash_dump(EXCEPTION_POINTERS* exception) {
    if (app_state.profile_read_only) return;
    const char* folder = profile_native_path();
    if (folder == nullptr || folder[0] == 0) return;  // no profile chosen yet
    if (MultiByteToWideChar(CP_UTF8, 0, folder, -1, g_folder, int(k_path_units)) == 0) return;
    if (!crash_dump_file_name(g_folder, g_dump_path, k_path_units)) return;
    HANDLE file = CreateFileW(g_dump_path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    MINIDUMP_EXCEPTION_INFORMATION info = {};
    info.ThreadId = g_failing_thread != 0 ? g_failing_thread : GetCurrentThreadId();
    info.ExceptionPointers = exception;
    info.ClientPointers = FALSE;
    g_memory = dump_memory_state{};
    g_memory.context = exception ? exception->ContextRecord : nullptr;
    MINIDUMP_CALLBACK_INFORMATION callback = {};
    callback.CallbackRoutine = &memory_callback;
    MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpWithUnloadedModules,
                      exception ? &info : nullptr, nullptr, &callback);
    CloseHandle(file);
}

LONG WINAPI crash_exception_filter(EXCEPTION_POINTERS* exception) {
    if (IsDebuggerPresent()) return UnhandledExceptionFilter(exception);
    UINT code = exception && exception->ExceptionRecord ? exception->ExceptionRecord->ExceptionCode : 1;
    if (code == 0) code = 1;
    // Only the first failure is dumped; a second one (another thread, or a fault while dumping) just ends
    // the process with the first one's code.
    static volatile LONG s_entered = 0;
    static volatile LONG s_first_code = 0;
    if (InterlockedCompareExchange(&s_entered, 1, 0) != 0) {
        if (s_first_code != 0) TerminateProcess(GetCurrentProcess(), UINT(s_first_code));
        for (;;) Sleep(INFINITE);  // the first failure's thread ends the process
    }
    InterlockedExchange(&s_first_code, LONG(code));
    // The dump is written by a thread of its own, as the dump writer wants: writing it on the failing
    // thread itself can end that thread (seen under 64-bit Wine), and the process would then go on.
    g_failing_thread = GetCurrentThreadId();
    g_dump_exception = exception;
    HANDLE writer = CreateThread(nullptr, 0, &dump_thread, nullptr, 0, nullptr);
    if (writer != nullptr) {
        WaitForSingleObject(writer, 120000);
        CloseHandle(writer);
    } else {
        write_crash_dump(exception);
    }
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

void crash_from_callback() noexcept { kpl::crash(); }
