#include <doctest/doctest.h>

#include <cstring>
#include <string>

#include "foundation/kpl/guid.h"

namespace {

const kpl::guid sample = {0x87D2C583, 0x7AFB, 0x4E58, {0xB2, 0x1E, 0xFB, 0xD3, 0xE6, 0xE8, 0xF5, 0xE7}};

std::string hex_of(const kpl::guid& g) {
    char out[33];
    kpl::format_hex_bytes(&g, out);
    return out;
}

}  // namespace

TEST_CASE("guid_from_text accepts braces, dashes and bare digits alike") {
    const char* forms[] = {
        "{87D2C583-7AFB-4E58-B21E-FBD3E6E8F5E7}",
        "87D2C583-7AFB-4E58-B21E-FBD3E6E8F5E7",
        "87D2C5837AFB4E58B21EFBD3E6E8F5E7",
        "{87d2c583-7afb-4e58-b21e-fbd3e6e8f5e7}",
        "{87D2C583--7AFB---4E58-B21EFBD3E6E8F5E7}",
        "87D2C583-7AFB-4E58-B21E-FBD3E6E8F5E7}trailing",
    };
    for (const char* text : forms) {
        CAPTURE(text);
        CHECK(kpl::guid_from_text(text) == sample);
    }
}

TEST_CASE("guid_from_text never throws: bad digits read as 0, short text leaves the rest") {
    const kpl::guid filled = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
    struct row {
        const char* text;
        kpl::guid expected;
    };
    const row rows[] = {
        // A non-hex character counts as 0.
        {"{X7D2C583-7AFB-4E58-B21E-FBD3E6E8F5E7}",
         {0x07D2C583, 0x7AFB, 0x4E58, {0xB2, 0x1E, 0xFB, 0xD3, 0xE6, 0xE8, 0xF5, 0xE7}}},
        // The text ends inside the last group: the 6 node bytes keep their old values.
        {"{87D2C583-7AFB-4E58-B21E-FBD3E6E8F5}",
         {0x87D2C583, 0x7AFB, 0x4E58, {0xB2, 0x1E, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}}},
        // '}' ends the text early.
        {"{87D2C583-7A}FB-4E58-B21E-FBD3E6E8F5E7",
         {0x87D2C583, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}}},
        {"", filled},
        {"{", filled},
        {"1234567", filled},
    };
    for (const row& r : rows) {
        CAPTURE(r.text);
        kpl::guid g = filled;
        kpl::guid_from_text(r.text, g);
        CHECK(hex_of(g) == hex_of(r.expected));
    }
    kpl::guid g = filled;
    kpl::guid_from_text(nullptr, g);
    CHECK(g == filled);
}

TEST_CASE("guid order is the order of the memory bytes") {
    const kpl::guid top_byte = {0xFF000000, 0, 0, {}};  // memory 00 00 00 FF
    const kpl::guid one = {0x00000001, 0, 0, {}};       // memory 01 00 00 00
    CHECK(kpl::guid_compare(top_byte, one) == -1);
    CHECK(kpl::guid_compare(one, top_byte) == 1);
    CHECK(kpl::guid_compare(one, one) == 0);
    CHECK(top_byte < one);

    kpl::guid low = sample, high = sample, last_byte = sample;
    low.data4[7] = 0x7F;
    high.data4[7] = 0x80;
    CHECK(kpl::guid_compare(low, high) == -1);  // bytes compare unsigned
    last_byte.data4[7] ^= 0x80;
    CHECK_FALSE(kpl::guid_equal(sample, last_byte));
    CHECK(kpl::guid_differs(sample, last_byte));
    CHECK(kpl::guid_equals(sample, sample));
    CHECK_FALSE(kpl::guid_differs(sample, sample));
    CHECK(sample != last_byte);
}

TEST_CASE("format_hex_bytes writes the memory bytes as upper-case hex") {
    CHECK(hex_of(sample) == "83C5D287FB7A584EB21EFBD3E6E8F5E7");
    CHECK(hex_of(kpl::guid_null) == std::string(32, '0'));
    const unsigned char bytes[16] = {0x00, 0x01, 0xAB, 0xFF, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x9C};
    char out[33];
    kpl::format_hex_bytes(bytes, out);
    CHECK(std::string(out) == "0001ABFF10000000000000000000009C");
}

TEST_CASE("hex_byte_value") {
    struct row {
        char high, low;
        uint8_t value;
    };
    const row rows[] = {{'4', 'e', 0x4E}, {'F', 'f', 0xFF}, {'0', '0', 0}, {'x', '1', 0x01}, {'9', 'G', 0x90}};
    for (const row& r : rows) CHECK(kpl::hex_byte_value(r.high, r.low) == r.value);
}
