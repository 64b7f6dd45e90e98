#include <doctest/doctest.h>

#include <cstring>
#include <string>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "inputs/tag_remover.h"
#include "inputs/wav/wav_chunks.h"
#include "inputs/wav/wav_input.h"
#include "metadata/audio_block.h"
#include "metadata/tags/tag_exceptions.h"
#include "metadata/track_info.h"
#include "tests/inputs/wav/wav_builder.h"
#include "tests/inputs/input_test_support.h"

using namespace wav_test;

namespace {

bytes info_list(const char* code, const char* value) {
    bytes b;
    put_text(b, "INFO");
    put_text(b, code);
    put32(b, static_cast<uint32_t>(std::strlen(value) + 1));
    put_text(b, value);
    b.push_back(0);
    if ((std::strlen(value) + 1) & 1) b.push_back(0);
    return b;
}

void put_guid_of(bytes& b, const kpl::guid& g) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&g);
    b.insert(b.end(), p, p + 16);
}

}  // namespace

TEST_CASE("WAVE input facets: extensions, subsongs, the writer's tag removal, formats that take no tags") {
    input_test::services_built();
    input_service& wav = wav_input_service();
    CHECK(wav.accepts_extension("a.WAV", "WAV"));
    CHECK(wav.accepts_extension("a.wave", "wave"));
    CHECK(wav.accepts_extension("a.w64", "W64"));
    CHECK_FALSE(wav.accepts_extension("a.wv", "wv"));
    CHECK_FALSE(wav.accepts_content_type("audio/wav"));

    const bytes pcm(400, 0x80);
    file_stream_ref f = wav_builder()
                            .chunk("fmt ", pcm_format(1, 1, 8000, 8))
                            .chunk("LIST", info_list("INAM", "Title"))
                            .chunk("data", pcm)
                            .file();
    service_ptr<track_info_writer> writer;
    wav.open_info_writer(writer, f, "mem.wav", abort_never);
    CHECK(writer->subsong_count() == 1);
    CHECK(writer->subsong_id(0) == 0);
    track_info_store info;
    writer->get_info(0, info, abort_never);
    CHECK(std::string(info.meta_get_first("title")) == "Title");
    CHECK(info.get_length() == doctest::Approx(0.05));
    track_info_store other;
    CHECK_THROWS_AS(writer->get_info(1, other, abort_never), ketrel_io::exception_io_data);
    CHECK_THROWS_AS(writer->stage_info(1, info, abort_never), ketrel_io::exception_io_data);

    service_ptr<track_info_writer_tag_remover> remover;
    REQUIRE(service_query(writer.get(), remover));
    remover->remove_all_tags(abort_never);
    track_info_store after;
    writer->get_info(0, after, abort_never);
    CHECK(after.meta_count() == 0);

    // A decoder facet gives the samples; a second subsong does not exist.
    service_ptr<track_decoder> decoder;
    wav.open_decoder(decoder, f, "mem.wav", abort_never);
    CHECK_THROWS_AS(decoder->initialise(1, 0, abort_never), ketrel_io::exception_io_data);
    decoder->initialise(0, 0, abort_never);
    audio_block_store block;
    REQUIRE(decoder->decode_chunk(block, abort_never));
    CHECK(block.get_sample_count() == 400);

    // Wave64 opens for reading and refuses a writer.
    bytes w64;
    put_guid_of(w64, wav_guid_riff);
    put64(w64, 0);
    put_guid_of(w64, wav_guid_wave);
    bytes fmt = pcm_format(1, 1, 8000, 8);
    put_guid_of(w64, wav_guid_fmt);
    put64(w64, fmt.size() + 24);
    w64.insert(w64.end(), fmt.begin(), fmt.end());
    while (w64.size() % 8) w64.push_back(0);
    put_guid_of(w64, wav_guid_data);
    put64(w64, pcm.size() + 24);
    w64.insert(w64.end(), pcm.begin(), pcm.end());
    uint64_t total = w64.size();
    std::memcpy(w64.data() + 16, &total, 8);
    file_stream_ref g = wav_builder::file_of(w64);
    service_ptr<track_info_reader> reader;
    wav.open_info_reader(reader, g, "mem.w64", abort_never);
    track_info_store w64_info;
    reader->get_info(0, w64_info, abort_never);
    CHECK(std::string(w64_info.info_get_by_name("codec")) == "PCM");
    service_ptr<track_info_writer> refused;
    try {
        wav.open_info_writer(refused, g, "mem.w64", abort_never);
        FAIL("a Wave64 writer opened");
    } catch (const exception_tagging_unsupported& e) {
        CHECK(std::string(e.what()) == "Tagging of this file format is not supported");
    }
    CHECK(wav_builder::content(*g) == w64);
}
