// Content-type matching and the abortable file wrapper.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/fs/memory_file.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/abortable_file.h"
#include "inputs/mime_type.h"
#include "tests/inputs/input_test_support.h"

using input_test::counting_file;

TEST_CASE("mime_type_matches compares the type before its parameters") {
    struct row {
        const char* type;
        const char* candidate;
        bool match;
    };
    const row rows[] = {
        {"audio/ogg", "audio/ogg", true},
        {"audio/ogg ;x=y", "audio/ogg", true},
        {"audio/ogg\t; codecs=flac", "audio/ogg", true},
        {"Audio/X-FLAC;rate=1", "audio/x-flac", true},
        {"AUDIO/FLAC", "audio/flac", true},
        {"audio/oggx", "audio/ogg", false},
        {"audio/og", "audio/ogg", false},
        {" audio/ogg", "audio/ogg", false},
        {"audio/ogg", "audio/ogg;x=y", false},
        {"", "audio/ogg", false},
        {";", "", true},
    };
    for (const row& r : rows) {
        CAPTURE(r.type);
        CAPTURE(r.candidate);
        CHECK(mime_type_matches(r.type, r.candidate) == r.match);
    }
}

namespace {

std::vector<uint8_t> pattern(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

}  // namespace

TEST_CASE("abortable_file reads through aligned blocks") {
    const std::vector<uint8_t> bytes = pattern(10000);
    kpl::rc_ptr<counting_file> inner = counting_file::wrap(input_test::memory_file_with(bytes), true);
    file_stream_ref file = inner;
    abortable_file::wrap(file, abort_never, 4096);

    // Positions inside one block are served by one read of the whole block, from its aligned start.
    struct row {
        uint64_t position;
        size_t count;
        uint32_t reads_after;  // the inner file's activity (reads and seeks) afterwards
    };
    const row rows[] = {
        {5000, 10, 2},     // seek to 4096, read 4096..8191
        {4096, 100, 2},    // same block
        {8190, 4, 3},      // crosses into the next block, where the inner file already stands: one read
        {8192, 1000, 3},   // same block
        {100, 50, 5},      // back to the first block: seek and read
        {9990, 100, 7},    // only 10 bytes left
    };
    for (const row& r : rows) {
        CAPTURE(r.position);
        file->seek(r.position, abort_never);
        std::vector<uint8_t> got(r.count);
        size_t n = file->read(got.data(), r.count, abort_never);
        const size_t expected = std::min<size_t>(r.count, bytes.size() - r.position);
        REQUIRE(n == expected);
        CHECK(std::memcmp(got.data(), bytes.data() + r.position, n) == 0);
        CHECK(file->get_position(abort_never) == r.position + n);
        CHECK(inner->activity() == r.reads_after);
    }
    CHECK(file->get_size(abort_never) == bytes.size());
}

TEST_CASE("abortable_file writes through, grows and cuts") {
    file_stream_ref memory = input_test::memory_file_with(pattern(100));
    file_stream_ref file = memory;
    abortable_file::wrap(file, abort_never, 64);
    uint8_t buffer[8];
    file->read(buffer, 8, abort_never);  // fills the buffer with bytes 0..63
    file->seek(60, abort_never);
    file->write("ABCDEFGHIJ", 10, abort_never);  // 60..69, read buffer dropped
    file->seek(62, abort_never);
    file->read(buffer, 4, abort_never);
    CHECK(std::memcmp(buffer, "CDEF", 4) == 0);
    file->seek(98, abort_never);
    file->write("xyz", 3, abort_never);
    CHECK(file->get_size(abort_never) == 101);
    CHECK(memory->get_size(abort_never) == 101);
    file->resize(50, abort_never);
    CHECK(file->get_size(abort_never) == 50);
    CHECK(file->get_position(abort_never) == 50);
    CHECK(file->read(buffer, 8, abort_never) == 0);
    CHECK_THROWS_AS(file->seek(51, abort_never), ketrel_io::exception_io_seek_out_of_range);
}

TEST_CASE("abortable_file refuses seeks on a stream and stops every call once aborted") {
    file_stream_ref stream = counting_file::wrap(input_test::memory_file_with(pattern(300)), false);
    abortable_file::wrap(stream, abort_never, 128);
    uint8_t buffer[200];
    CHECK(stream->read(buffer, 200, abort_never) == 200);
    CHECK(buffer[150] == pattern(300)[150]);
    CHECK_THROWS_AS(stream->seek(0, abort_never), ketrel_io::exception_io_object_not_seekable);

    input_test::abort_after_checks abort(0);
    file_stream_ref file = input_test::memory_file_with(pattern(300));
    abortable_file::wrap(file, abort_never, 128);
    CHECK_THROWS_AS(file->read(buffer, 1, abort), ketrel_io::exception_aborted);
    CHECK_THROWS_AS(file->write(buffer, 1, abort), ketrel_io::exception_aborted);
    CHECK_THROWS_AS(file->seek(1, abort), ketrel_io::exception_aborted);
    CHECK_THROWS_AS(file->get_size(abort), ketrel_io::exception_aborted);
    CHECK_THROWS_AS(file->resize(1, abort), ketrel_io::exception_aborted);
    CHECK(file->get_size(abort_never) == 300);

    // The signal given when wrapping stops calls made with another one.
    kpl::waitable_flag wrap_signal;
    file_stream_ref held = input_test::memory_file_with(pattern(10));
    abortable_file::wrap(held, wrap_signal, 16);
    CHECK(held->read(buffer, 4, abort_never) == 4);
    wrap_signal.set();
    CHECK_THROWS_AS(held->read(buffer, 4, abort_never), ketrel_io::exception_aborted);
}
