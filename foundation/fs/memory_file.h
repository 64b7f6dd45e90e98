#pragma once
// memory_file: a file_stream whose bytes live in memory ("tempmem://").
//
//   file_stream_ref f;
//   temp_memory_file_open(f, abort);       // empty
//   f->write("ab", 2, abort);              // size 2, position 2
//   f->seek(1, abort);
//   f->write("xyz", 3, abort);             // "axyz", size 4
//   f->resize(1, abort);                   // "a", position 1
//
// Sizes stay below 4 GiB: a write past that gives std::bad_alloc ("bad allocation"), a resize to it
// kpl::exception_overflow. The buffer grows by doubling and shrinks when a quarter of it would do.

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"

class memory_file : public service_counted<file_stream> {
public:
    // A new empty file.
    static file_stream_ref create();

    size_t read(void* buffer, size_t n, const abort_signal& abort) override;
    void write(const void* buffer, size_t n, const abort_signal& abort) override;

    uint64_t get_size(const abort_signal& abort) override;
    uint64_t get_position(const abort_signal& abort) override;
    void resize(uint64_t size, const abort_signal& abort) override;
    void seek(uint64_t position, const abort_signal& abort) override;
    bool can_seek() override { return true; }
    bool get_content_type(kpl::utf8_string&) override { return false; }
    bool is_in_memory() override { return true; }
    void on_idle(const abort_signal&) override {}
    uint64_t get_timestamp(const abort_signal& abort) override;
    bool is_remote() override { return false; }

private:
    memory_file() = default;
    ~memory_file() override = default;

    kpl::array<uint8_t> m_data;
    uint32_t m_position = 0;
};
