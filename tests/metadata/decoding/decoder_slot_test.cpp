// The decoder slot (keeping a file's decoder, refreshing its handles' info, failures that leave the slot
// empty) and ranged decoding (exact ends, seeking, ends taken from the file's length).
#include <doctest/doctest.h>

#include <cmath>
#include <string>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "metadata/audio_block.h"
#include "metadata/decoding/decoder_slot.h"
#include "metadata/track_handle.h"
#include "metadata/track_info.h"
#include "tests/metadata/decoding/fake_input.h"

namespace {

const char* const path_a = "file://C:\\slot\\a.fakedec";
const char* const path_b = "file://C:\\slot\\b.fakedec";

track_handle_ref handle_of(const char* path, uint32_t subsong = 0) {
    track_handle_ref h;
    track_handle_registry::get().get_handle(h, track_location(path, subsong));
    return h;
}

void open_track(decoder_slot& slot, const char* path, uint32_t subsong, bool no_refresh = false) {
    decoder_open_for_track(slot, {file_stream_ref(), handle_of(path, subsong), 4, abort_never, false, no_refresh});
}

// Everything the range gives, as frame numbers: first frame, count, and whether they ran without a gap.
struct range_result {
    uint64_t first = 0;
    uint64_t count = 0;
    uint32_t last_block = 0;
    bool contiguous = true;
};

range_result run_range(decoder_slot& slot, kpl::byte_array* raw = nullptr) {
    range_result r;
    audio_block_store block;
    bool first = true;
    uint64_t expected = 0;
    while (decoder_range_decode(block, slot, raw, abort_never)) {
        const float* data = block.get_data();
        uint32_t n = block.get_sample_count();
        REQUIRE(n > 0);
        uint64_t start = static_cast<uint64_t>(data[0]);
        if (first) r.first = start;
        else if (start != expected % fake_input::frame_modulo) r.contiguous = false;
        if (raw) CHECK(raw->count() == n * 4);
        first = false;
        expected = start + n;
        r.count += n;
        r.last_block = n;
    }
    return r;
}

void open_range(decoder_slot& slot, const char* path, double start, double length) {
    decoder_range_open(slot, {file_stream_ref(), track_location(path, 0), 1, abort_never, start, length});
}

}  // namespace

TEST_CASE("decoder slot: the decoder of an open file is kept, another path replaces it") {
    fake_input_ensure_services();
    fake_input::reset();
    fake_input::file_setup s;
    s.subsongs = 3;
    fake_input::set(path_a, s);
    fake_input::set(path_b, s);

    decoder_slot slot;
    CHECK(decoder_open_cached(slot, file_stream_ref(), path_a, abort_never, false, true));
    CHECK_FALSE(decoder_open_cached(slot, file_stream_ref(), path_a, abort_never, false, true));
    open_track(slot, path_a, 2, true);
    open_track(slot, path_a, 3, true);
    CHECK(fake_input::get(path_a).opens == 1);
    CHECK(fake_input::get(path_a).initialised == std::vector<uint32_t>{2, 3});
    CHECK(fake_input::get(path_a).flags == std::vector<uint32_t>{4, 4});

    open_track(slot, path_b, 1, true);
    CHECK(fake_input::get(path_b).opens == 1);
    CHECK(std::string(slot.path.c_str()) == path_b);
    // Paths match byte for byte.
    std::string upper = path_a;
    upper[9] = 'S';
    fake_input::set(upper, s);
    CHECK(decoder_open_cached(slot, file_stream_ref(), path_a, abort_never, false, true));
    CHECK(decoder_open_cached(slot, file_stream_ref(), upper.c_str(), abort_never, false, true));
}

