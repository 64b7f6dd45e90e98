#include "metadata/tags/id3_streams.h"

#include <cstring>

#include "metadata/tags/id3_tag.h"

namespace id3parser {

void reader::readExact(void* buffer, size_t n) {
    if (read(buffer, n) != n) throw parseError();
}

void reader::skipExact(size_t n) {
    if (skip(n) != n) throw parseError();
}

size_t memoryReader::read(void* buffer, size_t n) {
    size_t left = m_size - m_position;
    if (n > left) n = left;
    if (n) std::memcpy(buffer, m_data + m_position, n);
    m_position += n;
    return n;
}

size_t memoryReader::skip(size_t n) {
    size_t left = m_size - m_position;
    if (n > left) n = left;
    m_position += n;
    return n;
}

size_t boundedReader::read(void* buffer, size_t n) {
    if (n > m_remaining) n = m_remaining;
    size_t got = n ? m_inner.read(buffer, n) : 0;
    m_remaining -= got;
    return got;
}

size_t boundedReader::skip(size_t n) {
    if (n > m_remaining) n = m_remaining;
    size_t got = n ? m_inner.skip(n) : 0;
    m_remaining -= got;
    return got;
}

size_t unsyncReader::read(void* buffer, size_t n) {
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t written = 0;
    if (n && m_hasPending) {
        out[written++] = m_pending;
        m_hasPending = false;
    }
    while (written < n) {
        // Raw bytes land in the caller's buffer and are compacted in place: the write index never passes
        // the read index, because decoding only ever drops bytes.
        size_t got = m_inner.read(out + written, n - written);
        if (got == 0) break;
        size_t end = written + got;
        size_t w = written;
        for (size_t r = written; r < end; ++r) {
            uint8_t c = out[r];
            out[w++] = c;
            if (c != 0xFF) continue;
            uint8_t partner;
            bool fromChunk = r + 1 < end;
            if (fromChunk) {
                partner = out[++r];
            } else {
                m_inner.readExact(&partner, 1);
            }
            if (partner == 0x00) continue;
            if (partner >= 0xE0) throw parseError();
            if (w < n) {
                out[w++] = partner;
            } else {
                m_pending = partner;
                m_hasPending = true;
            }
        }
        written = w;
    }
    return written;
}

size_t unsyncReader::skip(size_t n) {
    uint8_t scratch[256];
    size_t done = 0;
    while (done < n) {
        size_t want = n - done < sizeof scratch ? n - done : sizeof scratch;
        size_t got = read(scratch, want);
        done += got;
        if (got < want) break;
    }
    return done;
}

void vectorWriter::write(const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), p, p + n);
}

}  // namespace id3parser
