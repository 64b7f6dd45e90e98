// playback_bench: what playing costs. 30 s of a file through the playback controller, engine and output
// (as the program plays: hidden window, main-thread queue, message loop), with the CPU time of the engine's
// worker thread, of the output thread and of the whole process, each as a percentage of one core over the
// wall time played; beside it, in the same run, decoding the same file flat out (the cost of the decoder
// alone, scaled to real time). Also the time from start to the first sound (the audible position leaving 0)
// beside a bare DirectSound buffer's time from creation to its play cursor moving. Not a test; run by hand:
//
//     wine build/playback_bench.exe [FILE.flac]      (a Windows path; without one a 30 s tone WAV is made)
//
//     decode flat out        0.210 s CPU for 30.000 s of audio     0.70 % of a core at real time
//     worker thread          0.093 s CPU over 30.01 s              0.31 % of a core
//     output thread          0.061 s CPU over 30.01 s              0.20 % of a core
//     process                0.402 s CPU over 30.01 s              1.34 % of a core
//     first sound            0.181 s after start; bare DirectSound buffer 0.103 s
//
// Goal: worker + output thread below 1 % of a core.
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>
#include <objbase.h>
#include <ole2.h>
#include <shellapi.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/ref_array.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_probe.h"
#include "inputs/input_service.h"
#include "metadata/audio_block.h"
#include "metadata/track_handle.h"
#include "playback/item_list.h"
#include "playback/output/ds_output_thread.h"
#include "playback/play_order.h"
#include "playback/playback_controller.h"
#include "playback/playback_engine.h"
#include "shell/hidden_window.h"
#include "shell/main_thread_queue.h"
#include "tools/bench/bench_support.h"

namespace {

constexpr double k_play_seconds = 30.0;

double filetime_seconds(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<double>(v.QuadPart) * 1e-7;
}

double thread_cpu(HANDLE thread) {
    FILETIME created, ended, kernel, user;
    if (!thread || !GetThreadTimes(thread, &created, &ended, &kernel, &user)) return 0;
    return filetime_seconds(kernel) + filetime_seconds(user);
}

double process_cpu() {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
    return filetime_seconds(kernel) + filetime_seconds(user);
}

// A 30 s float stereo WAV of two tones in the temp folder.
std::wstring make_tone_file() {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + L"playback_bench.wav";
    const uint32_t rate = 44100, frames = rate * 30;
    std::vector<float> data(static_cast<size_t>(frames) * 2);
    for (uint32_t i = 0; i < frames; ++i) {
        data[2 * i] = static_cast<float>(0.4 * std::sin(2 * 3.14159265358979 * 440 * i / rate));
        data[2 * i + 1] = static_cast<float>(0.4 * std::sin(2 * 3.14159265358979 * 554 * i / rate));
    }
    const uint32_t bytes = frames * 8;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write the tone file");
    auto put = [&](const void* p, DWORD n) {
        DWORD done = 0;
        WriteFile(file, p, n, &done, nullptr);
    };
    const uint32_t riff = 4 + 8 + 16 + 8 + bytes, fmt_size = 16, byte_rate = rate * 8;
    const uint16_t tag = 3, channels = 2, align = 8, bits = 32;
    put("RIFF", 4);
    put(&riff, 4);
    put("WAVEfmt ", 8);
    put(&fmt_size, 4);
    put(&tag, 2);
    put(&channels, 2);
    put(&rate, 4);
    put(&byte_rate, 4);
    put(&align, 2);
    put(&bits, 2);
    put("data", 4);
    put(&bytes, 4);
    put(data.data(), bytes);
    CloseHandle(file);
    return path;
}

// CPU seconds of decoding the file to its end on this thread, and the audio seconds it gave.
void decode_flat_out(const std::string& location, double& cpu, double& audio) {
    const double before = thread_cpu(GetCurrentThread());
    service_ptr<track_decoder> decoder;
    input_open_decoder(decoder, file_stream_ref(), location.c_str(), abort_never, false);
    decoder->initialise(0, decoder_flag_playback, abort_never);
    audio_block_store_pow2 block;
    audio = 0;
    while (decoder->decode_chunk(block, abort_never)) {
        audio += static_cast<double>(block.get_sample_count()) / block.get_sample_rate();
    }
    cpu = thread_cpu(GetCurrentThread()) - before;
}

// Seconds from creating a DirectSound object to the play cursor of a new secondary buffer moving.
double bare_directsound() {
    const double start = bench_seconds();
    IDirectSound8* sound = nullptr;
    if (FAILED(DirectSoundCreate8(nullptr, &sound, nullptr))) return -1;
    sound->SetCooperativeLevel(GetDesktopWindow(), DSSCL_PRIORITY);
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 44100 * 4;
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS;
    desc.dwBufferBytes = 44100 * 4;
    desc.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    double result = -1;
    if (SUCCEEDED(sound->CreateSoundBuffer(&desc, &buffer, nullptr))) {
        void* p = nullptr;
        DWORD n = 0;
        if (SUCCEEDED(buffer->Lock(0, desc.dwBufferBytes, &p, &n, nullptr, nullptr, 0))) {
            std::memset(p, 0, n);
            buffer->Unlock(p, n, nullptr, 0);
        }
        buffer->Play(0, 0, DSBPLAY_LOOPING);
        for (int i = 0; i < 2000; ++i) {
            DWORD play = 0, write = 0;
            buffer->GetCurrentPosition(&play, &write);
            if (play > 0) {
                result = bench_seconds() - start;
                break;
            }
            Sleep(1);
        }
        buffer->Stop();
        buffer->Release();
    }
    sound->Release();
    return result;
}

HANDLE g_worker = nullptr;
void note_worker(void*) {
    if (g_worker) return;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_worker,
                    THREAD_QUERY_INFORMATION, FALSE, 0);
}

