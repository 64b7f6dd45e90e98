// The MPEG stream over crafted frames and a stand-in packet decoder whose output sample values are their own
// positions in the decoded stream: trimming, totals, seeking, the seek table, and damaged input.

#include <doctest/doctest.h>

#include <windows.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "compressed_inputs/mpeg/mpeg_input.h"
#include "compressed_inputs/mpeg/mpeg_seek_table.h"
#include "compressed_inputs/mpeg/mpeg_stream.h"
#include "compressed_inputs/system_codecs/system_codecs.h"
#include "foundation/fs/file_system.h"
#include "foundation/fs/open_mode.h"
#include "foundation/kpl/codepage.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_base.h"
#include "tests/compressed_inputs/compressed_test_support.h"
#include "tests/support/abort_after_checks.h"

namespace {

const uint8_t header_128k[4] = {0xFF, 0xFB, 0x90, 0x64};  // MPEG-1 Layer III, 44100 Hz, joint stereo, 417 bytes
constexpr uint32_t frame_size = 417;
constexpr uint32_t spf = 1152;

// Decodes a crafted frame into spf stereo samples whose values are index x spf + i, where the frame's index is
// stored big-endian at bytes 8-11.
class position_decoder final : public service_counted<codec_packet_decoder> {
public:
    static uint32_t packets;
    static int64_t fail_index;     // this frame throws exception_io_data
    static bool fail_setup;        // the first packet throws exception_codec_setup

    void get_info(track_info&) override {}
    void reset_after_seek() override {}
    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal&) override {
        block.reset();
        if (fail_setup) throw exception_codec_setup("no codec here");
        if (size == 0) return;
        ++packets;
        const uint8_t* p = static_cast<const uint8_t*>(data);
        const uint32_t index = uint32_t(p[8]) << 24 | uint32_t(p[9]) << 16 | uint32_t(p[10]) << 8 | p[11];
        if (int64_t(index) == fail_index) throw ketrel_io::exception_io_data("bad frame");
        std::vector<float> v(spf * 2);
        for (uint32_t i = 0; i < spf; ++i) v[2 * i] = v[2 * i + 1] = float(uint64_t(index) * spf + i);
        block.set_data(v.data(), spf, 2, 44100, 0x3);
    }
};
uint32_t position_decoder::packets = 0;
int64_t position_decoder::fail_index = -1;
bool position_decoder::fail_setup = false;

void open_position_decoder(service_ptr<codec_packet_decoder>& out, int) {
    service_ref holder;
    holder.attach(static_cast<codec_packet_decoder*>(new position_decoder()));
    out.attach_ref(std::move(holder));
}

struct fake_decoder_scope {
    fake_decoder_scope() {
        compressed_test::services_built();
        mpeg_packet_decoder_test_opener = &open_position_decoder;
        position_decoder::packets = 0;
        position_decoder::fail_index = -1;
        position_decoder::fail_setup = false;
    }
    ~fake_decoder_scope() { mpeg_packet_decoder_test_opener = nullptr; }
};

class recording_sink final : public service_counted<decoder_event_sink> {
public:
    void report(const char* message, uint32_t severity) override {
        events.push_back(std::to_string(severity) + " " + message);
    }
    std::vector<std::string> events;
};

void append_frames(std::vector<uint8_t>& out, uint32_t first_index, uint32_t count) {
    for (uint32_t k = 0; k < count; ++k) {
        std::vector<uint8_t> f(frame_size, 0);
        std::memcpy(f.data(), header_128k, 4);
        const uint32_t index = first_index + k;
        f[8] = uint8_t(index >> 24), f[9] = uint8_t(index >> 16), f[10] = uint8_t(index >> 8), f[11] = uint8_t(index);
        out.insert(out.end(), f.begin(), f.end());
    }
}

void put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    f[at] = uint8_t(v >> 24), f[at + 1] = uint8_t(v >> 16), f[at + 2] = uint8_t(v >> 8), f[at + 3] = uint8_t(v);
}

