#include "inputs/ogg/ogg_page_reader.h"

#include <cstring>

#include "foundation/kpl/io_exceptions.h"

namespace {
// The first piece after a seek, and the step of page_before's search.
constexpr uint32_t feed_piece = 1024;
// Pieces double while reading goes straight on, up to this: a search reads little past the page it wants,
// a decoder reading through the file feeds libogg in few calls (each one moves the partial page left in the
// sync buffer to its front).
constexpr uint32_t feed_piece_max = 64 * 1024;
}

ogg_page_reader::ogg_page_reader(file_stream_ref file) : m_file(std::move(file)) {
    ogg_sync_init(&m_sync);
    ogg_stream_init(&m_stream, 0);
}

ogg_page_reader::~ogg_page_reader() {
    ogg_stream_clear(&m_stream);
    ogg_sync_clear(&m_sync);
}

void ogg_page_reader::seek(uint64_t offset, const abort_signal& abort) {
    m_file->seek(offset, abort);
    ogg_sync_reset(&m_sync);
    ogg_stream_reset(&m_stream);
    m_have_serial = false;
    m_offset = m_read_pos = offset;
    m_eof = false;
    m_pages = 0;
    m_piece = feed_piece;
}

void ogg_page_reader::rewind(const abort_signal& abort) {
    m_file->rewind(abort);
    ogg_sync_reset(&m_sync);
    ogg_stream_reset(&m_stream);
    m_have_serial = false;
    m_offset = m_read_pos = 0;
    m_eof = false;
    m_pages = 0;
    m_piece = feed_piece;
}

bool ogg_page_reader::feed(uint64_t bound, const abort_signal& abort) {
    if (m_eof || m_read_pos >= bound) return false;
    uint64_t room = bound - m_read_pos;
    uint32_t piece = room < m_piece ? static_cast<uint32_t>(room) : m_piece;
    if (m_piece < feed_piece_max) m_piece *= 2;
    char* buffer = ogg_sync_buffer(&m_sync, piece);
    if (!buffer) throw ketrel_io::exception_io_data();
    size_t got = m_file->read(buffer, piece, abort);
    if (got == 0) {
        m_eof = true;
        return false;
    }
    ogg_sync_wrote(&m_sync, static_cast<long>(got));
    m_read_pos += got;
    if (got < piece) m_eof = true;
    return true;
}

bool ogg_page_reader::next_page(ogg_page& page, ogg_page_place& place, uint64_t bound, const abort_signal& abort) {
    for (;;) {
        long r = ogg_sync_pageseek(&m_sync, &page);
        if (r > 0) {
            place.offset = m_offset;
            place.length = static_cast<uint32_t>(r);
            place.serial = ogg_page_serialno(&page);
            place.granule = ogg_page_granulepos(&page);
            m_offset += static_cast<uint64_t>(r);
            ++m_pages;
            return true;
        }
        if (r < 0) {
            m_offset += static_cast<uint64_t>(-r);
            continue;
        }
        if (!feed(bound, abort)) return false;
    }
}

bool ogg_page_reader::next_packet(ogg_packet& packet, uint64_t bound, const abort_signal& abort) {
    for (;;) {
        int r = ogg_stream_packetout(&m_stream, &packet);
        if (r == 1) return true;
        if (r < 0) continue;  // a gap in the data; go on with what follows
        ogg_page page;
        ogg_page_place place;
        if (!next_page(page, place, bound, abort)) return false;
        if (!m_have_serial || place.serial != m_stream.serialno) {
            ogg_stream_reset_serialno(&m_stream, place.serial);
            m_have_serial = true;
        }
        ogg_stream_pagein(&m_stream, &page);
    }
}

bool ogg_page_reader::page_at_or_after(uint64_t offset, uint64_t bound, ogg_page_place& place,
                                       const abort_signal& abort) {
    seek(offset, abort);
    ogg_page page;
    return next_page(page, place, bound, abort);
}

ogg_page_place ogg_page_reader::page_before(uint64_t offset, uint64_t range_start, const abort_signal& abort) {
    uint64_t step = feed_piece;
    for (;;) {
        uint64_t distance = offset - range_start;
        if (step > distance) step = distance;
        uint64_t start = offset - step;
        seek(start, abort);
        ogg_page page;
        ogg_page_place place, last;
        bool found = false;
        while (next_page(page, place, offset, abort)) {
            if (place.offset >= offset) break;
            last = place;
            found = true;
        }
        if (found) return last;
        if (start <= range_start) throw ketrel_io::exception_io_data();
        step *= 2;
    }
}
