// mp4_bench: the MP4 input's costs beside the work it cannot avoid. Not a test; run it on an ALAC .m4a file:
//
//     wine build/mp4_bench.exe C:\music\a.m4a
//
// It prints, in one run:
//   - ALAC decoding through the input against the same frames, found by atomkit's sample index in memory, fed
//     straight to the ALAC packet decoder (the input's overhead in per cent);
//   - opening plus get_info of 1,000 copies of the file in files per second, against reading just their movie
//     boxes (seek to the box, read its bytes).
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "compressed_inputs/mp4/atomkit/atom_stream.h"
#include "compressed_inputs/mp4/atomkit/movie_file.h"
#include "compressed_inputs/mp4/atomkit/sample_index.h"
#include "foundation/services/service_registry.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/input_probe.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"
#include "tools/bench/bench_support.h"

namespace {

std::vector<uint8_t> read_file(const std::wstring& path) {
    std::vector<uint8_t> data;
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (!in) return data;
    uint8_t chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) data.insert(data.end(), chunk, chunk + n);
    std::fclose(in);
    return data;
}

uint64_t decode_through_input(const std::string& location) {
    service_ptr<track_decoder> decoder;
    input_open_decoder(decoder, file_stream_ref(), location.c_str(), abort_never, false);
    decoder->initialise(0, 0, abort_never);
    audio_block_store_pow2 block;
    uint64_t frames = 0;
    while (decoder->decode_chunk(block, abort_never)) frames += block.get_sample_count();
    return frames;
}

// Every sample of the first ALAC track, from the file's bytes in memory, to the packet decoder.
uint64_t decode_straight(const std::vector<uint8_t>& data, const atomkit::movie_file& model) {
    const atomkit::track_record* track = nullptr;
    for (const atomkit::track_ptr& t : model.tracks) {
        if (t->kind == atomkit::kind_alac) {
            track = t.get();
            break;
        }
    }
    if (!track) throw std::runtime_error("no ALAC track");
    service_ptr<codec_packet_decoder> decoder;
    codec_packet_decoder_open(decoder, true, codec_owner_alac, 0, track->decoder_setup.data(),
                              track->decoder_setup.size(), abort_never);
    audio_block_store_pow2 block;
    uint64_t frames = 0;
    atomkit::sample_cursor c;
    atomkit::cursor_seek(c, *track, 0);
    do {
        const atomkit::sample_info i = atomkit::cursor_info(c, *track);
        if (i.file_offset + i.size > data.size()) break;
        decoder->decode_packet(data.data() + i.file_offset, i.size, block, abort_never);
        frames += block.get_sample_count();
    } while (atomkit::cursor_next(c, *track));
    return frames;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) {
        std::fprintf(stderr, "usage: mp4_bench FILE.m4a (a Windows path, ALAC)\n");
        return 2;
    }
    service_registry::table().build(service_registration_list());
    const std::wstring path = argv[1];
    const std::string location = bench_location(path);
    const std::vector<uint8_t> data = read_file(path);
    try {
        atomkit::movie_file model;
        atomkit::memory_atom_stream stream(data.data(), data.size());
        model.open(stream, 0x13, true);

        double best_input = 1e30, best_straight = 1e30;
        uint64_t frames_input = 0, frames_straight = 0;
        for (int round = 0; round < 5; ++round) {
            double t = bench_seconds();
            frames_input = decode_through_input(location);
            best_input = std::min(best_input, bench_seconds() - t);
            t = bench_seconds();
            frames_straight = decode_straight(data, model);
            best_straight = std::min(best_straight, bench_seconds() - t);
        }
        std::printf("file: %s (%llu sample frames through the input, %llu fed straight)\n", location.c_str(),
                    static_cast<unsigned long long>(frames_input), static_cast<unsigned long long>(frames_straight));
        std::printf("%-34s %8.4f s\n%-34s %8.4f s\noverhead of the input: %+.1f%%\n", "frames to the packet decoder",
                    best_straight, "decoding through the input", best_input, (best_input / best_straight - 1) * 100);

        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        const std::wstring base = std::wstring(folder) + L"vorn-mp4-bench";
        CreateDirectoryW(base.c_str(), nullptr);
        std::vector<std::wstring> copies;
        for (int i = 0; i < 1000; ++i) {
            const std::wstring copy = base + L"\\copy" + std::to_wstring(i) + L".m4a";
            if (!CopyFileW(path.c_str(), copy.c_str(), FALSE)) throw std::runtime_error("cannot write the copies");
            copies.push_back(copy);
        }
        double t = bench_seconds();
        for (const std::wstring& copy : copies) {
            service_ptr<track_info_reader> r;
            input_open_info_reader(r, file_stream_ref(), bench_location(copy).c_str(), abort_never, false);
            track_info_store i;
            r->get_info(r->subsong_id(0), i, abort_never);
        }
        const double info_time = bench_seconds() - t;
        t = bench_seconds();
        std::vector<uint8_t> buffer(size_t(model.moov_size));
        for (const std::wstring& copy : copies) {
            FILE* in = _wfopen(copy.c_str(), L"rb");
            if (in) {
                if (_fseeki64(in, int64_t(model.moov_offset), SEEK_SET) != 0 ||
                    std::fread(buffer.data(), 1, buffer.size(), in) != buffer.size()) {
                    std::fprintf(stderr, "short copy\n");
                }
                std::fclose(in);
            }
        }
        const double read_time = bench_seconds() - t;
        std::printf("open + get_info of 1000 files:    %8.0f files/s\n", 1000 / info_time);
        std::printf("reading their movie boxes:        %8.0f files/s\n", 1000 / read_time);
        for (const std::wstring& copy : copies) DeleteFileW(copy.c_str());
        RemoveDirectoryW(base.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mp4_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
