#include "shell/single_instance.h"

#include <cstring>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/utf8.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "metadata/text_crc.h"
#include "shell/app_state.h"
#include "shell/command_line.h"
#include "shell/crash_handler.h"
#include "shell/debug_log.h"

const wchar_t instance_window_class[] = L"{75D55AF6-03A2-457a-9933-D4EC2CB25684}";

namespace {

constexpr UINT k_process_queue = WM_USER + 1;
constexpr ULONG_PTR k_kind_command_line = 1;
constexpr ULONG_PTR k_kind_path_query = 2;
constexpr int k_max_attempts = 301;
constexpr DWORD k_give_up_after_ms = 30000;
constexpr UINT k_answer_timeout_ms = 5000;

// How long the instance remembers the token of a block it took: longer than a sender keeps trying.
constexpr DWORD k_token_memory_ms = 10 * 60 * 1000;

// The mutex of this process's profile, kept until the process ends.
HANDLE g_mutex = nullptr;
kpl::utf8_string_tight g_mutex_name;

kpl::utf8_string_pow2 current_folder() {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return kpl::utf8_string_pow2();
    kpl::wide_array folder;
    folder.set_count(n + 1);
    DWORD got = GetCurrentDirectoryW(n + 1, folder.data());
    if (got == 0 || got > n) return kpl::utf8_string_pow2();
    return kpl::utf8_string_pow2(kpl::utf8_string_from_utf16(folder.data(), got));
}

kpl::utf8_string_pow2 own_command_line(const instance_record& record) {
    if (!record.command_line.is_empty()) return kpl::utf8_string_pow2(record.command_line);
    return kpl::utf8_string_pow2(kpl::utf8_string_from_utf16(GetCommandLineW()));
}

instance_record* record_of(HWND window) { return reinterpret_cast<instance_record*>(GetWindowLongPtrW(window, 0)); }

// This process's token for its forwarded command line: not 0, the same for every attempt, and unlike the
// token of any other process running at the same time (the process id is part of it).
uintptr_t forward_token() {
    static const uintptr_t token = [] {
        const uint64_t pid = GetCurrentProcessId(), tick = GetTickCount();
        uintptr_t value = sizeof(uintptr_t) >= 8 ? static_cast<uintptr_t>(pid << 32 | tick)
                                                 : static_cast<uintptr_t>(pid << 20 ^ tick);
        return value != 0 ? value : uintptr_t(1);
    }();
    return token;
}

// True when a block with this token was taken before (and still remembered); otherwise remembers it.
bool token_taken_before(instance_record& record, uintptr_t token) {
    const DWORD now = GetTickCount();
    std::vector<std::pair<uintptr_t, DWORD>>& taken = record.taken_tokens;
    size_t kept = 0;
    for (size_t i = 0; i < taken.size(); ++i) {
        if (now - taken[i].second < k_token_memory_ms) taken[kept++] = taken[i];
    }
    taken.resize(kept);
    for (const auto& entry : taken) {
        if (entry.first == token) return true;
    }
    taken.emplace_back(token, now);
    return false;
}

void process_queue(instance_record& record) {
    if (!service_registry::is_running() || app_state.shutting_down) return;
    std::vector<forwarded_block> blocks;
    blocks.swap(record.queue);
    for (const forwarded_block& block : blocks) {
        kpl::utf8_string_pow2 text, base;
        if (block.kind != k_kind_command_line || !parse_forwarded_block(block.bytes, text, base)) continue;
        try {
            process_command_line(text.c_str(), false, base.c_str());
        } catch (const std::exception& e) {
            kpl::utf8_string_pow2 line("Forwarded command line failed: ");
            line << e.what();
            debug_log(line.c_str());
        }
    }
}

bool is_program_path(const wchar_t* text, size_t units) {
    kpl::utf8_string_pow2 path(kpl::utf8_string_from_utf16(text, units));
    return utf8_compare_nocase_fast(path.c_str(), app_state.program_path.c_str()) == 0;
}

LRESULT handle_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_CREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
            SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            return 0;
        }
        case WM_USER: {
            instance_record* record = record_of(window);
            return record ? static_cast<LRESULT>(record->profile_hash) : 0;
        }
        case WM_COPYDATA: {
            instance_record* record = record_of(window);
            auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
            if (!record || !data) return 0;
            if (data->dwData == k_kind_path_query) {
                return is_program_path(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t))
                           ? 1
                           : 0;
            }
            // Shutting down: not kept, so the sender knows it was not delivered.
            if (app_state.shutting_down) return 0;
            // A block sent again after a wait that timed out: it is queued already.
            const uintptr_t token = static_cast<uintptr_t>(wparam);
            if (data->dwData == k_kind_command_line && token != 0 && token_taken_before(*record, token)) return 1;
            forwarded_block block;
            block.kind = static_cast<uint32_t>(data->dwData);
            if (data->cbData && data->lpData) {
                const char* bytes = static_cast<const char*>(data->lpData);
                block.bytes.assign(bytes, bytes + data->cbData);
            }
            record->queue.push_back(std::move(block));
            PostMessageW(window, k_process_queue, 0, 0);
            return 1;
        }
        case k_process_queue: {
            instance_record* record = record_of(window);
            if (record) process_queue(*record);
            return 0;
        }
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK instance_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    try {
        return handle_message(window, message, wparam, lparam);
    } catch (...) {
        crash_from_callback();
    }
}

