// mpeg_bench: the MPEG input's costs beside the work it cannot avoid. Not a test; run it on an MP3 file:
//
//     wine build/mpeg_bench.exe C:\music\a.mp3
//
// It prints, in one run:
//   - decoding through the input against the same frames fed straight to the Layer III packet decoder
//     (the input's overhead in per cent);
//   - 50 random seeks, each followed by one block, with the file's seek table cold (a new path each time,
//     so every seek scans from the first frame) and warm (the table learnt by a full decode);
//   - info reading (get_info with tags) of 1,000 tagged copies of the file in files per second, against plain
//     reads of their first 64 KiB.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "compressed_inputs/mpeg/mpeg_frame.h"
#include "compressed_inputs/system_codecs/system_codecs.h"
#include "foundation/kpl/codepage.h"
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

// The frames of the file after its leading ID3v2 tag, fed one by one to the packet decoder.
uint64_t decode_straight(const std::vector<uint8_t>& data) {
    size_t pos = 0;
    if (data.size() > 10 && std::memcmp(data.data(), "ID3", 3) == 0) {
        pos = 10 + (size_t(data[6]) << 21 | size_t(data[7]) << 14 | size_t(data[8]) << 7 | data[9]);
    }
    mpeg_frame_header first;
    while (pos + 4 <= data.size() && !mpeg_parse_frame_header(data.data() + pos, first)) ++pos;
    if (first.layer == 0) return 0;
    const kpl::guid owners[3] = {codec_owner_mpeg_layer1, codec_owner_mpeg_layer2, codec_owner_mpeg_layer3};
    service_ptr<codec_packet_decoder> decoder;
    codec_packet_decoder_open(decoder, true, owners[first.layer - 1], 0, nullptr, 0, abort_never);
    decoder->property(codec_property_channels, first.channels, nullptr, 0);
    decoder->property(codec_property_sample_rate, first.sample_rate, nullptr, 0);
    audio_block_store_pow2 block;
    uint64_t frames = 0;
    mpeg_frame_header h;
    while (pos + 4 <= data.size() && mpeg_parse_frame_header(data.data() + pos, h) && pos + h.frame_bytes <= data.size()) {
        decoder->decode_packet(data.data() + pos, h.frame_bytes, block, abort_never);
        frames += block.get_sample_count();
        pos += h.frame_bytes;
    }
    decoder->decode_packet(nullptr, 0, block, abort_never);
    return frames + block.get_sample_count();
}

double seek_round(const std::string& location, double length, uint32_t round) {
    service_ptr<track_decoder> decoder;
    input_open_decoder(decoder, file_stream_ref(), location.c_str(), abort_never, false);
    decoder->initialise(0, 0, abort_never);
    std::mt19937 generator(round);
    std::uniform_real_distribution<double> where(0, length * 0.98);
    audio_block_store_pow2 block;
    const double start = bench_seconds();
    for (int i = 0; i < 50; ++i) {
        decoder->seek_seconds(where(generator), abort_never);
        decoder->decode_chunk(block, abort_never);
    }
    return bench_seconds() - start;
}

