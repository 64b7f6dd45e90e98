#include "tools/inspect/library_session.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/services/config_store.h"
#include "foundation/services/profile_folder.h"
#include "foundation/services/service_registry.h"
#include "library/directory_monitor.h"
#include "library/library_manager.h"
#include "shell/hidden_window.h"
#include "shell/main_thread_queue.h"

namespace {

// Quiet time before the library counts as settled: short when every monitor says it caught up with the disk,
// longer for monitors that cannot say.
constexpr DWORD k_settled_quiet_ms = 200;
constexpr DWORD k_quiet_ms = 1500;

std::wstring wide(const std::string& text) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, text.c_str());
    return w.c_str();
}

// The folder and its missing parents.
void make_folder(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryW(wide(path.substr(0, at)).c_str(), nullptr);
    CreateDirectoryW(wide(path).c_str(), nullptr);
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw kpl::exception_with_message(("cannot make the profile folder " + path).c_str());
}

}  // namespace

void inspect_bad_argument(const char* what, const char* text) {
    kpl::utf8_string_pow2 message(what);
    message << ": " << text;
    throw kpl::exception_invalid_params(message.c_str());
}

double watch_seconds_option(const inspect_arguments& args) {
    const char* text = args.option("watch");
    if (!text) return 0;
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (!*text || *end || !(seconds >= 0) || seconds > 86400) inspect_bad_argument("bad --watch", text);
    return seconds;
}

std::vector<std::string> option_values(const inspect_arguments& args, const char* name) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < args.option_names.count(); ++i)
        if (args.option_names[i] == name) out.push_back(args.option_values[i].c_str());
    return out;
}

void open_profile(const std::string& profile) {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    make_folder(profile);
    profile_folder::set(("file://" + profile).c_str());
    const kpl::utf8_string_pow2 config = config_store::program_location();
    config_store::program().load(config.c_str(), true);
}

void pump_messages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    main_thread_queue::drain(false);
}

void pump_for(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        pump_messages();
        Sleep(10);
    }
}

DWORD wait_library_settled(const library_activity& activity) {
    DWORD last_activity = GetTickCount();
    uint32_t last_read = library_manager::stats().files_read;
    for (;;) {
        pump_messages();
        const DWORD now = GetTickCount();
        bool settled = main_thread_queue::pending() == 0, all_tell = true;
        for (const auto& f : library_manager::watched()) {
            if (f.busy || (f.monitor && !f.monitor->is_finished())) settled = false;
            service_ptr<directory_monitor_progress> progress;
            if (!f.monitor || !service_query(f.monitor, progress))
                all_tell = false;
            else if (!progress->is_settled())
                settled = false;
        }
        const DWORD quiet = all_tell ? k_settled_quiet_ms : k_quiet_ms;
        const uint32_t read = library_manager::stats().files_read;
        if (read != last_read) {
            last_read = read;
            last_activity = now;
        }
        const DWORD reported = activity.last_activity();
        if (reported && static_cast<int32_t>(reported - last_activity) > 0) last_activity = reported;
        if (!settled) last_activity = std::max<DWORD>(last_activity, now);
        if (settled && now - last_activity >= quiet) return last_activity;
        Sleep(10);
    }
}

event_file::event_file(const char* path) {
    if (!path) return;
    m_file = CreateFileW(wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, 0, nullptr);
    if (m_file == INVALID_HANDLE_VALUE) inspect_bad_argument("cannot open --events", path);
}

event_file::~event_file() {
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
}

void event_file::append(const std::string& line) {
    if (m_file == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(m_file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

library_session::window_scope::window_scope() { hidden_window_create(); }

library_session::window_scope::~window_scope() {
    main_thread_queue::drain(true);
    hidden_window_destroy();
}

library_session::library_session(library_change_listener* listener) : m_listener(listener) {
    media_library::startup();
    service_class::get_single(m_library);
    m_library->register_listener(m_listener);
}

library_session::~library_session() {
    m_library->unregister_listener(m_listener);
    media_library::unload();
}
