// Scratch files: "tempmem://" memory files and "tempfile://" files that vanish with their last reference.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "fs_test_support.h"

using namespace fs_test;

namespace {

std::string contents(file_stream& f) {
    f.seek(0, abort_never);
    std::string out(static_cast<size_t>(f.get_size(abort_never)), '\0');
    if (!out.empty()) f.read_exact(&out[0], out.size(), abort_never);
    return out;
}

std::vector<std::wstring> temp_files_named_omg() {
    wchar_t folder[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, folder);
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((std::wstring(folder) + L"omg*.tmp").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do names.push_back(entry.cFileName);
        while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    return names;
}

// Points the process's temporary folder (TMP) at a folder of the test's own, so that no other program's
// temporary files show up in it.
class private_temp_folder {
public:
    explicit private_temp_folder(const std::string& folder) {
        wchar_t old[MAX_PATH + 1];
        DWORD n = GetEnvironmentVariableW(L"TMP", old, MAX_PATH + 1);
        m_had_old = n > 0 && n <= MAX_PATH;
        if (m_had_old) m_old = old;
        SetEnvironmentVariableW(L"TMP", widen(folder).c_str());
    }
    ~private_temp_folder() { SetEnvironmentVariableW(L"TMP", m_had_old ? m_old.c_str() : nullptr); }

private:
    std::wstring m_old;
    bool m_had_old = false;
};

}  // namespace

TEST_CASE("scratch files round-trip their content through either kind") {
    registry_built registry;
    const char* kinds[] = {"tempmem://", "tempfile://"};
    for (const char* kind : kinds) {
        CAPTURE(kind);
        file_stream_ref f;
        file_system_open(f, kind, open_mode_create, abort_never);
        CHECK(f->get_size(abort_never) == 0);
        CHECK(f->is_in_memory() == (std::string(kind) == "tempmem://"));
        CHECK(f->can_seek());

        f->write("ab", 2, abort_never);
        f->seek(2, abort_never);
        f->write("cde", 3, abort_never);
        CHECK(f->get_size(abort_never) == 5);
        CHECK(contents(*f) == "abcde");
        f->seek(1, abort_never);
        f->write("XY", 2, abort_never);
        CHECK(contents(*f) == "aXYde");

        f->seek(4, abort_never);
        f->resize(1, abort_never);
        CHECK(f->get_position(abort_never) == 1);
        CHECK(contents(*f) == "a");
        CHECK_THROWS_AS(f->seek(2, abort_never), ketrel_io::exception_io_seek_out_of_range);
        f->resize(3, abort_never);
        CHECK(contents(*f) == std::string("a\0\0", 3));

        // 100 KiB in odd pieces, read back in other odd pieces.
        f->resize(0, abort_never);
        std::string big;
        for (int i = 0; i < 100 * 1024; ++i) big.push_back(static_cast<char>(i * 31 + i / 251));
        for (size_t at = 0; at < big.size(); at += 777) f->write(big.data() + at, std::min<size_t>(777, big.size() - at), abort_never);
        f->seek(0, abort_never);
        std::string back;
        char piece[1000];
        size_t got;
        while ((got = f->read(piece, 999, abort_never)) > 0) back.append(piece, got);
        CHECK(back == big);
        CHECK(file_is_at_end(*f, abort_never));
    }
}

TEST_CASE("scratch file providers accept only creation of their one location") {
    registry_built registry;
    file_stream_ref f;
    CHECK_THROWS_AS(file_system_open(f, "tempfile://", open_mode_read, abort_never), ketrel_io::exception_io_denied);
    CHECK_THROWS_AS(file_system_open(f, "tempfile://", open_mode_modify, abort_never), ketrel_io::exception_io_denied);
    CHECK_THROWS_AS(file_system_open(f, "tempmem://", open_mode_read, abort_never), ketrel_io::exception_io);
    try {
        file_system_open(f, "tempmem://", open_mode_read, abort_never);
    } catch (const ketrel_io::exception_io_denied&) {
        FAIL("tempmem:// refuses other modes with the plain I/O error");
    } catch (const ketrel_io::exception_io&) {
    }
    // "tempfile://" followed by anything is nobody's location.
    CHECK_THROWS_AS(file_system_open(f, "tempfile://x", open_mode_create, abort_never),
                    ketrel_io::exception_io_no_handler_for_path);

    const char* kinds[] = {"tempmem://", "tempfile://"};
    for (const char* kind : kinds) {
        CAPTURE(kind);
        file_stats stats;
        bool writable;
        CHECK_THROWS_AS(file_system_get_stats(kind, stats, writable, abort_never), ketrel_io::exception_io_not_found);
        CHECK_THROWS_AS(file_system_remove(kind, abort_never), ketrel_io::exception_io_not_found);
        CHECK_THROWS_AS(file_system_create_folder(kind, abort_never), ketrel_io::exception_io_not_found);
        CHECK_FALSE(file_system_exists(kind, abort_never));
        CHECK_FALSE(file_system_is_remote(kind));
    }
    kpl::utf8_string_pow2 shown;
    file_system_display_path("tempfile://", shown);
    CHECK(shown == "<temporary file>");
    file_system_display_path("tempmem://", shown);
    CHECK(shown == "<temporary memory space>");
}

TEST_CASE("a temporary file is gone once its last reference is released") {
    registry_built registry;
    scratch_folder dir;
    private_temp_folder temp(dir.path());
    std::vector<std::wstring> before = temp_files_named_omg();
    CHECK(before.empty());
    file_stream_ref f;
    temp_file_open(f, abort_never);
    f->write("scratch", 7, abort_never);
    file_stream_ref second = f;
    std::vector<std::wstring> during = temp_files_named_omg();
    REQUIRE(during.size() == before.size() + 1);
    CHECK(exists(dir / narrow(during[0])));
    f.reset();
    CHECK(temp_files_named_omg().size() == before.size() + 1);
    second.reset();
    CHECK(temp_files_named_omg().size() == before.size());

    // Each open is a file of its own.
    file_stream_ref a, b;
    temp_file_open(a, abort_never);
    temp_file_open(b, abort_never);
    a->write("1", 1, abort_never);
    CHECK(b->get_size(abort_never) == 0);
}

TEST_CASE("memory files keep below 4 GiB") {
    registry_built registry;
    file_stream_ref f;
    temp_memory_file_open(f, abort_never);
    CHECK_THROWS_AS(f->resize(0x100000000ull, abort_never), kpl::exception_overflow);
    CHECK_THROWS_AS(f->seek(0x100000000ull, abort_never), ketrel_io::exception_io_seek_out_of_range);
    CHECK(f->get_timestamp(abort_never) == 0);
    abort_after_checks set(0);
    CHECK_THROWS_AS(f->write("x", 1, set), ketrel_io::exception_aborted);
    CHECK_THROWS_AS(f->read(nullptr, 0, set), ketrel_io::exception_aborted);
    CHECK(f->get_size(abort_never) == 0);
}
