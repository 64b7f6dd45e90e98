#include "foundation/win32/directory_enum.h"

#include "foundation/win32/win_string.h"

namespace {

uint64_t filetime_value(const FILETIME& time) {
    return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::unique_ptr<directory_enum> directory_enum::open(const char* pattern) {
    std::unique_ptr<directory_enum> e(new directory_enum);
    e->m_search = FindFirstFileW(win_string_param(pattern).get(), &e->m_data);
    if (e->m_search == INVALID_HANDLE_VALUE) return nullptr;
    e->take_name();
    return e;
}

directory_enum::~directory_enum() {
    if (m_search != INVALID_HANDLE_VALUE) FindClose(m_search);
}

bool directory_enum::next() {
    if (m_search == INVALID_HANDLE_VALUE || !FindNextFileW(m_search, &m_data)) return false;
    take_name();
    return true;
}

void directory_enum::take_name() { m_name = utf16_to_utf8_string(m_data.cFileName); }

uint64_t directory_enum::size() const { return (uint64_t(m_data.nFileSizeHigh) << 32) | m_data.nFileSizeLow; }
uint64_t directory_enum::creation_time() const { return filetime_value(m_data.ftCreationTime); }
uint64_t directory_enum::last_access_time() const { return filetime_value(m_data.ftLastAccessTime); }
uint64_t directory_enum::last_write_time() const { return filetime_value(m_data.ftLastWriteTime); }
