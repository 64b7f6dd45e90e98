#include "foundation/fs/disk_file.h"

#include <cstring>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/tasks/critical_section.h"

namespace {

const DWORD max_request = 0x1000000;  // 16 MiB
// Kept below the size from which the heap maps every block on its own (under Wine a 64 KiB block costs
// system calls to map and unmap it, more than the reads it saves).
const uint32_t read_ahead_first = 16 * 1024;
const uint32_t read_ahead_last = 512 * 1024;

// One read-ahead buffer of the largest size, kept when its file object goes for the next object that needs
// a buffer. A fresh buffer costs the heap a commit and the system a page fault per page as it is first
// filled (under Wine about a millisecond for 512 KiB, as much as decoding a few seconds of FLAC), and a
// player opens one file after another. Only the one buffer is kept, whoever released it; a file that finds
// none allocates its own as before. Never destroyed: file objects may still be released while the program
// ends, and the buffer goes with the process.
class spare_read_ahead {
public:
    // Gives the kept buffer to `buffer` when there is one (what `buffer` held is freed); false when none is.
    bool take(kpl::array<uint8_t>& buffer) {
        kpl::array<uint8_t> kept;
        {
            kpl::critical_section_scope lock(m_lock);
            kept.swap(m_buffer);
        }
        if (kept.count() == 0) return false;
        buffer.swap(kept);
        return true;
    }

    // Keeps `buffer` (leaving it empty) when it is of the largest size and no buffer is kept yet.
    void put(kpl::array<uint8_t>& buffer) {
        if (buffer.count() != read_ahead_last) return;
        kpl::critical_section_scope lock(m_lock);
        if (m_buffer.count() == 0) buffer.swap(m_buffer);
    }

private:
    kpl::critical_section m_lock;
    kpl::array<uint8_t> m_buffer;  // empty, or read_ahead_last bytes
};

spare_read_ahead& the_spare_read_ahead() {
    static spare_read_ahead* spare = new spare_read_ahead();
    return *spare;
}

void set_offset(OVERLAPPED& request, uint64_t position) {
    request.Offset = static_cast<DWORD>(position);
    request.OffsetHigh = static_cast<DWORD>(position >> 32);
}

[[noreturn]] void throw_last_io_error() { throw_win32_io_error(GetLastError()); }

}  // namespace

file_stream_ref disk_file::create(HANDLE file, bool writable) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
        DWORD error = GetLastError();
        CloseHandle(file);
        throw exception_win32(error);
    }
    disk_file* object;
    try {
        object = new disk_file(file, event, writable);
    } catch (...) {
        CloseHandle(event);
        CloseHandle(file);
        throw;
    }
    return file_stream_ref::adopt(object);
}

file_stream_ref disk_file::create_synchronous(HANDLE file) {
    disk_file* object;
    try {
        object = new disk_file(file, nullptr, false);
    } catch (...) {
        CloseHandle(file);
        throw;
    }
    return file_stream_ref::adopt(object);
}

disk_file::disk_file(HANDLE file, HANDLE event, bool writable)
    : m_file(file),
      m_event(event),
      m_writable(writable),
      m_ahead_step(read_ahead_first) {}

disk_file::~disk_file() {
    the_spare_read_ahead().put(m_ahead);
    if (m_event) CloseHandle(m_event);
    CloseHandle(m_file);
}

HANDLE disk_file::request_event() const {
    // The event with its lowest bit set: the system then posts no completion packet for the request (none
    // of these handles is tied to a completion port, and under Wine the post is a round trip to the
    // server per request). Handles keep their two lowest bits free for this; waits ignore them.
    return reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(m_event) | 1);
}

