// The MP4 input over files built in the test and a stand-in packet decoder whose output sample values are their
// positions in the track: trimming to the range and to chapters, seeking, the end, damaged packets, a codec that
// cannot be set up, and the tags read, staged and committed.

#include <doctest/doctest.h>

#include <cmath>
#include <string>
#include <vector>

#include "compressed_inputs/mp4/mp4_exceptions.h"
#include "compressed_inputs/mp4/mp4_input_core.h"
#include "compressed_inputs/system_codecs/system_codecs.h"
#include "foundation/kpl/io_exceptions.h"
#include "tests/compressed_inputs/compressed_test_support.h"
#include "tests/compressed_inputs/mp4/movie_builder.h"

using namespace atomkit_test;

namespace {

constexpr uint32_t packet_size = 16;

// Decodes packet k (its index big-endian in bytes 0-3) into 1024 mono samples k x 1024 + i. With `delay`, it
// gives each packet's samples one call late, and the last ones on the flush call (size 0).
class position_decoder final : public service_counted<codec_packet_decoder> {
public:
    static int64_t fail_index;
    static int64_t fail_below;  // packets before this index throw exception_io_data
    static bool fail_setup;
    static bool delay;
    static double preroll;
    static uint32_t resets;

    void get_info(track_info& info) override { info.info_set("codec", track_info::npos, "Fake", track_info::npos); }
    double preroll_seconds() override { return preroll; }
    void reset_after_seek() override {
        ++resets;
        m_pending = -1;
    }
    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal&) override {
        block.reset();
        if (fail_setup) throw exception_codec_setup("no codec here");
        int64_t out = -1;
        if (size) {
            const uint8_t* p = static_cast<const uint8_t*>(data);
            const int64_t index = int64_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]);
            if (index == fail_index || index < fail_below) throw ketrel_io::exception_io_data("bad packet");
            if (delay) {
                out = m_pending;
                m_pending = index;
            } else {
                out = index;
            }
        } else if (delay) {
            out = m_pending;
            m_pending = -1;
        }
        if (out < 0) return;
        std::vector<float> v(1024);
        for (uint32_t i = 0; i < 1024; ++i) v[i] = float(out * 1024 + i);
        block.set_data(v.data(), 1024, 1, 44100, 0x4);
    }

private:
    int64_t m_pending = -1;
};
int64_t position_decoder::fail_index = -1;
int64_t position_decoder::fail_below = 0;
bool position_decoder::fail_setup = false;
bool position_decoder::delay = false;
double position_decoder::preroll = 0.1;
uint32_t position_decoder::resets = 0;

void open_position_decoder(service_ptr<codec_packet_decoder>& out, const atomkit::track_record&) {
    service_ref holder;
    holder.attach(static_cast<codec_packet_decoder*>(new position_decoder()));
    out.attach_ref(std::move(holder));
}

struct fake_decoder_scope {
    fake_decoder_scope() {
        compressed_test::services_built();
        mp4_packet_decoder_test_opener = &open_position_decoder;
        position_decoder::fail_index = -1;
        position_decoder::fail_below = 0;
        position_decoder::fail_setup = false;
        position_decoder::delay = false;
        position_decoder::preroll = 0.1;
        position_decoder::resets = 0;
    }
    ~fake_decoder_scope() { mp4_packet_decoder_test_opener = nullptr; }
};

class recording_sink final : public service_counted<decoder_event_sink> {
public:
    void report(const char* message, uint32_t severity) override {
        events.push_back(std::to_string(severity) + " " + message);
    }
    std::vector<std::string> events;
};

// An M4A of `frames` packets (1024 samples each, mono 44100, primed by 1024 through "ctts"), moov first.
bytes m4a(uint32_t frames, const bytes& udta_children = {}) {
    bytes mdat_payload;
    for (uint32_t k = 0; k < frames; ++k) {
        put32(mdat_payload, k);
        mdat_payload.resize(mdat_payload.size() + packet_size - 4, 0x11);
    }
    auto moov = [&](uint32_t offset) {
        const bytes t = trak(mdhd(44100, uint64_t(frames) * 1024),
                             cat({stsd(audio_entry("mp4a", 2, 16, 44100, esds(64, {0x12, 0x08}))), stts({{frames, 1024}}),
                                  stsc({{1, frames, 1}}), stsz(packet_size, {}, frames), stco({offset}),
                                  ctts({{frames, 1024}})}));
        bytes children = cat({mvhd(1000, frames * 1024 * 1000 / 44100 + 1), t});
        if (!udta_children.empty()) children = cat({children, udta(udta_children)});
        return box("moov", children);
    };
    const uint32_t offset = uint32_t(ftyp().size() + moov(0).size() + 8);
    return cat({ftyp(), moov(offset), box("mdat", mdat_payload)});
}

