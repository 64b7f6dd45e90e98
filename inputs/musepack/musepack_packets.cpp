#include "inputs/musepack/musepack_packets.h"

#include <cstring>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/musepack/musepack_writer.h"

uint64_t sv8_read_number(file_stream& file, uint32_t max_bytes, const abort_signal& abort, uint32_t* bytes) {
    uint64_t value = 0;
    for (uint32_t n = 1;; ++n) {
        uint8_t b;
        file.read_exact(&b, 1, abort);
        if (n > max_bytes) throw ketrel_io::exception_io_data();
        value = value << 7 | (b & 0x7F);
        if (!(b & 0x80)) {
            if (bytes) *bytes = n;
            return value;
        }
    }
}

sv8_packet_walker::sv8_packet_walker(file_stream& file, uint64_t stream_start, file_stream* out)
    : m_file(file), m_start(stream_start), m_out(out) {}

bool sv8_packet_walker::read_head(sv8_packet& out, const abort_signal& abort) {
    out.position = m_file.get_position(abort);
    if (m_file.read(out.key, 2, abort) != 2) return false;
    uint32_t n = 0;
    const uint64_t size = sv8_read_number(m_file, 4, abort, &n);
    if (size < 2 + n) throw ketrel_io::exception_io_data();
    out.size = size;
    out.size_bytes = n;
    if (out.end() > m_size) throw ketrel_io::exception_io_data();
    return true;
}

void sv8_packet_walker::copy(uint64_t from, uint64_t to, const abort_signal& abort) {
    uint8_t buffer[65536];
    m_file.seek(from, abort);
    while (from < to) {
        const size_t n = to - from < sizeof buffer ? static_cast<size_t>(to - from) : sizeof buffer;
        m_file.read_exact(buffer, n, abort);
        m_out->write(buffer, n, abort);
        from += n;
    }
}

