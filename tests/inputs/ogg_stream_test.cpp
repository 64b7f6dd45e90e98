// The Ogg input on streams it cannot seek in (chained streams read straight through, their tags reported
// as they start), granule positions that go backwards, the limits of the Ogg FLAC header rewrite, and FLAC
// in Ogg decoded by the native FLAC core: the same info fields, damaged frames reported and skipped.
#include <doctest/doctest.h>

#include <ogg/ogg.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_stream.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codecs/ogg_flac_codec.h"
#include "inputs/flac/flac_input.h"
#include "inputs/input_service.h"
#include "inputs/ogg/ogg_input.h"
#include "inputs/ogg_stream_handler.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"
#include "tests/inputs/ogg_make.h"
#include "tests/inputs/input_test_support.h"

namespace {

// Bytes read front to back only, like a network stream: no size, no seeking, rewinding starts over.
class one_way_stream final : public service_counted<file_stream> {
public:
    explicit one_way_stream(std::string bytes) : m_bytes(std::move(bytes)) {}
    size_t read(void* buffer, size_t n, const abort_signal& abort) override {
        abort.check();
        size_t left = m_bytes.size() - m_position;
        if (n > left) n = left;
        std::memcpy(buffer, m_bytes.data() + m_position, n);
        m_position += n;
        return n;
    }
    void write(const void*, size_t, const abort_signal&) override { throw ketrel_io::exception_io_denied(); }
    uint64_t get_size(const abort_signal&) override { return file_size_unknown; }
    uint64_t get_position(const abort_signal&) override { return m_position; }
    void resize(uint64_t, const abort_signal&) override { throw ketrel_io::exception_io_object_not_seekable(); }
    void seek(uint64_t, const abort_signal&) override { throw ketrel_io::exception_io_object_not_seekable(); }
    bool can_seek() override { return false; }
    bool get_content_type(kpl::utf8_string&) override { return false; }
    bool is_in_memory() override { return false; }
    void on_idle(const abort_signal&) override {}
    uint64_t get_timestamp(const abort_signal&) override { return file_timestamp_unknown; }
    void rewind(const abort_signal&) override { m_position = 0; }
    bool is_remote() override { return true; }

private:
    std::string m_bytes;
    size_t m_position = 0;
};

class recording_sink final : public service_counted<decoder_event_sink> {
public:
    void report(const char* message, uint32_t severity) override {
        messages.push_back(message);
        severities.push_back(severity);
    }
    std::vector<std::string> messages;
    std::vector<uint32_t> severities;
};

service_ptr<track_decoder_v2> open_stream(const std::string& bytes) {
    file_stream_ref file;
    file.assign(new one_way_stream(bytes));
    file->release();  // the reference holds the only count
    service_ptr<track_decoder> decoder;
    ogg_input_service().open_decoder(decoder, file, "http://example.invalid/stream.opus", abort_never);
    service_ptr<track_decoder_v2> v2;
    REQUIRE(service_query(decoder.get(), v2));
    return v2;
}

}  // namespace

TEST_CASE("A chained stream read straight through reports each link's tags and plays every link") {
    input_test::services_built();
    const std::string chain = ogg_test::make_opus(20, "First", 1) + ogg_test::make_opus(30, "Second", 2);
    service_ptr<track_decoder_v2> decoder = open_stream(chain);
    CHECK(decoder->subsong_count() == 1);
    CHECK_FALSE(decoder->can_seek());
    track_info_store none;
    decoder->get_info(0, none, abort_never);
    CHECK(none.meta_count() == 0);  // no info from a stream that cannot seek

    decoder->initialise(0, 0, abort_never);
    track_info_store info;
    double offset = -1;
    REQUIRE(decoder->dynamic_track_info(info, offset));
    CHECK(std::string(info.meta_get_first("TITLE")) == "First");
    CHECK(offset == 0);
    CHECK_FALSE(decoder->dynamic_track_info(info, offset));

    audio_block_store block;
    uint64_t samples = 0;
    std::vector<std::string> titles;
    while (decoder->decode_chunk(block, abort_never)) {
        samples += block.get_sample_count();
        if (decoder->dynamic_track_info(info, offset)) titles.push_back(info.meta_get_first("TITLE"));
    }
    CHECK(titles == std::vector<std::string>{"Second"});
    CHECK(samples == (20 + 30) * 960 - 2 * 312);  // each link drops its own pre-skip

    CHECK_THROWS_AS(decoder->seek_seconds(0.5, abort_never), ketrel_io::exception_io_object_not_seekable);
    decoder->seek_seconds(0, abort_never);  // back to the start by reading again
    samples = 0;
    while (decoder->decode_chunk(block, abort_never)) samples += block.get_sample_count();
    CHECK(samples == (20 + 30) * 960 - 2 * 312);
}

