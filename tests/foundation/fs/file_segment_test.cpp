// File segments: a read-only window on part of another file that never shows a byte outside it.
#include <doctest/doctest.h>

#include <string>

#include "foundation/fs/file_segment.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "fs_test_support.h"

using namespace fs_test;

TEST_CASE("a segment reads only inside its window, whatever the position") {
    registry_built registry;
    const std::string data = "0123456789abcdefghijklmnopqrstuvwxyz";  // 36 bytes
    const char* kinds[] = {"tempmem://", "tempfile://"};
    for (const char* kind : kinds) {
        CAPTURE(kind);
        file_stream_ref whole;
        file_system_open(whole, kind, open_mode_create, abort_never);
        whole->write(data.data(), data.size(), abort_never);

        file_stream_ref part;
        file_segment_open(part, *whole, 10, 20, abort_never);  // "abcdefghijklmnopqrst"
        CHECK(whole->get_position(abort_never) == 10);
        CHECK(part->get_size(abort_never) == 20);
        CHECK(part->get_position(abort_never) == 0);

        struct {
            uint64_t seek;
            size_t ask;
            const char* expected;
        } reads[] = {
            {0, 5, "abcde"},   {15, 100, "pqrst"}, {19, 2, "t"},   {20, 10, ""},
            {0, 20, "abcdefghijklmnopqrst"}, {7, 0, ""},
        };
        for (const auto& r : reads) {
            CAPTURE(r.seek);
            CAPTURE(r.ask);
            part->seek(r.seek, abort_never);
            std::string got(r.ask, '\0');
            got.resize(part->read(&got[0], r.ask, abort_never));
            CHECK(got == r.expected);
            CHECK(part->get_position(abort_never) == r.seek + got.size());
        }
        part->seek(20, abort_never);
        CHECK_THROWS_AS(part->seek(21, abort_never), ketrel_io::exception_io_seek_out_of_range);
        CHECK_THROWS_AS(part->seek_from(1, seek_origin_end, abort_never), ketrel_io::exception_io_seek_out_of_range);
        part->seek_from(-3, seek_origin_end, abort_never);
        CHECK(part->get_position(abort_never) == 17);
        CHECK(part->skip(1000, abort_never) + 17 == 20);

        // The underlying file moved outside the window by someone else: the segment shows nothing there.
        char buffer[8];
        const uint64_t outside[] = {0, 9, 30, 36};
        for (uint64_t at : outside) {
            CAPTURE(at);
            whole->seek(at, abort_never);
            CHECK(part->read(buffer, sizeof(buffer), abort_never) == 0);
        }

        CHECK_THROWS_AS(part->write("x", 1, abort_never), ketrel_io::exception_io_denied);
        CHECK_THROWS_AS(part->resize(1, abort_never), ketrel_io::exception_io_denied);
        CHECK_FALSE(part->is_in_memory());
        CHECK(part->can_seek());
        CHECK(part->get_timestamp(abort_never) == whole->get_timestamp(abort_never));
    }
}

TEST_CASE("a segment's window must fit in 64 bits and keeps its file alive") {
    registry_built registry;
    file_stream_ref whole;
    temp_memory_file_open(whole, abort_never);
    whole->write("abcdef", 6, abort_never);
    file_stream_ref part;
    CHECK_THROWS_AS(file_segment_open(part, *whole, 2, ~static_cast<uint64_t>(0), abort_never), kpl::exception_overflow);
    CHECK_FALSE(part);

    file_segment_open(part, *whole, 2, 3, abort_never);
    whole.reset();
    char buffer[8];
    CHECK(part->read(buffer, sizeof(buffer), abort_never) == 3);
    CHECK(std::string(buffer, 3) == "cde");

    // A window reaching past the file's end ends with the file.
    file_stream_ref file;
    temp_memory_file_open(file, abort_never);
    file->write("abcdef", 6, abort_never);
    file_segment_open(part, *file, 4, 10, abort_never);
    CHECK(part->read(buffer, sizeof(buffer), abort_never) == 2);
}
