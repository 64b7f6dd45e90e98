#include "foundation/kpl/base64.h"
#include "foundation/kpl/byte_helpers.h"
#include "foundation/kpl/crc32.h"
#include "foundation/kpl/exceptions.h"

#include "tests/support/guarded_buffer.h"

#include <doctest/doctest.h>

#include <cstdlib>
#include <string>
#include <vector>

TEST_CASE("crc32_update: known values and chaining") {
    struct {
        const char* text;
        uint32_t crc;
    } cases[] = {
        {"", 0x00000000},
        {"a", 0xE8B7BE43},
        {"abc", 0x352441C2},
        {"123456789", 0xCBF43926},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339},
    };
    for (auto& c : cases) {
        CAPTURE(c.text);
        size_t n = std::strlen(c.text);
        CHECK(crc32_update(0, c.text, n) == c.crc);
        for (size_t cut = 0; cut <= n; ++cut) CHECK(crc32_update(crc32_update(0, c.text, cut), c.text + cut, n - cut) == c.crc);
    }
}

// Every byte value, every alignment of start and length: the table-driven CRC against the polynomial
// applied bit by bit.
TEST_CASE("crc32_update: agrees with the bitwise definition over all byte values and alignments") {
    std::vector<unsigned char> bytes(4096 + 16);
    uint32_t state = 12345;  // a fixed pseudo-random byte pattern
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<unsigned char>(state >> 23);
    }
    for (int i = 0; i < 256; ++i) bytes[i] = static_cast<unsigned char>(i);
    const auto bitwise = [](const unsigned char* p, size_t n) {
        uint32_t c = 0xFFFFFFFFu;
        for (size_t i = 0; i < n; ++i) {
            c ^= p[i];
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        return ~c;
    };
    for (size_t start = 0; start < 16; ++start)
        for (size_t n : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(9), size_t(15), size_t(63), size_t(4096)}) {
            CAPTURE(start);
            CAPTURE(n);
            CHECK(crc32_update(0, bytes.data() + start, n) == bitwise(bytes.data() + start, n));
        }
}

TEST_CASE("base64: sizes, encodings and round trips") {
    struct {
        const char* bytes;
        const char* text;
    } cases[] = {
        {"", ""}, {"A", "QQ=="}, {"AB", "QUI="}, {"ABC", "QUJD"}, {"foobar", "Zm9vYmFy"}, {"\xFB\xFF", "+/8="},
    };
    for (auto& c : cases) {
        CAPTURE(c.text);
        kpl::utf8_string_pow2 encoded("old content");
        kpl::base64_encode(c.bytes, static_cast<uint32_t>(std::strlen(c.bytes)), encoded);
        CHECK(encoded == c.text);
        CHECK(kpl::base64_decoded_size(c.text) == std::strlen(c.bytes));
        kpl::byte_array decoded;
        kpl::base64_decode(c.text, decoded);
        CHECK(std::string(reinterpret_cast<const char*>(decoded.data()), decoded.count()) == c.bytes);
        guarded_text g(c.text);
        std::vector<uint8_t> out(std::strlen(c.bytes) + 1, 0xEE);
        kpl::base64_decode(g.data(), static_cast<uint32_t>(g.size()), out.data());
        CHECK(out.back() == 0xEE);  // not a byte more than the decoded size
    }

    std::srand(31);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> bytes(static_cast<size_t>(std::rand() % 70));
        for (auto& b : bytes) b = static_cast<uint8_t>(std::rand());
        kpl::utf8_string_pow2 text;
        kpl::base64_encode(bytes.data(), static_cast<uint32_t>(bytes.size()), text);
        CHECK(text.length() == (bytes.size() + 2) / 3 * 4);
        kpl::byte_array back;
        kpl::base64_decode(text.c_str(), back);
        REQUIRE(back.count() == bytes.size());
        CHECK(std::equal(bytes.begin(), bytes.end(), back.data()));
    }
}

TEST_CASE("base64: bad input throws Invalid parameters and writes nothing past the size") {
    const char* bad[] = {
        "QQ=",       // length not a multiple of 4
        "Q",
        "QQ==QQ==",  // padding in the middle
        "Q===",      // three '='
        "====",
        "QQ-=",      // URL-safe alphabet is not this one
        "QQ\n=",
        "QUJD QUJD",
        "Zm9v\xC3\xA9mF",
    };
    for (const char* text : bad) {
        CAPTURE(text);
        kpl::byte_array out;
        out.append(7);
        CHECK_THROWS_AS(kpl::base64_decode(text, out), kpl::exception_invalid_params);
        CHECK(out.count() == 1);  // left as it was
        try {
            kpl::base64_decode(text, out);
        } catch (const std::exception& e) {
            CHECK(std::string(e.what()) == "Invalid parameters");
        }
    }
    CHECK(kpl::base64_decoded_size("QQ==") == 1);
    CHECK_THROWS_AS(kpl::base64_decoded_size("QQ="), kpl::exception_invalid_params);
}

TEST_CASE("reverse_bytes, copy_dwords and the performance counter") {
    struct {
        std::string in, out;
    } cases[] = {{"", ""}, {"a", "a"}, {"ab", "ba"}, {"abcde", "edcba"}};
    for (auto c : cases) {
        kpl::reverse_bytes(&c.in[0], c.in.size());
        CHECK(c.in == c.out);
    }
    uint32_t from[3] = {1, 2, 0xFFFFFFFF}, to[4] = {0, 0, 0, 9};
    kpl::copy_dwords(to, from, 3);
    CHECK(to[2] == 0xFFFFFFFF);
    CHECK(to[3] == 9);
    uint64_t a = qpc_stopwatch::read_counter();
    uint64_t b = qpc_stopwatch::read_counter();
    CHECK(b >= a);
}