void disk_file::wait_for_request(OVERLAPPED& request, const abort_signal& abort) {
    // A request the system finished before ReadFile or WriteFile returned (under Wine every request on a
    // disk file) needs no wait, and so no round trip to the server.
    if (HasOverlappedIoCompleted(&request)) return;
    HANDLE events[2] = {m_event, abort.get_event()};
    DWORD result = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (result == WAIT_OBJECT_0) return;
    // The request still refers to the caller's buffer and to `request`: it must be over before they go.
    CancelIo(m_file);
    DWORD ignored;
    GetOverlappedResult(m_file, &request, &ignored, TRUE);
    throw ketrel_io::exception_aborted();
}

DWORD disk_file::read_request(void* buffer, DWORD n, uint64_t position, const abort_signal& abort) {
    if (!m_event) {
        // A synchronous handle reads at its own file pointer, moved only when it stands elsewhere (a read
        // given an OVERLAPPED would also post a completion, one more round trip under Wine). Nobody can
        // write the file while it is open for reading shared with readers only, so a short read marks the
        // end for good and a read there needs no call.
        if (position >= m_known_end) return 0;
        if (position != m_handle_position) {
            LARGE_INTEGER to;
            to.QuadPart = static_cast<LONGLONG>(position);
            if (!SetFilePointerEx(m_file, to, nullptr, FILE_BEGIN)) throw_last_io_error();
            m_handle_position = position;
        }
        DWORD transferred = 0;
        if (!ReadFile(m_file, buffer, n, &transferred, nullptr)) {
            const DWORD error = GetLastError();
            if (error != ERROR_HANDLE_EOF) throw_win32_io_error(error);
            transferred = 0;
        }
        m_handle_position += transferred;
        if (transferred < n) m_known_end = m_handle_position;
        return transferred;
    }
    OVERLAPPED request = {};
    set_offset(request, position);
    // ReadFile and WriteFile reset the request's event when they start it; a ResetEvent of our own first
    // would only cost another round trip to the Wine server per request.
    request.hEvent = request_event();
    DWORD transferred = 0;
    if (!ReadFile(m_file, buffer, n, &transferred, &request)) {
        DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) return 0;
        if (error != ERROR_IO_PENDING) throw_win32_io_error(error);
        wait_for_request(request, abort);
        if (!GetOverlappedResult(m_file, &request, &transferred, TRUE)) {
            error = GetLastError();
            if (error == ERROR_HANDLE_EOF) return 0;
            CancelIo(m_file);
            throw_win32_io_error(error);
        }
    }
    return transferred;
}

size_t disk_file::read_direct(uint8_t* buffer, size_t n, const abort_signal& abort) {
    size_t done = 0;
    while (done < n) {
        if (done > 0) abort.check();
        size_t left = n - done;
        DWORD chunk = left < max_request ? static_cast<DWORD>(left) : max_request;
        DWORD transferred = read_request(buffer + done, chunk, m_position, abort);
        if (transferred == 0) break;
        m_position += transferred;
        done += transferred;
    }
    return done;
}

void disk_file::drop_read_ahead() {
    m_ahead_fill = 0;
    m_ahead_end = ~uint64_t(0);
    m_ahead_step = read_ahead_first;
}

size_t disk_file::read(void* buffer, size_t n, const abort_signal& abort) {
    if (n == 0) return 0;
    abort.check();
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < n) {
        if (m_position >= m_ahead_offset && m_position < m_ahead_offset + m_ahead_fill) {
            const uint32_t from = static_cast<uint32_t>(m_position - m_ahead_offset);
            size_t step = m_ahead_fill - from;
            if (step > n - done) step = n - done;
            std::memcpy(out + done, m_ahead.data() + from, step);
            m_position += step;
            done += step;
            continue;
        }
        // Straight on from the last request the read-ahead grows; anywhere else it starts small again.
        if (m_position == m_ahead_end) {
            if (m_ahead_step < read_ahead_last) m_ahead_step *= 2;
        } else {
            m_ahead_step = read_ahead_first;
        }
        // One check of the signal before every request; the first is the one above.
        if (done > 0) abort.check();
        if (n - done >= m_ahead_step) {
            done += read_direct(out + done, n - done, abort);
            m_ahead_end = m_position;
            break;
        }
        if (m_ahead.count() < m_ahead_step) {
            m_ahead_fill = 0;
            if (!the_spare_read_ahead().take(m_ahead)) m_ahead.resize_exact(m_ahead_step);
        }
        m_ahead_fill = 0;
        m_ahead_offset = m_position;
        m_ahead_fill = read_request(m_ahead.data(), m_ahead_step, m_position, abort);
        m_ahead_end = m_position + m_ahead_fill;
        if (m_ahead_fill == 0) break;
    }
    return done;
}