TEST_CASE("Granule positions that go backwards are reported once and decoding goes on") {
    input_test::services_built();
    // Packets 20..29 claim positions far before the audio already decoded.
    const std::string file = ogg_test::make_opus(40, "x", 5, [](int i, int64_t g) { return i >= 20 && i < 30 ? 1000 : g; });
    service_ptr<track_decoder_v2> decoder = open_stream(file);
    service_ptr<recording_sink> sink;
    sink.assign(new recording_sink());
    sink->release();
    decoder->set_event_sink(sink.get());
    decoder->initialise(0, 0, abort_never);
    audio_block_store block;
    uint64_t samples = 0;
    while (decoder->decode_chunk(block, abort_never)) samples += block.get_sample_count();
    CHECK(samples == 40 * 960 - 312);
    REQUIRE(sink->messages.size() == 1);
    CHECK(sink->messages[0] == "Nonsense Ogg granulepos value, file is not properly seekable");
    CHECK(sink->severities[0] == 1);
}

TEST_CASE("The end of an Opus stream is cut at its last granule position") {
    input_test::services_built();
    // The last page says the stream ends 500 samples into its last packet.
    const std::string file = ogg_test::make_opus(10, "x", 6, [](int i, int64_t g) { return i == 9 ? g - 460 : g; });
    service_ptr<track_decoder_v2> decoder = open_stream(file);
    decoder->initialise(0, 0, abort_never);
    audio_block_store block;
    uint64_t samples = 0;
    while (decoder->decode_chunk(block, abort_never)) samples += block.get_sample_count();
    CHECK(samples == 10 * 960 - 460 - 312);
}

TEST_CASE("The Ogg FLAC header rewrite") {
    track_info_store info;
    info.meta_set("TITLE", track_info::npos, "t", track_info::npos);
    // The mapping header ends its page and is kept.
    kpl::byte_array mapping;
    for (uint8_t b : std::initializer_list<uint8_t>{0x7F, 'F', 'L', 'A', 'C', 1, 0, 0, 1, 'f', 'L', 'a', 'C'}) mapping.append(b);
    CHECK(ogg_flac_rewrite_header_packet(info, 0, mapping) == ogg_rewrite_flush_page);
    CHECK(mapping.count() == 13);

    // A VORBIS_COMMENT block keeps its vendor and last-block bit.
    struct row {
        uint8_t header;
        uint32_t answer;
    };
    for (row r : {row{0x84, ogg_rewrite_last | ogg_rewrite_flush_page}, row{0x04, 0u}}) {
        kpl::byte_array packet;
        for (uint8_t b : std::initializer_list<uint8_t>{r.header, 0, 0, 12, 4, 0, 0, 0, 'v', 'e', 'n', 'd', 0, 0, 0, 0}) packet.append(b);
        CHECK(ogg_flac_rewrite_header_packet(info, 1, packet) == r.answer);
        CHECK(packet[0] == r.header);
        const uint32_t length = (packet[1] << 16) | (packet[2] << 8) | packet[3];
        CHECK(length == packet.count() - 4);
        CHECK(std::memcmp(packet.data() + 4, "\x04\0\0\0vend\x01\0\0\0\x07\0\0\0TITLE=t", 23) == 0);
    }

    // Comments beyond the 24-bit block length are refused instead of wrapping the length.
    track_info_store huge;
    std::string big(0x1000000, 'x');
    huge.meta_set("COMMENT", track_info::npos, big.c_str(), track_info::npos);
    kpl::byte_array packet;
    for (uint8_t b : std::initializer_list<uint8_t>{0x84, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0}) packet.append(b);
    CHECK_THROWS_AS(ogg_flac_rewrite_header_packet(huge, 1, packet), ketrel_io::exception_io_data);
    kpl::byte_array tiny;
    for (uint8_t b : std::initializer_list<uint8_t>{0x84, 0, 0}) tiny.append(b);
    CHECK_THROWS_AS(ogg_flac_rewrite_header_packet(info, 2, tiny), ketrel_io::exception_io_data);
}

