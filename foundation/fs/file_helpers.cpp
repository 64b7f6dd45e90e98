#include "foundation/fs/file_helpers.h"

#include "foundation/kpl/array.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"

file_stats file_stats_read(file_stream& file, const abort_signal& abort) {
    file_stats stats;
    stats.size = file.get_size(abort);
    stats.timestamp = file.get_timestamp(abort);
    return stats;
}

uint64_t file_remaining(file_stream& file, const abort_signal& abort) {
    uint64_t size = file.get_size(abort);
    if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    uint64_t position = file.get_position(abort);
    kpl::dynamic_assert(position <= size);
    return size - position;
}

bool file_is_at_end(file_stream& file, const abort_signal& abort) {
    uint64_t size = file.get_size(abort);
    return size != file_size_unknown && file.get_position(abort) >= size;
}

void file_truncate_to(file_stream& file, uint64_t size, const abort_signal& abort) {
    if (file.get_size(abort) > size) file.resize(size, abort);
}

uint64_t stream_copy(byte_source& source, byte_sink& sink, uint64_t n, const abort_signal& abort) {
    if (n == 0) return 0;
    kpl::array<uint8_t> buffer;
    buffer.resize_exact(n < stream_copy_block ? static_cast<uint32_t>(n) : stream_copy_block);
    uint64_t done = 0;
    while (done < n) {
        abort.check();
        uint64_t left = n - done;
        size_t want = left < buffer.count() ? static_cast<size_t>(left) : buffer.count();
        size_t got = source.read(buffer.data(), want, abort);
        if (got == 0) break;
        sink.write(buffer.data(), got, abort);
        done += got;
    }
    return done;
}

void stream_copy_exact(byte_source& source, byte_sink& sink, uint64_t n, const abort_signal& abort) {
    if (stream_copy(source, sink, n, abort) != n) throw ketrel_io::exception_io_data();
}

void file_copy_exact(file_stream& source, file_stream& target, uint64_t n, const abort_signal& abort) {
    if (n > 1024) {
        uint64_t size = target.get_size(abort);
        if (size != file_size_unknown) {
            uint64_t end = target.get_position(abort) + n;
            if (end > size) target.resize(end, abort);
        }
    }
    stream_copy_exact(source, target, n, abort);
}

void file_copy_whole(file_stream& target, file_stream& source, const abort_signal& abort) {
    uint64_t size = source.get_size(abort);
    if (size == file_size_unknown) throw ketrel_io::exception_io_no_length();
    source.seek(0, abort);
    target.seek(0, abort);
    file_truncate_to(target, target.get_position(abort), abort);
    if (size > 0) file_copy_exact(source, target, size, abort);
}
