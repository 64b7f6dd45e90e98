// Disk files: overlapped reads and writes at the object's own position, seeking inside the size, the
// three open modes, the read-ahead giving exactly the file's bytes (also through a synchronous handle), and
// aborts that end reads between and within requests.
#include <doctest/doctest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/disk_file.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "fs_test_support.h"

using namespace fs_test;

namespace {

std::string read_text(file_stream& f, size_t n) {
    std::string out(n, '\0');
    out.resize(f.read(&out[0], n, abort_never));
    return out;
}

// The two ways of opening a local file for reading.
struct read_opener {
    const char* name;
    void (*open)(file_stream_ref& out, const char* location, const abort_signal& abort);
};
const read_opener read_openers[] = {{"overlapped", &file_system_open_read},
                                    {"synchronous", &file_system_open_read_synchronous}};

}  // namespace

TEST_CASE("disk file reads stop at the end and seeks stay inside the size") {
    registry_built registry;
    scratch_folder dir;
    write_file(dir / "twenty.bin", "0123456789abcdefghij");
    for (const read_opener& opener : read_openers) {
        CAPTURE(opener.name);
        file_stream_ref f;
        opener.open(f, ("file://" + (dir / "twenty.bin")).c_str(), abort_never);

        CHECK(f->get_size(abort_never) == 20);
        f->seek(16, abort_never);
        CHECK(read_text(*f, 10) == "ghij");
        CHECK(read_text(*f, 10) == "");
        CHECK(f->get_position(abort_never) == 20);

        f->seek(20, abort_never);
        CHECK_THROWS_AS(f->seek(21, abort_never), ketrel_io::exception_io_seek_out_of_range);
        CHECK(f->get_position(abort_never) == 20);

        struct {
            int64_t offset;
            int origin;
            uint64_t expected;
        } moves[] = {{-4, seek_origin_end, 16}, {-6, seek_origin_current, 10}, {3, seek_origin_start, 3},
                     {17, seek_origin_current, 20}, {0, seek_origin_end, 20}};
        for (const auto& m : moves) {
            f->seek_from(m.offset, m.origin, abort_never);
            CHECK(f->get_position(abort_never) == m.expected);
        }
        CHECK_THROWS_AS(f->seek_from(-21, seek_origin_end, abort_never), ketrel_io::exception_io_seek_out_of_range);
        CHECK_THROWS_AS(f->seek_from(1, seek_origin_end, abort_never), ketrel_io::exception_io_seek_out_of_range);
        CHECK_THROWS_AS(f->seek_from(0, 3, abort_never), ketrel_io::exception_io_data);

        // A seekable file skips large distances by seeking, and only up to its end.
        f->seek(0, abort_never);
        CHECK(f->skip(1025, abort_never) == 20);
        CHECK(f->get_position(abort_never) == 20);
        f->seek(0, abort_never);
        CHECK_THROWS_AS(f->skip_exact(1025, abort_never), ketrel_io::exception_io_data);
        f->seek(5, abort_never);
        CHECK(f->skip(3, abort_never) == 3);
        CHECK(read_text(*f, 2) == "89");
        // Back from the end after reading there: the bytes come again.
        f->seek(20, abort_never);
        CHECK(read_text(*f, 5) == "");
        f->seek(2, abort_never);
        CHECK(read_text(*f, 30) == "23456789abcdefghij");
    }
}

namespace {

// A small generator of the test's own, so that a failing sequence comes back from its start value.
struct test_random {
    uint32_t state;
    uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    uint32_t below(uint32_t n) { return n ? next() % n : 0; }
};

// A read size from every range the read-ahead treats differently: inside one fill, around the first fill
// size, across several fills, and past the largest fill (straight into the caller's buffer).
size_t random_read_size(test_random& r) {
    switch (r.below(6)) {
    case 0: return r.below(17);
    case 1: return r.below(4097);
    case 2: return 16 * 1024 - 8 + r.below(17);
    case 3: return r.below(200 * 1024);
    case 4: return 500 * 1024 + r.below(40 * 1024);
    default: return r.below(1200 * 1024);
    }
}

}  // namespace

