#include "foundation/fs/file_stream.h"

#include <windows.h>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/io_exceptions.h"

// {B2F9FC40-3E55-4B23-A2C9-22BAAD8795B1}
const kpl::guid file_stream::class_guid = {0xB2F9FC40, 0x3E55, 0x4B23, {0xA2, 0xC9, 0x22, 0xBA, 0xAD, 0x87, 0x95, 0xB1}};

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

uint32_t file_stream_object::add_ref() { return static_cast<uint32_t>(InterlockedIncrement(&m_count)); }

uint32_t file_stream_object::release() {
    long count = InterlockedDecrement(&m_count);
    if (count == 0) delete this;
    return static_cast<uint32_t>(count);
}

bool file_stream_object::query(service_ref& out, const kpl::guid& interface_guid) {
    if (interface_guid != file_stream::class_guid) return false;
    out.assign(this);
    return true;
}