bool sv8_packet_walker::walk(sv8_walk_callbacks& callbacks, const abort_signal& abort) {
    m_size = m_file.get_size(abort);
    if (m_size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    if (m_out) copy(0, m_start + 4, abort);
    uint64_t next = m_start + 4;
    bool ended = false;
    while (callbacks.more()) {
        m_file.seek(next, abort);
        sv8_packet packet;
        if (!read_head(packet, abort)) break;
        callbacks.before(packet, *this, abort);
        const bool dropped = callbacks.decide(packet, *this, abort);
        if (m_out && !dropped) copy(packet.position, packet.end(), abort);
        next = packet.end();
        callbacks.after(packet);
        if (packet.is("SE")) {
            ended = true;
            break;
        }
    }
    callbacks.finish(*this, abort);
    if (m_out) copy(next, m_size, abort);
    return ended;
}

void sv8_packet_walker::write_packet(const char key[2], const uint8_t* payload, uint32_t size, const abort_signal& abort) {
    if (!m_out) throw kpl::exception_bug_check();
    kpl::array<uint8_t> packet = musepack_packet(key, payload, size);
    m_out->write(packet.data(), packet.count(), abort);
}

void sv8_packet_walker::overwrite(const sv8_packet& packet, const kpl::array<uint8_t>& bytes, const abort_signal& abort) {
    if (bytes.count() != packet.size) throw kpl::exception_bug_check();
    m_file.seek(packet.position, abort);
    m_file.write(bytes.data(), bytes.count(), abort);
}

namespace {

// The entry count an "ST" packet at `position` declares; -1 when no "ST" packet is there.
int64_t seek_table_entries(file_stream& file, uint64_t position, const abort_signal& abort) {
    file.seek(position, abort);
    char key[2];
    if (file.read(key, 2, abort) != 2 || key[0] != 'S' || key[1] != 'T') return -1;
    try {
        sv8_read_number(file, 9, abort);   // the packet's size
        // The library keeps the count in 32 bits: 2^32 entries are none to it.
        return static_cast<uint32_t>(sv8_read_number(file, 9, abort));
    } catch (const ketrel_io::exception_io_data&) {
        return 0;   // cut off by the end of the file: the library reads the missing bytes as zeros
    }
}

// Where the "SO" packet `packet` points.
uint64_t pointed_at(file_stream& file, const sv8_packet& packet, const abort_signal& abort) {
    file.seek(packet.payload_position(), abort);
    return packet.position + sv8_read_number(file, 9, abort);
}

// Whether the "CT" packet `packet` is too short for its first sample and its gain and peak.
bool chapter_packet_short(file_stream& file, const sv8_packet& packet, const abort_signal& abort) {
    file.seek(packet.payload_position(), abort);
    uint32_t n = 0;
    try {
        sv8_read_number(file, 9, abort, &n);
    } catch (const ketrel_io::exception_io_data&) {
        return true;   // longer than any sample count, or cut off by the end of the file
    }
    return packet.payload_size() < uint64_t(n) + 4;
}

// The header's packets up to the first "AP": whether a seek table of no entries is there or pointed at by an
// "SO" packet, and where the last "SO" that points at a seek table points.
struct header_walk final : sv8_walk_callbacks {
    bool decide(const sv8_packet& packet, sv8_packet_walker& walker, const abort_signal& abort) override {
        if (packet.is("AP") || packet.is("SE")) {
            done = true;
        } else if (packet.is("ST")) {
            if (seek_table_entries(walker.file(), packet.position, abort) == 0) empty = true;
        } else if (packet.is("SO")) {
            const uint64_t at = pointed_at(walker.file(), packet, abort);
            const int64_t entries = seek_table_entries(walker.file(), at, abort);
            if (entries == 0) empty = true;
            if (entries >= 0) table = at;
        }
        return false;
    }
    bool more() override { return !done; }
    bool done = false;
    bool empty = false;
    uint64_t table = 0;   // 0 without one
};

// Walks the header of the version-8 stream at `stream_start` into `walk`; false when no such stream is there.
bool walk_header(file_stream& file, uint64_t stream_start, header_walk& walk, const abort_signal& abort) {
    file.seek(stream_start, abort);
    char magic[4];
    if (file.read(magic, 4, abort) != 4 || std::memcmp(magic, "MPCK", 4) != 0) return false;
    sv8_packet_walker(file, stream_start, nullptr).walk(walk, abort);
    return true;
}

// Checks "CT" packets: the run of them a walk starts with (`run_only`), or every one up to "SE".
struct chapter_check final : sv8_walk_callbacks {
    explicit chapter_check(bool run_only) : run_only(run_only) {}
    bool decide(const sv8_packet& packet, sv8_packet_walker& walker, const abort_signal& abort) override {
        if (packet.is("CT")) {
            damaged = chapter_packet_short(walker.file(), packet, abort);
        } else if (run_only) {
            done = true;
        }
        return false;
    }
    bool more() override { return !damaged && !done; }
    const bool run_only;
    bool damaged = false, done = false;
};

}  // namespace

bool sv8_stream_refused(file_stream& file, uint64_t stream_start, const abort_signal& abort) {
    header_walk head;
    bool stream = false;
    try {
        stream = walk_header(file, stream_start, head, abort);
    } catch (const ketrel_io::exception_aborted&) {
        throw;
    } catch (const std::exception&) {
        return head.empty;   // unreadable further on: the library reports what it makes of that
    }
    if (head.empty) return true;
    if (!stream) return false;
    try {
        if (head.table == 0) {
            chapter_check all(false);
            sv8_packet_walker(file, stream_start, nullptr).walk(all, abort);
            return all.damaged;
        }
        // The packets right behind the table: a walk that starts there (as if "MPCK" stood four bytes before
        // it) and stops at the first packet that is no chapter.
        file.seek(head.table + 2, abort);
        const uint64_t behind = head.table + sv8_read_number(file, 4, abort);
        chapter_check run(true);
        sv8_packet_walker(file, behind - 4, nullptr).walk(run, abort);
        return run.damaged;
    } catch (const ketrel_io::exception_aborted&) {
        throw;
    } catch (const std::exception&) {
        return false;   // unreadable here: the library reports what it makes of it
    }
}