struct opened {
    file_stream_ref file;
    mp4_input_core core;
    service_ptr<decoder_event_sink> sink_ref;
    recording_sink* sink = nullptr;

    explicit opened(const bytes& data, input_open_reason reason = input_open_decode) {
        file = compressed_test::memory_file_with(data);
        core.open(file, "tempmem://test.m4a", reason, abort_never);
        sink = new recording_sink();
        service_ref holder;
        holder.attach(static_cast<decoder_event_sink*>(sink));
        sink_ref.attach_ref(std::move(holder));
        core.set_event_sink(sink);
    }
    // All samples to the end.
    std::vector<float> rest() {
        std::vector<float> out;
        audio_block_store b;
        while (core.decode_chunk(b, abort_never)) out.insert(out.end(), b.get_data(), b.get_data() + b.get_sample_count());
        return out;
    }
};

// A stream read once from the start, of known size, that cannot seek (a download with a length).
class one_way_file final : public service_counted<file_stream> {
public:
    explicit one_way_file(file_stream_ref inner) : m_inner(std::move(inner)) {}
    size_t read(void* buffer, size_t n, const abort_signal& abort) override { return m_inner->read(buffer, n, abort); }
    void write(const void*, size_t, const abort_signal&) override { throw ketrel_io::exception_io_denied(); }
    uint64_t get_size(const abort_signal& abort) override { return m_inner->get_size(abort); }
    uint64_t get_position(const abort_signal& abort) override { return m_inner->get_position(abort); }
    void resize(uint64_t, const abort_signal&) override { throw ketrel_io::exception_io_denied(); }
    void seek(uint64_t, const abort_signal&) override { throw ketrel_io::exception_io_object_not_seekable(); }
    void rewind(const abort_signal& abort) override { m_inner->seek(0, abort); }
    bool can_seek() override { return false; }
    bool get_content_type(kpl::utf8_string&) override { return false; }
    bool is_in_memory() override { return false; }
    void on_idle(const abort_signal&) override {}
    uint64_t get_timestamp(const abort_signal&) override { return 0; }
    bool is_remote() override { return true; }

private:
    file_stream_ref m_inner;
};

bytes chpl3() {
    bytes b = {1, 0, 0, 0, 0};
    put32(b, 3);
    for (uint64_t start : {uint64_t(0), uint64_t(5000000), uint64_t(12000000)}) {
        put64(b, start);
        b.push_back(1);
        b.push_back('c');
    }
    return box("chpl", b);
}

}  // namespace

TEST_CASE("the input trims to the range and seeks to the sample") {
    fake_decoder_scope scope;
    opened f(m4a(100));
    f.core.initialise(0, 0, abort_never);
    std::vector<float> all = f.rest();
    REQUIRE(all.size() == 99 * 1024);  // the media duration less the priming
    CHECK(all.front() == 1024);
    CHECK(all.back() == 100 * 1024 - 1);

    for (double t : {0.0, 0.05, 0.5, 1.0, 2.29}) {
        CAPTURE(t);
        f.core.seek_seconds(t, abort_never);
        const std::vector<float> from = f.rest();
        const uint64_t expected_first = uint64_t(std::floor(t * 44100 + 0.5)) + 1024;
        REQUIRE_FALSE(from.empty());
        CHECK(from.front() == float(expected_first));
        CHECK(from.size() == all.size() - (expected_first - 1024));
    }
}

TEST_CASE("a seek at or past the end ends the stream with nothing from before it") {
    fake_decoder_scope scope;
    position_decoder::delay = true;
    opened f(m4a(50));
    f.core.initialise(0, 0, abort_never);
    audio_block_store b;
    CHECK(f.core.decode_chunk(b, abort_never));
    const uint32_t resets = position_decoder::resets;
    f.core.seek_seconds(50 * 1024 / 44100.0, abort_never);
    CHECK(position_decoder::resets == resets + 1);
    CHECK_FALSE(f.core.decode_chunk(b, abort_never));
    f.core.seek_seconds(0.5, abort_never);  // and back
    CHECK(f.rest().front() == float(22050 + 1024));
}

