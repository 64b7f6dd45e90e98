#include "foundation/fs/byte_stream.h"

#include "foundation/kpl/io_exceptions.h"

uint64_t byte_source::skip(uint64_t n, const abort_signal& abort) {
    char piece[256];
    uint64_t done = 0;
    while (done < n) {
        uint64_t left = n - done;
        size_t want = left < sizeof(piece) ? static_cast<size_t>(left) : sizeof(piece);
        size_t got = read(piece, want, abort);
        done += got;
        if (got != want) break;
    }
    return done;
}

void byte_source::read_exact(void* buffer, size_t n, const abort_signal& abort) {
    if (read(buffer, n, abort) != n) throw ketrel_io::exception_io_data();
}

void byte_source::skip_exact(uint64_t n, const abort_signal& abort) {
    if (skip(n, abort) != n) throw ketrel_io::exception_io_data();
}

void byte_sink::write_guid(const kpl::guid& value, const abort_signal& abort) {
    uint8_t bytes[16];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value.data1 >> (8 * i));
    for (int i = 0; i < 2; ++i) bytes[4 + i] = static_cast<uint8_t>(value.data2 >> (8 * i));
    for (int i = 0; i < 2; ++i) bytes[6 + i] = static_cast<uint8_t>(value.data3 >> (8 * i));
    for (int i = 0; i < 8; ++i) bytes[8 + i] = value.data4[i];
    write(bytes, sizeof(bytes), abort);
}
