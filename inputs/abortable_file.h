#pragma once
// abortable_file: a buffered file_stream over another file that checks an abort signal on every call.
//
//     file_stream_ref file = ...;                   // an opened Ogg file
//     abortable_file::wrap(file, abort, 4096);      // `file` now names the wrapper
//     file->seek(10000, abort_never);               // only the wrapper's position moves
//     file->read(buffer, 100, abort_never);         // reads bytes 8192..12287 of the wrapped file at once
//     // once `abort` is set, the next call of any operation throws ketrel_io::exception_aborted
//
// Every operation first checks the signal given to wrap and the one it is passed. Reads are served from a
// buffer of `capacity` bytes whose refills start at a multiple of the capacity, so that code which seeks
// back and forth over nearby positions (the bisections of the Ogg input) reads few blocks twice. Writes go
// straight through, seeking the wrapped file only when it stands elsewhere, and drop the buffer. Seeking
// needs a seekable wrapped file (else ketrel_io::exception_io_object_not_seekable) and a position within
// the size (else ketrel_io::exception_io_seek_out_of_range). resize is passed on; the size and the
// remembered positions are clipped to it. The content type, on_idle, the time stamp and is_remote are
// the wrapped file's.

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"

class abortable_file final : public service_counted<file_stream> {
public:
    // Replaces `file` by a wrapper around it. `abort` must outlive the wrapper.
    static void wrap(file_stream_ref& file, const abort_signal& abort, uint32_t capacity);

    size_t read(void* buffer, size_t n, const abort_signal& abort) override;
    void write(const void* buffer, size_t n, const abort_signal& abort) override;
    uint64_t get_size(const abort_signal& abort) override;
    uint64_t get_position(const abort_signal& abort) override;
    void resize(uint64_t size, const abort_signal& abort) override;
    void seek(uint64_t position, const abort_signal& abort) override;
    bool can_seek() override { return m_can_seek; }
    bool get_content_type(kpl::utf8_string& out) override { return m_file->get_content_type(out); }
    bool is_in_memory() override { return m_file->is_in_memory(); }
    void on_idle(const abort_signal& abort) override;
    uint64_t get_timestamp(const abort_signal& abort) override;
    bool is_remote() override { return m_file->is_remote(); }

private:
    abortable_file(file_stream_ref file, const abort_signal& abort, uint32_t capacity);
    ~abortable_file() override = default;

    void check(const abort_signal& abort) const;
    // Fills the buffer with the block that holds m_position.
    void refill(const abort_signal& abort);

    file_stream_ref m_file;
    const abort_signal& m_abort;
    bool m_can_seek;
    uint64_t m_position = 0;
    uint64_t m_size;
    uint64_t m_file_position;
    kpl::array<uint8_t> m_buffer;
    uint64_t m_buffer_offset = 0;
    uint32_t m_buffer_fill = 0;
};
