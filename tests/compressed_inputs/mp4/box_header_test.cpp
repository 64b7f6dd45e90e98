// Box headers, the walk over child boxes and the box writers, over boxes built in the test.

#include <doctest/doctest.h>

#include <new>
#include <string>
#include <vector>

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/box_buffer.h"
#include "compressed_inputs/mp4/atomkit/box_header.h"
#include "tests/compressed_inputs/mp4/atomkit_test_support.h"

using namespace atomkit_test;
using atomkit::fourcc;

namespace {

// A stream whose first bytes are given and that claims endless data behind them.
class endless_stream final : public atomkit::byte_stream {
public:
    explicit endless_stream(bytes head) : m_head(std::move(head)) {}
    size_t read(void* buffer, size_t n) override {
        uint8_t* out = static_cast<uint8_t*>(buffer);
        for (size_t i = 0; i < n; ++i, ++m_pos) out[i] = m_pos < m_head.size() ? m_head[m_pos] : 0x41;
        return n;
    }
    void read_exact(void* buffer, size_t n) override { read(buffer, n); }
    uint64_t skip(uint64_t n) override { return n; }
    void skip_exact(uint64_t) override {}
    void check_available(uint64_t) override {}

private:
    bytes m_head;
    size_t m_pos = 0;
};

// Records every box of a tree as "path:payload", descending into the listed container types.
class tree_visitor final : public atomkit::box_visitor {
public:
    std::vector<std::string> seen;
    std::string prefix;
    void on_box(atomkit::atom_stream& child, uint32_t type, uint64_t payload) override {
        std::string name = prefix + atomkit::fourcc_text(type);
        seen.push_back(name + ":" + std::to_string(payload));
        if (type == fourcc("moov") || type == fourcc("trak") || type == fourcc("udta")) {
            tree_visitor inner;
            inner.prefix = name + "/";
            atomkit::walk_children(child, payload, inner);
            seen.insert(seen.end(), inner.seen.begin(), inner.seen.end());
        } else if (type == fourcc("half") && payload >= 2) {
            uint8_t b[2];
            child.read_exact(b, 2);  // reads part; the walk skips the rest
        }
    }
};

std::vector<std::string> walk(const bytes& data, uint64_t total) {
    atomkit::memory_atom_stream s(data.data(), data.size());
    tree_visitor v;
    atomkit::walk_children(s, total, v);
    return v.seen;
}

std::string walk_error(const bytes& data, uint64_t total) {
    return atomkit_error([&] { walk(data, total); });
}

}  // namespace

TEST_CASE("read_box_header: sizes, types and the ID3v1 test") {
    struct row {
        const char* what;
        bytes data;
        bool tag_check;
        bool ok;
        const char* type;
        uint32_t header;
        uint64_t payload;
    };
    const row rows[] = {
        {"32-bit size", box("free", filler(5)), false, true, "free", 8, 5},
        {"empty box", box("skip"), false, true, "skip", 8, 0},
        {"64-bit largesize", box64("mdat", filler(3)), false, true, "mdat", 16, 3},
        {"largesize 16", box64("mdat"), false, true, "mdat", 16, 0},
        {"largesize 15", cat({raw_header(1, "mdat"), bytes{0, 0, 0, 0, 0, 0, 0, 15}}), false, false, "", 0, 0},
        {"largesize cut", cat({raw_header(1, "mdat"), bytes{0, 0, 0}}), false, false, "", 0, 0},
        {"size 0 (to the end) is not accepted", cat({raw_header(0, "mdat"), filler(20)}), false, false, "", 0, 0},
        {"size 7", cat({raw_header(7, "free"), filler(20)}), false, false, "", 0, 0},
        {"size 8 of a header alone", raw_header(8, "free"), false, true, "free", 8, 0},
        {"type byte below 0x20", cat({raw_header(16, "fr\x1F" "e"), filler(8)}), false, false, "", 0, 0},
        {"type bytes 0x20 and above", cat({raw_header(12, " ~\xA9x"), filler(4)}), false, true, " ~\xA9x", 8, 4},
        {"fewer than 8 bytes", bytes{0, 0, 0, 8, 'f', 'r', 'e'}, false, false, "", 0, 0},
        {"no bytes", bytes{}, false, false, "", 0, 0},
        // An ID3v1 block: "TAG" + title; its implied size (0x5441474D = "TAGM") does not fit in 128 bytes.
        {"ID3v1 block, checked", cat({bytes{'T', 'A', 'G', 'M', 'y', ' ', 'S', 'o'}, filler(120, 0x20)}), true,
         false, "", 0, 0},
        {"ID3v1 block, unchecked", cat({bytes{'T', 'A', 'G', 'M', 'y', ' ', 'S', 'o'}, filler(120, 0x20)}), false,
         true, "y So", 8, 0x5441474Du - 8},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        atomkit::memory_atom_stream s(r.data.data(), r.data.size());
        atomkit::box_header h;
        REQUIRE(atomkit::read_box_header(s, h, r.tag_check) == r.ok);
        if (!r.ok) continue;
        CHECK(atomkit::fourcc_text(h.type) == r.type);
        CHECK(h.header_size == r.header);
        CHECK(h.payload_size == r.payload);
        CHECK(s.position() == r.header);
    }

    SUBCASE("a largesize past 4 GB") {
        bytes b = cat({raw_header(1, "mdat"), bytes{0, 0, 0, 2, 0, 0, 0, 0x10}});
        atomkit::memory_atom_stream s(b.data(), b.size());
        atomkit::box_header h;
        REQUIRE(atomkit::read_box_header(s, h, false));
        CHECK(h.payload_size == 0x200000000ull);
    }
    SUBCASE("\"TAG\" whose implied size fits is an ordinary box") {
        endless_stream s(bytes{'T', 'A', 'G', 'X', 'd', 'a', 't', 'a'});
        atomkit::box_header h;
        REQUIRE(atomkit::read_box_header(s, h, true));
        CHECK(h.type == fourcc("data"));
        CHECK(h.payload_size == 0x54414758u - 8);
    }
    CHECK(fourcc("moov") == 0x766F6F6Du);  // file order as a little-endian word
}