void disk_file::write(const void* buffer, size_t n, const abort_signal& abort) {
    if (!m_writable) throw ketrel_io::exception_io_denied();
    drop_read_ahead();
    const char* in = static_cast<const char*>(buffer);
    size_t done = 0;
    do {
        size_t left = n - done;
        DWORD chunk = left < max_request ? static_cast<DWORD>(left) : max_request;
        abort.check();
        if (chunk == 0) break;
        OVERLAPPED request = {};
        set_offset(request, m_position);
        request.hEvent = request_event();  // reset by WriteFile as it starts
        DWORD transferred = 0;
        if (!WriteFile(m_file, in + done, chunk, &transferred, &request)) {
            DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING) throw_win32_io_error(error);
            wait_for_request(request, abort);
            if (!GetOverlappedResult(m_file, &request, &transferred, TRUE)) {
                error = GetLastError();
                CancelIo(m_file);
                throw_win32_io_error(error);
            }
        }
        if (transferred != chunk) throw ketrel_io::exception_io();
        m_position += chunk;
        done += chunk;
    } while (done < n);
}

uint64_t disk_file::get_size(const abort_signal& abort) {
    abort.check();
    // A read-only object's handle shares the file with readers only: nobody changes its size meanwhile.
    if (!m_writable && m_known_size != file_size_unknown) return m_known_size;
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(m_file, &high);
    if (low == INVALID_FILE_SIZE) {
        DWORD error = GetLastError();
        if (error != NO_ERROR) throw_win32_io_error(error);
    }
    const uint64_t size = (static_cast<uint64_t>(high) << 32) | low;
    if (!m_writable) m_known_size = size;
    return size;
}

uint64_t disk_file::get_position(const abort_signal& abort) {
    abort.check();
    return m_position;
}

void disk_file::seek(uint64_t position, const abort_signal& abort) {
    abort.check();
    if (position > get_size(abort)) throw ketrel_io::exception_io_seek_out_of_range();
    m_position = position;
}

void disk_file::resize(uint64_t size, const abort_signal& abort) {
    abort.check();
    if (!m_writable) throw ketrel_io::exception_io_denied();
    drop_read_ahead();
    LONG high = static_cast<LONG>(size >> 32);
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(m_file, static_cast<LONG>(size), &high, FILE_BEGIN);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) throw_last_io_error();
    if (!SetEndOfFile(m_file)) throw_last_io_error();
    if (m_position > size) m_position = size;
}

void disk_file::on_idle(const abort_signal& abort) { abort.check(); }

uint64_t disk_file::get_timestamp(const abort_signal& abort) {
    abort.check();
    // Windows refuses FlushFileBuffers on a handle without write access; there is nothing to flush then.
    if (m_writable && !FlushFileBuffers(m_file)) throw_last_io_error();
    if (!m_event && m_known_stamp != 0) return m_known_stamp;
    FILETIME last_write;
    if (!GetFileTime(m_file, nullptr, nullptr, &last_write)) throw_last_io_error();
    const uint64_t stamp = (static_cast<uint64_t>(last_write.dwHighDateTime) << 32) | last_write.dwLowDateTime;
    if (!m_event) m_known_stamp = stamp;
    return stamp;
}