// An "Info" frame with LAME's delay and padding for `frames` audio frames.
std::vector<uint8_t> lame_frame(uint32_t frames, uint32_t delay, uint32_t padding) {
    std::vector<uint8_t> f(frame_size, 0);
    std::memcpy(f.data(), header_128k, 4);
    std::memcpy(f.data() + 36, "Info", 4);
    put32(f, 40, 1);
    put32(f, 44, frames);
    const size_t e = 48;
    std::memcpy(f.data() + e, "LAME3.100", 9);
    f[e + 21] = uint8_t(delay >> 4);
    f[e + 22] = uint8_t((delay & 0x0F) << 4 | padding >> 8);
    f[e + 23] = uint8_t(padding);
    return f;
}

// An ID3v2.3 tag of `body` bytes of padding, or with one COMM frame when `comment` is given.
std::vector<uint8_t> id3v2_tag(uint32_t body, const char* description = nullptr, const char* text = nullptr) {
    std::vector<uint8_t> frames;
    if (description) {
        std::vector<uint8_t> content = {0, 'e', 'n', 'g'};
        content.insert(content.end(), description, description + std::strlen(description) + 1);
        content.insert(content.end(), text, text + std::strlen(text));
        frames = {'C', 'O', 'M', 'M', 0, 0, 0, uint8_t(content.size()), 0, 0};
        frames.insert(frames.end(), content.begin(), content.end());
    }
    if (frames.size() < body) frames.resize(body, 0);
    const uint32_t n = static_cast<uint32_t>(frames.size());
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0, uint8_t(n >> 21 & 0x7F), uint8_t(n >> 14 & 0x7F),
                                uint8_t(n >> 7 & 0x7F), uint8_t(n & 0x7F)};
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

int g_path_counter = 0;

struct opened {
    mpeg_stream stream;
    kpl::rc_ptr<recording_sink> sink;

    opened(const std::vector<uint8_t>& bytes, bool with_sink = true, uint32_t flags = 0) {
        std::string path = "memory://mpeg-stream-test-" + std::to_string(++g_path_counter);
        stream.open(compressed_test::memory_file_with(bytes), path.c_str(), input_open_decode, abort_never);
        if (with_sink) {
            sink = kpl::rc_ptr<recording_sink>(new recording_sink());
            stream.set_event_sink(sink.get());
        }
        stream.initialise(0, flags, abort_never);
    }
    // Decodes to the end; every sample must continue the one before. Answers the count and the first value.
    uint64_t decode_all(double& first_value, uint32_t max_blocks = 100000) {
        audio_block_store block;
        uint64_t count = 0;
        first_value = -1;
        double expected = -1;
        for (uint32_t n = 0; n < max_blocks && stream.decode_chunk(block, abort_never); ++n) {
            for (uint32_t i = 0; i < block.get_sample_count(); ++i) {
                const double v = block.get_data()[2 * i];
                if (first_value < 0) first_value = v;
                if (expected >= 0 && v != expected) {
                    FAIL_CHECK("sample " << count << " is " << v << ", expected " << expected);
                    return count;
                }
                expected = v + 1;
                ++count;
            }
        }
        return count;
    }
    std::vector<std::string> events() const { return sink ? sink->events : std::vector<std::string>(); }
};

}  // namespace

