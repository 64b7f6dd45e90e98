#pragma once
// Buffered adapters: many small reads or writes become few large ones on the stream underneath.
//
//   buffered_reader in(*file, 16384);
//   stream_reader r(in, abort);
//   while (...) r.read_uint32();            // one file read per 16 KiB
//
//   buffered_writer out(*file, 16384);
//   stream_writer w(out, abort);
//   w.write_string("...");
//   out.flush(abort);                       // the owner flushes once at the end; nothing else does
//
// The adapters keep a reference to the stream, which must outlive them; a stream wrapped in a reader
// must not be read around it meanwhile.

#include <cstddef>
#include <cstdint>

#include "foundation/fs/byte_stream.h"
#include "foundation/kpl/array.h"

class buffered_reader : public byte_source {
public:
    buffered_reader(byte_source& source, uint32_t capacity);

    // Delivers from the buffer, refilling it with reads of its full capacity; a refill that brings
    // nothing ends the read.
    size_t read(void* buffer, size_t n, const abort_signal& abort) override;

private:
    byte_source& m_source;
    kpl::array<uint8_t> m_buffer;
    uint32_t m_index = 0;
    uint32_t m_fill = 0;
};

class buffered_writer : public byte_sink {
public:
    buffered_writer(byte_sink& sink, uint32_t capacity);

    // Collects the bytes; a full buffer is written out, and writes of at least the capacity go straight
    // to the sink after the buffer.
    void write(const void* buffer, size_t n, const abort_signal& abort) override;
    // Writes out what the buffer holds.
    void flush(const abort_signal& abort);

private:
    byte_sink& m_sink;
    kpl::array<uint8_t> m_buffer;
    uint32_t m_fill = 0;
};
