#pragma once
// The binary forms of the program's own files, read and written through byte streams. All integers are
// little-endian:
//
//   u32      4 bytes
//   float    the 4 bytes of its IEEE single-precision bits, as a u32
//   string   u32 byte length, then that many UTF-8 bytes, no terminator
//   GUID     u32 Data1, u16 Data2, u16 Data3, then the 8 bytes of Data4
//
//   memory_sink buffer;
//   stream_writer w(buffer, abort_never);
//   w.write_uint32(7);          // 07 00 00 00
//   w.write_string("");         // 00 00 00 00
//   w.write_guid(g);            // the 16 memory bytes of g
//
//   stream_reader r(file, abort);
//   uint32_t n = r.read_uint32();               // ketrel_io::exception_io_data at a short read
//   kpl::utf8_string_pow2 s;  r.read_string(s);
//
// Long strings are read in doubling steps from 64 KiB, so a damaged length fails at the end of the
// data before the whole claimed size is allocated.

#include <cstddef>
#include <cstdint>

#include "foundation/fs/byte_stream.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/shared_string.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"

class stream_reader {
public:
    stream_reader(byte_source& source, const abort_signal& abort) : m_source(source), m_abort(abort) {}

    // Exactly n bytes (ketrel_io::exception_io_data otherwise).
    void read(void* buffer, size_t n) { m_source.read_exact(buffer, n, m_abort); }
    uint32_t read_uint32();
    float read_float();
    // u32 length, then the bytes (read_string_body).
    void read_string(kpl::utf8_string& out);
    kpl::guid read_guid();

    byte_source& source() const { return m_source; }
    const abort_signal& abort() const { return m_abort; }

private:
    byte_source& m_source;
    const abort_signal& m_abort;
};

class stream_writer {
public:
    stream_writer(byte_sink& sink, const abort_signal& abort) : m_sink(sink), m_abort(abort) {}

    void write(const void* buffer, size_t n) { m_sink.write(buffer, n, m_abort); }
    void write_uint32(uint32_t value);
    void write_float(float value);
    // u32 byte length of the text up to its terminating zero, then those bytes.
    void write_string(const char* text);
    void write_guid(const kpl::guid& value) { m_sink.write_guid(value, m_abort); }

    byte_sink& sink() const { return m_sink; }
    const abort_signal& abort() const { return m_abort; }

private:
    byte_sink& m_sink;
    const abort_signal& m_abort;
};

// n bytes from the source into out (its old content replaced); a short read gives
// ketrel_io::exception_io_data. Up to 64 KiB are read in one step; longer texts in doubling steps.
void read_string_body(kpl::utf8_string& out, uint32_t n, byte_source& source, const abort_signal& abort);

// Everything the source holds, as text: out is emptied, then 256-byte blocks are appended until one
// comes back short.
void read_all_text(kpl::utf8_string& out, byte_source& source, const abort_signal& abort);

// A new shared string of exactly n bytes from the source (ketrel_io::exception_io_data when short).
kpl::shared_string read_into_shared_string(byte_source& source, uint32_t n, const abort_signal& abort);
