#include <doctest/doctest.h>

#include <cstdlib>
#include <string>

#include "foundation/services/advanced_setting_entries.h"
#include "foundation/services/service_registry.h"
#include "inputs/wavpack/wavpack_input.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"
#include "tests/inputs/input_test_support.h"

namespace {

// The decoder's profile after set-up: the dynamic track info's "codec_profile" the first time, "" when none.
std::string profile_after_setup(const std::string& location, bool& again) {
    service_ptr<track_decoder> d;
    wavpack_input_service().open_decoder(d, file_stream_ref(), location.c_str(), abort_never);
    d->initialise(0, 4, abort_never);
    track_info_store info;
    double offset = -1;
    std::string profile;
    if (d->dynamic_track_info(info, offset)) profile = info.info_get_by_name("codec_profile");
    track_info_store second;
    again = d->dynamic_track_info(second, offset);
    audio_block_store block;
    CHECK(d->decode_chunk(block, abort_never));
    return profile;
}

}  // namespace

// Run by wavpack_correction_test.sh with VORN_WV_DIR naming a folder that holds hybrid.wv (its hybrid.wvc in
// the subfolder "second"), lossless.wv and beside.wv with beside.wvc next to it.
TEST_CASE("WavPack correction files found beside the file and in the setting's folders") {
    const char* dir = std::getenv("VORN_WV_DIR");
    if (!dir) return;
    input_test::services_built();
    const std::string base = std::string("file://") + dir + "\\";
    bool again = true;

    CHECK(profile_after_setup(base + "beside.wv", again) == "normal, hybrid + correction");
    CHECK_FALSE(again);   // once per set-up

    advanced_settings::correction_file_folders.setting().set_text_value("", 0);
    CHECK(profile_after_setup(base + "hybrid.wv", again) == "");

    // The first folder has nothing; the second (ending in a backslash) has the file.
    std::string folders = std::string(dir) + "\\first;" + dir + "\\second\\";
    advanced_settings::correction_file_folders.setting().set_text_value(folders.c_str(), folders.size());
    CHECK(profile_after_setup(base + "hybrid.wv", again) == "normal, hybrid + correction");
    service_ptr<track_info_reader> reader;
    wavpack_input_service().open_info_reader(reader, file_stream_ref(), (base + "hybrid.wv").c_str(), abort_never);
    track_info_store info;
    reader->get_info(0, info, abort_never);
    CHECK(std::string(info.info_get_by_name("encoding")) == "hybrid");
    CHECK(std::string(info.info_get_by_name("codec_profile")) == "normal, hybrid");

    // A lossless file never reports a correction file, even with one of its name in a folder.
    CHECK(profile_after_setup(base + "lossless.wv", again) == "");
    advanced_settings::correction_file_folders.setting().set_text_value("", 0);
}

// Run by wavpack_correction_test.sh too: u8.wv is an 8-bit mono file of 8000 samples at 8000 Hz, untagged.
TEST_CASE("WavPack decoding details: raw 8-bit output, seeking to the end, bitrate of an untagged file") {
    const char* dir = std::getenv("VORN_WV_DIR");
    if (!dir) return;
    input_test::services_built();
    const std::string location = std::string("file://") + dir + "\\u8.wv";
    service_ptr<track_decoder> d;
    wavpack_input_service().open_decoder(d, file_stream_ref(), location.c_str(), abort_never);
    track_info_store info;
    d->get_info(0, info, abort_never);
    CHECK(info.get_length() == doctest::Approx(1.0));
    file_stats stats = d->get_file_stats(abort_never);
    const int64_t expected_bitrate = static_cast<int64_t>(stats.size * 8 / (1.0 * 1000) + 0.5);
    CHECK(info.info_get_int("bitrate") == expected_bitrate);

    service_ptr<track_decoder_v2> v2;
    REQUIRE(service_query(d.get(), v2));
    v2->initialise(0, 0, abort_never);
    audio_block_store block;
    kpl::byte_array raw;
    REQUIRE(v2->decode_chunk_raw(block, raw, abort_never));
    REQUIRE(raw.count() == block.get_sample_count());
    for (uint32_t i = 0; i < raw.count(); ++i) {
        // Unsigned: the float -1.0 .. 1.0 maps to 0 .. 255 around 128.
        const int expected = static_cast<int>(block.get_data()[i] * 128.0f) + 128;
        if (raw[i] != expected) {
            CHECK(int(raw[i]) == expected);
            break;
        }
    }
    v2->seek_seconds(1.0, abort_never);
    CHECK_FALSE(v2->decode_chunk(block, abort_never));
    v2->seek_seconds(0.5, abort_never);
    REQUIRE(v2->decode_chunk(block, abort_never));
    CHECK(block.get_sample_count() == 4000);
}