int run(const std::wstring& path) {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    if (FAILED(OleInitialize(nullptr))) throw std::runtime_error("OleInitialize failed");
    hidden_window_create();
    const std::string location = bench_location(path);

    double decode_cpu = 0, audio = 0;
    decode_flat_out(location, decode_cpu, audio);
    const double bare = bare_directsound();

    service_ptr<playback_controller> controller;
    service_class::get_single(controller);
    service_ptr<playback_controller_ext> ext;
    if (!service_query(controller.get(), ext)) throw std::runtime_error("no controller extension");
    playback_engine_test.pass_hook = &note_worker;
    ext->start_up();
    kpl::ref_array handles;
    track_handle_ref track;
    track_handle_registry::get().get_handle(track, track_location(location.c_str()));
    handles.append(track.get());
    item_enumerator_ref list = item_enumerator::create(handles);
    service_ptr<play_order_manager> order;
    service_class::get_single(order);
    order->set_list(list.get());
    item_cursor_ref first;
    list->first(first);
    order->set_current(first.get());

    const double start = bench_seconds();
    const double cpu_start = process_cpu();
    controller->start(1, false);
    double first_sound = -1;
    HANDLE output = nullptr;
    double worker_cpu = 0, output_cpu = 0, wall = 0, process = 0;

    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const double now = bench_seconds() - start;
        if (first_sound < 0 && controller->get_position() > 0) first_sound = now;
        if (!output) output = ds_output_thread_duplicate(THREAD_QUERY_INFORMATION);
        if (now >= k_play_seconds || !controller->is_playing()) {
            worker_cpu = thread_cpu(g_worker);
            output_cpu = thread_cpu(output);
            process = process_cpu() - cpu_start;
            wall = now;
            break;
        }
        Sleep(5);
    }
    controller->stop();
    ext->release_engine();
    service_ptr<play_order_manager_ext> order_ext;
    if (service_query(order.get(), order_ext)) order_ext->shut_down();
    ds_output_wait_idle(10.0);
    if (output) CloseHandle(output);
    if (g_worker) CloseHandle(g_worker);
    main_thread_queue::drain(true);
    hidden_window_destroy();
    OleUninitialize();

    const double real_time = std::min(audio, k_play_seconds);
    std::printf("decode flat out        %.3f s CPU for %.3f s of audio     %.2f %% of a core at real time\n",
                decode_cpu, audio, audio > 0 ? 100.0 * decode_cpu / audio : 0.0);
    std::printf("worker thread          %.3f s CPU over %.2f s              %.2f %% of a core\n", worker_cpu, wall,
                100.0 * worker_cpu / wall);
    std::printf("output thread          %.3f s CPU over %.2f s              %.2f %% of a core\n", output_cpu, wall,
                100.0 * output_cpu / wall);
    std::printf("process                %.3f s CPU over %.2f s              %.2f %% of a core\n", process, wall,
                100.0 * process / wall);
    std::printf("first sound            %.3f s after start; bare DirectSound buffer %.3f s\n", first_sound, bare);
    std::printf("worker + output thread %.2f %% of a core (goal: below 1 %%); played %.1f s of %.1f s\n",
                100.0 * (worker_cpu + output_cpu) / wall, wall, real_time);
    return 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    try {
        const std::wstring path = argc > 1 ? std::wstring(argv[1]) : make_tone_file();
        return run(path);
    } catch (std::exception& e) {
        std::fprintf(stderr, "playback_bench: %s\n", e.what());
        return 1;
    }
}
