#include "foundation/fs/file_stream.h"

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/io_exceptions.h"

void file_stream::seek_from(int64_t offset, int origin, const abort_signal& abort) {
    uint64_t base;
    switch (origin) {
    case seek_origin_start:
        base = 0;
        break;
    case seek_origin_current:
        base = get_position(abort);
        break;
    case seek_origin_end:
        base = get_size(abort);
        if (base == file_size_unknown) throw ketrel_io::exception_io_no_length();
        break;
    default:
        throw ketrel_io::exception_io_data();
    }
    seek(base + static_cast<uint64_t>(offset), abort);
}

void file_stream::rewind(const abort_signal& abort) { seek(0, abort); }

uint64_t file_stream::skip(uint64_t n, const abort_signal& abort) {
    if (n > 1024 && can_seek()) {
        uint64_t size = get_size(abort);
        if (size != file_size_unknown) {
            uint64_t position = get_position(abort);
            uint64_t left = position < size ? size - position : 0;
            uint64_t step = n < left ? n : left;
            seek(position + step, abort);
            return step;
        }
    }
    return byte_source::skip(n, abort);
}
