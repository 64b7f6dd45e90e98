#pragma once
// The byte streams every atomkit reader works on. atomkit knows nothing of files: the MP4 input hands it a
// stream of its own over a file, and parsers of boxes copied into memory use memory_atom_stream.
//
//     byte_stream& s = ...;
//     uint8_t head[8];
//     s.read_exact(head, 8);        // exactly 8 bytes, or atomkit::exception_truncation
//     s.skip(100);                  // up to 100 bytes; returns how many were skipped
//     s.check_available(4096);      // throws exception_truncation when fewer than 4096 bytes remain
//
// file_backed_stream adds what only the top-level scan, the structure check and the writer need: position,
// seek, size (all ones when unknown), truncate, and write. Its skip defaults to a forward seek clamped to the
// size; a stream that can do better replaces it.

#include <cstddef>
#include <cstdint>

namespace atomkit {

constexpr uint64_t unknown_size = ~uint64_t(0);

class byte_stream {
public:
    virtual ~byte_stream() = default;
    // Reads up to n bytes; fewer only at the end of the data.
    virtual size_t read(void* buffer, size_t n) = 0;
    // Reads exactly n bytes or throws exception_truncation.
    virtual void read_exact(void* buffer, size_t n) = 0;
    // Skips up to n bytes and returns how many.
    virtual uint64_t skip(uint64_t n) = 0;
    // Skips exactly n bytes or throws exception_truncation.
    virtual void skip_exact(uint64_t n) = 0;
    // Throws exception_truncation when fewer than n bytes remain.
    virtual void check_available(uint64_t n) = 0;
};

// The writing facet of a file-backed stream: writes all n bytes at the position or throws.
class byte_writer {
public:
    virtual ~byte_writer() = default;
    virtual void write(const void* buffer, size_t n) = 0;
};

class file_backed_stream : public byte_stream, public byte_writer {
public:
    virtual uint64_t position() = 0;
    virtual void seek(uint64_t offset) = 0;
    // The size in bytes, unknown_size when not known.
    virtual uint64_t size() = 0;
    // Sets the size of the underlying file.
    virtual void truncate(uint64_t size) = 0;

    // Clamped to size - position, then a forward seek.
    uint64_t skip(uint64_t n) override {
        uint64_t pos = position();
        uint64_t end = size();
        if (pos >= end) return 0;
        if (n > end - pos) n = end - pos;
        seek(pos + n);
        return n;
    }
};

}  // namespace atomkit
