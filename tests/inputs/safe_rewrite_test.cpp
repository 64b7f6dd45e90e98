#include <doctest/doctest.h>

#include <windows.h>

#include <string>

#include "foundation/fs/file_system.h"
#include "foundation/fs/open_mode.h"
#include "foundation/kpl/codepage.h"
#include "foundation/services/service_registry.h"
#include "inputs/safe_rewrite.h"
#include "tests/inputs/input_test_support.h"

namespace {

const abort_signal& never = abort_never;

// The file-system front ends find their providers in the program's class table.

// A fresh folder under the system's temporary folder, removed with its files at the end.
class scratch_folder {
public:
    scratch_folder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        m_path = std::wstring(base) + L"vorn-safe-rewrite-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~scratch_folder() {
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((m_path + L"\\*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                SetFileAttributesW((m_path + L"\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW((m_path + L"\\" + name).c_str());
            } while (FindNextFileW(h, &found));
            FindClose(h);
        }
        RemoveDirectoryW(m_path.c_str());
    }
    std::wstring file(const wchar_t* name) const { return m_path + L"\\" + name; }
    std::string location(const wchar_t* name) const {
        return std::string("file://") + kpl::utf8_string_from_utf16(file(name).c_str()).c_str();
    }
    int file_count() const {
        int n = 0;
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((m_path + L"\\*").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) return 0;
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") ++n;
        } while (FindNextFileW(h, &found));
        FindClose(h);
        return n;
    }

private:
    std::wstring m_path;
};

void put(const std::wstring& path, const std::string& content) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD written;
    WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
    CloseHandle(h);
}

FILETIME creation_time(const std::wstring& path) {
    FILETIME t = {};
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileTime(h, &t, nullptr, nullptr);
    CloseHandle(h);
    return t;
}

void set_creation_time(const std::wstring& path, const FILETIME& t) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    SetFileTime(h, &t, nullptr, nullptr);
    CloseHandle(h);
}

bool same_time(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

std::string read_all(file_stream& f) {
    std::string out(size_t(f.get_size(never)), '\0');
    f.seek(0, never);
    if (!out.empty()) f.read_exact(&out[0], out.size(), never);
    return out;
}

}  // namespace

TEST_CASE("the temporary file sits beside the target and has one name per target") {
    input_test::services_built();
    scratch_folder folder;
    put(folder.file(L"a.mp3"), "old");
    std::string target = folder.location(L"a.mp3");
    std::string names[2];
    for (std::string& name : names) {
        safe_rewrite rewrite(target.c_str());
        file_stream_ref out;
        REQUIRE(rewrite.begin(out, never));
        name = rewrite.temporary_path();
        out.reset();
        rewrite.cancel();
    }
    CHECK(names[0] == names[1]);
    std::string folder_part = target.substr(0, target.rfind('\\') + 1);
    CHECK(names[0].compare(0, folder_part.size(), folder_part) == 0);
    std::string leaf = names[0].substr(folder_part.size());
    CHECK(leaf.size() == 5 + 32 + 4);
    CHECK(leaf.compare(0, 5, "temp-") == 0);
    CHECK(leaf.compare(leaf.size() - 4, 4, ".tmp") == 0);
    CHECK(folder.file_count() == 1);
}

TEST_CASE("commit puts the new content in place and keeps creation time and attributes") {
    input_test::services_built();
    scratch_folder folder;
    std::wstring path = folder.file(L"b.mp3");
    put(path, "old content");
    FILETIME created = {0x12345678, 0x01C00000};
    set_creation_time(path, created);
    // Some file systems (Wine on Linux) keep no creation time of their own; then there is nothing to keep.
    const bool keeps_creation_time = same_time(creation_time(path), created);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);

    std::string target = folder.location(L"b.mp3");
    file_stream_ref file;
    file_system_open(file, target.c_str(), open_mode_modify, never);
    safe_rewrite rewrite(target.c_str());
    file_stream_ref out;
    REQUIRE(rewrite.begin(out, never));
    out->write("new", 3, never);
    out.reset();
    CHECK(read_all(*file) == "old content");  // nothing changes before the commit
    rewrite.commit(file, never);

    REQUIRE(file);
    CHECK(read_all(*file) == "new");
    file.reset();
    CHECK((GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0);
    if (keeps_creation_time) CHECK(same_time(creation_time(path), created));
    CHECK(folder.file_count() == 1);
}

TEST_CASE("cancel removes the temporary and leaves the target alone; commit without begin does nothing") {
    input_test::services_built();
    scratch_folder folder;
    put(folder.file(L"c.mp3"), "keep");
    std::string target = folder.location(L"c.mp3");
    file_stream_ref file;
    file_system_open(file, target.c_str(), open_mode_modify, never);
    {
        safe_rewrite rewrite(target.c_str());
        file_stream_ref out;
        REQUIRE(rewrite.begin(out, never));
        out->write("partial", 7, never);
        CHECK(folder.file_count() == 2);
        out.reset();
        rewrite.cancel();
    }
    CHECK(folder.file_count() == 1);
    CHECK(read_all(*file) == "keep");

    safe_rewrite unused(target.c_str());
    file_stream_ref same = file;
    unused.commit(file, never);
    CHECK(file.get() == same.get());
}
