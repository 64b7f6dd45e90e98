// atomkit's bounded child stream, memory stream and the big-endian readers.

#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/atom_stream.h"
#include "compressed_inputs/mp4/atomkit/box_header.h"
#include "compressed_inputs/mp4/mp4_exceptions.h"
#include "tests/compressed_inputs/mp4/atomkit_test_support.h"

using namespace atomkit_test;

namespace {

bytes counting(size_t n) {
    bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i);
    return b;
}

// A parent that records whether it was asked about availability, and can misbehave by reporting more bytes read
// than it was asked for.
class probe_stream final : public atomkit::byte_stream {
public:
    bool asked = false;
    size_t overread = 0;
    size_t read(void* buffer, size_t n) override {
        std::memset(buffer, 0, n);
        return n + overread;
    }
    void read_exact(void* buffer, size_t n) override { read(buffer, n); }
    uint64_t skip(uint64_t n) override { return n; }
    void skip_exact(uint64_t) override {}
    void check_available(uint64_t) override { asked = true; }
};

}  // namespace

TEST_CASE("atom_stream stays inside its box and leaves the parent after it") {
    bytes data = counting(32);
    atomkit::memory_atom_stream parent(data.data(), data.size());
    parent.skip_exact(4);
    atomkit::atom_stream child(parent, 10);

    uint8_t buf[64];
    CHECK(child.read(buf, 3) == 3);
    CHECK(buf[0] == 4);
    CHECK(child.skip(2) == 2);
    CHECK(child.read(buf, 64) == 5);  // clamped to what is left of the box
    CHECK(buf[0] == 9);
    CHECK(buf[4] == 13);
    CHECK(child.skip(100) == 0);
    CHECK(parent.position() == 14);

    atomkit::atom_stream second(parent, 6);
    second.read_exact(buf, 1);
    second.finish();  // skips the other 5
    CHECK(second.remaining() == 0);
    CHECK(parent.position() == 20);
    CHECK(atomkit::read_u32(parent) == 0x14151617u);
}

TEST_CASE("atom_stream errors at the edge of its box") {
    bytes data = counting(32);
    uint8_t buf[16];
    struct row {
        const char* what;
        std::string expected;
        void (*run)(atomkit::atom_stream&, uint8_t*);
    };
    const row rows[] = {
        {"read_exact past the box", "attempting to read past end of atom",
         [](atomkit::atom_stream& c, uint8_t* b) { c.read_exact(b, 9); }},
        {"skip_exact past the box", "attempting to skip past end of atom",
         [](atomkit::atom_stream& c, uint8_t*) { c.skip_exact(9); }},
        {"check_available past the box", "truncation: invalid or incomplete data",
         [](atomkit::atom_stream& c, uint8_t*) { c.check_available(9); }},
        {"read_u64 after 1 byte", "attempting to read past end of atom",
         [](atomkit::atom_stream& c, uint8_t* b) {
             c.read_exact(b, 1);
             atomkit::read_u64(c);
         }},
        {"exactly the box is fine", "no error",
         [](atomkit::atom_stream& c, uint8_t* b) {
             c.check_available(8);
             c.read_exact(b, 4);
             c.skip_exact(4);
         }},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        atomkit::memory_atom_stream parent(data.data(), data.size());
        atomkit::atom_stream child(parent, 8);
        CHECK(atomkit_error([&] { r.run(child, buf); }) == r.expected);
    }

    SUBCASE("a box longer than the data behind it reports the parent's truncation") {
        atomkit::memory_atom_stream parent(data.data(), 4);
        atomkit::atom_stream child(parent, 8);
        CHECK(atomkit_error([&] { child.read_exact(buf, 6); }) == "truncation: invalid or incomplete data");
    }
    SUBCASE("check_available answers from the box alone") {
        probe_stream parent;
        atomkit::atom_stream child(parent, 8);
        child.check_available(8);
        CHECK_FALSE(parent.asked);
    }
    SUBCASE("a parent that reads more than asked is a bug, not data") {
        probe_stream parent;
        parent.overread = 1;
        atomkit::atom_stream child(parent, 8);
        CHECK(atomkit_error([&] { child.read(buf, 4); }) == "bug: stream read more bytes than asked for");
    }
}

TEST_CASE("memory_atom_stream clamps and refuses short data without moving") {
    bytes data = counting(10);
    atomkit::memory_atom_stream s(data.data(), data.size());
    uint8_t buf[16];
    CHECK(s.read(buf, 4) == 4);
    CHECK(atomkit_error([&] { s.read_exact(buf, 7); }) == "truncation: invalid or incomplete data");
    CHECK(atomkit_error([&] { s.skip_exact(7); }) == "truncation: invalid or incomplete data");
    CHECK(s.position() == 4);
    // A 64-bit request is refused by its high word alone, even when its low word would fit.
    CHECK(atomkit_error([&] { s.check_available(0x100000001ull); }) == "truncation: invalid or incomplete data");
    CHECK(s.skip(100) == 6);
    CHECK(s.read(buf, 1) == 0);
    CHECK(atomkit_error([&] { s.check_available(0); }) == "no error");
}