struct search {
    uint32_t hash;
    HWND found;
};

BOOL CALLBACK find_instance_window(HWND window, LPARAM context) {
    auto* s = reinterpret_cast<search*>(context);
    wchar_t name[64];
    int n = GetClassNameW(window, name, 64);
    if (n <= 0 || lstrcmpiW(name, instance_window_class) != 0) return TRUE;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, WM_USER, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, k_answer_timeout_ms, &answer)) {
        return TRUE;
    }
    if (static_cast<uint32_t>(answer) != s->hash) return TRUE;
    s->found = window;
    return FALSE;
}

// Sends this process's command line to the running instance; true when it took it.
bool forward_to(HWND target, const instance_record& record) {
    kpl::utf8_string_pow2 folder = current_folder();
    if (folder.is_empty()) return true;  // nothing can be sent; the start ends all the same
    kpl::utf8_string_pow2 command_line = own_command_line(record);
    std::vector<char> block(command_line.c_str(), command_line.c_str() + command_line.length());
    block.push_back(0);
    block.insert(block.end(), folder.c_str(), folder.c_str() + folder.length());
    block.push_back(0);
    DWORD process = 0;
    GetWindowThreadProcessId(target, &process);
    if (process) AllowSetForegroundWindow(process);
    COPYDATASTRUCT data = {};
    data.dwData = k_kind_command_line;
    data.cbData = static_cast<DWORD>(block.size());
    data.lpData = block.data();
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(target, WM_COPYDATA, static_cast<WPARAM>(forward_token()), reinterpret_cast<LPARAM>(&data),
                             SMTO_ABORTIFHUNG | SMTO_BLOCK, k_answer_timeout_ms, &answer)) {
        return false;
    }
    return answer == 1;
}

void create_instance_window(instance_record& record) {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = &instance_window_procedure;
    window_class.cbWndExtra = sizeof(LONG_PTR);
    window_class.hInstance = app_module_handle();
    window_class.lpszClassName = instance_window_class;
    SetLastError(0);
    if (!RegisterClassW(&window_class)) exception_win32::throw_last_error();
    HWND window = CreateWindowExW(0, instance_window_class, L"uninteresting", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  app_module_handle(), &record);
    if (!window) {
        DWORD error = GetLastError();
        UnregisterClassW(instance_window_class, app_module_handle());
        throw exception_win32(error);
    }
    record.window = window;
}

}  // namespace

uint32_t profile_hash(const char* profile_folder) {
    return utf8_crc32_nocase(UINT32_MAX, profile_folder ? profile_folder : "");
}

kpl::utf8_string_pow2 single_instance_mutex_name(uint32_t hash) {
    static const char digits[] = "0123456789ABCDEF";
    kpl::utf8_string_pow2 name("VORN_");
    for (int shift = 28; shift >= 0; shift -= 4) name.append_char(digits[(hash >> shift) & 0xF]);
    return name;
}

bool parse_forwarded_block(const std::vector<char>& bytes, kpl::utf8_string& command_line, kpl::utf8_string& base) {
    if (bytes.empty()) return false;
    size_t zeros = 0, first = 0, second = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != 0) continue;
        if (zeros == 0) first = i;
        else if (zeros == 1) second = i;
        ++zeros;
    }
    if (zeros != 2) return false;
    command_line.assign(bytes.data(), static_cast<uint32_t>(first));
    base.assign(bytes.data() + first + 1, static_cast<uint32_t>(second - first - 1));
    return true;
}

bool single_instance_acquire(instance_record& record) {
    single_instance_release(record);
    record.profile_hash = profile_hash(app_state.profile_folder.c_str());
    kpl::utf8_string_pow2 name = single_instance_mutex_name(record.profile_hash);
    kpl::wide_array wide_name;
    kpl::utf8_to_wide_array(wide_name, name.c_str());

    DWORD started = GetTickCount();
    for (int attempt = 1;; ++attempt) {
        if (g_mutex && g_mutex_name == name.c_str()) break;  // this process holds it already
        HANDLE mutex = CreateMutexW(nullptr, FALSE, wide_name.c_str());
        if (!mutex) exception_win32::throw_last_error();
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            if (g_mutex) CloseHandle(g_mutex);
            g_mutex = mutex;
            g_mutex_name = name.c_str();
            break;
        }
        CloseHandle(mutex);
        search s{record.profile_hash, nullptr};
        EnumWindows(&find_instance_window, reinterpret_cast<LPARAM>(&s));
        if (s.found && forward_to(s.found, record)) return false;
        if (attempt >= k_max_attempts || GetTickCount() - started >= k_give_up_after_ms) return false;
        Sleep(100);
    }
    create_instance_window(record);
    return true;
}

void single_instance_release(instance_record& record) {
    if (record.window) {
        DestroyWindow(record.window);
        record.window = nullptr;
        UnregisterClassW(instance_window_class, app_module_handle());
    }
    record.queue.clear();
    record.taken_tokens.clear();
}

void process_own_command_line(instance_record& record) {
    if (!record.window) return;
    kpl::utf8_string_pow2 folder = current_folder();
    if (!folder.is_empty()) process_command_line(own_command_line(record).c_str(), true, folder.c_str());
    process_queue(record);
}