TEST_CASE("reads through the read-ahead give exactly the bytes of a plain read, wherever they seek") {
    registry_built registry;
    scratch_folder dir;
    const size_t size = 3 * 1024 * 1024 + 1234;
    std::string content(size, '\0');
    test_random fill{99};
    for (char& c : content) c = static_cast<char>(fill.next());
    const std::string location = "file://" + (dir / "random.bin");

    struct {
        const char* name;
        uint32_t mode;
        uint32_t start;
        bool synchronous;
    } cases[] = {{"read-only", open_mode_read, 1, false},
                 {"read-only", open_mode_read, 2, false},
                 {"writable", open_mode_modify, 3, false},
                 {"synchronous", open_mode_read, 4, true},
                 {"synchronous", open_mode_read, 5, true}};
    for (const auto& c : cases) {
        CAPTURE(c.name);
        CAPTURE(c.start);
        write_file(dir / "random.bin", content);  // afresh: the writable case changes the file
        std::string model = content;
        file_stream_ref f;
        if (c.synchronous)
            file_system_open_read_synchronous(f, location.c_str(), abort_never);
        else
            file_system_open(f, location.c_str(), c.mode, abort_never);
        test_random r{c.start};
        uint64_t position = 0;
        std::vector<char> buffer;
        bool same = true;
        int step = 0;
        for (; step < 1500 && same; ++step) {
            const uint32_t what = r.below(10);
            if (what < 2) {
                // Anywhere, or close to where the reading stands (inside or just outside what was read ahead).
                const int64_t close_by = static_cast<int64_t>(position) + r.below(64 * 1024) - 32 * 1024;
                const int64_t end = static_cast<int64_t>(model.size());
                const int64_t target = what == 0 ? r.below(static_cast<uint32_t>(end) + 1) : close_by;
                position = static_cast<uint64_t>(target < 0 ? 0 : target > end ? end : target);
                f->seek(position, abort_never);
            } else if (what == 2 && c.mode != open_mode_read) {
                // A write through the same object: later reads must see it.
                const size_t n = r.below(3000);
                std::string bytes(n, '\0');
                for (char& b : bytes) b = static_cast<char>(r.next());
                f->write(bytes.data(), n, abort_never);
                if (position + n > model.size()) model.resize(static_cast<size_t>(position + n));
                model.replace(static_cast<size_t>(position), n, bytes);
                position += n;
            } else {
                const size_t n = random_read_size(r);
                buffer.resize(n + 1);
                const size_t got = f->read(buffer.data(), n, abort_never);
                const size_t expected = position + n <= model.size() ? n : model.size() - static_cast<size_t>(position);
                same = got == expected && std::memcmp(buffer.data(), model.data() + position, got) == 0;
                position += got;
            }
            same = same && f->get_position(abort_never) == position;
        }
        CAPTURE(step);
        CHECK(same);
        // Straight through to the end in small reads, as a decoder reads.
        f->seek(0, abort_never);
        std::string whole;
        char piece[1000];
        for (size_t got; (got = f->read(piece, 1 + r.below(sizeof(piece)), abort_never)) > 0;) whole.append(piece, got);
        CHECK(whole == model);
    }
}

