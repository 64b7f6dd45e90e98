#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/musepack/musepack_gain.h"
#include "inputs/musepack/musepack_input.h"
#include "inputs/musepack/musepack_writer.h"
#include "metadata/track_info.h"
#include "tests/inputs/input_test_support.h"

namespace {

// A few real bytes that claim to be the start of a file of `claimed` bytes (the rest reads as zeros).
class claimed_size_file final : public service_counted<file_stream> {
public:
    claimed_size_file(std::vector<uint8_t> bytes, uint64_t claimed) : m_bytes(std::move(bytes)), m_size(claimed) {}
    size_t read(void* buffer, size_t n, const abort_signal& abort) override {
        abort.check();
        if (m_position >= m_size) return 0;
        if (n > m_size - m_position) n = static_cast<size_t>(m_size - m_position);
        std::memset(buffer, 0, n);
        if (m_position < m_bytes.size()) {
            size_t real = m_bytes.size() - static_cast<size_t>(m_position);
            std::memcpy(buffer, m_bytes.data() + m_position, real < n ? real : n);
        }
        m_position += n;
        return n;
    }
    void write(const void*, size_t, const abort_signal&) override { ++writes; }
    uint64_t get_size(const abort_signal&) override { return m_size; }
    uint64_t get_position(const abort_signal&) override { return m_position; }
    void resize(uint64_t, const abort_signal&) override { ++writes; }
    void seek(uint64_t position, const abort_signal&) override { m_position = position; }
    bool can_seek() override { return true; }
    bool get_content_type(kpl::utf8_string&) override { return false; }
    bool is_in_memory() override { return true; }
    void on_idle(const abort_signal&) override {}
    uint64_t get_timestamp(const abort_signal&) override { return file_timestamp_unknown; }
    void rewind(const abort_signal&) override { m_position = 0; }
    bool is_remote() override { return false; }
    int writes = 0;

private:
    std::vector<uint8_t> m_bytes;
    uint64_t m_size;
    uint64_t m_position = 0;
};

}  // namespace

TEST_CASE("Musepack files beyond 32-bit positions and packets beyond 4 size bytes are refused") {
    input_test::services_built();
    const std::vector<uint8_t> head = {'M', 'P', 'C', 'K', 'S', 'H', 0x10, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (uint64_t claimed : {uint64_t(0x80000000u), uint64_t(0x100001000ull), uint64_t(0x7FFFFFFFFFFull)}) {
        CAPTURE(claimed);
        kpl::rc_ptr<claimed_size_file> big(new claimed_size_file(head, claimed));
        big->release();   // the reference holds the only count
        file_stream_ref file;
        file.assign(big.get());
        service_ptr<track_info_reader> reader;
        try {
            musepack_input_service().open_info_reader(reader, file, "big.mpc", abort_never);
            FAIL("opened");
        } catch (const ketrel_io::exception_io_unsupported_format& e) {
            CHECK(std::string(e.what()) == musepack_too_large);
        }
        track_info_store info;
        info.meta_set("title", track_info::npos, "x", track_info::npos);
        CHECK_THROWS_AS(musepack_write_file_info(file, "big.mpc", info, abort_never),
                        ketrel_io::exception_io_unsupported_format);
        CHECK(big->writes == 0);
    }

    // A packet whose size needs a fifth size byte is refused before the payload is read (the pointer here only
    // has one byte behind it).
    const uint8_t one = 0;
    CHECK_THROWS_AS(musepack_packet("CT", &one, static_cast<uint32_t>(musepack_largest_packet - 5)),
                    ketrel_io::exception_io_data);
    CHECK_THROWS_AS(musepack_packet("CT", &one, 0xFFFFFFFFu), ketrel_io::exception_io_data);
    CHECK(musepack_size_field(musepack_largest_packet).count() == 4);
    CHECK(musepack_size_field(musepack_largest_packet + 1).count() == 5);
}

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
