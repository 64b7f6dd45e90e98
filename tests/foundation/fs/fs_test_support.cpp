#include "fs_test_support.h"

#include <doctest/doctest.h>

#include <cstring>
#include <vector>

#include "foundation/fs/filesystem_provider.h"
#include "foundation/services/service_registry.h"

namespace fs_test {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::string narrow(const std::wstring& utf16) {
    if (utf16.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), &out[0], n, nullptr, nullptr);
    return out;
}

namespace {

void remove_tree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(path + L"\\");
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

scratch_folder::scratch_folder() {
    static LONG serial = 0;
    wchar_t temp[MAX_PATH + 1];
    REQUIRE(GetTempPathW(MAX_PATH + 1, temp) != 0);
    std::wstring path = temp;
    path += L"vorn-fs-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(InterlockedIncrement(&serial)) + L"\\";
    remove_tree(path);
    REQUIRE(CreateDirectoryW(path.c_str(), nullptr));
    m_path = narrow(path);
}

scratch_folder::~scratch_folder() { remove_tree(widen(m_path)); }

void write_file(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE_MESSAGE(file != INVALID_HANDLE_VALUE, "cannot create " << path);
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    REQUIRE(ok);
    REQUIRE(written == bytes.size());
}

std::string read_file(const std::string& path) {
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    REQUIRE_MESSAGE(file != INVALID_HANDLE_VALUE, "cannot open " << path);
    std::string bytes;
    char block[65536];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof(block), &got, nullptr) && got) bytes.append(block, got);
    CloseHandle(file);
    return bytes;
}

bool exists(const std::string& path) { return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

void make_folder(const std::string& path) { REQUIRE(CreateDirectoryW(widen(path).c_str(), nullptr)); }

void write_patterned_file(const std::string& path, uint64_t size) {
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    std::vector<unsigned char> block(1 << 20);
    uint64_t done = 0;
    bool ok = true;
    while (ok && done < size) {
        DWORD n = static_cast<DWORD>(size - done < block.size() ? size - done : block.size());
        for (DWORD i = 0; i < n; ++i) block[i] = pattern_byte(done + i);
        DWORD written = 0;
        ok = WriteFile(file, block.data(), n, &written, nullptr) && written == n;
        done += n;
    }
    CloseHandle(file);
    REQUIRE(ok);
}

namespace {

bool english_lookup(const char* id, kpl::utf8_string& out) {
    static const struct {
        const char* id;
        const char* text;
    } texts[] = {
        {"exception_io", "I/O error"},
        {"exception_io_data", "Unsupported format or corrupted file"},
        {"exception_io_not_found", "Object not found"},
        {"exception_io_denied", "Access denied"},
        {"exception_io_sharing_violation", "File is already in use"},
        {"exception_io_already_exists", "Object already exists"},
        {"exception_io_seek_out_of_range", "Seek offset out of range"},
        {"exception_io_no_handler_for_path", "Invalid path"},
        {"exception_io_no_length", "Unknown length"},
    };
    for (const auto& t : texts) {
        if (std::strcmp(t.id, id) == 0) {
            out.assign(t.text);
            return true;
        }
    }
    return false;
}

}  // namespace

registry_built::registry_built() {
    if (service_class::find(filesystem_provider::class_guid)) return;
    service_registry::table().build(service_registration_list());
    m_built_here = true;
}

registry_built::~registry_built() {
    if (m_built_here) service_registry::table().release();
}

english_io_texts::english_io_texts() : m_previous(kpl::set_text_lookup(&english_lookup)) {}
english_io_texts::~english_io_texts() { kpl::set_text_lookup(m_previous); }

}  // namespace fs_test
