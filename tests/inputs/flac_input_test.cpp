// The FLAC input on streams made by libFLAC's encoder: channel layouts (7 and 8 channels without a mask
// comment included), seeking rules, raw samples from a stream that cannot seek, damage reports, and tag
// writes that leave the original intact when aborted at any point.
#include <doctest/doctest.h>

#include <FLAC/metadata.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/file_system.h"
#include "foundation/fs/open_mode.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/flac/flac_input.h"
#include "inputs/flac/flac_metadata.h"
#include "inputs/input_probe.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"
#include "tests/inputs/input_test_support.h"

using namespace input_test;

namespace {

service_ptr<track_decoder_v2> open_decoder(file_stream_ref file) {
    services_built();  // a file without comments is looked at for other tags through their services
    service_ptr<track_decoder> decoder;
    flac_input_service().open_decoder(decoder, file, "memory.flac", abort_never);
    service_ptr<track_decoder_v2> v2;
    REQUIRE(service_query(decoder.get(), v2));
    return v2;
}

// Every sample of the stream, as floats, by decoding from the current position to the end.
std::vector<float> decode_rest(track_decoder& decoder) {
    std::vector<float> all;
    audio_block_store block;
    while (decoder.decode_chunk(block, abort_never)) {
        all.insert(all.end(), block.get_data(), block.get_data() + block.get_sample_count() * block.get_channels());
    }
    return all;
}

}  // namespace

TEST_CASE("channel layouts of FLAC frames") {
    struct row {
        uint32_t stored, channels, mask;
    };
    const row rows[] = {
        {0, 1, 0x4},     {0, 2, 0x3},     {0, 3, 0x7},         {0, 4, 0x33},  {0, 5, 0x37},
        {0, 6, 0x3F},    {0, 7, 0x70F},   {0, 8, 0x63F},       {0, 9, 0},     {0, 0, 0},
        {0x3, 2, 0x3},   {0x1, 1, 0x1},   {0x7F, 7, 0x7F},     {0x3, 1, 0x4},  // bit count differs
        {0x60F, 6, 0x60F}, {0x3FFFF, 18, 0x3FFFF}, {0x1FF, 9, 0x1FF}, {0x1FF, 8, 0x63F},
    };
    for (const row& r : rows) {
        CAPTURE(r.stored);
        CAPTURE(r.channels);
        CHECK(flac_channel_mask(r.stored, r.channels) == r.mask);
    }

    struct text_row {
        const char* text;
        bool parsed;
        uint32_t mask;
    };
    const text_row texts[] = {
        {"0x3", true, 0x3}, {"0X3F", true, 0x3F}, {"0x0000063f", true, 0x63F}, {"3", false, 0},
        {"0x", false, 0},   {"0x3g", false, 0},   {"0x123456789", false, 0},    {"x3", false, 0},
    };
    for (const text_row& t : texts) {
        CAPTURE(t.text);
        uint32_t mask = 0;
        CHECK(flac_channel_mask_parse(t.text, static_cast<uint32_t>(std::strlen(t.text)), mask) == t.parsed);
        CHECK(mask == t.mask);
    }
}