TEST_CASE("walk_children over nested boxes") {
    bytes tree = cat({box("moov", cat({box("mvhd", filler(100)),
                                       box("trak", cat({box("tkhd", filler(84)), box64("mdia", filler(7))})),
                                       box("udta", box("half", filler(10)))})),
                      box("free", filler(3))});
    CHECK(walk(tree, tree.size()) ==
          std::vector<std::string>{"moov:257", "moov/mvhd:100", "moov/trak:115", "moov/trak/tkhd:84",
                                   "moov/trak/mdia:7", "moov/udta:18", "moov/udta/half:10", "free:3"});

    SUBCASE("a child running past its parent ends with the parent") {
        // udta says 8 + 40 but moov holds only 20 of it; the box after moov is still found.
        bytes inner = cat({raw_header(48, "udta"), box("half", filler(4)), raw_header(200, "pad ")});
        bytes data = cat({box("moov", inner), box("free", filler(2))});
        CHECK(walk(data, data.size()) ==
              std::vector<std::string>{"moov:28", "moov/udta:20", "moov/udta/half:4", "moov/udta/pad :0", "free:2"});
    }
    SUBCASE("malformed and truncated children") {
        struct row {
            const char* what;
            bytes data;
            uint64_t total;
            const char* error;
        };
        const row rows[] = {
            {"size 0 inside a box", cat({raw_header(0, "free"), filler(8)}), 16, "invalid box/atom header"},
            {"size below the header", cat({raw_header(4, "free"), filler(8)}), 16, "invalid box/atom header"},
            {"bad type byte", cat({raw_header(8, "\x01" "bad")}), 8, "invalid box/atom header"},
            {"a header larger than what is left", box64("free"), 12, "invalid box/atom header"},
            {"a header cut off", bytes{0, 0, 0, 8, 'f'}, 8, "invalid box/atom header"},
            {"payload past the data", cat({raw_header(40, "free"), filler(8)}), 40,
             "truncation: invalid or incomplete data"},
            // trak ends 8 bytes into its tkhd, so moov's next header is read from tkhd's zero payload.
            {"overlapping siblings in a container", box("moov", cat({raw_header(16, "trak"), box("tkhd", filler(8, 0))})),
             32, "invalid box/atom header"},
        };
        for (const row& r : rows) {
            CAPTURE(r.what);
            CHECK(walk_error(r.data, r.total) == r.error);
        }
    }
}

TEST_CASE("read_child_header cuts the payload to the parent") {
    bytes data = cat({raw_header(100, "free"), filler(100)});
    atomkit::memory_atom_stream s(data.data(), data.size());
    atomkit::box_header h = atomkit::read_child_header(s, 30);
    CHECK(h.header_size == 8);
    CHECK(h.payload_size == 22);
}

TEST_CASE("box_buffer doubles from one byte; the writers lay out boxes") {
    atomkit::box_buffer b;
    CHECK(b.capacity() == 0);
    b.append("a", 1);
    CHECK(b.capacity() == 1);
    b.append("bc", 2);
    CHECK(b.capacity() == 4);
    b.append("defgh", 5);
    CHECK(b.capacity() == 8);
    b.append("i", 1);
    CHECK(b.capacity() == 16);
    CHECK(std::string(reinterpret_cast<const char*>(b.data()), b.size()) == "abcdefghi");

    CHECK_THROWS_WITH_AS(b.append("x", SIZE_MAX), "bad allocation", std::bad_alloc);
    CHECK_THROWS_WITH_AS(b.append("x", SIZE_MAX - 4), "bad allocation", std::bad_alloc);
    CHECK_THROWS_WITH_AS(b.append("x", SIZE_MAX / 2 + 10), "bad allocation", std::bad_alloc);  // doubling overflows
    CHECK(b.size() == 9);
    CHECK(b.capacity() == 16);

    atomkit::box_buffer moved(std::move(b));
    CHECK(moved.size() == 9);
    CHECK(b.size() == 0);

    atomkit::box_buffer out;
    atomkit::write_box(out, fourcc("name"), "xyz", 3);
    atomkit::write_box_header(out, 0x12345678u, fourcc("mdat"));
    atomkit::write_u32_be(out, 0xA1B2C3D4u);
    bytes expected = cat({box("name", bytes{'x', 'y', 'z'}), raw_header(0x12345678u, "mdat"),
                          bytes{0xA1, 0xB2, 0xC3, 0xD4}});
    CHECK(bytes(out.data(), out.data() + out.size()) == expected);

    // What write_box writes, read_box_header reads back.
    atomkit::memory_atom_stream s(out.data(), out.size());
    atomkit::box_header h;
    REQUIRE(atomkit::read_box_header(s, h, true));
    CHECK(h.type == fourcc("name"));
    CHECK(h.payload_size == 3);
}