TEST_CASE("chapters are subsongs whose audio joins to the whole") {
    fake_decoder_scope scope;
    opened f(m4a(60, chpl3()));
    CHECK(f.core.subsong_count() == 3);
    CHECK(f.core.subsong_id(2) == 3);
    std::vector<float> joined;
    for (uint32_t s = 1; s <= 3; ++s) {
        f.core.initialise(s, 0, abort_never);
        const std::vector<float> part = f.rest();
        joined.insert(joined.end(), part.begin(), part.end());
        if (s == 2) {
            CHECK(part.front() == float(22050));
            CHECK(part.size() == 30870);
        }
    }
    f.core.initialise(0, 0, abort_never);
    CHECK(f.rest() == joined);
    track_info_store info;
    f.core.get_info(2, info, abort_never);
    CHECK(info.get_length() == doctest::Approx(0.7));
    CHECK(std::string(info.meta_get_first("tracknumber")) == "2");
}

TEST_CASE("a damaged packet is reported and skipped; a codec that cannot be set up ends decoding") {
    fake_decoder_scope scope;
    position_decoder::fail_index = 5;
    opened f(m4a(20));
    f.core.initialise(0, 0, abort_never);
    const std::vector<float> all = f.rest();
    CHECK(all.size() == 18 * 1024);
    REQUIRE(f.sink->events.size() == 1);
    CHECK(f.sink->events[0] == "2 Decoding error: bad packet, frame: 6 of 20");

    position_decoder::fail_index = -1;
    position_decoder::fail_setup = true;
    f.core.initialise(0, 0, abort_never);
    audio_block_store b;
    try {
        f.core.decode_chunk(b, abort_never);
        FAIL("no error");
    } catch (const exception_codec_setup& e) {
        CHECK(std::string(e.what()) == "no codec here");
    }
    CHECK(f.sink->events.back() == "2 no codec here");
}

TEST_CASE("a decoder that fails every packet from the start cannot decode the track") {
    fake_decoder_scope scope;
    SUBCASE("seven failures, then audio: damage") {
        position_decoder::fail_below = 7;
        opened f(m4a(20));
        f.core.initialise(0, 0, abort_never);
        CHECK(f.rest().size() == 12 * 1024);  // the skip of the priming falls on the first audio
        CHECK(f.sink->events.size() == 7);
    }
    SUBCASE("eight failures before any audio: the end of decoding") {
        position_decoder::fail_below = 100;
        opened f(m4a(20));
        f.core.initialise(0, 0, abort_never);
        audio_block_store b;
        CHECK_THROWS_AS(f.core.decode_chunk(b, abort_never), exception_codec_setup);
        CHECK(f.sink->events.size() == 8);
    }
    SUBCASE("failures after audio stay damage") {
        position_decoder::fail_index = -1;
        opened f(m4a(40));
        f.core.initialise(0, 0, abort_never);
        audio_block_store b;
        CHECK(f.core.decode_chunk(b, abort_never));
        position_decoder::fail_below = 30;
        CHECK(f.rest().size() == 10 * 1024);
    }
}

TEST_CASE("a stream that cannot seek plays a file whose movie box comes first") {
    fake_decoder_scope scope;
    const bytes file = m4a(30);
    {
        file_stream_ref stream = file_stream_ref::adopt(new one_way_file(compressed_test::memory_file_with(file)));
        mp4_input_core core;
        core.open(stream, "http://example/a.m4a", input_open_decode, abort_never);
        core.initialise(0, 0, abort_never);
        audio_block_store b;
        size_t total = 0;
        while (core.decode_chunk(b, abort_never)) total += b.get_sample_count();
        CHECK(total == 29 * 1024);
    }
    // The same packets with the movie box after them.
    const size_t head = ftyp().size();
    size_t moov_size = 0;
    for (size_t i = head; i + 8 <= file.size();) {
        const size_t n = size_t(file[i]) << 24 | size_t(file[i + 1]) << 16 | size_t(file[i + 2]) << 8 | file[i + 3];
        if (file[i + 4] == 'm' && file[i + 5] == 'o') moov_size = n;
        i += n;
    }
    REQUIRE(moov_size > 0);
    const bytes last = cat({ftyp(), bytes(file.begin() + head + moov_size, file.end()),
                            bytes(file.begin() + head, file.begin() + head + moov_size)});
    file_stream_ref stream = file_stream_ref::adopt(new one_way_file(compressed_test::memory_file_with(last)));
    mp4_input_core core;
    CHECK_THROWS_AS(core.open(stream, "http://example/a.m4a", input_open_decode, abort_never), exception_io_data_atomkit);
}