TEST_CASE("MPEG stream: LAME gapless information") {
    fake_decoder_scope fake;
    std::vector<uint8_t> file = id3v2_tag(300);
    const std::vector<uint8_t> info_frame = lame_frame(100, 576, 1152);
    file.insert(file.end(), info_frame.begin(), info_frame.end());
    append_frames(file, 0, 100);
    opened s(file);
    CHECK(s.stream.start_trim() == 576 + 529);
    const int64_t total = 100 * 1152 - 1105 - (1152 - 529);
    CHECK(s.stream.total_samples() == total);
    CHECK(s.stream.audio_start() == 310 + frame_size);
    track_info_store info;
    s.stream.get_info(0, info, abort_never);
    CHECK(std::string(info.info_get_by_name("enc_delay")) == "576");
    CHECK(std::string(info.info_get_by_name("enc_padding")) == "1152");
    CHECK(std::string(info.info_get_by_name("mp3_accurate_length")) == "yes");
    CHECK(std::string(info.info_get_by_name("codec_profile")) == "CBR");
    CHECK(std::string(info.info_get_by_name("tool")) == "LAME3.100");
    CHECK(info.get_length() == doctest::Approx(double(total) / 44100));

    double first;
    CHECK(s.decode_all(first) == uint64_t(total));
    CHECK(first == 1105);  // the first sample of the encoded signal
    CHECK(position_decoder::packets == 100);

    // Seeking: the first sample is the target's, and the total stays exact.
    for (double t : {0.0, 0.00002, 1.0, 1.3333, 2.57, double(total - 1) / 44100}) {
        CAPTURE(t);
        s.stream.seek_seconds(t, abort_never);
        const uint64_t target = uint64_t(std::floor(t * 44100 + 0.5));
        CHECK(s.decode_all(first) == uint64_t(total) - target);
        CHECK(first == double(target + 1105));
    }
    // At or past the end: nothing.
    for (double t : {double(total) / 44100, 10.0}) {
        s.stream.seek_seconds(t, abort_never);
        CHECK(s.decode_all(first) == 0);
        audio_block_store block;
        CHECK_FALSE(s.stream.decode_chunk(block, abort_never));
    }
    CHECK(s.events().empty());
}

TEST_CASE("MPEG stream: seeks start from the seek table's points") {
    fake_decoder_scope fake;
    std::vector<uint8_t> file;
    append_frames(file, 0, 300);
    opened s(file);
    // A new file: no points yet, so reading starts at the first frame, but frames far before the target are not
    // decoded.
    s.stream.seek_seconds(3.0, abort_never);
    CHECK(s.stream.frames_read() == 0);
    const uint64_t target_frame = (132300 + 529) / spf;
    position_decoder::packets = 0;
    audio_block_store block;
    REQUIRE(s.stream.decode_chunk(block, abort_never));
    CHECK(block.get_data()[0] == float(132300 + 529));
    CHECK(position_decoder::packets <= 11);
    CHECK(position_decoder::packets >= 10);
    double first;
    s.decode_all(first);
    // Now the frames were read once: the seek starts at a point 10 to 41 frames before the target frame.
    s.stream.seek_seconds(3.0, abort_never);
    CHECK(s.stream.frames_read() <= target_frame - 10);
    CHECK(s.stream.frames_read() + 10 + 32 > target_frame);
    CHECK(s.decode_all(first) == 300 * spf - 529 - 132300);
    CHECK(first == double(132300 + 529));
}

TEST_CASE("MPEG stream: untagged and iTunes gapless streams") {
    fake_decoder_scope fake;
    SUBCASE("untagged: frames x samples per frame, less the decoder delay") {
        std::vector<uint8_t> file;
        append_frames(file, 0, 50);
        opened s(file);
        double first;
        CHECK(s.decode_all(first) == 50 * spf - 529);
        CHECK(first == 529);
        CHECK(s.stream.stream_info().bitrate == 128);
        // A stream that ends while samples are still skipped ends without output.
        s.stream.seek_seconds(5.0, abort_never);
        CHECK(s.decode_all(first) == 0);
        s.stream.seek_seconds(1.0, abort_never);
        CHECK(s.decode_all(first) == 50 * spf - 529 - 44100);
        CHECK(first == 44100 + 529);
    }
    SUBCASE("iTunSMPB comment") {
        std::vector<uint8_t> file = id3v2_tag(64, "iTunSMPB", " 00000000 00000840 000001F0 000000000000D000 00000000");
        append_frames(file, 0, 50);
        opened s(file);
        CHECK(s.stream.start_trim() == 2112 + 529);
        CHECK(s.stream.total_samples() == 53248);
        double first;
        CHECK(s.decode_all(first) == 53248);
        CHECK(first == 2112 + 529);
    }
    SUBCASE("a Xing header that ends 9 bytes into LAME's extension keeps its frame count") {
        // 48 kbit/s, padded: 157 bytes, the tag at 36 with frames and table; the extension would start at 148.
        std::vector<uint8_t> file(157, 0);
        const uint8_t h[4] = {0xFF, 0xFB, 0x32, 0x64};
        std::memcpy(file.data(), h, 4);
        std::memcpy(file.data() + 36, "Xing", 4);
        put32(file, 40, 5);
        put32(file, 44, 40);
        std::memcpy(file.data() + 148, "LAME3.100", 9);
        append_frames(file, 0, 40);
        opened s(file);
        CHECK(s.stream.total_frames() == 40);
        CHECK(s.stream.audio_start() == 157);
        double first;
        CHECK(s.decode_all(first) == 40 * spf - 529);
        CHECK(position_decoder::packets == 40);  // the header frame is not audio
    }
}

