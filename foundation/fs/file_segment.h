#pragma once
// file_segment: a read-only file_stream showing the bytes [start, start + size) of another file.
//
//   file_stream_ref part;
//   file_segment_open(part, whole, 100, 50, abort);   // whole is positioned at 100
//   part->get_size(abort) == 50;
//   part->seek(10, abort);                            // whole's position becomes 110
//   part->read(buffer, 1000, abort) == 40;            // never past the window's end
//   part->seek(51, abort);                            // ketrel_io::exception_io_seek_out_of_range
//
// The segment and the file underneath share one position: read the segment without interleaving other
// reads of that file. Should the underlying position still be moved outside the window, the segment
// reads nothing there (0 bytes) instead of bytes from outside it. Writing and resizing give
// ketrel_io::exception_io_denied.

#include <cstdint>

#include "foundation/fs/file_stream.h"

class file_segment : public service_counted<file_stream> {
public:
    // start + size overflowing 64 bits: kpl::exception_overflow.
    static file_stream_ref create(file_stream& file, uint64_t start, uint64_t size);

    size_t read(void* buffer, size_t n, const abort_signal& abort) override;
    void write(const void* buffer, size_t n, const abort_signal& abort) override;

    uint64_t get_size(const abort_signal& abort) override;
    uint64_t get_position(const abort_signal& abort) override;
    void resize(uint64_t size, const abort_signal& abort) override;
    void seek(uint64_t position, const abort_signal& abort) override;
    bool can_seek() override { return m_file->can_seek(); }
    bool get_content_type(kpl::utf8_string&) override { return false; }
    bool is_in_memory() override { return false; }
    void on_idle(const abort_signal&) override {}
    uint64_t get_timestamp(const abort_signal& abort) override { return m_file->get_timestamp(abort); }
    bool is_remote() override { return m_file->is_remote(); }

private:
    file_segment(file_stream& file, uint64_t start, uint64_t end) : m_file(&file), m_start(start), m_end(end) {}

    ~file_segment() override = default;

    file_stream_ref m_file;
    uint64_t m_start;
    uint64_t m_end;
};

// A segment of [start, start + size) of file into out; file is positioned at start.
void file_segment_open(file_stream_ref& out, file_stream& file, uint64_t start, uint64_t size,
                       const abort_signal& abort);