// An ID3v2.3 tag with a title, an artist and 2 KiB of padding.
std::vector<uint8_t> small_tag(int n) {
    std::vector<uint8_t> frames;
    auto text_frame = [&](const char* id, const std::string& text) {
        const uint32_t size = static_cast<uint32_t>(text.size() + 1);
        frames.insert(frames.end(), id, id + 4);
        frames.push_back(uint8_t(size >> 24)), frames.push_back(uint8_t(size >> 16));
        frames.push_back(uint8_t(size >> 8)), frames.push_back(uint8_t(size));
        frames.push_back(0), frames.push_back(0), frames.push_back(0);
        frames.insert(frames.end(), text.begin(), text.end());
    };
    text_frame("TIT2", "Track " + std::to_string(n));
    text_frame("TPE1", "Bench artist");
    frames.resize(frames.size() + 2048, 0);
    const uint32_t s = static_cast<uint32_t>(frames.size());
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0, uint8_t(s >> 21 & 0x7F), uint8_t(s >> 14 & 0x7F),
                                uint8_t(s >> 7 & 0x7F), uint8_t(s & 0x7F)};
    tag.insert(tag.end(), frames.begin(), frames.end());
    return tag;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) {
        std::fprintf(stderr, "usage: mpeg_bench FILE.mp3 (a Windows path)\n");
        return 2;
    }
    CoInitialize(nullptr);
    service_registry::table().build(service_registration_list());
    const std::wstring path = argv[1];
    const std::string location = bench_location(path);
    const std::vector<uint8_t> data = read_file(path);
    try {
        double best_input = 1e30, best_straight = 1e30;
        uint64_t frames_input = 0, frames_straight = 0;
        for (int round = 0; round < 5; ++round) {
            double t = bench_seconds();
            frames_input = decode_through_input(location);
            best_input = std::min(best_input, bench_seconds() - t);
            t = bench_seconds();
            frames_straight = decode_straight(data);
            best_straight = std::min(best_straight, bench_seconds() - t);
        }
        std::printf("file: %s (%llu sample frames through the input, %llu fed straight)\n", location.c_str(),
                    static_cast<unsigned long long>(frames_input), static_cast<unsigned long long>(frames_straight));
        std::printf("%-34s %8.4f s\n%-34s %8.4f s\noverhead of the input: %+.1f%%\n", "frames to the packet decoder",
                    best_straight, "decoding through the input", best_input, (best_input / best_straight - 1) * 100);

        service_ptr<track_info_reader> reader;
        input_open_info_reader(reader, file_stream_ref(), location.c_str(), abort_never, false);
        track_info_store info;
        reader->get_info(0, info, abort_never);
        const double length = info.get_length();
        // Cold: copies under new names, so the seek table knows nothing of them.
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        const std::wstring base = std::wstring(folder) + L"vorn-mpeg-bench";
        CreateDirectoryW(base.c_str(), nullptr);
        double cold = 0;
        for (int i = 0; i < 3; ++i) {
            const std::wstring copy = base + L"\\cold" + std::to_wstring(GetTickCount()) + L"_" + std::to_wstring(i) + L".mp3";
            CopyFileW(path.c_str(), copy.c_str(), FALSE);
            cold += seek_round(bench_location(copy), length, 11 + i);
            DeleteFileW(copy.c_str());
        }
        decode_through_input(location);  // learns the seek table
        double warm = 0;
        for (int i = 0; i < 3; ++i) warm += seek_round(location, length, 11 + i);
        std::printf("50 random seeks, seek table cold: %8.2f ms per seek\n", cold / 150 * 1000);
        std::printf("50 random seeks, seek table warm: %8.2f ms per seek\n", warm / 150 * 1000);

        std::vector<std::wstring> copies;
        for (int i = 0; i < 1000; ++i) {
            const std::wstring copy = base + L"\\tagged" + std::to_wstring(i) + L".mp3";
            std::vector<uint8_t> bytes = small_tag(i);
            bytes.insert(bytes.end(), data.begin(), data.end());
            FILE* out = _wfopen(copy.c_str(), L"wb");
            if (!out) throw std::runtime_error("cannot write the tagged copies");
            std::fwrite(bytes.data(), 1, bytes.size(), out);
            std::fclose(out);
            copies.push_back(copy);
        }
        double t = bench_seconds();
        for (const std::wstring& copy : copies) {
            service_ptr<track_info_reader> r;
            input_open_info_reader(r, file_stream_ref(), bench_location(copy).c_str(), abort_never, false);
            track_info_store i;
            r->get_info(0, i, abort_never);
        }
        const double info_time = bench_seconds() - t;
        t = bench_seconds();
        std::vector<uint8_t> buffer(65536);
        for (const std::wstring& copy : copies) {
            FILE* in = _wfopen(copy.c_str(), L"rb");
            if (in) {
                if (std::fread(buffer.data(), 1, buffer.size(), in) == 0) std::fprintf(stderr, "empty copy\n");
                std::fclose(in);
            }
        }
        const double read_time = bench_seconds() - t;
        std::printf("info of 1000 tagged files:        %8.0f files/s\n", 1000 / info_time);
        std::printf("plain reads of their first 64 KiB:%8.0f files/s\n", 1000 / read_time);
        for (const std::wstring& copy : copies) DeleteFileW(copy.c_str());
        RemoveDirectoryW(base.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mpeg_bench: %s\n", e.what());
        return 1;
    }
    CoUninitialize();
    return 0;
}