TEST_CASE("a read-ahead buffer handed on from a file that went shows none of its bytes in the next files") {
    registry_built registry;
    scratch_folder dir;
    test_random fill{7};
    auto random_text = [&fill](size_t n) {
        std::string text(n, '\0');
        for (char& c : text) c = static_cast<char>(fill.next());
        return text;
    };
    const std::string big = random_text(1536 * 1024), tiny = random_text(100), middle = random_text(700 * 1000),
                      other = random_text(900 * 1000);
    write_file(dir / "big.bin", big);
    write_file(dir / "tiny.bin", tiny);
    write_file(dir / "middle.bin", middle);
    write_file(dir / "other.bin", other);
    auto location = [&dir](const char* name) { return "file://" + (dir / name); };
    auto read_through = [](file_stream& f) {
        std::string whole;
        char piece[4000];
        for (size_t got; (got = f.read(piece, sizeof piece, abort_never)) > 0;) whole.append(piece, got);
        return whole;
    };

    for (const read_opener& opener : read_openers) {
        CAPTURE(opener.name);
        {
            // Read to the end in small reads: its buffer grows to the largest size, then the file goes.
            file_stream_ref f;
            opener.open(f, location("big.bin").c_str(), abort_never);
            CHECK(read_through(*f) == big);
        }
        {
            file_stream_ref f;
            opener.open(f, location("tiny.bin").c_str(), abort_never);
            CHECK(read_text(*f, 1000) == tiny);
            CHECK(read_text(*f, 1000) == "");
            f->seek(90, abort_never);
            CHECK(read_text(*f, 1000) == tiny.substr(90));
        }
        {
            // Two files at once, read in turns; then a third after both went.
            file_stream_ref a, b;
            opener.open(a, location("middle.bin").c_str(), abort_never);
            opener.open(b, location("other.bin").c_str(), abort_never);
            std::string from_a, from_b;
            char piece[3000];
            for (size_t got_a = 1, got_b = 1; got_a + got_b > 0;) {
                got_a = a->read(piece, sizeof piece, abort_never);
                from_a.append(piece, got_a);
                got_b = b->read(piece, sizeof piece - 1, abort_never);
                from_b.append(piece, got_b);
            }
            CHECK(from_a == middle);
            CHECK(from_b == other);
            a->seek(300, abort_never);
            CHECK(read_text(*a, 50) == middle.substr(300, 50));
        }
        file_stream_ref f;
        file_system_open(f, location("middle.bin").c_str(), open_mode_modify, abort_never);
        CHECK(read_through(*f) == middle);
    }
}

TEST_CASE("open modes decide access, creation and sharing") {
    registry_built registry;
    scratch_folder dir;
    const std::string path = "file://" + (dir / "modes.bin");
    const std::string missing = "file://" + (dir / "missing.bin");
    file_stream_ref f;

    CHECK_THROWS_AS(file_system_open(f, missing.c_str(), open_mode_read, abort_never), ketrel_io::exception_io_not_found);
    CHECK_THROWS_AS(file_system_open(f, missing.c_str(), open_mode_modify, abort_never),
                    ketrel_io::exception_io_not_found);
    CHECK_THROWS_AS(file_system_open(f, path.c_str(), 3, abort_never), kpl::exception_invalid_params);

    file_system_open(f, path.c_str(), open_mode_create, abort_never);
    f->write("ab", 2, abort_never);
    f->seek(1, abort_never);
    f->write("xyz", 3, abort_never);
    CHECK(f->get_size(abort_never) == 4);
    f->resize(2, abort_never);
    CHECK(f->get_position(abort_never) == 2);
    f->resize(6, abort_never);
    CHECK(f->get_position(abort_never) == 2);
    f.reset();
    CHECK(read_file(dir / "modes.bin") == std::string("ax\0\0\0\0", 6));

    // Create empties an existing file; modify keeps its content.
    file_system_open(f, path.c_str(), open_mode_modify, abort_never);
    CHECK(f->get_size(abort_never) == 6);
    f->write("Q", 1, abort_never);
    f.reset();
    CHECK(read_file(dir / "modes.bin") == std::string("Qx\0\0\0\0", 6));
    file_system_open(f, path.c_str(), open_mode_create, abort_never);
    CHECK(f->get_size(abort_never) == 0);
    f.reset();

    // Readers share with readers, with independent positions; nobody writes meanwhile.
    write_file(dir / "modes.bin", "hello");
    file_stream_ref a, b, w;
    file_system_open(a, path.c_str(), open_mode_read, abort_never);
    file_system_open(b, path.c_str(), open_mode_read, abort_never);
    a->seek(3, abort_never);
    CHECK(read_text(*b, 2) == "he");
    CHECK(read_text(*a, 2) == "lo");
    CHECK_THROWS_AS(file_system_open(w, path.c_str(), open_mode_modify, abort_never),
                    ketrel_io::exception_io_sharing_violation);
    // A synchronous reader shares the same way.
    a.reset();
    b.reset();
    file_system_open_read_synchronous(a, path.c_str(), abort_never);
    file_system_open(b, path.c_str(), open_mode_read, abort_never);
    CHECK(read_text(*a, 9) == "hello");
    CHECK_THROWS_AS(file_system_open(w, path.c_str(), open_mode_modify, abort_never),
                    ketrel_io::exception_io_sharing_violation);
    a.reset();
    b.reset();
    file_system_open(w, path.c_str(), open_mode_modify, abort_never);
    CHECK_THROWS_AS(file_system_open_read_synchronous(a, path.c_str(), abort_never),
                    ketrel_io::exception_io_sharing_violation);
    CHECK_THROWS_AS(file_system_open_read_synchronous(a, missing.c_str(), abort_never),
                    ketrel_io::exception_io_not_found);
}

