// WAV files made by sox survive float conversion and back byte for byte. The files come from the script
// test wav_roundtrip_test.sh, which makes them and names their folder in VORN_WAV_DIR; without it (the plain
// unit-test run) this case has nothing to read and passes.
#include <doctest/doctest.h>

#include "foundation/services/service_registry.h"
#include "metadata/audio_block.h"
#include "metadata/pcm_conversion/pcm_converter.h"
#include "metadata/pcm_conversion/sample_kernels.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct wav_file {
    uint32_t channels = 0, rate = 0, bits = 0;
    std::vector<uint8_t> data;
};

uint32_t u32_at(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}

uint32_t u16_at(const std::vector<uint8_t>& b, size_t at) { return b[at] | (uint32_t(b[at + 1]) << 8); }

// The fmt and data chunks of a RIFF/WAVE file; false when either is missing.
bool read_wav(const std::wstring& path, wav_file& out) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return false;
    std::vector<uint8_t> b;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) b.insert(b.end(), chunk, chunk + got);
    std::fclose(f);
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return false;
    bool have_fmt = false, have_data = false;
    for (size_t at = 12; at + 8 <= b.size();) {
        const uint32_t size = u32_at(b, at + 4);
        const size_t body = at + 8;
        if (size > b.size() - body) return false;
        if (std::memcmp(b.data() + at, "fmt ", 4) == 0 && size >= 16) {
            out.channels = u16_at(b, body + 2);
            out.rate = u32_at(b, body + 4);
            out.bits = u16_at(b, body + 14);
            have_fmt = true;
        } else if (std::memcmp(b.data() + at, "data", 4) == 0) {
            out.data.assign(b.begin() + body, b.begin() + body + size);
            have_data = true;
        }
        at = body + size + (size & 1);
    }
    return have_fmt && have_data;
}

std::vector<std::wstring> wav_files_in(const std::wstring& folder) {
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW entry;
    HANDLE h = FindFirstFileW((folder + L"\\*.wav").c_str(), &entry);
    if (h == INVALID_HANDLE_VALUE) return found;
    do found.push_back(folder + L"\\" + entry.cFileName);
    while (FindNextFileW(h, &entry));
    FindClose(h);
    return found;
}

std::string narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

}  // namespace

TEST_CASE("sox-made WAV files survive float conversion and back") {
    wchar_t folder[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"VORN_WAV_DIR", folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;  // not run from the script test
    const std::vector<std::wstring> files = wav_files_in(folder);
    REQUIRE(files.size() >= 2);

    service_table table;
    table.build(service_registration_list());
    service_ref r;
    table.get_single(r, pcm_converter::class_guid);
    pcm_converter* converter = r.as<pcm_converter>();

    const sample_kernel_paths choices[] = {sample_kernel_paths(), sample_kernel_paths_supported()};
    for (const std::wstring& path : files) {
        CAPTURE(narrow(path));
        wav_file wav;
        REQUIRE(read_wav(path, wav));
        REQUIRE((wav.bits == 16 || wav.bits == 24));
        REQUIRE(wav.data.size() > 0);
        for (const sample_kernel_paths& paths : choices) {
            const sample_kernel_paths before = sample_kernel_paths_force(paths);
            audio_block_store block;
            block.set_wave_pcm(wav.data.data(), static_cast<uint32_t>(wav.data.size()), wav.rate, wav.channels,
                               channel_mask_default(wav.channels), wav.bits);
            CHECK(block.is_valid());
            CHECK(block.get_sample_count() * wav.channels * (wav.bits / 8) == wav.data.size());

            kpl::byte_array back;
            REQUIRE(block.to_pcm(back, wav.bits));
            CHECK(std::vector<uint8_t>(back.begin(), back.end()) == wav.data);

            kpl::byte_array converted;
            converter->convert(block, converted, wav.bits, wav.bits, 0, 1.0f);
            CHECK(std::vector<uint8_t>(converted.begin(), converted.end()) == wav.data);
            sample_kernel_paths_force(before);
        }
    }
}