TEST_CASE("open errors") {
    fake_decoder_scope scope;
    const bytes no_audio = cat({ftyp(), box("moov", cat({mvhd(1000, 10), trak(mdhd(600, 10), stsd(box("text", filler(20))))}))});
    try {
        opened f(no_audio);
        FAIL("opened");
    } catch (const exception_io_data_atomkit& e) {
        CHECK(std::string(e.what()) == ketrel_io::exception_io_data().what());
    }
    bytes cut = m4a(10);
    cut.resize(60);
    CHECK_THROWS_AS(opened{cut}, exception_io_data_atomkit);

    // AMR opens the model but no packet decoder of the program takes it.
    mp4_packet_decoder_test_opener = nullptr;
    bytes amr(6, 0);
    put16(amr, 1);
    amr.resize(amr.size() + 16, 0);
    put16(amr, 8000), put16(amr, 0);
    const bytes samr = box("samr", cat({amr, box("damr", filler(9, 0))}));
    const bytes amr_file = cat({ftyp(), box("moov", cat({mvhd(1000, 10), trak(mdhd(8000, 80), cat({stsd(samr), stts({{1, 80}}),
                                                                                                  stsz(10, {}, 1)}))}))});
    try {
        opened f(amr_file);
        FAIL("opened");
    } catch (const exception_io_data_atomkit&) {
        FAIL("a model error");
    } catch (const ketrel_io::exception_io_data&) {
    }
}

TEST_CASE("tags: get_info mapping, staging and committing") {
    fake_decoder_scope scope;
    const bytes items = cat({item("\xA9" "day", 1, text("1999")), item("cpil", 21, {1}), item("\xA9too", 1, text("enc")),
                             freeform("iTunSMPB", " 0 400 0 FC00"), freeform("cdec", "x"),
                             freeform("replaygain_track_gain", "-3.00 dB"), item("xid ", 1, text("raw"))});
    const bytes file = m4a(70, meta_ilst(items));
    opened f(file, input_open_write);
    track_info_store info;
    f.core.get_info(0, info, abort_never);
    CHECK(std::string(info.meta_get_first("date")) == "1999");
    CHECK(std::string(info.meta_get_first("album artist")) == "Various Artists");
    CHECK(std::string(info.info_get_by_name("tool")) == "enc");
    CHECK(std::string(info.info_get_by_name("encoder")) == "x");
    CHECK(info.info_get_by_name("ITUNSMPB") == nullptr);
    CHECK(info.get_replaygain().track_gain == doctest::Approx(-3.0));
    CHECK(info.get_length() == doctest::Approx(0xFC00 / 44100.0));

    info.meta_set("title", track_info::npos, "New", track_info::npos);
    f.core.stage_info(0, info, abort_never);
    f.core.commit_info(abort_never);

    std::vector<uint8_t> written(size_t(f.file->get_size(abort_never)));
    f.file->seek(0, abort_never);
    f.file->read_exact(written.data(), written.size(), abort_never);
    atomkit::movie_file m;
    open_model(m, written, 0x5B);
    const atomkit::field_set& fields = m.ud.ilst_fields;
    CHECK(fields.at("title").values[0] == "New");
    CHECK(fields.at("year").values[0] == "1999");
    CHECK(fields.find("album artist") == fields.end());  // the shown "Various Artists" is not written
    CHECK(fields.at("itunescompilation").values[0] == "1");
    CHECK(fields.at("ITUNSMPB").values[0] == " 0 400 0 FC00");
    CHECK(fields.at("replaygain_track_gain").values[0] == "-3.00 dB");
    REQUIRE(m.ud.raw_items.size() == 1);
    CHECK(m.chapters[0].start == atomkit::to_ticks(0x400, 44100));
}

TEST_CASE("tags of chapters: subsong 0 changes nothing, a chapter goes to the tags box") {
    fake_decoder_scope scope;
    opened f(m4a(60, cat({meta_ilst(item("\xA9" "alb", 1, text("Al"))), chpl3()})), input_open_write);
    track_info_store info;
    info.meta_set("title", track_info::npos, "Whole", track_info::npos);
    f.core.stage_info(0, info, abort_never);
    CHECK(f.core.model().chapters[0].fields.find("title")->second.values[0] == "c");
    f.core.get_info(2, info, abort_never);
    info.meta_set("title", track_info::npos, "Second", track_info::npos);
    f.core.stage_info(2, info, abort_never);
    f.core.commit_info(abort_never);

    std::vector<uint8_t> written(size_t(f.file->get_size(abort_never)));
    f.file->seek(0, abort_never);
    f.file->read_exact(written.data(), written.size(), abort_never);
    atomkit::movie_file m;
    open_model(m, written, 0x5B);
    CHECK(m.ud.has_tags);
    REQUIRE(m.chapter_count() == 3);
    CHECK(m.chapters[1].fields.at("title").values[0] == "Second");
    CHECK(m.chapters[2].fields.at("title").values[0] == "c");
    CHECK(m.chapters[2].fields.at("album").values[0] == "Al");
    CHECK(m.chapters[1].start == 5000000);
}