TEST_CASE("decoder slot: opening a new file refreshes the info of its handles") {
    fake_input_ensure_services();
    fake_input::reset();
    fake_input::file_setup s;
    s.subsongs = 2;
    fake_input::set(path_a, s);

    track_handle_ref one = handle_of(path_a, 1), two = handle_of(path_a, 2);
    decoder_slot slot;
    open_track(slot, path_a, 1);
    browse_fields_builder record;
    REQUIRE(one->copy_browse_fields(record));
    CHECK(std::string(record.get(browse_title)) == std::string(path_a) + " #1");
    REQUIRE(two->copy_browse_fields(record));
    CHECK(std::string(record.get(browse_title)) == std::string(path_a) + " #2");
    CHECK(one->get_file_stamp() == 5678);

    // A data error while reading the info: the decoder is opened afresh and the open succeeds.
    s.info_failure = 1;
    s.failures = 1;
    fake_input::set(path_b, s);
    open_track(slot, path_b, 2);
    CHECK(fake_input::get(path_b).opens == 2);
    CHECK(std::string(slot.path.c_str()) == path_b);
    CHECK(fake_input::get(path_b).initialised == std::vector<uint32_t>{2});
}

TEST_CASE("decoder slot: a failed refresh never leaves one file's decoder under another's path") {
    fake_input_ensure_services();
    fake_input::reset();
    fake_input::file_setup good;
    fake_input::set(path_a, good);
    fake_input::file_setup denied;
    denied.info_failure = 2;
    fake_input::set(path_b, denied);

    decoder_slot slot;
    open_track(slot, path_a, 0);
    CHECK_THROWS_AS(open_track(slot, path_b, 0), ketrel_io::exception_io_denied);
    CHECK_FALSE(slot.decoder);
    CHECK(slot.path.is_empty());

    // Opening A again gets A's decoder, not B's.
    open_track(slot, path_a, 0);
    CHECK(fake_input::get(path_a).opens == 2);
    CHECK(fake_input::last_opened() == path_a);
    audio_block_store block;
    REQUIRE(slot.decoder->decode_chunk(block, abort_never));
    track_info_store info;
    slot.decoder->get_info(0, info, abort_never);
    CHECK(std::string(info.meta_get_first("title")) == std::string(path_a) + " #0");

    // An abort is checked before anything else.
    kpl::waitable_flag aborted;
    aborted.set();
    CHECK_THROWS_AS(decoder_open_cached(slot, file_stream_ref(), path_b, aborted, false, true), ketrel_io::exception_aborted);
    CHECK(std::string(slot.path.c_str()) == path_a);
}

TEST_CASE("decoder slot: extension calls on decoders that lack the extensions") {
    fake_input_ensure_services();
    fake_input::reset();
    fake_input::file_setup plain;
    plain.v2 = false;
    fake_input::set(path_a, plain);
    fake_input::set(path_b, fake_input::file_setup());

    decoder_slot slot;
    decoder_open_location(track_location(path_a), slot, file_stream_ref(), 0, abort_never, false, true);
    CHECK(decoder_try_extension_call(slot.decoder.get(), 7) == 0);
    CHECK_FALSE(decoder_set_event_sink(slot.decoder.get(), nullptr));
    audio_block_store block;
    kpl::byte_array raw;
    CHECK_THROWS_AS(decoder_decode_raw(slot, block, raw, abort_never), kpl::exception_not_implemented);
    CHECK(decoder_decode_any(slot, block, nullptr, abort_never));

    decoder_open_location(track_location(path_b), slot, file_stream_ref(), 0, abort_never, false, true);
    CHECK(decoder_set_event_sink(slot.decoder.get(), nullptr));
    CHECK(decoder_decode_any(slot, block, &raw, abort_never));
    CHECK(raw.count() == block.get_sample_count() * 4);
}