TEST_CASE("MPEG stream: damaged input") {
    fake_decoder_scope fake;
    SUBCASE("junk between frames is reported and skipped") {
        std::vector<uint8_t> file;
        append_frames(file, 0, 20);
        file.insert(file.end(), 100, 0x55);
        append_frames(file, 20, 30);
        opened s(file);
        double first;
        CHECK(s.decode_all(first) == 50 * spf - 529);
        const std::vector<std::string> expected = {"2 MPEG stream error at 8340 bytes",
                                                   "0 MPEG stream resync successful at 8440"};
        CHECK(s.events() == expected);
        // Failing on damage without a sink: the report becomes the error.
        opened strict(file, false, decoder_flag_fail_on_damage);
        audio_block_store block;
        try {
            while (strict.stream.decode_chunk(block, abort_never)) {
            }
            FAIL("no error");
        } catch (const ketrel_io::exception_io_data& e) {
            CHECK(std::string(e.what()) == "MPEG stream error at 8340 bytes");
        }
    }
    SUBCASE("an ID3v1 tag inside the stream") {
        std::vector<uint8_t> file;
        append_frames(file, 0, 20);
        std::vector<uint8_t> tag(128, ' ');
        std::memcpy(tag.data(), "TAG", 3);
        file.insert(file.end(), tag.begin(), tag.end());
        append_frames(file, 20, 30);
        opened s(file);
        double first;
        CHECK(s.decode_all(first) == 50 * spf - 529);
        const std::vector<std::string> expected = {"2 ID3 tag garbage inside MPEG stream at 8340 bytes"};
        CHECK(s.events() == expected);
    }
    SUBCASE("two ID3v2 tags") {
        std::vector<uint8_t> file = id3v2_tag(100);
        const std::vector<uint8_t> second = id3v2_tag(50);
        file.insert(file.end(), second.begin(), second.end());
        append_frames(file, 0, 10);
        opened s(file);
        CHECK(s.stream.audio_start() == 170);
        const std::vector<std::string> expected = {"1 Multiple ID3v2 tags encountered"};
        CHECK(s.events() == expected);
        double first;
        CHECK(s.decode_all(first) == 10 * spf - 529);
    }
    SUBCASE("a frame cut by the end of the file ends the stream after the frames before it") {
        std::vector<uint8_t> file;
        append_frames(file, 0, 21);
        file.resize(20 * frame_size + 200);
        opened s(file);
        double first;
        CHECK(s.decode_all(first) == 20 * spf - 529);
        CHECK(s.events().empty());
    }
    SUBCASE("an ID3v2 header sized past the end of the file is no tag") {
        std::vector<uint8_t> file = {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};
        append_frames(file, 0, 10);
        opened s(file);
        CHECK(s.stream.audio_start() == 10);
        double first;
        CHECK(s.decode_all(first) == 10 * spf - 529);
    }
    SUBCASE("a first candidate whose frame passes the end of a short file") {
        // A Layer II header of 1728 bytes in front of three real frames: 1255 bytes in all.
        std::vector<uint8_t> file = {0xFF, 0xFD, 0xE8, 0x00};
        append_frames(file, 0, 3);
        opened s(file);
        CHECK(s.stream.audio_start() == 4);
        double first;
        CHECK(s.decode_all(first) == 3 * spf - 529);
    }
    SUBCASE("a frame the codec cannot decode contributes no samples") {
        std::vector<uint8_t> file;
        append_frames(file, 0, 10);
        position_decoder::fail_index = 4;
        opened s(file);
        audio_block_store block;
        uint64_t count = 0;
        while (s.stream.decode_chunk(block, abort_never)) count += block.get_sample_count();
        CHECK(count == 9 * spf - 529);
        const std::vector<std::string> expected = {"2 MP3 decoding failure: bad frame"};
        CHECK(s.events() == expected);
    }
    SUBCASE("a codec that cannot be set up ends decoding with its reason") {
        std::vector<uint8_t> file;
        append_frames(file, 0, 10);
        position_decoder::fail_setup = true;
        opened s(file);
        audio_block_store block;
        CHECK_THROWS_WITH_AS(s.stream.decode_chunk(block, abort_never), "no codec here", exception_codec_setup);
        CHECK(s.events().empty());
    }
}

