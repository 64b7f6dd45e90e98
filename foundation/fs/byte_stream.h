#pragma once
// byte_source and byte_sink: the two faces through which every stream of bytes is read and written.
//
// A source hands out bytes in order; `read` answers fewer bytes than asked only at the end of the data.
// A sink takes bytes in order; `write` takes all of them or throws. Both take the caller's abort_signal
// and throw ketrel_io::exception_aborted ("User abort") once it is set.
//
//   char header[4];
//   src.read_exact(header, 4, abort);      // ketrel_io::exception_io_data when fewer than 4 bytes remain
//   src.skip_exact(16, abort);             // the same rule for skipping
//   uint64_t got = src.skip(1000, abort);  // skips up to 1000 bytes; fewer only at the end
//   sink.write_guid(some_guid, abort);     // the 16 memory bytes of the GUID
//
// Files are both (file_stream); memory_sink, buffered_reader and buffered_writer are one of the two.

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/tasks/abort_signal.h"

class byte_source {
public:
    // Reads up to n bytes into buffer; the count is below n only at the end of the data.
    virtual size_t read(void* buffer, size_t n, const abort_signal& abort) = 0;

    // Skips up to n bytes; the count is below n only at the end of the data. This form reads and
    // discards pieces of 256 bytes until n bytes are gone or a piece comes back short; seekable files
    // seek instead.
    virtual uint64_t skip(uint64_t n, const abort_signal& abort);

    // read, and ketrel_io::exception_io_data unless exactly n bytes came.
    void read_exact(void* buffer, size_t n, const abort_signal& abort);
    // skip, and ketrel_io::exception_io_data unless exactly n bytes were skipped.
    void skip_exact(uint64_t n, const abort_signal& abort);

protected:
    byte_source() = default;
    ~byte_source() = default;
};

class byte_sink {
public:
    // Writes all n bytes, or throws.
    virtual void write(const void* buffer, size_t n, const abort_signal& abort) = 0;

    // The 16 bytes of the GUID's memory form: u32 Data1, u16 Data2, u16 Data3 (little-endian), 8 bytes.
    void write_guid(const kpl::guid& value, const abort_signal& abort);

protected:
    byte_sink() = default;
    ~byte_sink() = default;
};