TEST_CASE("read-only disk files refuse changes but tell their time stamp") {
    registry_built registry;
    scratch_folder dir;
    write_file(dir / "ro.bin", "data");
    for (const read_opener& opener : read_openers) {
        CAPTURE(opener.name);
        file_stream_ref f;
        opener.open(f, ("file://" + (dir / "ro.bin")).c_str(), abort_never);

        CHECK_THROWS_AS(f->write("x", 1, abort_never), ketrel_io::exception_io_denied);
        CHECK_THROWS_AS(f->resize(1, abort_never), ketrel_io::exception_io_denied);

        // Windows refuses to flush a handle opened for reading; the time stamp must not depend on that.
        WIN32_FILE_ATTRIBUTE_DATA data;
        REQUIRE(GetFileAttributesExW(widen(dir / "ro.bin").c_str(), GetFileExInfoStandard, &data));
        uint64_t expected = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                            data.ftLastWriteTime.dwLowDateTime;
        CHECK(f->get_timestamp(abort_never) == expected);
        CHECK(expected != 0);
        CHECK(read_file(dir / "ro.bin") == "data");
    }
}

TEST_CASE("reads of more than 16 MiB go out in requests that an abort stops in between") {
    registry_built registry;
    scratch_folder dir;
    const uint64_t size = 40 * 1024 * 1024 + 1;  // requests of 16, 16 and 8 MiB + 1
    write_patterned_file(dir / "large.bin", size);
    file_stream_ref f;
    file_system_open(f, ("file://" + (dir / "large.bin")).c_str(), open_mode_read, abort_never);

    std::vector<unsigned char> buffer(static_cast<size_t>(size) + 100);
    CHECK(f->read(buffer.data(), buffer.size(), abort_never) == size);
    bool same = true;
    for (uint64_t i = 0; i < size; i += 4093) same = same && buffer[static_cast<size_t>(i)] == pattern_byte(i);
    CHECK(same);
    CHECK(buffer[static_cast<size_t>(size - 1)] == pattern_byte(size - 1));

    struct {
        int checks_before_abort;
        uint64_t position_after;
    } cases[] = {{0, 0}, {1, 16 * 1024 * 1024}, {2, 32 * 1024 * 1024}};
    for (const auto& c : cases) {
        CAPTURE(c.checks_before_abort);
        f->seek(0, abort_never);
        abort_after_checks abort(c.checks_before_abort);
        CHECK_THROWS_AS(f->read(buffer.data(), static_cast<size_t>(size), abort), ketrel_io::exception_aborted);
        CHECK(f->get_position(abort_never) == c.position_after);
    }

    // Every other operation checks the signal before it starts.
    abort_after_checks set(0);
    CHECK_THROWS_AS(f->get_size(set), ketrel_io::exception_aborted);
    CHECK_THROWS_AS(f->seek(0, set), ketrel_io::exception_aborted);
    CHECK_THROWS_AS(f->get_timestamp(set), ketrel_io::exception_aborted);
    CHECK_THROWS_AS(f->on_idle(set), ketrel_io::exception_aborted);
}

namespace {

struct delayed_abort {
    kpl::waitable_flag* flag;
    DWORD delay_ms;
    volatile DWORD set_at;
};

DWORD WINAPI set_after_delay(void* parameter) {
    auto* job = static_cast<delayed_abort*>(parameter);
    Sleep(job->delay_ms);
    job->set_at = GetTickCount();
    job->flag->set();
    return 0;
}

HANDLE start_delayed_abort(delayed_abort& job) {
    HANDLE thread = CreateThread(nullptr, 0, &set_after_delay, &job, 0, nullptr);
    REQUIRE(thread != nullptr);
    return thread;
}

}  // namespace

