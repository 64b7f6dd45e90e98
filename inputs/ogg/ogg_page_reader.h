#pragma once
// ogg_page_reader: pages and packets of a physical Ogg stream, read from a file through libogg's sync and
// stream layers, with the page offsets the Ogg input's searches need.
//
//     ogg_page_reader reader(file);
//     reader.seek(link_start, abort);
//     ogg_packet p;
//     while (reader.next_packet(p, link_end, abort)) use(p);   // stops at link_end (exclusive)
//
// Reading is bounded: data is fed to libogg in pieces of 1 KiB after a seek, doubling while reading goes on
// up to 64 KiB, and never past the bound, so a page that runs past the bound is not found. ogg_no_bound reads to the end of the file. A packet is valid
// until the next call. The stream layer follows the serial number of the pages it is given: a page of
// another serial resets it (chained streams read on a non-seekable file).

#include <ogg/ogg.h>

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"

constexpr uint64_t ogg_no_bound = ~uint64_t(0);

// Where a page lies and what its header says.
struct ogg_page_place {
    uint64_t offset = 0;
    uint32_t length = 0;
    int serial = 0;
    int64_t granule = -1;
    uint64_t end() const { return offset + length; }
};

class ogg_page_reader {
public:
    explicit ogg_page_reader(file_stream_ref file);
    ~ogg_page_reader();
    ogg_page_reader(const ogg_page_reader&) = delete;
    ogg_page_reader& operator=(const ogg_page_reader&) = delete;

    // Moves to `offset` and forgets what the sync and stream layers held.
    void seek(uint64_t offset, const abort_signal& abort);
    // Back to the start of a file that cannot seek (its rewind), with both layers reset.
    void rewind(const abort_signal& abort);

    // The next complete page that ends by `bound`; `page` stays valid until the next read.
    bool next_page(ogg_page& page, ogg_page_place& place, uint64_t bound, const abort_signal& abort);
    // The next packet of the pages up to `bound`.
    bool next_packet(ogg_packet& packet, uint64_t bound, const abort_signal& abort);

    // The first page at or after `offset` that ends by `bound`.
    bool page_at_or_after(uint64_t offset, uint64_t bound, ogg_page_place& place, const abort_signal& abort);
    // The last page that starts before `offset` and ends by it, not before `range_start`; steps back 1024
    // bytes and doubles the step. None: ketrel_io::exception_io_data.
    ogg_page_place page_before(uint64_t offset, uint64_t range_start, const abort_signal& abort);

    // The offset of the first byte the sync layer has not yet given out as page or skipped data.
    uint64_t offset() const { return m_offset; }
    // Whether the stream layer has given out every segment of the pages it was given (no packet, whole or
    // partial, pending): then offset() is where the next page begins.
    bool stream_drained() const { return m_stream.lacing_returned >= m_stream.lacing_fill; }
    // Pages given out since the last seek or rewind.
    uint64_t pages_read() const { return m_pages; }
    file_stream& file() { return *m_file; }

private:
    bool feed(uint64_t bound, const abort_signal& abort);

    file_stream_ref m_file;
    ogg_sync_state m_sync;
    ogg_stream_state m_stream;
    bool m_have_serial = false;
    uint64_t m_offset = 0;    // next byte of the sync layer
    uint64_t m_read_pos = 0;  // next byte to read from the file
    bool m_eof = false;
    uint64_t m_pages = 0;
    uint32_t m_piece = 1024;  // the next feed's size
};

// Notes a file's position and puts it back: restore() on the normal path (its errors reach the caller), the
// destructor on every other, an exception included (without the abort signal, errors ignored there).
//
//     ogg_position_keeper keep(*file, abort);
//     read_headers(file);          // may throw: the position is put back all the same
//     keep.restore(abort);
class ogg_position_keeper {
public:
    ogg_position_keeper(file_stream& file, const abort_signal& abort)
        : m_file(file), m_position(file.get_position(abort)) {}
    ~ogg_position_keeper() {
        if (m_restored) return;
        try {
            m_file.seek(m_position, abort_never);
        } catch (...) {
        }
    }
    ogg_position_keeper(const ogg_position_keeper&) = delete;
    ogg_position_keeper& operator=(const ogg_position_keeper&) = delete;

    // An abort or failure here leaves the position to the destructor, which puts it back regardless.
    void restore(const abort_signal& abort) {
        m_file.seek(m_position, abort);
        m_restored = true;
    }

private:
    file_stream& m_file;
    uint64_t m_position;
    bool m_restored = false;
};
