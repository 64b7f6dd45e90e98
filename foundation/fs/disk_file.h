#pragma once
// disk_file: a file_stream over a Windows file handle opened for overlapped I/O.
//
// Every read and write is an overlapped request of at most 16 MiB at the object's own position, waited
// for together with the caller's abort event; setting the abort signal from another thread cancels the
// request in flight (CancelIo) and the call throws ketrel_io::exception_aborted, the position left where
// the last finished request put it.
// A read-only object is for a handle that shares the file with readers only (as the local disk opens
// it): nobody changes the file's size meanwhile, so the size is asked of the system once.
//
// Reads go through a read-ahead: a read that the buffer cannot serve fills it with one request at the
// position, of 16 KiB at first and twice as much on each refill that continues straight on from the last
// one, up to 512 KiB; a refill anywhere else starts at 16 KiB again, and a read at least as large as the
// next refill goes straight into the caller's buffer. So the many small reads of a decoder become few
// large requests, while a reader that jumps about (probing, seeking in an Ogg file) fetches little it does
// not use. The position callers see is exact: the buffer is only a copy of bytes at and after it. A
// seek keeps the buffer (the bytes stay valid for this object); a write or resize through this object
// drops it. A fill is one request, waited for with the abort event like any other, so an abort ends it
// at once; bytes another handle writes meanwhile may be seen up to one buffer late. A buffer that grew to
// 512 KiB is kept when its object goes and serves the next object that fills a buffer (one is kept for
// the process), so a player opening one file after another does not make the memory afresh each time.
//
//   HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
//                          FILE_FLAG_OVERLAPPED, nullptr);
//   file_stream_ref f = disk_file::create(h, false);   // read-only; owns the handle from here on
//   size_t got = f->read(buffer, 10, abort);           // 4 when only 4 bytes remain, then 0
//
// A read-only object may also sit on a handle opened without FILE_FLAG_OVERLAPPED (create_synchronous):
// its reads are plain reads at the handle's file pointer (moved only when it stands elsewhere), which the
// system serves without any event, wait or completion (under Wine without a round trip to the Wine
// server), at the price that an abort takes effect before the next request rather than during one. Once a
// read came back short, reads at or past that end make no call, and the size and time stamp are asked
// once: the handle shares the file with readers only, so no other program's handle writes it meanwhile.
//
//   file_stream_ref g = disk_file::create_synchronous(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ,
//                                                     nullptr, OPEN_EXISTING, 0, nullptr));
//
// The local disk and the temporary-file provider make these; other code opens files through the
// file-system front ends.

#include <windows.h>

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"

class disk_file : public service_counted<file_stream> {
public:
    // Wraps an open handle (any handle opened with FILE_FLAG_OVERLAPPED). The object owns the handle;
    // when making its event fails, the handle is closed and exception_win32 passes on.
    static file_stream_ref create(HANDLE file, bool writable);
    // Wraps a handle opened for synchronous I/O, read-only; the object owns the handle.
    static file_stream_ref create_synchronous(HANDLE file);

    size_t read(void* buffer, size_t n, const abort_signal& abort) override;
    // Read-only objects: ketrel_io::exception_io_denied. A short write: ketrel_io::exception_io.
    void write(const void* buffer, size_t n, const abort_signal& abort) override;

    uint64_t get_size(const abort_signal& abort) override;
    uint64_t get_position(const abort_signal& abort) override;
    void resize(uint64_t size, const abort_signal& abort) override;
    void seek(uint64_t position, const abort_signal& abort) override;
    bool can_seek() override { return true; }
    bool get_content_type(kpl::utf8_string&) override { return false; }
    bool is_in_memory() override { return false; }
    void on_idle(const abort_signal& abort) override;
    // The last-write time. Writable objects flush their buffers first, so the time covers every write.
    uint64_t get_timestamp(const abort_signal& abort) override;
    bool is_remote() override { return false; }

    bool is_writable() const { return m_writable; }
    // The Windows handle, for calls this class does not make; the object keeps owning it.
    HANDLE handle() const { return m_file; }

private:
    // `event` null: a synchronous handle.
    disk_file(HANDLE file, HANDLE event, bool writable);
    ~disk_file() override;

    // The event a request is given (m_event, marked so that no completion is posted).
    HANDLE request_event() const;
    // Waits for the request in flight (returns at once when it is over already). Throws
    // ketrel_io::exception_aborted (after cancelling it and letting it end) when the abort event fires first.
    void wait_for_request(OVERLAPPED& request, const abort_signal& abort);
    // One read request of at most 16 MiB at `position`; the bytes transferred (0 at the end). The caller
    // has checked the abort signal.
    DWORD read_request(void* buffer, DWORD n, uint64_t position, const abort_signal& abort);
    // Reads n bytes at m_position into `buffer` straight from the file, advancing m_position; the caller
    // has checked the abort signal for the first request.
    size_t read_direct(uint8_t* buffer, size_t n, const abort_signal& abort);
    void drop_read_ahead();

    HANDLE m_file;
    HANDLE m_event;  // null for a synchronous handle
    bool m_writable;
    uint64_t m_position = 0;
    // Read-ahead: m_ahead[0..m_ahead_fill) are the file's bytes at m_ahead_offset. m_ahead_end is where the
    // last fill or direct read ended (a fill starting there continues straight on); m_ahead_step is the
    // size of the next fill.
    kpl::array<uint8_t> m_ahead;
    uint64_t m_ahead_offset = 0;
    uint32_t m_ahead_fill = 0;
    uint64_t m_ahead_end = ~uint64_t(0);
    uint32_t m_ahead_step;
    // Synchronous handles: where the handle's file pointer stands, where a short read found the end, and
    // the last-write time once asked (0: not yet). Read-only objects: the size once asked.
    uint64_t m_handle_position = 0;
    uint64_t m_known_end = ~uint64_t(0);
    uint64_t m_known_size = ~uint64_t(0);
    uint64_t m_known_stamp = 0;
};