TEST_CASE("streams decode with the mask their comment or their channel count gives") {
    struct row {
        const char* what;
        uint32_t channels;
        const char* comment;  // "" for none
        uint32_t mask;
    };
    const row rows[] = {
        {"seven channels, no mask comment", 7, "", 0x70F},
        {"eight channels, no mask comment", 8, "", 0x63F},
        {"seven channels with a seven-bit mask", 7, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x7F", 0x7F},
        {"mono with a stored mask", 1, "waveformatextensible_channel_mask=0x1", 0x1},
        {"a mask without 0x is not read", 1, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=1", 0x4},
        {"a mask of the wrong width is not used", 2, "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x7", 0x3},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        flac_spec spec;
        spec.channels = r.channels;
        spec.frames = 5000;
        if (*r.comment) spec.comments.push_back(r.comment);
        service_ptr<track_decoder_v2> decoder = open_decoder(memory_file_with(encode_flac(spec)));
        decoder->initialise(0, 4, abort_never);
        audio_block_store block;
        REQUIRE(decoder->decode_chunk(block, abort_never));
        CHECK(block.get_channels() == r.channels);
        CHECK(block.get_channel_mask() == r.mask);
        CHECK(block.get_sample_rate() == 44100);
        REQUIRE(block.get_sample_count() == 4096);
        for (uint32_t c = 0; c < r.channels; ++c) {
            CHECK(block.get_data()[100 * r.channels + c] == fixture_sample(spec, 100, c) / 32768.0f);
        }
    }
}

TEST_CASE("the info of a stream: STREAMINFO fields, MD5 only when set, comments") {
    services_built();
    for (bool md5 : {true, false}) {
        CAPTURE(md5);
        flac_spec spec;
        spec.md5 = md5;
        spec.rate = 48000;
        spec.bits = 24;
        spec.frames = 24000;
        spec.comments = {"ARTIST=A", "artist=B", "TRACKTOTAL=9", "TRACKTOTAL=10", "replaygain_track_gain=-3.5 dB",
                         "ORGANIZATION=Label"};
        service_ptr<track_info_reader> reader;
        flac_input_service().open_info_reader(reader, memory_file_with(encode_flac(spec)), "m.flac", abort_never);
        REQUIRE(reader->subsong_count() == 1);
        REQUIRE(reader->subsong_id(0) == 0);
        track_info_store info;
        reader->get_info(0, info, abort_never);
        CHECK(info.get_length() == 0.5);
        CHECK(std::string(info.info_get_by_name("samplerate")) == "48000");
        CHECK(std::string(info.info_get_by_name("bitspersample")) == "24");
        CHECK(std::string(info.info_get_by_name("codec")) == "FLAC");
        CHECK(std::string(info.info_get_by_name("encoding")) == "lossless");
        const char* sum = info.info_get_by_name("md5");
        if (md5) {
            REQUIRE(sum != nullptr);
            CHECK(std::strlen(sum) == 32);
            CHECK(std::string(sum).find_first_not_of("0123456789ABCDEF") == std::string::npos);
        } else {
            CHECK(sum == nullptr);
        }
        CHECK(info.meta_value_count(info.meta_find("artist")) == 2);
        CHECK(std::string(info.meta_get_first("publisher")) == "Label");
        CHECK(info.meta_value_count(info.meta_find("totaltracks")) == 1);
        CHECK(info.get_replaygain().track_gain == -3.5f);
        CHECK(info.meta_find("replaygain_track_gain") < 0);
    }
}

TEST_CASE("seeking: 0 at the start and the total length never reach libFLAC") {
    flac_spec spec;
    spec.frames = 20000;
    kpl::rc_ptr<counting_file> file = counting_file::wrap(memory_file_with(encode_flac(spec)), true);
    service_ptr<track_decoder_v2> decoder = open_decoder(file);
    decoder->initialise(0, 4, abort_never);
    CHECK(decoder->can_seek());
    const std::vector<float> all = decode_rest(*decoder);
    REQUIRE(all.size() == 2 * 20000);

    decoder->initialise(0, 4, abort_never);
    uint32_t before = file->activity();
    decoder->seek_seconds(0, abort_never);
    CHECK(file->activity() == before);  // right after initialise: nothing to do

    audio_block_store block;
    REQUIRE(decoder->decode_chunk(block, abort_never));
    before = file->activity();
    decoder->seek_seconds(0, abort_never);  // after a chunk: libFLAC goes back to sample 0
    CHECK(file->activity() > before);
    CHECK(decode_rest(*decoder) == all);

    // A sample in the middle, then the exact total length (the end, without libFLAC).
    decoder->seek_seconds(12345 / 44100.0, abort_never);
    const std::vector<float> tail = decode_rest(*decoder);
    CHECK(tail == std::vector<float>(all.begin() + 2 * 12345, all.end()));
    before = file->activity();
    decoder->seek_seconds(20000 / 44100.0, abort_never);
    CHECK(file->activity() == before);
    CHECK_FALSE(decoder->decode_chunk(block, abort_never));
    decoder->seek_seconds(0, abort_never);
    CHECK(decode_rest(*decoder) == all);

    // Calls that need initialise before it.
    service_ptr<track_decoder_v2> fresh = open_decoder(memory_file_with(encode_flac(spec)));
    CHECK_THROWS_AS(fresh->decode_chunk(block, abort_never), kpl::exception_dynamic_assert);
    CHECK_THROWS_AS(fresh->initialise(1, 4, abort_never), ketrel_io::exception_io_data);
}

TEST_CASE("a stream that cannot seek: raw 16-bit samples, a restart from 0, nothing else") {
    flac_spec spec;
    spec.frames = 10000;
    kpl::rc_ptr<counting_file> stream = counting_file::wrap(memory_file_with(encode_flac(spec)), false);
    service_ptr<track_decoder_v2> decoder = open_decoder(stream);
    decoder->initialise(0, 4, abort_never);
    audio_block_store block;
    kpl::byte_array raw;
    REQUIRE(decoder->decode_chunk_raw(block, raw, abort_never));
    REQUIRE(raw.count() == block.get_sample_count() * 2 * 2);
    for (uint32_t i : {0u, 1u, 77u, 4095u}) {
        for (uint32_t c = 0; c < 2; ++c) {
            int16_t value;
            std::memcpy(&value, raw.data() + (i * 2 + c) * 2, 2);
            CHECK(value == fixture_sample(spec, i, c));
        }
    }
    CHECK_THROWS_AS(decoder->seek_seconds(0.1, abort_never), ketrel_io::exception_io_object_not_seekable);
    decoder->seek_seconds(0, abort_never);
    kpl::byte_array again;
    REQUIRE(decoder->decode_chunk_raw(block, again, abort_never));
    REQUIRE(again.count() == raw.count());
    CHECK(std::memcmp(again.data(), raw.data(), raw.count()) == 0);
}

TEST_CASE("32-bit samples come out of decode_chunk_raw as the integers stored") {
    flac_spec spec;
    spec.bits = 32;
    spec.frames = 6000;
    service_ptr<track_decoder_v2> decoder = open_decoder(memory_file_with(encode_flac(spec)));
    decoder->initialise(0, 4, abort_never);
    audio_block_store block;
    kpl::byte_array raw;
    uint32_t frame = 0;
    while (decoder->decode_chunk_raw(block, raw, abort_never)) {
        REQUIRE(raw.count() == block.get_sample_count() * 2 * 4);
        for (uint32_t i = 0; i < block.get_sample_count(); ++i, ++frame) {
            for (uint32_t c = 0; c < 2; ++c) {
                int32_t value;
                std::memcpy(&value, raw.data() + (i * 2 + c) * 4, 4);
                REQUIRE(value == fixture_sample(spec, frame, c));  // all 32 bits, beyond a float's precision
            }
        }
    }
    CHECK(frame == 6000);
}

TEST_CASE("damage libFLAC can skip is reported once, and decoding goes on") {
    flac_spec spec;
    spec.frames = 40000;
    std::vector<uint8_t> bytes = encode_flac(spec);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i) bytes[i] ^= 0x5A;
    service_ptr<track_decoder_v2> decoder = open_decoder(memory_file_with(bytes));
    recording_sink* sink = new recording_sink();
    service_ptr<decoder_event_sink> sink_ref;  // holds the sink's one count
    {
        service_ref r;
        r.attach(sink);
        sink_ref.attach_ref(std::move(r));
    }
    decoder->set_event_sink(sink);
    decoder->initialise(0, 4, abort_never);
    const std::vector<float> samples = decode_rest(*decoder);
    CHECK(samples.size() > 2 * 30000);
    REQUIRE(sink->reports.size() == 1);
    CHECK(sink->reports[0].first == "Corrupted FLAC stream");
    CHECK(sink->reports[0].second == 2);
}

TEST_CASE("streams that are not FLAC, or lack what decoding needs") {
    flac_spec spec;
    spec.frames = 1000;
    std::vector<uint8_t> good = encode_flac(spec);
    struct row {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> marker = good;
    marker[3] = 'X';
    std::vector<uint8_t> no_rate = good;
    no_rate[18] = no_rate[19] = 0;
    no_rate[20] &= 0x0F;
    const row rows[] = {
        {"empty", {}},
        {"another marker", marker},
        {"cut inside STREAMINFO", std::vector<uint8_t>(good.begin(), good.begin() + 20)},
        {"sample rate 0", no_rate},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        service_ptr<track_info_reader> reader;
        CHECK_THROWS_AS(flac_input_service().open_info_reader(reader, memory_file_with(r.bytes), "m.flac", abort_never),
                        ketrel_io::exception_io_data);
    }
    // An aborted opening is an abort, not damage.
    service_ptr<track_info_reader> reader;
    abort_after_checks abort(3);
    CHECK_THROWS_AS(flac_input_service().open_info_reader(reader, memory_file_with(good), "m.flac", abort),
                    ketrel_io::exception_aborted);
}

TEST_CASE("a tag write aborted at any point leaves the file as it was") {
    services_built();
    scratch_folder folder(L"vorn-flac-write");
    flac_spec spec;
    spec.frames = 30000;
    spec.comments = {"ARTIST=Old", "WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x3"};
    spec.padding = 256;
    const std::vector<uint8_t> original = encode_flac(spec);
    const std::string location = folder.location(L"a.flac");
    const std::string big(4000, 'x');

    // The new comments need more room than there is (the file grows), or fit (written in place).
    for (const std::string& value : {big, std::string("New")}) {
        CAPTURE(value.size());
        bool done = false;
        for (int checks = 0; !done; ++checks) {
            REQUIRE(checks < 5000);
            write_file(folder.path(L"a.flac"), original);
            service_ptr<track_info_writer> writer;
            input_open_info_writer(writer, file_stream_ref(), location.c_str(), abort_never, false);
            track_info_store info;
            writer->get_info(0, info, abort_never);
            info.meta_set("ARTIST", track_info::npos, value.c_str(), track_info::npos);
            writer->stage_info(0, info, abort_never);
            abort_after_checks abort(checks);
            try {
                writer->commit_info(abort);
                done = true;
            } catch (const ketrel_io::exception_aborted&) {
                writer.release();
                CHECK(read_file(folder.path(L"a.flac")) == original);
                CHECK(folder.files().size() == 1);  // no temporary file left
                continue;
            }
            // The writer's file is the new one; the comments, the mask and the audio are right.
            track_info_store written;
            writer->get_info(0, written, abort_never);
            CHECK(std::string(written.meta_get_first("ARTIST")) == value);
            writer.release();
            CHECK(folder.files().size() == 1);
            service_ptr<track_decoder> decoder;
            input_open_decoder(decoder, file_stream_ref(), location.c_str(), abort_never, false);
            track_info_store reread;
            decoder->get_info(0, reread, abort_never);
            CHECK(std::string(reread.meta_get_first("ARTIST")) == value);
            CHECK(std::string(reread.info_get_by_name("WAVEFORMATEXTENSIBLE_CHANNEL_MASK")) == "0x3");
            decoder->initialise(0, 4, abort_never);
            const std::vector<float> samples = decode_rest(*decoder);
            REQUIRE(samples.size() == 2 * 30000);
            CHECK(samples[2 * 29999 + 1] == fixture_sample(spec, 29999, 1) / 32768.0f);
        }
    }
}

TEST_CASE("a writer waits for a file in use and gives up after its time-out") {
    services_built();
    scratch_folder folder(L"vorn-flac-busy");
    flac_spec spec;
    spec.frames = 1000;
    write_file(folder.path(L"busy.flac"), encode_flac(spec));
    HANDLE held = CreateFileW(folder.path(L"busy.flac").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(held != INVALID_HANDLE_VALUE);
    service_ptr<track_info_writer> writer;
    CHECK_THROWS_AS(input_open_info_writer_ex(writer, file_stream_ref(), folder.location(L"busy.flac").c_str(),
                                              abort_never, 0.5, false),
                    ketrel_io::exception_io_sharing_violation);
    CloseHandle(held);
    input_open_info_writer_ex(writer, file_stream_ref(), folder.location(L"busy.flac").c_str(), abort_never, 0.5,
                              false);
    CHECK(writer->subsong_count() == 1);
}

TEST_CASE("a field name no FLAC comment can hold refuses the write, naming it, and the file stays") {
    services_built();
    flac_spec spec;
    spec.frames = 2000;
    spec.comments = {"TITLE=Old"};
    const std::vector<uint8_t> original = encode_flac(spec);
    for (const char* name : {"mood=happy", "caf\xC3\xA9", "a~b"}) {
        CAPTURE(std::string(name));
        file_stream_ref file = memory_file_with(original);
        service_ptr<track_info_writer> writer;
        flac_input_service().open_info_writer(writer, file, "memory.flac", abort_never);
        track_info_store info;
        writer->get_info(0, info, abort_never);
        info.meta_set(name, track_info::npos, "x", track_info::npos);
        writer->stage_info(0, info, abort_never);
        const std::string message = std::string("Field name \"") + name + "\" cannot be written to a Vorbis comment";
        CHECK_THROWS_WITH_AS(writer->commit_info(abort_never), message.c_str(), ketrel_io::exception_io_data);
        std::vector<uint8_t> now(static_cast<size_t>(file->get_size(abort_never)));
        file->seek(0, abort_never);
        file->read_exact(now.data(), now.size(), abort_never);
        CHECK(now == original);
    }
}

TEST_CASE("a file in memory takes comments that fit and comments that do not") {
    services_built();
    flac_spec spec;
    spec.frames = 10000;
    spec.comments = {"TITLE=Old"};
    spec.padding = 100;
    file_stream_ref file = memory_file_with(encode_flac(spec));
    service_ptr<track_info_writer> writer;
    flac_input_service().open_info_writer(writer, file, "memory.flac", abort_never);
    for (size_t length : {size_t(50), size_t(5000)}) {
        CAPTURE(length);
        const uint64_t size_before = file->get_size(abort_never);
        track_info_store info;
        writer->get_info(0, info, abort_never);
        const std::string title(length, 't');
        info.meta_set("TITLE", track_info::npos, title.c_str(), track_info::npos);
        writer->stage_info(0, info, abort_never);
        writer->commit_info(abort_never);
        CHECK((file->get_size(abort_never) == size_before) == (length == 50));
        track_info_store reread;
        writer->get_info(0, reread, abort_never);
        CHECK(std::string(reread.meta_get_first("TITLE")) == title);
        service_ptr<track_decoder_v2> decoder = open_decoder(file);
        track_info_store from_file;
        decoder->get_info(0, from_file, abort_never);
        CHECK(std::string(from_file.meta_get_first("TITLE")) == title);
        decoder->initialise(0, 4, abort_never);
        CHECK(decode_rest(*decoder).size() == 2 * 10000);
    }
}
