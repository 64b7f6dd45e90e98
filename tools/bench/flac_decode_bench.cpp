// flac_decode_bench: FLAC decoding speed through the input framework (probing, the FLAC input, float audio
// blocks, the program's file objects) beside libFLAC's own decode loop over a C stream of the same file.
// Not a test; run it to follow the framework's overhead:
//
//     wine build/flac_decode_bench.exe [FILE.flac]     (Windows path; without one, a 3-minute stereo
//                                                       16-bit file is made in the temporary folder)
//
// Each line: the path taken, the best of nine rounds in seconds, audio seconds per second of work
// (times real time) and the framework's time over libFLAC's.
#include <windows.h>
#include <shellapi.h>
#include <shellapi.h>

#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/services/service_registry.h"
#include "inputs/input_probe.h"
#include "metadata/audio_block.h"

namespace {

double seconds_now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A 3-minute stereo 16-bit file at 44100 Hz: two tones with noise, as compressible as ordinary music.
std::wstring make_fixture() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + L"vorn-flac-bench.flac";
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out) return L"";
    FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
    FLAC__stream_encoder_set_channels(encoder, 2);
    FLAC__stream_encoder_set_bits_per_sample(encoder, 16);
    FLAC__stream_encoder_set_sample_rate(encoder, 44100);
    FLAC__stream_encoder_set_compression_level(encoder, 5);
    FLAC__stream_encoder_init_FILE(encoder, out, nullptr, nullptr);
    const uint32_t frames = 44100 * 180, chunk = 4096;
    std::vector<FLAC__int32> pcm(chunk * 2);
    uint32_t state = 1;
    for (uint32_t done = 0; done < frames; done += chunk) {
        for (uint32_t i = 0; i < chunk; ++i) {
            const double t = (done + i) / 44100.0;
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 22) - 512;
            pcm[2 * i] = static_cast<FLAC__int32>(12000 * std::sin(2 * 3.14159265 * 440 * t) + noise);
            pcm[2 * i + 1] = static_cast<FLAC__int32>(9000 * std::sin(2 * 3.14159265 * 659 * t) + noise);
        }
        FLAC__stream_encoder_process_interleaved(encoder, pcm.data(), chunk);
    }
    FLAC__stream_encoder_finish(encoder);  // closes the file
    FLAC__stream_encoder_delete(encoder);
    return path;
}

// The framework: probing opens the FLAC input's decoder, which fills float blocks.
double framework_round(const std::string& location, uint64_t& frames) {
    const double start = seconds_now();
    service_ptr<track_decoder> decoder;
    input_open_decoder(decoder, file_stream_ref(), location.c_str(), abort_never, false);
    decoder->initialise(0, 4, abort_never);
    audio_block_store_pow2 block;
    frames = 0;
    while (decoder->decode_chunk(block, abort_never)) frames += block.get_sample_count();
    return seconds_now() - start;
}

FLAC__StreamDecoderWriteStatus count_frames(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                            const FLAC__int32* const[], void* data) {
    *static_cast<uint64_t*>(data) += frame->header.blocksize;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void ignore_error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

// libFLAC alone: its own loop over a C stream, a write callback that only counts.
double libflac_round(const std::wstring& path, uint64_t& frames) {
    const double start = seconds_now();
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (!in) return -1;
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    frames = 0;
    FLAC__stream_decoder_init_FILE(decoder, in, &count_frames, nullptr, &ignore_error, &frames);
    FLAC__stream_decoder_process_until_end_of_stream(decoder);
    FLAC__stream_decoder_finish(decoder);  // closes the file
    FLAC__stream_decoder_delete(decoder);
    return seconds_now() - start;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    service_registry::table().build(service_registration_list());
    std::wstring path = argc > 1 ? argv[1] : make_fixture();
    if (path.empty()) {
        std::fprintf(stderr, "flac_decode_bench: cannot make the test file\n");
        return 1;
    }
    const std::string location = std::string("file://") + kpl::utf8_string_from_utf16(path.c_str()).c_str();

    double best_framework = 1e30, best_libflac = 1e30;
    uint64_t frames_framework = 0, frames_libflac = 0;
    try {
        for (int round = 0; round < 9; ++round) {
            const double f = framework_round(location, frames_framework);
            const double l = libflac_round(path, frames_libflac);
            if (f < best_framework) best_framework = f;
            if (l >= 0 && l < best_libflac) best_libflac = l;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "flac_decode_bench: %s\n", e.what());
        return 1;
    }
    if (frames_framework != frames_libflac || frames_libflac == 0) {
        std::fprintf(stderr, "flac_decode_bench: the two paths decoded %llu and %llu sample frames\n",
                     static_cast<unsigned long long>(frames_framework), static_cast<unsigned long long>(frames_libflac));
        return 1;
    }
    // The sample rate is not known here without parsing; both paths decode the same frames, so times real
    // time is given for 44100 Hz only when the file is the made one.
    const double audio_seconds = argc > 1 ? 0 : frames_libflac / 44100.0;
    std::printf("file: %s (%llu sample frames)\n", location.c_str(), static_cast<unsigned long long>(frames_libflac));
    std::printf("%-28s %8.4f s", "libFLAC decode loop", best_libflac);
    if (audio_seconds > 0) std::printf("  %7.1fx real time", audio_seconds / best_libflac);
    std::printf("\n%-28s %8.4f s", "input framework", best_framework);
    if (audio_seconds > 0) std::printf("  %7.1fx real time", audio_seconds / best_framework);
    std::printf("\noverhead of the framework: %+.1f%%\n", (best_framework / best_libflac - 1) * 100);
    return 0;
}
