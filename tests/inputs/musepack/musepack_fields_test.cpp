#include <doctest/doctest.h>

#include <vector>

#include "inputs/musepack/musepack_gain.h"
#include "inputs/musepack/musepack_writer.h"

TEST_CASE("Musepack ReplayGain fields of both stream versions") {
    struct sv8_case {
        float gain;
        uint16_t value;
    };
    const sv8_case gains[] = {{-10.0f, 19154}, {0.0f, 16594}, {64.82f, 0}, {70.0f, 0}, {-1000.0f, 0}, {-300.0f, 65535}};
    for (const sv8_case& c : gains) {
        CAPTURE(c.gain);
        CHECK(musepack_sv8_gain(c.gain) == c.value);
    }
    CHECK(musepack_sv8_gain_value(19154) == doctest::Approx(-10.0).epsilon(0.001));
    CHECK(musepack_sv8_peak(-1.0f) == 0);
    CHECK(musepack_sv8_peak(1.0f) == 23119);
    CHECK(musepack_sv8_peak_value(musepack_sv8_peak(0.5f)) == doctest::Approx(0.5).epsilon(0.001));

    // Version 7: hundredths of a dB, 0 written as -1; peaks x 32768 keeping the low 16 bits.
    CHECK(musepack_sv7_gain(0.0f) == -1);
    CHECK(musepack_sv7_gain(-6.5f) == -650);
    CHECK(musepack_sv7_gain(-1000.0f) == 0);
    CHECK(musepack_sv7_peak(1.0f) == 32768);
    CHECK(musepack_sv7_peak(2.0f) == 0);
    CHECK(musepack_sv7_peak(2.5f) == 16384);
    CHECK(musepack_sv7_peak(-0.5f) == 0);
    CHECK(musepack_sv7_max_level(1.0f) == 27769);
}

TEST_CASE("Musepack packet size fields") {
    struct size_case {
        uint64_t size;
        std::vector<uint8_t> bytes;
    };
    const size_case cases[] = {{0, {0x00}}, {127, {0x7F}}, {128, {0x81, 0x00}}, {300, {0x82, 0x2C}}, {16384, {0x81, 0x80, 0x00}}};
    for (const size_case& c : cases) {
        kpl::array<uint8_t> field = musepack_size_field(c.size);
        CHECK(std::vector<uint8_t>(field.data(), field.data() + field.count()) == c.bytes);
    }
    // A packet's size counts its own size field: 125 payload bytes need 2 size bytes (2 + 2 + 125 = 129).
    std::vector<uint8_t> payload(125, 7);
    kpl::array<uint8_t> packet = musepack_packet("CT", payload.data(), 125);
    CHECK(packet.count() == 129);
    CHECK(packet[2] == 0x81);
    CHECK(packet[3] == 0x01);
    kpl::array<uint8_t> small = musepack_packet("CT", payload.data(), 10);
    CHECK(small.count() == 13);
    CHECK(small[2] == 13);
}
