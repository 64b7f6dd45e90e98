// Raw samples of a 32-bit integer WavPack stream made here with libwavpack's encoder: decode_chunk_raw gives
// the stored integers, all 32 bits of them.
#include <doctest/doctest.h>

#include <wavpack/wavpack.h>

#include <cstring>
#include <vector>

#include "inputs/input_service.h"
#include "inputs/wavpack/wavpack_input.h"
#include "metadata/audio_block.h"
#include "tests/inputs/input_test_support.h"

namespace {

int write_block(void* id, void* data, int32_t count) {
    auto* out = static_cast<std::vector<uint8_t>*>(id);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + count);
    return 1;
}

int32_t sample(uint32_t i, uint32_t c) { return static_cast<int32_t>(0x80000001u + i * (2654435761u + c * 40503u)); }

std::vector<uint8_t> encode_int32(uint32_t frames) {
    std::vector<uint8_t> out;
    WavpackContext* context = WavpackOpenFileOutput(&write_block, &out, nullptr);
    REQUIRE(context != nullptr);
    WavpackConfig config;
    std::memset(&config, 0, sizeof config);
    config.bytes_per_sample = 4;
    config.bits_per_sample = 32;
    config.channel_mask = 3;
    config.num_channels = 2;
    config.sample_rate = 44100;
    REQUIRE(WavpackSetConfiguration64(context, &config, frames, nullptr));
    REQUIRE(WavpackPackInit(context));
    std::vector<int32_t> pcm;
    for (uint32_t i = 0; i < frames; ++i)
        for (uint32_t c = 0; c < 2; ++c) pcm.push_back(sample(i, c));
    REQUIRE(WavpackPackSamples(context, pcm.data(), frames));
    REQUIRE(WavpackFlushSamples(context));
    WavpackCloseFile(context);
    return out;
}

}  // namespace

TEST_CASE("32-bit integer WavPack samples come out of decode_chunk_raw as stored") {
    input_test::services_built();
    service_ptr<track_decoder> decoder;
    wavpack_input_service().open_decoder(decoder, input_test::memory_file_with(encode_int32(5000)), "m.wv", abort_never);
    service_ptr<track_decoder_v2> v2;
    REQUIRE(service_query(decoder.get(), v2));
    v2->initialise(0, 4, abort_never);
    audio_block_store block;
    kpl::byte_array raw;
    uint32_t frame = 0;
    while (v2->decode_chunk_raw(block, raw, abort_never)) {
        REQUIRE(raw.count() == block.get_sample_count() * 2 * 4);
        for (uint32_t i = 0; i < block.get_sample_count(); ++i, ++frame) {
            for (uint32_t c = 0; c < 2; ++c) {
                int32_t value;
                std::memcpy(&value, raw.data() + (i * 2 + c) * 4, 4);
                REQUIRE(value == sample(frame, c));
            }
        }
    }
    CHECK(frame == 5000);
}
