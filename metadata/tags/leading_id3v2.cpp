#include "metadata/tags/leading_id3v2.h"

#include <cstring>

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/fs/file_stats.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"

namespace {

constexpr uint64_t in_memory_limit = 0x1000000;

void write_bytes(file_stream& out, const kpl::array<uint8_t>& bytes, const abort_signal& abort) {
    if (bytes.count()) out.write(bytes.data(), bytes.count(), abort);
}

}  // namespace

uint64_t skip_leading_id3v2(file_stream& file, uint64_t position, const abort_signal& abort) {
    file.seek(position, abort);
    uint8_t header[10];
    size_t got = file.read(header, sizeof header, abort);
    bool is_header = got == sizeof header && std::memcmp(header, "ID3", 3) == 0 && (header[5] & 0x0F) == 0 &&
                     ((header[6] | header[7] | header[8] | header[9]) & 0x80) == 0;
    if (!is_header) {
        file.seek(position, abort);
        return 0;
    }
    uint64_t size = (static_cast<uint64_t>(header[6]) << 21 | static_cast<uint64_t>(header[7]) << 14 |
                     static_cast<uint64_t>(header[8]) << 7 | header[9]) +
                    10;
    if (header[5] & 0x10) size += 10;
    try {
        file.seek(position + size, abort);
    } catch (const ketrel_io::exception_io_seek_out_of_range&) {
        file.seek(position, abort);
        return 0;
    }
    return size;
}

bool leading_id3v2_read(file_stream& file, id3parser::tag& out, const id3parser::frameFilter& filter,
                        const abort_signal& abort) {
    out = id3parser::tag();
    uint64_t first = skip_leading_id3v2(file, 0, abort);
    if (first == 0) return false;
    if (first > 0xFFFFFFFFull) throw kpl::exception_overflow();
    file.seek(0, abort);
    kpl::array<uint8_t> bytes;
    bytes.resize_exact(static_cast<uint32_t>(first));
    file.read_exact(bytes.data(), bytes.count(), abort);
    try {
        id3parser::memoryReader in(bytes.data(), bytes.count());
        id3parser::parseTag(in, out, filter);
    } catch (const id3parser::parseError&) {
        throw ketrel_io::exception_io_data();
    }
    uint64_t total = first;
    for (;;) {
        uint64_t next = skip_leading_id3v2(file, total, abort);
        if (next == 0) break;
        total += next;
    }
    out.oldSize = total;
    file.seek(total, abort);
    return true;
}

uint32_t leading_id3v2_measure(file_stream& file, uint64_t& total_size, const abort_signal& abort) {
    uint32_t count = 0;
    total_size = 0;
    for (;;) {
        uint64_t next = skip_leading_id3v2(file, total_size, abort);
        if (next == 0) break;
        total_size += next;
        ++count;
    }
    return count;
}

uint64_t leading_id3v2_strip(file_stream& file, tag_rewriter& rewriter, const abort_signal& abort) {
    if (!file.can_seek()) throw ketrel_io::exception_io_object_not_seekable();
    uint64_t size = file.get_size(abort);
    if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    uint64_t total;
    leading_id3v2_measure(file, total, abort);
    if (total == 0 || total >= size) return total;
    kpl::array<uint8_t> none;
    rebuild_file(rewriter, file, none, total, size, none, abort);
    return total;
}

void rebuild_file(tag_rewriter& rewriter, file_stream& file, const kpl::array<uint8_t>& head, uint64_t body_start,
                  uint64_t body_end, const kpl::array<uint8_t>& tail, const abort_signal& abort) {
    uint64_t body = body_end > body_start ? body_end - body_start : 0;
    file_stream_ref out;
    if (rewriter.begin(out, abort)) {
        write_bytes(*out, head, abort);
        file.seek(body_start, abort);
        stream_copy_exact(file, *out, body, abort);
        write_bytes(*out, tail, abort);
        return;
    }
    // Copying new content over a file on disk could leave it half-written: that needs a rewriter.
    if (!file.is_in_memory()) throw ketrel_io::exception_io_denied();
    file_stream_ref temporary;
    uint64_t new_size = head.count() + body + tail.count();
    if (new_size <= in_memory_limit) {
        temp_memory_file_open(temporary, abort);
    } else {
        temp_file_open(temporary, abort);
    }
    write_bytes(*temporary, head, abort);
    file.seek(body_start, abort);
    stream_copy_exact(file, *temporary, body, abort);
    write_bytes(*temporary, tail, abort);
    temporary->seek(0, abort);
    file.resize(temporary->get_size(abort), abort);
    file.seek(0, abort);
    stream_copy_exact(*temporary, file, temporary->get_size(abort), abort);
}
