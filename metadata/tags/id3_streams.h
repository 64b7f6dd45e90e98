#pragma once
// The byte streams of id3parser: a reader interface with its three implementations (memory, bounded,
// unsynchronisation decoder) and a writer that appends to a byte vector.
//
//     const uint8_t bytes[] = {'a', 0xFF, 0x00, 'b', 0xFF, 0x41};
//     id3parser::memoryReader mem(bytes, sizeof bytes);
//     id3parser::boundedReader bounded(mem, 5);           // never more than 5 bytes of mem
//     id3parser::unsyncReader plain(bounded);             // FF 00 -> FF
//     uint8_t out[8];
//     plain.read(out, 8) == 3                             // 'a' FF 'b'; the 0xFF at the bound
//                                                         // then needs its partner: parseError
//
// read and skip answer fewer bytes than asked only at the end of the data; readExact and skipExact
// raise id3parser::parseError when the data ends first.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace id3parser {

class reader {
public:
    virtual ~reader() = default;
    // Up to n bytes; returns the count read.
    virtual size_t read(void* buffer, size_t n) = 0;
    // Up to n bytes; returns the count skipped.
    virtual size_t skip(size_t n) = 0;
    // Exactly n bytes, or parseError.
    void readExact(void* buffer, size_t n);
    void skipExact(size_t n);
};

// Reads from a byte range that the caller keeps alive.
class memoryReader : public reader {
public:
    memoryReader(const void* data, size_t size) : m_data(static_cast<const uint8_t*>(data)), m_size(size) {}
    size_t read(void* buffer, size_t n) override;
    size_t skip(size_t n) override;
    size_t position() const { return m_position; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};

// Reads from another reader, but never more than a remaining count, which every read decreases.
class boundedReader : public reader {
public:
    boundedReader(reader& inner, size_t limit) : m_inner(inner), m_remaining(limit) {}
    size_t read(void* buffer, size_t n) override;
    size_t skip(size_t n) override;
    size_t remaining() const { return m_remaining; }

private:
    reader& m_inner;
    size_t m_remaining;
};

// Undoes unsynchronisation while reading from another reader: after a byte 0xFF the next byte is taken
// at once (parseError when there is none): 0x00 is dropped, a byte of 0xE0 or more is a parseError, any
// other byte is delivered after the 0xFF. skip counts delivered bytes. Never reads from the inner reader
// more than the bytes it delivers, plus the partner of a final 0xFF.
class unsyncReader : public reader {
public:
    explicit unsyncReader(reader& inner) : m_inner(inner) {}
    size_t read(void* buffer, size_t n) override;
    size_t skip(size_t n) override;

private:
    reader& m_inner;
    bool m_hasPending = false;
    uint8_t m_pending = 0;
};

class writer {
public:
    virtual ~writer() = default;
    virtual void write(const void* data, size_t n) = 0;
};

// Appends everything written to a byte vector.
class vectorWriter : public writer {
public:
    void write(const void* data, size_t n) override;
    std::vector<uint8_t>& bytes() { return m_bytes; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

}  // namespace id3parser
