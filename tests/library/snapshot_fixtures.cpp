#include "tests/library/snapshot_fixtures.h"

#include <doctest/doctest.h>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"

namespace snapshot_fixtures {

std::wstring wide(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], n);
    w.resize(static_cast<size_t>(n - 1));
    return w;
}

void ensure_registry() {
    if (!service_registry::is_running()) service_registry::start();
}

namespace {

std::string narrow(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    s.resize(static_cast<size_t>(n - 1));
    return s;
}

void remove_tree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

void write_all(const std::string& native, const std::string& bytes) {
    HANDLE h = CreateFileW(wide(native).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    REQUIRE(written == bytes.size());
}

void put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i));
}

}  // namespace

std::string wav_bytes(uint32_t frames) {
    std::string s = "RIFF";
    put32(s, 36 + frames * 2);
    s += "WAVEfmt ";
    put32(s, 16);
    s += std::string("\x01\x00\x01\x00", 4);
    put32(s, 8000);
    put32(s, 16000);
    s += std::string("\x02\x00\x10\x00", 4);
    s += "data";
    put32(s, frames * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        const int16_t v = static_cast<int16_t>((i * 97) % 2000 - 1000);
        s += static_cast<char>(v & 0xFF);
        s += static_cast<char>((v >> 8) & 0xFF);
    }
    return s;
}

temp_tree::temp_tree(const char* tag) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::string base = narrow(temp);
    if (!base.empty() && base.back() == '\\') base.pop_back();
    static int serial = 0;
    m_root = base + "\\vorn-" + tag + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    remove_tree(wide(m_root));
    REQUIRE(CreateDirectoryW(wide(m_root).c_str(), nullptr));
}

temp_tree::~temp_tree() {
    remove_tree(wide(m_root));
    for (const char* name : {"script.sh", "done", "source.wav"}) DeleteFileW(wide(staging(name)).c_str());
}

std::string temp_tree::unix_path(const std::string& relative) const {
    typedef char*(CDECL * unix_name_function)(const wchar_t*);
    const auto convert = reinterpret_cast<unix_name_function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!convert) return "";
    char* name = convert(wide(native(relative)).c_str());
    if (!name) return "";
    std::string out = name;
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

void temp_tree::stage_source(const std::string& bytes) const { write_all(staging("source.wav"), bytes); }

void temp_tree::run_linux(const std::string& script) const {
    const std::string root = unix_path();
    REQUIRE_MESSAGE(!root.empty(), "not running under Wine");
    const std::string done = staging("done");
    DeleteFileW(wide(done).c_str());
    write_all(staging("script.sh"), "cd '" + root + "' || exit 1\nSOURCE='" + root + "-source.wav'\n" + script +
                                        "\ntouch '" + root + "-done'\n");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring command = L"/bin/sh \"" + wide(root) + L"-script.sh\"";
    REQUIRE(CreateProcessW(L"Z:\\bin\\sh", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process));
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    // Wine does not follow a Unix process; the script's last step tells that it has run.
    const DWORD start = GetTickCount();
    while (GetFileAttributesW(wide(done).c_str()) == INVALID_FILE_ATTRIBUTES) {
        REQUIRE(GetTickCount() - start < 30000);
        Sleep(5);
    }
}

void temp_tree::folder(const std::string& relative) const {
    REQUIRE(CreateDirectoryW(wide(native(relative)).c_str(), nullptr));
}

void temp_tree::wav(const std::string& relative, uint32_t frames) const { write_all(native(relative), wav_bytes(frames)); }

void temp_tree::text(const std::string& relative, const std::string& content) const {
    write_all(native(relative), content);
}

void temp_tree::remove_file(const std::string& relative) const { REQUIRE(DeleteFileW(wide(native(relative)).c_str())); }

void temp_tree::move(const std::string& from, const std::string& to) const {
    REQUIRE(MoveFileW(wide(native(from)).c_str(), wide(native(to)).c_str()));
}

void temp_tree::set_stamp(const std::string& relative, uint64_t stamp) const {
    HANDLE h = CreateFileW(wide(native(relative)).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(stamp);
    t.dwHighDateTime = static_cast<DWORD>(stamp >> 32);
    CHECK(SetFileTime(h, nullptr, nullptr, &t));
    CloseHandle(h);
}

uint64_t temp_tree::stamp(const std::string& relative) const {
    WIN32_FILE_ATTRIBUTE_DATA data;
    REQUIRE(GetFileAttributesExW(wide(native(relative)).c_str(), GetFileExInfoStandard, &data));
    return (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

std::string track_name(const track_handle& track, const std::string& root) {
    std::string path = track.get_location().get_path();
    if (path.compare(0, root.size(), root) == 0) {
        path.erase(0, root.size());
        if (!path.empty() && path[0] == '\\') path.erase(0, 1);
    }
    return path + "#" + std::to_string(track.get_location().get_subsong());
}

void recording_host::list_directory(const char* location, snapshot_listing& files, snapshot_listing& folders) {
    ++listings;
    auto failing = fail_listing.find(location);
    if (failing == fail_listing.end()) {
        snapshot_list_directory(location, files, folders, abort());
        return;
    }
    snapshot_listing all_files, all_folders;
    snapshot_list_directory(location, all_files, all_folders, abort());
    uint32_t left = failing->second;
    for (auto& f : all_files) {
        if (left == 0) break;
        files.insert(f);
        --left;
    }
    for (auto& d : all_folders) {
        if (left == 0) break;
        folders.insert(d);
        --left;
    }
    throw ketrel_io::exception_io_denied();
}

void recording_host::flush(snapshot_batch& batch) {
    batch.commit_hints();
    std::map<track_handle*, track_handle_ref> a, r;
    batch.take_sets(a, r);
    for (auto& e : a) {
        const std::string name = track_name(*e.second, m_root);
        removed.erase(name);
        added.insert(name);
    }
    for (auto& e : r) {
        const std::string name = track_name(*e.second, m_root);
        added.erase(name);
        removed.insert(name);
    }
}

}  // namespace snapshot_fixtures
