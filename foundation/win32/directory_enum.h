#pragma once
// Walking the entries of a folder (FindFirstFileW / FindNextFileW) with UTF-8 names.
//
//   if (auto e = directory_enum::open("C:\\Music\\*.*")) {
//       do {
//           if (!(e->attributes() & FILE_ATTRIBUTE_DIRECTORY)) add(e->name(), e->size());
//       } while (e->next());
//   }                                           // the search is closed when e goes
//
// open() positions the enumerator on the first entry; next() moves on and answers false after the last.

#include <windows.h>

#include <cstdint>
#include <memory>

#include "foundation/kpl/string.h"

class directory_enum {
public:
    // Starts a search on the pattern exactly as given; null when nothing matches or the search fails
    // (GetLastError tells why).
    static std::unique_ptr<directory_enum> open(const char* pattern);
    ~directory_enum();
    directory_enum(const directory_enum&) = delete;
    directory_enum& operator=(const directory_enum&) = delete;

    // Moves to the next entry; false after the last one.
    bool next();
    const char* name() const { return m_name.c_str(); }
    uint64_t size() const;
    uint32_t attributes() const { return m_data.dwFileAttributes; }
    uint64_t creation_time() const;
    uint64_t last_access_time() const;
    uint64_t last_write_time() const;

private:
    directory_enum() = default;
    void take_name();

    kpl::utf8_string_pow2 m_name;
    WIN32_FIND_DATAW m_data = {};
    HANDLE m_search = INVALID_HANDLE_VALUE;
};
