// matroska_bench: the Matroska input's costs beside the work it cannot avoid. Not a test; run it on a FLAC file,
// the same audio in Matroska, and a Matroska file with about 2,000 clusters:
//
//     flac -o a.flac a.wav && mkvmerge -o a.mka a.flac
//     mkvmerge -o many.mka --disable-lacing --cluster-length 1 long.flac     (a 6-minute track: ~2,000 clusters)
//     wine build/matroska_bench.exe C:\m\a.flac C:\m\a.mka C:\m\many.mka
//
// It prints, in one run:
//   - decoding the Matroska file through the input against the FLAC file through the native input (time ratio);
//   - opening the many-cluster file and reading its info through the input (files per second), against reading
//     the headers of its Segment's level-1 elements with plain file reads (the scan's floor).
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "foundation/services/service_registry.h"
#include "inputs/input_probe.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"
#include "tools/bench/bench_support.h"

namespace {

uint64_t decode_all(const std::string& location) {
    service_ptr<track_decoder> decoder;
    input_open_decoder(decoder, file_stream_ref(), location.c_str(), abort_never, false);
    decoder->initialise(decoder->subsong_id(0), 0, abort_never);
    audio_block_store_pow2 block;
    uint64_t frames = 0;
    while (decoder->decode_chunk(block, abort_never)) frames += block.get_sample_count();
    return frames;
}

void open_with_info(const std::string& location) {
    service_ptr<track_info_reader> reader;
    input_open_info_reader(reader, file_stream_ref(), location.c_str(), abort_never, false);
    track_info_store info;
    reader->get_info(reader->subsong_id(0), info, abort_never);
}

// Element IDs and sizes as the file stores them.
bool read_vint(HANDLE file, uint64_t& position, uint64_t& value, bool keep_marker) {
    uint8_t bytes[8];
    DWORD got = 0;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(position);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !ReadFile(file, bytes, 8, &got, nullptr) || got == 0)
        return false;
    int length = 1;
    while (length <= 8 && !(bytes[0] & (0x80 >> (length - 1)))) ++length;
    if (length > 8 || static_cast<DWORD>(length) > got) return false;
    value = keep_marker ? bytes[0] : bytes[0] & (0xFF >> length);
    for (int i = 1; i < length; ++i) value = value << 8 | bytes[i];
    position += static_cast<uint64_t>(length);
    return true;
}

// The number of level-1 elements of the first Segment, read header by header.
uint32_t level1_headers(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    uint64_t position = 0, id = 0, size = 0;
    uint32_t count = 0;
    while (read_vint(file, position, id, true) && read_vint(file, position, size, false)) {
        if (id == 0x18538067) {  // the Segment: its children
            const uint64_t end = position + size;
            while (position < end && read_vint(file, position, id, true) && read_vint(file, position, size, false)) {
                position += size;
                ++count;
            }
            break;
        }
        position += size;
    }
    CloseHandle(file);
    return count;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 4) {
        std::fprintf(stderr, "usage: matroska_bench A.flac A.mka MANY_CLUSTERS.mka\n");
        return 2;
    }
    service_registry::table().build(service_registration_list());
    try {
        const std::string flac = bench_location(argv[1]), mka = bench_location(argv[2]), many = bench_location(argv[3]);
        decode_all(flac);  // warm the file cache
        decode_all(mka);
        double start = bench_seconds();
        const uint64_t native_frames = decode_all(flac);
        const double native = bench_seconds() - start;
        start = bench_seconds();
        const uint64_t mka_frames = decode_all(mka);
        const double matroska = bench_seconds() - start;
        std::printf("decode: FLAC %.3f s (%llu frames), FLAC in Matroska %.3f s (%llu frames), ratio %.2f\n", native,
                    static_cast<unsigned long long>(native_frames), matroska,
                    static_cast<unsigned long long>(mka_frames), matroska / native);

        const int rounds = 200;
        uint32_t elements = 0;
        start = bench_seconds();
        for (int i = 0; i < rounds; ++i) elements = level1_headers(argv[3]);
        const double headers = (bench_seconds() - start) / rounds;
        start = bench_seconds();
        for (int i = 0; i < rounds; ++i) open_with_info(many);
        const double opened = (bench_seconds() - start) / rounds;
        std::printf("open + get_info: %.2f ms (%.0f files/s); level-1 headers (%u elements): %.2f ms; ratio %.2f\n",
                    opened * 1000, 1 / opened, elements, headers * 1000, opened / headers);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "matroska_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
