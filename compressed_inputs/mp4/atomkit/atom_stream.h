#pragma once
// atom_stream: the payload of one box as a stream of its own, bounded by the box's size. It reads through the
// parent stream and never past the box:
//
//     atomkit::atom_stream child(parent, 20);   // a box payload of 20 bytes
//     child.read(buf, 100);                      // -> 20 (clamped)
//     child.read_exact(buf, 1);                  // throws atomkit::exception "attempting to read past end of atom"
//     child.skip_exact(1);                       // throws "attempting to skip past end of atom"
//     child.check_available(1);                  // throws exception_truncation; the parent is not asked
//     child.finish();                            // skips what is left, so the parent stands after the box
//
// memory_atom_stream: the same five operations over bytes in memory (a metadata item copied out first).
// read_exact and skip_exact of more than is left throw exception_truncation and move nothing.

#include <cstddef>
#include <cstdint>

#include "compressed_inputs/mp4/atomkit/byte_stream.h"

namespace atomkit {

class atom_stream final : public byte_stream {
public:
    atom_stream(byte_stream& parent, uint64_t size) : m_parent(parent), m_remaining(size) {}

    size_t read(void* buffer, size_t n) override;
    void read_exact(void* buffer, size_t n) override;
    uint64_t skip(uint64_t n) override;
    void skip_exact(uint64_t n) override;
    void check_available(uint64_t n) override;

    uint64_t remaining() const { return m_remaining; }
    // Skips the rest of the box (skip_exact), leaving the parent just past it.
    void finish();

private:
    byte_stream& m_parent;
    uint64_t m_remaining;
};

class memory_atom_stream final : public byte_stream {
public:
    memory_atom_stream(const void* data, size_t size) : m_data(static_cast<const uint8_t*>(data)), m_size(size) {}

    size_t read(void* buffer, size_t n) override;
    void read_exact(void* buffer, size_t n) override;
    uint64_t skip(uint64_t n) override;
    void skip_exact(uint64_t n) override;
    void check_available(uint64_t n) override;

    size_t position() const { return m_position; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};

}  // namespace atomkit