TEST_CASE("MPEG stream: files that are not MPEG audio") {
    fake_decoder_scope fake;
    auto refused = [](const std::vector<uint8_t>& bytes) {
        mpeg_stream s;
        s.open(compressed_test::memory_file_with(bytes), "memory://not-mpeg", input_open_info, abort_never);
        track_info_store info;
        CHECK_THROWS_AS(s.get_info(0, info, abort_never), ketrel_io::exception_io_data);
    };
    refused(std::vector<uint8_t>(65536, 0));
    refused(std::vector<uint8_t>());
    // Free format: bitrate index 0.
    std::vector<uint8_t> free_format;
    for (int i = 0; i < 20; ++i) {
        std::vector<uint8_t> f(400, 0);
        f[0] = 0xFF, f[1] = 0xFB, f[2] = 0x00, f[3] = 0x64;
        free_format.insert(free_format.end(), f.begin(), f.end());
    }
    refused(free_format);
    // Random bytes: refused, or decoded to an end with reports; never a crash or a hang.
    std::mt19937 generator(7);
    for (int round = 0; round < 5; ++round) {
        std::vector<uint8_t> noise(200000);
        for (uint8_t& b : noise) b = uint8_t(generator());
        mpeg_stream s;
        s.open(compressed_test::memory_file_with(noise), "memory://noise", input_open_decode, abort_never);
        try {
            s.initialise(0, 0, abort_never);
            audio_block_store block;
            uint32_t blocks = 0;
            while (s.decode_chunk(block, abort_never)) REQUIRE(++blocks < 100000);
        } catch (const ketrel_io::exception_io_data&) {
        }
    }
}

TEST_CASE("MPEG stream: usage before initialise and subsongs") {
    fake_decoder_scope fake;
    std::vector<uint8_t> file;
    append_frames(file, 0, 5);
    mpeg_stream s;
    s.open(compressed_test::memory_file_with(file), "memory://usage", input_open_decode, abort_never);
    audio_block_store block;
    CHECK_THROWS_AS(s.decode_chunk(block, abort_never), kpl::exception_dynamic_assert);
    CHECK_THROWS_AS(s.seek_seconds(1, abort_never), kpl::exception_dynamic_assert);
    CHECK_THROWS_AS(s.can_seek(), kpl::exception_dynamic_assert);
    CHECK_THROWS_AS(s.initialise(1, 0, abort_never), ketrel_io::exception_io_data);
    track_info_store info;
    CHECK_THROWS_AS(s.get_info(1, info, abort_never), ketrel_io::exception_io_data);
}