TEST_CASE("big-endian readers") {
    bytes data = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,
                  0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15};
    atomkit::memory_atom_stream s(data.data(), data.size());
    CHECK(atomkit::read_u16(s) == 0x0102);
    CHECK(atomkit::read_u24(s) == 0x030405u);
    CHECK(atomkit::read_u32(s) == 0x06070809u);
    CHECK(atomkit::read_u64(s) == 0x0A0B0C0D0E0F1011ull);
    CHECK(atomkit_error([&] { atomkit::read_u64(s); }) == "truncation: invalid or incomplete data");

    SUBCASE("descriptor lengths: 7 bits a byte, at most 4 bytes") {
        struct row {
            bytes in;
            uint32_t value;
            size_t used;
        };
        const row rows[] = {
            {{0x05, 0xEE}, 5, 1},
            {{0x81, 0x7F}, 0xFF, 2},
            {{0x80, 0x80, 0x80, 0x22}, 0x22, 4},
            {{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, 0x0FFFFFFF, 4},  // the fifth byte is not part of it
        };
        for (const row& r : rows) {
            atomkit::memory_atom_stream d(r.in.data(), r.in.size());
            CHECK(atomkit::read_descriptor_length(d) == r.value);
            CHECK(d.position() == r.used);
        }
        bytes cut = {0x81};
        atomkit::memory_atom_stream d(cut.data(), cut.size());
        CHECK(atomkit_error([&] { atomkit::read_descriptor_length(d); }) == "truncation: invalid or incomplete data");
    }

    SUBCASE("arrays: chunk offsets widened across blocks of 256") {
        bytes b;
        for (uint32_t i = 0; i < 300; ++i) put32(b, 0xF0000000u + i);
        atomkit::memory_atom_stream d(b.data(), b.size());
        std::vector<uint64_t> offsets;
        atomkit::read_u32_array_widened(d, offsets, 300);
        REQUIRE(offsets.size() == 300);
        CHECK(offsets[0] == 0xF0000000ull);
        CHECK(offsets[255] == 0xF00000FFull);
        CHECK(offsets[256] == 0xF0000100ull);
        CHECK(offsets[299] == 0xF000012Bull);

        atomkit::memory_atom_stream e(b.data(), b.size());
        std::vector<uint32_t> u32s;
        atomkit::read_u32_array(e, u32s, 2);
        CHECK(u32s == std::vector<uint32_t>{0xF0000000u, 0xF0000001u});
        std::vector<uint64_t> u64s;
        atomkit::read_u64_array(e, u64s, 2);
        CHECK(u64s == std::vector<uint64_t>{0xF0000002F0000003ull, 0xF0000004F0000005ull});
    }

    SUBCASE("a damaged count is refused before anything is allocated") {
        // A count of 4 billion over 8 bytes: a truncation error, not a 16 GB table.
        std::vector<uint32_t> u32s;
        std::vector<uint64_t> u64s;
        atomkit::memory_atom_stream d(data.data(), 8);
        CHECK(atomkit_error([&] { atomkit::read_u32_array(d, u32s, 0xFFFFFFFFu); }) ==
              "truncation: invalid or incomplete data");
        CHECK(atomkit_error([&] { atomkit::read_u64_array(d, u64s, 0x20000000u); }) ==
              "truncation: invalid or incomplete data");
        CHECK(atomkit_error([&] { atomkit::read_u32_array_widened(d, u64s, 0xFFFFFFFFu); }) ==
              "truncation: invalid or incomplete data");
        CHECK(u32s.capacity() == 0);
        CHECK(u64s.capacity() == 0);
        CHECK(d.position() == 0);
    }
}

TEST_CASE("atomkit errors and the input's I/O data error") {
    CHECK(std::string(atomkit::exception_truncation().what()) == "invalid or incomplete data");
    CHECK(std::string(atomkit::exception_out_of_range().what()) == "array access out of range");
    CHECK(std::string(atomkit::exception_invalid_timescale().what()) == "invalid time scale value");
    try {
        throw atomkit::exception_invalid_timescale();
    } catch (const atomkit::exception&) {
    }

    // The input's error is an ordinary malformed-data error with the same text.
    bool caught = false;
    try {
        throw exception_io_data_atomkit();
    } catch (const ketrel_io::exception_io_data& e) {
        caught = true;
        CHECK(std::string(e.what()) == ketrel_io::exception_io_data().what());
    }
    CHECK(caught);
}

TEST_CASE("a file-backed stream's default skip is a forward seek clamped to the size") {
    memory_file file(counting(10));
    file.seek(4);
    CHECK(file.skip(3) == 3);
    CHECK(file.position() == 7);
    CHECK(file.skip(100) == 3);
    CHECK(file.position() == 10);
    CHECK(file.skip(1) == 0);
    file.seek(20);  // past the end: nothing to skip, and the position stays
    CHECK(file.skip(5) == 0);
    CHECK(file.position() == 20);
    CHECK(file.bytes_read == 0);
}
