// wma_bench: WMA decoding through the input framework (probing, the WMA input, its IStream over the program's
// file objects, float audio blocks) beside the bare Windows Media sync-reader loop on the same file, and
// header reading of 1,000 copies of the file through the input beside reading their first 64 KiB.
// Not a test; run it to follow the input's overhead:
//
//     ffmpeg -f lavfi -i "sine=frequency=440:duration=180" -ac 2 -c:a wmav2 -b:a 128k -metadata title=T t.wma
//     wine build/wma_bench.exe Z:\path\to\t.wma [COPIES]
//
// Each decode line: the best of five rounds in seconds and the input's time over the bare loop. The header
// lines: files per second.
#include <windows.h>
#include <shellapi.h>
#include <wmsdkidl.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/services/service_registry.h"
#include "inputs/input_probe.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"
#include "tools/bench/bench_support.h"

namespace {

double input_round(const std::string& location, uint64_t& frames) {
    const double start = bench_seconds();
    service_ptr<track_decoder> decoder;
    input_open_decoder(decoder, file_stream_ref(), location.c_str(), abort_never, false);
    decoder->initialise(0, 4, abort_never);
    audio_block_store_pow2 block;
    frames = 0;
    while (decoder->decode_chunk(block, abort_never)) frames += block.get_sample_count();
    return bench_seconds() - start;
}

using create_reader_fn = HRESULT(WINAPI*)(IUnknown*, DWORD, IWMSyncReader**);

// The runtime alone: its reader opens the path itself, samples are only counted.
double bare_round(HMODULE runtime, const std::wstring& path, uint64_t& bytes) {
    const double start = bench_seconds();
    auto create = reinterpret_cast<create_reader_fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(runtime, "WMCreateSyncReader")));
    IWMSyncReader* reader = nullptr;
    bytes = 0;
    if (!create || FAILED(create(nullptr, 0, &reader))) return -1;
    if (SUCCEEDED(reader->Open(path.c_str()))) {
        // The first audio stream's number, as the input takes it.
        WORD number = 0;
        IWMProfile* profile = nullptr;
        if (SUCCEEDED(reader->QueryInterface(__uuidof(IWMProfile), reinterpret_cast<void**>(&profile)))) {
            DWORD count = 0;
            profile->GetStreamCount(&count);
            for (DWORD i = 0; i < count && number == 0; ++i) {
                IWMStreamConfig* config = nullptr;
                GUID type;
                if (FAILED(profile->GetStream(i, &config))) continue;
                if (SUCCEEDED(config->GetStreamType(&type)) && IsEqualGUID(type, WMMEDIATYPE_Audio)) {
                    config->GetStreamNumber(&number);
                }
                config->Release();
            }
            profile->Release();
        }
        for (;;) {
            INSSBuffer* sample = nullptr;
            QWORD time, duration;
            DWORD flags, output;
            WORD stream;
            if (FAILED(reader->GetNextSample(number, &sample, &time, &duration, &flags, &output, &stream))) break;
            DWORD length = 0;
            sample->GetLength(&length);
            bytes += length;
            sample->Release();
        }
        reader->Close();
    }
    reader->Release();
    return bench_seconds() - start;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) {
        std::fprintf(stderr, "usage: wma_bench FILE.wma [COPIES]\n");
        return 2;
    }
    const std::wstring path = argv[1];
    const int copies = argc > 2 ? _wtoi(argv[2]) : 1000;
    service_registry::table().build(service_registration_list());
    CoInitialize(nullptr);
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    HMODULE runtime = LoadLibraryW((std::wstring(system) + L"\\wmvcore.dll").c_str());
    if (!runtime) {
        std::fprintf(stderr, "wma_bench: no Windows Media runtime\n");
        return 1;
    }
    const std::string location = bench_location(path);

    double best_input = 1e30, best_bare = 1e30;
    uint64_t frames = 0, bytes = 0;
    try {
        for (int round = 0; round < 5; ++round) {
            const double i = input_round(location, frames);
            const double b = bare_round(runtime, path, bytes);
            if (i < best_input) best_input = i;
            if (b >= 0 && b < best_bare) best_bare = b;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wma_bench: %s\n", e.what());
        return 1;
    }
    std::printf("file: %s (%llu sample frames; the bare loop %llu bytes)\n", location.c_str(),
                static_cast<unsigned long long>(frames), static_cast<unsigned long long>(bytes));
    std::printf("%-30s %8.4f s\n%-30s %8.4f s\noverhead of the input: %+.1f%%\n", "sync reader loop", best_bare,
                "input framework", best_input, (best_input / best_bare - 1) * 100);

    // Header reading: copies of the file in a folder of their own.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"vorn-wma-bench";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::wstring> files;
    for (int k = 0; k < copies; ++k) {
        files.push_back(folder + L"\\" + std::to_wstring(k) + L".wma");
        CopyFileW(path.c_str(), files.back().c_str(), FALSE);
    }
    double start = bench_seconds();
    std::vector<char> buffer(65536);
    for (const std::wstring& f : files) {
        HANDLE h = CreateFileW(f.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD got = 0;
        if (h != INVALID_HANDLE_VALUE) ReadFile(h, buffer.data(), 65536, &got, nullptr), CloseHandle(h);
    }
    const double raw = bench_seconds() - start;
    start = bench_seconds();
    int failed = 0;
    for (const std::wstring& f : files) {
        try {
            service_ptr<track_info_reader> reader;
            input_open_info_reader(reader, file_stream_ref(), bench_location(f).c_str(), abort_never, false);
            track_info_store info;
            reader->get_info(0, info, abort_never);
        } catch (const std::exception&) {
            ++failed;
        }
    }
    const double through_input = bench_seconds() - start;
    for (const std::wstring& f : files) DeleteFileW(f.c_str());
    RemoveDirectoryW(folder.c_str());
    std::printf("%d copies: first 64 KiB read %.0f files/s; info through the input %.0f files/s (%d failed)\n",
                copies, copies / raw, copies / through_input, failed);
    FreeLibrary(runtime);
    CoUninitialize();
    return 0;
}