TEST_CASE("Seek-table cache") {
    mpeg_seek_table_cache cache;
    const int a = cache.get_handle("file://a.mp3", 1);
    CHECK(cache.get_handle("file://a.mp3", 1) == a);
    CHECK(cache.get_handle("file://A.mp3", 1) != a);  // byte for byte
    const int changed = cache.get_handle("file://a.mp3", 2);
    CHECK(changed != a);
    SUBCASE("points at least 32 frames apart") {
        const uint64_t frames[] = {0, 10, 32, 63, 64, 200, 170, 167, 168, 100};
        for (uint64_t f : frames) cache.add_point(a, f * 400, f);
        // Kept: 0, 32, 64, 200, 167 (170 is too close to 200, 168 to 167), 100.
        CHECK(cache.point_count(a) == 6);
        struct lookup {
            uint64_t frame;
            bool found;
            uint64_t point;
        };
        const lookup lookups[] = {{0, true, 0},      {31, true, 0},     {32, true, 32},   {99, true, 64},
                                  {100, true, 100},  {166, true, 100},  {168, true, 167}, {500, true, 200}};
        for (const lookup& l : lookups) {
            uint64_t offset = 0, point = 0;
            CHECK(cache.find_point(a, l.frame, offset, point) == l.found);
            CHECK(point == l.point);
            CHECK(offset == l.point * 400);
        }
        uint64_t offset, point;
        cache.add_point(changed, 4000, 40);
        CHECK_FALSE(cache.find_point(changed, 39, offset, point));  // nothing before the first point
        CHECK_FALSE(cache.find_point(99999, 39, offset, point));
    }
    SUBCASE("the eleventh file evicts the one used least recently") {
        std::vector<int> ids;
        for (int i = 0; i < 7; ++i) ids.push_back(cache.get_handle(("file://f" + std::to_string(i)).c_str(), 0));
        // Ten files; touching the two older ones leaves the changed file's entry the least recently used.
        cache.add_point(a, 0, 0);
        cache.get_handle("file://A.mp3", 1);
        const int eleventh = cache.get_handle("file://eleven", 0);
        CHECK(eleventh != changed);
        CHECK(cache.get_handle("file://a.mp3", 1) == a);
        CHECK(cache.get_handle("file://a.mp3", 2) != changed);  // evicted: a new entry
        cache.add_point(changed, 0, 0);                          // no effect on a gone entry
        CHECK(cache.point_count(changed) == 0);
    }
}

TEST_CASE("MPEG input: content types and extensions") {
    service_ref unused;
    input_service& input = mpeg_audio_input_service();
    for (const char* t : {"audio/mp3", "audio/mpeg", "audio/mpg", "audio/x-mp3", "audio/x-mpeg", "audio/x-mpg"}) {
        CHECK(input.accepts_content_type(t));
    }
    CHECK_FALSE(input.accepts_content_type("audio/MPEG"));
    CHECK_FALSE(input.accepts_content_type("audio/mpeg3"));
    struct extension_case {
        const char* path;
        const char* extension;
        bool accepted;
    };
    const extension_case cases[] = {
        {"file://C:\\a.mp3", "mp3", true},        {"file://C:\\a.MP2", "MP2", true},
        {"file://C:\\a.Mp1", "Mp1", true},        {"file://C:\\a.mpg", "mpg", true},
        {"file://C:\\a.mpa", "mpa", false},       {"http://radio.example", "example", true},
        {"http://radio.example/live", "", true},  {"http://host/a.ogg", "ogg", false},
        {"http://host/play?f=a.ogg", "ogg", true}, {"HTTP://host/live", "", false},
        {"https://host/live", "", false},
    };
    for (const extension_case& c : cases) {
        CAPTURE(c.path);
        CHECK(input.accepts_extension(c.path, c.extension) == c.accepted);
    }
}