namespace {

file_stream_ref memory_of(const std::vector<uint8_t>& bytes) { return input_test::memory_file_with(bytes); }

// The first page of an Ogg file at or after `from` whose body starts a FLAC frame: {page offset, header
// length, body length}.
struct page_spot {
    size_t offset, header, body;
};
page_spot frame_page_after(const std::vector<uint8_t>& file, size_t from) {
    for (size_t at = 0; at + 27 <= file.size();) {
        REQUIRE(std::memcmp(&file[at], "OggS", 4) == 0);
        const size_t segments = file[at + 26];
        size_t body = 0;
        for (size_t k = 0; k < segments; ++k) body += file[at + 27 + k];
        const size_t header = 27 + segments;
        const bool continued = file[at + 5] & 1;
        if (at >= from && !continued && body > 2 && file[at + header] == 0xFF && (file[at + header + 1] & 0xFE) == 0xF8)
            return {at, header, body};
        at += header + body;
    }
    FAIL("no frame page");
    return {0, 0, 0};
}

void fix_checksum(std::vector<uint8_t>& file, const page_spot& spot) {
    ogg_page page = {&file[spot.offset], static_cast<long>(spot.header), &file[spot.offset + spot.header],
                     static_cast<long>(spot.body)};
    ogg_page_checksum_set(&page);
}

}  // namespace

TEST_CASE("FLAC in Ogg reports the native input's info fields and channel mask") {
    input_test::services_built();
    input_test::flac_spec spec;
    spec.channels = 4;
    spec.frames = 9000;
    spec.comments = {"TITLE=t", "waveformatextensible_channel_mask=0x0107"};  // any letter case
    service_ptr<track_decoder> native, in_ogg;
    flac_input_service().open_decoder(native, memory_of(input_test::encode_flac(spec)), "m.flac", abort_never);
    ogg_input_service().open_decoder(in_ogg, memory_of(input_test::encode_ogg_flac(spec)), "m.oga", abort_never);
    track_info_store a, b;
    native->get_info(0, a, abort_never);
    in_ogg->get_info(0, b, abort_never);
    for (const char* field : {"codec", "encoding", "samplerate", "channels", "bitspersample", "md5", "tool",
                              "WAVEFORMATEXTENSIBLE_CHANNEL_MASK"}) {
        CAPTURE(std::string(field));
        REQUIRE(a.info_get_by_name(field) != nullptr);
        REQUIRE(b.info_get_by_name(field) != nullptr);
        CHECK(std::string(a.info_get_by_name(field)) == b.info_get_by_name(field));
    }
    CHECK(std::strlen(b.info_get_by_name("md5")) == 32);
    CHECK(std::string(b.meta_get_first("title")) == "t");
    CHECK(b.get_length() == doctest::Approx(9000 / 44100.0));

    audio_block_store block;
    for (track_decoder* d : {native.get(), in_ogg.get()}) {
        d->initialise(0, 4, abort_never);
        REQUIRE(d->decode_chunk(block, abort_never));
        CHECK(block.get_channel_mask() == 0x107u);
    }
}

TEST_CASE("A damaged FLAC frame in Ogg is reported once and skipped, and decoding goes on") {
    input_test::services_built();
    input_test::flac_spec spec;
    spec.frames = 40960;  // ten frames of 4096
    const std::vector<uint8_t> good = input_test::encode_ogg_flac(spec);
    struct row {
        const char* what;
        size_t byte;   // in the page body
        uint8_t value;
    } rows[] = {
        {"frame sync lost", 0, 0x00},
        {"frame body changed (checksum mismatch)", 200, 0x5A},
    };
    for (const row& r : rows) {
        CAPTURE(std::string(r.what));
        std::vector<uint8_t> bytes = good;
        const page_spot first = frame_page_after(bytes, 0);
        const page_spot spot = frame_page_after(bytes, first.offset + first.header + first.body + 1);
        REQUIRE(spot.body > r.byte);
        bytes[spot.offset + spot.header + r.byte] ^= r.value ? r.value : bytes[spot.offset + spot.header + r.byte];
        fix_checksum(bytes, spot);

        service_ptr<track_decoder> decoder;
        ogg_input_service().open_decoder(decoder, memory_of(bytes), "m.oga", abort_never);
        service_ptr<track_decoder_v2> v2;
        REQUIRE(service_query(decoder.get(), v2));
        kpl::rc_ptr<input_test::recording_sink> sink = kpl::rc_ptr<input_test::recording_sink>::adopt(new input_test::recording_sink());
        v2->set_event_sink(sink.get());
        v2->initialise(0, 4, abort_never);
        audio_block_store block;
        uint64_t samples = 0;
        while (v2->decode_chunk(block, abort_never)) samples += block.get_sample_count();
        CHECK(samples >= 40960 - 2 * 4096);
        CHECK(samples <= 40960);
        REQUIRE(sink->reports.size() == 1);
        CHECK(sink->reports[0].first == "Corrupted FLAC stream");
        CHECK(sink->reports[0].second == 2);
    }
}