TEST_CASE("an abort from another thread cancels a read that is waiting for data") {
    // A pipe with no writer keeps the overlapped read pending until it is cancelled.
    std::wstring name = L"\\\\.\\pipe\\vorn-fs-test-" + std::to_wstring(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1,
                                     4096, 4096, 0, nullptr);
    REQUIRE(server != INVALID_HANDLE_VALUE);
    HANDLE client = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    REQUIRE(client != INVALID_HANDLE_VALUE);
    file_stream_ref f = disk_file::create(client, false);

    kpl::waitable_flag abort;
    delayed_abort job{&abort, 200, 0};
    HANDLE thread = start_delayed_abort(job);
    char buffer[16];
    DWORD started = now_ms();
    CHECK_THROWS_AS(f->read(buffer, sizeof(buffer), abort), ketrel_io::exception_aborted);
    DWORD ended = now_ms();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CHECK(ended - started >= 150);
    CHECK(ended - job.set_at < 1000);
    CHECK(f->get_position(abort_never) == 0);

    // The object stays usable: once data arrives, a new read gets it.
    DWORD written = 0;
    OVERLAPPED request = {};
    request.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!WriteFile(server, "hi", 2, &written, &request)) GetOverlappedResult(server, &request, &written, TRUE);
    CHECK(f->read(buffer, 2, abort_never) == 2);
    CHECK(std::string(buffer, 2) == "hi");
    CloseHandle(request.hEvent);
    f.reset();
    CloseHandle(server);
}

TEST_CASE("an abort during a read-ahead that waits for data ends the read promptly, the position exact") {
    // The pipe delivers what was written and then keeps the next, larger read-ahead request pending.
    std::wstring name = L"\\\\.\\pipe\\vorn-ahead-test-" + std::to_wstring(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE, 1,
                                     65536, 65536, 0, nullptr);
    REQUIRE(server != INVALID_HANDLE_VALUE);
    HANDLE client = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    REQUIRE(client != INVALID_HANDLE_VALUE);
    file_stream_ref f = disk_file::create(client, false);

    std::string sent(40000, '\0');
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 13 + i / 251);
    OVERLAPPED request = {};
    request.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    if (!WriteFile(server, sent.data(), static_cast<DWORD>(sent.size()), &written, &request))
        GetOverlappedResult(server, &request, &written, TRUE);
    REQUIRE(written == sent.size());

    kpl::waitable_flag abort;
    std::string received;
    char piece[1000];
    while (received.size() < sent.size()) {
        const size_t got = f->read(piece, sizeof(piece), abort);
        REQUIRE(got > 0);
        received.append(piece, got);
    }
    CHECK(received == sent);

    delayed_abort job{&abort, 200, 0};
    HANDLE thread = start_delayed_abort(job);
    DWORD started = now_ms();
    CHECK_THROWS_AS(f->read(piece, sizeof(piece), abort), ketrel_io::exception_aborted);
    DWORD ended = now_ms();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CHECK(ended - started >= 150);
    CHECK(ended - job.set_at < 1000);
    CHECK(f->get_position(abort_never) == sent.size());

    ResetEvent(request.hEvent);
    if (!WriteFile(server, "hi", 2, &written, &request)) GetOverlappedResult(server, &request, &written, TRUE);
    CHECK(f->read(piece, 2, abort_never) == 2);
    CHECK(std::string(piece, 2) == "hi");
    CloseHandle(request.hEvent);
    f.reset();
    CloseHandle(server);
}

TEST_CASE("an abort from another thread ends a long file read promptly") {
    registry_built registry;
    scratch_folder dir;
    const uint64_t size = 64 * 1024 * 1024;
    write_patterned_file(dir / "long.bin", size);
    file_stream_ref f;
    file_system_open(f, ("file://" + (dir / "long.bin")).c_str(), open_mode_read, abort_never);
    std::vector<unsigned char> buffer(static_cast<size_t>(size));

    kpl::waitable_flag abort;
    delayed_abort job{&abort, 100, 0};
    HANDLE thread = start_delayed_abort(job);
    bool aborted = false;
    DWORD started = now_ms();
    while (!aborted && now_ms() - started < 20000) {
        try {
            f->seek(0, abort);
            f->read(buffer.data(), buffer.size(), abort);
        } catch (const ketrel_io::exception_aborted&) {
            aborted = true;
        }
    }
    DWORD ended = now_ms();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    REQUIRE(aborted);
    CHECK(ended - job.set_at < 1000);
}