namespace {

std::vector<std::wstring> folder_files(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

}  // namespace

TEST_CASE("MPEG tag writes stopped part way leave the file as it was") {
    compressed_test::services_built();
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    const std::wstring folder = std::wstring(base) + L"vorn-mpeg-tags-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\a.mp3";
    const std::string location = std::string("file://") + kpl::utf8_string_from_utf16(path.c_str()).c_str();
    std::vector<uint8_t> original;
    append_frames(original, 0, 40);
    auto write_original = [&] {
        file_stream_ref f;
        file_system_open(f, location.c_str(), open_mode_create, abort_never);
        f->write(original.data(), original.size(), abort_never);
    };
    track_info_store info;
    info.meta_set("title", track_info::npos, "A new title", track_info::npos);
    bool written = false;
    int stops = 0;
    for (int checks = 0; checks < 5000 && !written; ++checks) {
        write_original();
        try {
            abort_after_checks abort(checks);
            service_ptr<track_info_writer> w;
            mpeg_audio_input_service().open_info_writer(w, file_stream_ref(), location.c_str(), abort);
            w->stage_info(0, info, abort);
            w->commit_info(abort);
            written = true;
        } catch (const ketrel_io::exception_aborted&) {
            ++stops;
            file_stream_ref f;
            file_system_open(f, location.c_str(), open_mode_read, abort_never);
            REQUIRE(compressed_test::file_bytes(*f) == original);
            REQUIRE(folder_files(folder).size() == 1);
        }
    }
    CHECK(written);
    CHECK(stops > 3);
    service_ptr<track_info_reader> r;
    mpeg_audio_input_service().open_info_reader(r, file_stream_ref(), location.c_str(), abort_never);
    track_info_store back;
    r->get_info(0, back, abort_never);
    CHECK(std::string(back.meta_get_first("title")) == "A new title");
    DeleteFileW(path.c_str());
    RemoveDirectoryW(folder.c_str());
}

namespace {

// A stream read once from the start, of unknown size, as from the network.
class one_way_file final : public service_counted<file_stream> {
public:
    explicit one_way_file(file_stream_ref inner) : m_inner(std::move(inner)) {}
    size_t read(void* buffer, size_t n, const abort_signal& abort) override {
        // Short reads, as a network stream gives them.
        return m_inner->read(buffer, n > 1000 ? 1000 : n, abort);
    }
    void write(const void*, size_t, const abort_signal&) override { throw ketrel_io::exception_io_denied(); }
    uint64_t get_size(const abort_signal&) override { return file_size_unknown; }
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

}  // namespace

TEST_CASE("MPEG stream that cannot seek") {
    fake_decoder_scope fake;
    std::vector<uint8_t> file = id3v2_tag(5000);
    file.insert(file.end(), 3000, 0x11);  // no frame in front of the stream either
    append_frames(file, 0, 10);
    file.insert(file.end(), 50, 0x55);
    append_frames(file, 10, 20);
    file_stream_ref stream = file_stream_ref::adopt(new one_way_file(compressed_test::memory_file_with(file)));
    mpeg_stream s;
    s.open(stream, "http://radio.example/live", input_open_decode, abort_never);
    kpl::rc_ptr<recording_sink> sink(new recording_sink());
    s.set_event_sink(sink.get());
    s.initialise(0, 0, abort_never);
    CHECK_FALSE(s.can_seek());
    CHECK(s.stream_info().length == -1);
    CHECK(s.stream_info().bitrate == 128);
    CHECK(s.audio_start() == 5010 + 3000);
    audio_block_store block;
    uint64_t count = 0;
    double expected = 529;
    bool continuous = true;
    while (s.decode_chunk(block, abort_never)) {
        for (uint32_t i = 0; i < block.get_sample_count(); ++i, ++expected) continuous &= block.get_data()[2 * i] == expected;
        count += block.get_sample_count();
    }
    CHECK(continuous);
    CHECK(count == 30 * spf - 529);
    const uint64_t junk = 5010 + 3000 + 10 * frame_size;
    const std::vector<std::string> expected_events = {"2 MPEG stream error at " + std::to_string(junk) + " bytes",
                                                      "0 MPEG stream resync successful at " + std::to_string(junk + 50)};
    CHECK(sink->events == expected_events);
    CHECK_THROWS_AS(s.seek_seconds(1.0, abort_never), kpl::exception_not_implemented);
}
