#pragma once
// flac_packet_feed: the bytes a packet decoder hands to the FLAC decoding core: first the header blocks, then one
// packet at a time. It cannot seek; reading past what it holds answers 0 and is remembered (the frame ran past
// its packet):
//
//     flac_packet_feed* feed = new flac_packet_feed();
//     file_stream_ref ref = file_stream_ref::adopt(feed);
//     feed->append(headers, n);                 // "fLaC" and the metadata blocks
//     core.read_metadata(ref, false, &info, abort_never);
//     feed->set(packet, size);                  // one frame, copied
//     core.decode(block, abort);                // feed->starved() when the frame was cut short
//     feed->lend(packet, size);                 // or read where the caller holds it (no copy)
//     core.decode(block, abort);
//     feed->lend(nullptr, 0);                   // before the caller's bytes go away

#include <cstdint>
#include <cstring>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"

class flac_packet_feed final : public service_counted<file_stream> {
public:
    // Adds bytes after the ones not read yet; the buffer grows by doubling.
    void append(const void* data, size_t size) {
        if (size > 0xFFFFFFF0u - m_bytes.count()) throw ketrel_io::exception_io_data();
        const uint32_t at = m_bytes.count();
        m_bytes.resize_pow2(at + static_cast<uint32_t>(size));
        if (size) std::memcpy(m_bytes.data() + at, data, size);
        m_data = m_bytes.data();
        m_size = m_bytes.count();
    }
    // Replaces whatever is left by the bytes, reusing the buffer.
    void set(const void* data, size_t size) {
        m_bytes.set_count(0);
        m_data = nullptr;
        m_size = 0;
        m_used = 0;
        m_starved = false;
        append(data, size);
    }
    // Replaces whatever is left by the caller's bytes, without copying them: they must stay in place until
    // the next lend, set or forget.
    void lend(const void* data, size_t size) {
        m_bytes.set_count(0);
        m_data = static_cast<const uint8_t*>(data);
        m_size = size;
        m_used = 0;
        m_starved = false;
    }
    // Empties the buffer and gives its memory back.
    void forget() {
        m_bytes.resize_pow2_shrink(0);
        m_data = nullptr;
        m_size = 0;
        m_used = 0;
        m_starved = false;
    }
    bool starved() const { return m_starved; }

    size_t read(void* buffer, size_t n, const abort_signal& abort) override {
        abort.check();
        const size_t left = m_size - m_used;
        if (n > left) {
            m_starved = true;
            n = left;
        }
        if (n) std::memcpy(buffer, m_data + m_used, n);
        m_used += n;
        m_position += n;
        return n;
    }
    void write(const void*, size_t, const abort_signal&) override { throw ketrel_io::exception_io_denied(); }
    uint64_t get_size(const abort_signal&) override { return file_size_unknown; }
    uint64_t get_position(const abort_signal&) override { return m_position; }
    void resize(uint64_t, const abort_signal&) override { throw ketrel_io::exception_io_denied(); }
    void seek(uint64_t position, const abort_signal&) override {
        if (position != m_position) throw ketrel_io::exception_io_object_not_seekable();
    }
    bool can_seek() override { return false; }
    bool get_content_type(kpl::utf8_string&) override { return false; }
    bool is_in_memory() override { return true; }
    void on_idle(const abort_signal&) override {}
    uint64_t get_timestamp(const abort_signal&) override { return 0; }
    bool is_remote() override { return false; }

private:
    kpl::byte_array m_bytes;
    // What reads are served from: the buffer or the lent bytes.
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_used = 0;
    uint64_t m_position = 0;
    bool m_starved = false;
};