TEST_CASE("ranged decoding: ends cut to the sample") {
    fake_input_ensure_services();
    fake_input::reset();
    struct row {
        const char* name;
        uint64_t total;
        uint32_t block;
        double start, length;
        uint64_t first, count;
        uint32_t last_block;
    } rows[] = {
        // 5 s from 10 s: 220 whole blocks of 1000 and one cut to the 500 frames left.
        {"start 10 length 5", 44100 * 200, 1000, 10, 5, 441000, 220500, 500},
        {"length 0 runs to the end", 44100 * 200, 1000, 150, 0, 6615000, 44100 * 50, 1000},
        {"negative length stops before the end", 44100 * 200, 1000, 150, -10, 6615000, 44100 * 40, 1000},
        {"a block ending exactly at the end", 44100 * 10, 4410, 0, 1, 0, 44100, 4410},
        // Half a frame past 3000: the block starting at frame 3000 is dropped.
        {"a block starting at the end", 44100 * 10, 1000, 0, 3000.5 / 44100, 0, 3000, 1000},
        // CD times (frames of 1/75 s) are not exact in binary; the range still holds the exact frames.
        {"cue times", 44100 * 4000, 4096, 13653.0 / 75, 123457.0 / 75, 13653 * 588, 123457 * 588, 0},
        {"a range past the end of the stream", 44100 * 10, 1000, 9, 5, 396900, 44100, 100},
    };
    for (const row& r : rows) {
        CAPTURE(std::string(r.name));
        fake_input::file_setup s;
        s.total = r.total;
        s.block = r.block;
        fake_input::set(path_a, s);
        decoder_slot slot;
        open_range(slot, path_a, r.start, r.length);
        range_result got = run_range(slot);
        CHECK(got.first == r.first);
        CHECK(got.count == r.count);
        CHECK(got.contiguous);
        if (r.last_block) CHECK(got.last_block == r.last_block);
        // At the end it stays at the end.
        audio_block_store block;
        CHECK_FALSE(decoder_range_decode(block, slot, nullptr, abort_never));
    }
    // The inner decoder is initialised for subsong 0 with the caller's flags.
    CHECK(fake_input::get(path_a).initialised.back() == 0);
    CHECK(fake_input::get(path_a).flags.back() == 1);
}

TEST_CASE("ranged decoding: raw bytes, pending flags and failures") {
    fake_input_ensure_services();
    fake_input::reset();
    fake_input::file_setup s;
    s.total = 44100 * 200;
    fake_input::set(path_a, s);

    decoder_slot slot;
    open_range(slot, path_a, 10, 5);
    CHECK_FALSE(slot.dynamic_info_pending);
    kpl::byte_array raw;
    range_result got = run_range(slot, &raw);
    CHECK(got.count == 220500);
    CHECK(raw.count() == 500 * 4);
    CHECK(slot.dynamic_info_pending);
    CHECK(slot.dynamic_track_info_pending);

    struct failure {
        const char* name;
        bool seekable;
        uint64_t total;
        double start, length;
    } failures[] = {
        {"not seekable", false, 44100 * 200, 10, 5},
        {"starting at the end of the file", true, 44100 * 200, 200, 0},
        {"stopping before it starts", true, 44100 * 200, 150, -60},
        {"a file without a length", true, 0, 0, 0},
    };
    for (const failure& f : failures) {
        CAPTURE(std::string(f.name));
        fake_input::file_setup bad;
        bad.seekable = f.seekable;
        bad.total = f.total;
        fake_input::set(path_b, bad);
        decoder_slot other;
        if (!f.seekable) {
            CHECK_THROWS_AS(open_range(other, path_b, f.start, f.length), ketrel_io::exception_io_object_not_seekable);
        } else {
            CHECK_THROWS_AS(open_range(other, path_b, f.start, f.length), ketrel_io::exception_io_data);
        }
    }
}

TEST_CASE("ranged decoding: seeking inside a range") {
    fake_input_ensure_services();
    fake_input::reset();
    fake_input::file_setup s;
    s.total = 44100 * 200;
    fake_input::set(path_a, s);

    decoder_slot slot;
    open_range(slot, path_a, 10, 5);
    decoder_range_seek(slot, 2, abort_never);
    CHECK(fake_input::get(path_a).seeks.back() == 44100 * 12);
    range_result got = run_range(slot);
    CHECK(got.first == 44100 * 12);
    CHECK(got.count == 44100 * 3);

    // At or past the end: the next decode reports the end without asking the decoder.
    size_t seeks = fake_input::get(path_a).seeks.size();
    decoder_range_seek(slot, 5, abort_never);
    CHECK(fake_input::get(path_a).seeks.size() == seeks);
    audio_block_store block;
    CHECK_FALSE(decoder_range_decode(block, slot, nullptr, abort_never));

    // Back to the start plays the whole range again; the dynamic-info flag is cleared by a seek.
    slot.dynamic_info_pending = true;
    decoder_range_seek(slot, 0, abort_never);
    CHECK_FALSE(slot.dynamic_info_pending);
    got = run_range(slot);
    CHECK(got.first == 441000);
    CHECK(got.count == 220500);
}
