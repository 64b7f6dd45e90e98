#pragma once
// Fixtures of the file-system tests: a scratch folder of their own, files made and read back with plain
// Windows calls (independent of the code under test), and abort signals that trip on cue.

#include <windows.h>

#include <string>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/text_lookup.h"
#include "foundation/tasks/abort_signal.h"
#include "tests/support/abort_after_checks.h"

namespace fs_test {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);

// A fresh folder under the temporary folder, removed with everything in it when the object goes.
class scratch_folder {
public:
    scratch_folder();
    ~scratch_folder();
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;

    // Native path of the folder, with a trailing backslash.
    const std::string& path() const { return m_path; }
    // Native path of a name inside it.
    std::string operator/(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

// Whole-file helpers on native UTF-8 paths through CreateFileW; they fail the test on error.
void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool exists(const std::string& path);
void make_folder(const std::string& path);
// A file of the given size whose byte at offset i is (i * 7 + i / 65536) & 0xFF.
void write_patterned_file(const std::string& path, uint64_t size);
inline unsigned char pattern_byte(uint64_t i) { return static_cast<unsigned char>((i * 7 + i / 65536) & 0xFF); }

using ::abort_after_checks;  // tests/support/abort_after_checks.h

// Installs English texts for the I/O exceptions the tests read, for its lifetime.
class english_io_texts {
public:
    english_io_texts();
    ~english_io_texts();

private:
    kpl::text_lookup_function m_previous;
};

// The program's service table (and with it the file-system providers) for the object's lifetime: built
// when it is not, and released again only by the object that built it.
class registry_built {
public:
    registry_built();
    ~registry_built();
    registry_built(const registry_built&) = delete;
    registry_built& operator=(const registry_built&) = delete;

private:
    bool m_built_here = false;
};

// Milliseconds since some fixed moment.
inline DWORD now_ms() { return GetTickCount(); }

}  // namespace fs_test
