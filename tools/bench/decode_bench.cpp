// decode_bench: decoding speed of every lossless and Xiph format through the input framework (probing, the
// input, float audio blocks, the program's file objects) beside the codec library's own decode loop over a
// plain C stream of the same file, both to interleaved float blocks. Not a test; run it by hand to follow the
// framework's overhead:
//
//     tools/bench/decode_bench.sh [SECONDS]          makes the files with Debian's encoders and runs this
//     wine build/decode_bench.exe [--rounds N] [--only library|framework] FILE...  (Windows paths) decodes
//                                                    the files given; --only runs one path (for a profiler)
//
// The format comes from the extension: .flac FLAC, .oga Ogg FLAC, .ogg Vorbis, .opus Opus, .wv WavPack
// ("WavPack+wvc" when a .wvc file lies beside it and is used), .wav WAV (PCM), .mpc Musepack, .alac ALAC
// packets (u32 LE cookie size, the magic cookie, then per frame u32 LE size and bytes, as
// tests/inputs/alac_frames.py pulls them out of an MP4 file; both paths decode them from memory, the framework
// through the ALAC packet decoder). Each round times opening, decoding to the end and closing, once per path,
// the two paths taking turns going first; the best of the rounds counts (9 unless --rounds says otherwise).
// Per file a line per path with its best time, audio seconds per second of work, the sample frames it gave
// and how far its median round lies above its best (the noise of the machine), then the framework's overhead
// within each round's pair (median, lowest, highest: pairs run close together, so a load that comes and goes
// weighs on both halves of a pair alike); at the end one line per format from the best times:
//
//     FORMAT library SECONDS framework SECONDS overhead PERCENT
//
// PERCENT is signed: the framework's time over the library's, minus 100.
#include <windows.h>
#include <shellapi.h>

#include <FLAC/stream_decoder.h>
#include <mpc/mpcdec.h>
#include <ogg/ogg.h>
#include <opus/opus_multistream.h>
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>
#include <wavpack/wavpack.h>

// The bit reader's header names an enum as the Windows headers do; it is renamed on the way in.
#define ELEMENT_TYPE alac_element_type
#define PELEMENT_TYPE alac_element_type_ptr
extern "C" {
#include <alac/ALACBitUtilities.h>
#include <alac/alac_codec.h>
}
#undef ELEMENT_TYPE
#undef PELEMENT_TYPE

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/services/service_registry.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/input_probe.h"
#include "metadata/audio_block.h"
#include "tools/bench/bench_support.h"

namespace {

// What one decode gave: sample frames and the sample rate, for the report and the check that both paths
// decoded the same audio.
struct decoded {
    uint64_t frames = 0;
    uint32_t rate = 0;
};

// The library loops' float blocks: interleaved, reused from call to call.
std::vector<float> g_block;
// The framework's block, kept from round to round as the library loops keep theirs.
audio_block_store_pow2 g_framework_block;

float* block_for(size_t samples) {
    if (g_block.size() < samples) g_block.resize(samples);
    return g_block.data();
}

// Planar or interleaved integers of `bits` bits to interleaved floats, as a plain loop would.
void planar_to_float(const int32_t* const* channels, uint32_t count, uint32_t frames, uint32_t bits) {
    float* out = block_for(size_t(count) * frames);
    const float scale = 1.0f / static_cast<float>(1u << (bits - 1));
    for (uint32_t c = 0; c < count; ++c) {
        const int32_t* in = channels[c];
        for (uint32_t i = 0; i < frames; ++i) out[size_t(i) * count + c] = static_cast<float>(in[i]) * scale;
    }
}

void interleaved_to_float(const int32_t* in, size_t samples, uint32_t bits) {
    float* out = block_for(samples);
    const float scale = 1.0f / static_cast<float>(1u << (bits - 1));
    for (size_t i = 0; i < samples; ++i) out[i] = static_cast<float>(in[i]) * scale;
}

// ---- FLAC and Ogg FLAC: libFLAC's own loop over a C stream ----

FLAC__StreamDecoderWriteStatus flac_write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                          const FLAC__int32* const buffer[], void* data) {
    decoded& d = *static_cast<decoded*>(data);
    planar_to_float(reinterpret_cast<const int32_t* const*>(buffer), frame->header.channels, frame->header.blocksize,
                    frame->header.bits_per_sample);
    d.frames += frame->header.blocksize;
    d.rate = frame->header.sample_rate;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void flac_error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

bool library_flac(const std::wstring& path, bool ogg, decoded& d) {
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (!in) return false;
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    FLAC__StreamDecoderInitStatus status =
        ogg ? FLAC__stream_decoder_init_ogg_FILE(decoder, in, &flac_write, nullptr, &flac_error, &d)
            : FLAC__stream_decoder_init_FILE(decoder, in, &flac_write, nullptr, &flac_error, &d);
    bool ok = status == FLAC__STREAM_DECODER_INIT_STATUS_OK && FLAC__stream_decoder_process_until_end_of_stream(decoder);
    FLAC__stream_decoder_finish(decoder);  // closes the file
    FLAC__stream_decoder_delete(decoder);
    return ok;
}

// ---- Vorbis: vorbisfile over a C stream ----

size_t c_read(void* ptr, size_t size, size_t count, void* file) { return std::fread(ptr, size, count, static_cast<FILE*>(file)); }
int c_seek(void* file, ogg_int64_t offset, int origin) {
    return std::fseek(static_cast<FILE*>(file), static_cast<long>(offset), origin);  // files below 2 GiB
}
int c_close(void* file) { return std::fclose(static_cast<FILE*>(file)); }
long c_tell(void* file) { return std::ftell(static_cast<FILE*>(file)); }

bool library_vorbis(const std::wstring& path, decoded& d) {
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (!in) return false;
    OggVorbis_File vf;
    if (ov_open_callbacks(in, &vf, nullptr, 0, ov_callbacks{&c_read, &c_seek, &c_close, &c_tell}) != 0) {
        std::fclose(in);
        return false;
    }
    int section = 0;
    for (;;) {
        float** pcm = nullptr;
        long got = ov_read_float(&vf, &pcm, 4096, &section);
        if (got < 0) continue;  // a hole: vorbisfile goes on
        if (got == 0) break;
        const vorbis_info* vi = ov_info(&vf, -1);
        const int channels = vi->channels;
        float* out = block_for(size_t(got) * channels);
        for (int c = 0; c < channels; ++c)
            for (long i = 0; i < got; ++i) out[size_t(i) * channels + c] = pcm[c][i];
        d.frames += got;
        d.rate = static_cast<uint32_t>(vi->rate);
    }
    ov_clear(&vf);  // closes the file
    return true;
}

// ---- Opus: libogg's pages and packets into libopus, from a C stream ----

bool library_opus(const std::wstring& path, decoded& d) {
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (!in) return false;
    ogg_sync_state sync;
    ogg_stream_state stream;
    ogg_sync_init(&sync);
    bool have_stream = false;
    OpusMSDecoder* decoder = nullptr;
    int channels = 0, packets = 0;
    uint32_t pre_skip = 0;
    int64_t last_granule = -1;
    bool ok = true;
    std::vector<float> pcm;
    for (bool eof = false; ok && !eof;) {
        char* buffer = ogg_sync_buffer(&sync, 65536);
        const size_t got = std::fread(buffer, 1, 65536, in);
        ogg_sync_wrote(&sync, static_cast<long>(got));
        eof = got == 0;
        ogg_page page;
        while (ok && ogg_sync_pageout(&sync, &page) == 1) {
            if (!have_stream) {
                ogg_stream_init(&stream, ogg_page_serialno(&page));
                have_stream = true;
            }
            if (ogg_page_serialno(&page) != stream.serialno) continue;
            if (ogg_page_granulepos(&page) >= 0) last_granule = ogg_page_granulepos(&page);
            ogg_stream_pagein(&stream, &page);
            ogg_packet packet;
            while (ok && ogg_stream_packetout(&stream, &packet) == 1) {
                if (packets++ == 0) {
                    // OpusHead: channel count, pre-skip, mapping family and its table.
                    const unsigned char* h = packet.packet;
                    if (packet.bytes < 19 || std::memcmp(h, "OpusHead", 8) != 0) {
                        ok = false;
                        break;
                    }
                    channels = h[9];
                    pre_skip = h[10] | h[11] << 8;
                    int streams = 1, coupled = channels > 1 ? 1 : 0;
                    unsigned char mapping[255] = {0, 1};
                    if (h[18] != 0 && packet.bytes >= 21 + channels) {
                        streams = h[19];
                        coupled = h[20];
                        std::memcpy(mapping, h + 21, static_cast<size_t>(channels));
                    }
                    int error = 0;
                    decoder = opus_multistream_decoder_create(48000, channels, streams, coupled, mapping, &error);
                    ok = decoder != nullptr;
                    pcm.resize(size_t(5760) * channels);
                    continue;
                }
                if (packets == 2) continue;  // OpusTags
                const int frames = opus_multistream_decode_float(decoder, packet.packet, static_cast<int32_t>(packet.bytes),
                                                                 pcm.data(), 5760, 0);
                if (frames < 0) continue;
                float* out = block_for(size_t(frames) * channels);
                std::memcpy(out, pcm.data(), size_t(frames) * channels * sizeof(float));
                d.frames += static_cast<uint64_t>(frames);
            }
        }
    }
    // The framework drops the pre-skip and what the last page's granule position cuts off at the end.
    if (last_granule >= 0 && d.frames > static_cast<uint64_t>(last_granule)) d.frames = static_cast<uint64_t>(last_granule);
    d.frames = d.frames > pre_skip ? d.frames - pre_skip : 0;
    d.rate = 48000;
    if (decoder) opus_multistream_decoder_destroy(decoder);
    if (have_stream) ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
    std::fclose(in);
    return ok && decoder != nullptr;
}

// ---- WavPack: the library's own file reader ----

bool library_wavpack(const std::wstring& path, bool correction, decoded& d) {
    char error[80] = "";
    const std::string narrow = kpl::utf8_string_from_utf16(path.c_str()).c_str();
    WavpackContext* wpc =
        WavpackOpenFileInput(narrow.c_str(), error, OPEN_FILE_UTF8 | (correction ? OPEN_WVC : 0), 0);
    if (!wpc) return false;
    const int channels = WavpackGetNumChannels(wpc);
    const int bits = WavpackGetBitsPerSample(wpc);
    std::vector<int32_t> buffer(size_t(4096) * channels);
    for (;;) {
        const uint32_t got = WavpackUnpackSamples(wpc, buffer.data(), 4096);
        if (got == 0) break;
        interleaved_to_float(buffer.data(), size_t(got) * channels, static_cast<uint32_t>(bits));
        d.frames += got;
    }
    d.rate = WavpackGetSampleRate(wpc);
    WavpackCloseFile(wpc);
    return true;
}

// ---- WAV: the data chunk read through a C stream and converted ----

bool library_wav(const std::wstring& path, decoded& d) {
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (!in) return false;
    unsigned char riff[12];
    bool ok = std::fread(riff, 1, 12, in) == 12 && std::memcmp(riff, "RIFF", 4) == 0 && std::memcmp(riff + 8, "WAVE", 4) == 0;
    uint32_t channels = 0, bits = 0;
    uint64_t data_size = 0;
    while (ok) {
        unsigned char head[8];
        if (std::fread(head, 1, 8, in) != 8) {
            ok = false;
            break;
        }
        const uint32_t size = head[4] | head[5] << 8 | head[6] << 16 | static_cast<uint32_t>(head[7]) << 24;
        if (std::memcmp(head, "fmt ", 4) == 0) {
            unsigned char fmt[16];
            if (size < 16 || std::fread(fmt, 1, 16, in) != 16) {
                ok = false;
                break;
            }
            channels = fmt[2] | fmt[3] << 8;
            d.rate = fmt[4] | fmt[5] << 8 | fmt[6] << 16 | static_cast<uint32_t>(fmt[7]) << 24;
            bits = fmt[14] | fmt[15] << 8;
            std::fseek(in, static_cast<long>(size - 16 + (size & 1)), SEEK_CUR);
        } else if (std::memcmp(head, "data", 4) == 0) {
            data_size = size;
            break;
        } else {
            std::fseek(in, static_cast<long>(size + (size & 1)), SEEK_CUR);
        }
    }
    ok = ok && bits == 16 && channels > 0;
    std::vector<int16_t> buffer(32768);
    while (ok && data_size > 0) {
        const size_t want = data_size < buffer.size() * 2 ? static_cast<size_t>(data_size) / 2 : buffer.size();
        const size_t got = std::fread(buffer.data(), 2, want, in);
        if (got == 0) break;
        float* out = block_for(got);
        for (size_t i = 0; i < got; ++i) out[i] = static_cast<float>(buffer[i]) * (1.0f / 32768.0f);
        d.frames += got / channels;
        data_size -= got * 2;
    }
    std::fclose(in);
    return ok;
}

// ---- Musepack: libmpcdec's demuxer over its C stream reader ----

bool library_musepack(const std::wstring& path, decoded& d) {
    const std::string narrow = kpl::utf8_string_from_utf16(path.c_str()).c_str();
    mpc_reader reader;
    if (mpc_reader_init_stdio(&reader, narrow.c_str()) != MPC_STATUS_OK) return false;
    mpc_demux* demux = mpc_demux_init(&reader);
    if (!demux) {
        mpc_reader_exit_stdio(&reader);
        return false;
    }
    mpc_streaminfo info;
    mpc_demux_get_info(demux, &info);
    std::vector<MPC_SAMPLE_FORMAT> buffer(MPC_DECODER_BUFFER_LENGTH);
    bool ok = true;
    for (;;) {
        mpc_frame_info frame;
        frame.buffer = buffer.data();
        if (mpc_demux_decode(demux, &frame) != MPC_STATUS_OK) {
            ok = false;
            break;
        }
        if (frame.bits == -1) break;
        float* out = block_for(size_t(frame.samples) * info.channels);
        std::memcpy(out, buffer.data(), size_t(frame.samples) * info.channels * sizeof(float));
        d.frames += frame.samples;
    }
    d.rate = info.sample_freq;
    mpc_demux_exit(demux);
    mpc_reader_exit_stdio(&reader);
    return ok;
}

// ---- ALAC packets: the reference decoder on frames held in memory ----

struct alac_frames {
    std::vector<uint8_t> cookie;
    std::vector<std::pair<size_t, uint32_t>> frames;  // offset and size in `bytes`
    std::vector<uint8_t> bytes;
};

bool load_alac_frames(const std::wstring& path, alac_frames& out) {
    FILE* in = _wfopen(path.c_str(), L"rb");
    if (!in) return false;
    std::vector<uint8_t> all;
    uint8_t chunk[65536];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, in)) > 0;) all.insert(all.end(), chunk, chunk + got);
    std::fclose(in);
    size_t pos = 0;
    auto u32 = [&](uint32_t& v) {
        if (pos + 4 > all.size()) return false;
        v = all[pos] | all[pos + 1] << 8 | all[pos + 2] << 16 | static_cast<uint32_t>(all[pos + 3]) << 24;
        pos += 4;
        return true;
    };
    uint32_t size = 0;
    if (!u32(size) || pos + size > all.size()) return false;
    out.cookie.assign(all.begin() + static_cast<ptrdiff_t>(pos), all.begin() + static_cast<ptrdiff_t>(pos + size));
    pos += size;
    while (u32(size) && pos + size <= all.size()) {
        out.frames.push_back({pos, size});
        pos += size;
    }
    // The bit reader may look a few bytes past a frame.
    all.resize(all.size() + 8, 0);
    out.bytes.swap(all);
    return !out.frames.empty();
}

bool library_alac(const alac_frames& in, decoded& d) {
    std::vector<uint8_t> atom(in.cookie.size() + 8);
    const uint32_t total = static_cast<uint32_t>(atom.size());
    atom[0] = static_cast<uint8_t>(total >> 24);
    atom[1] = static_cast<uint8_t>(total >> 16);
    atom[2] = static_cast<uint8_t>(total >> 8);
    atom[3] = static_cast<uint8_t>(total);
    std::memcpy(atom.data() + 4, "alac", 4);
    std::memcpy(atom.data() + 8, in.cookie.data(), in.cookie.size());
    std::unique_ptr<ALAC_DECODER> decoder(new ALAC_DECODER());
    std::memset(decoder.get(), 0, sizeof(ALAC_DECODER));
    if (alac_decoder_init(decoder.get(), atom.data(), total) != 0) return false;
    const ALACSpecificConfig& c = decoder->mConfig;
    std::vector<int32_t> samples(size_t(c.frameLength) * c.numChannels);
    for (const auto& frame : in.frames) {
        BitBuffer bits;
        BitBufferInit(&bits, const_cast<uint8_t*>(in.bytes.data() + frame.first), frame.second);
        uint32_t got = 0;
        if (alac_decode(decoder.get(), &bits, samples.data(), c.frameLength, &got) != 0) return false;
        // The decoder gives left-justified 32-bit values.
        interleaved_to_float(samples.data(), size_t(got) * c.numChannels, 32);
        d.frames += got;
    }
    d.rate = c.sampleRate;
    return true;
}

bool framework_alac(const alac_frames& in, decoded& d) {
    service_ptr<codec_packet_decoder> decoder;
    codec_packet_decoder_open(decoder, true, codec_owner_alac, 0, in.cookie.data(), in.cookie.size(), abort_never);
    audio_block_store_pow2& block = g_framework_block;
    for (const auto& frame : in.frames) {
        decoder->decode_packet(in.bytes.data() + frame.first, frame.second, block, abort_never);
        d.frames += block.get_sample_count();
        d.rate = block.get_sample_rate();
    }
    return true;
}

// ---- The framework: probing opens the input's decoder, which fills float blocks ----

bool framework_file(const std::string& location, decoded& d) {
    service_ptr<track_decoder> decoder;
    input_open_decoder(decoder, file_stream_ref(), location.c_str(), abort_never, false);
    decoder->initialise(0, 4, abort_never);
    audio_block_store_pow2& block = g_framework_block;
    while (decoder->decode_chunk(block, abort_never)) {
        d.frames += block.get_sample_count();
        d.rate = block.get_sample_rate();
    }
    return true;
}

enum class format { flac, ogg_flac, vorbis, opus, wavpack, wav, musepack, alac };

struct bench_file {
    std::wstring path;
    std::string location;
    format kind;
    std::string name;
    bool correction = false;
    alac_frames alac;
};

bool ends_with(const std::wstring& s, const wchar_t* tail) {
    const size_t n = std::wcslen(tail);
    return s.size() >= n && _wcsicmp(s.c_str() + s.size() - n, tail) == 0;
}

bool classify(bench_file& f) {
    static const struct {
        const wchar_t* ext;
        format kind;
        const char* name;
    } table[] = {{L".flac", format::flac, "FLAC"},       {L".oga", format::ogg_flac, "Ogg-FLAC"},
                 {L".ogg", format::vorbis, "Vorbis"},    {L".opus", format::opus, "Opus"},
                 {L".wv", format::wavpack, "WavPack"},   {L".wav", format::wav, "WAV"},
                 {L".mpc", format::musepack, "Musepack"}, {L".alac", format::alac, "ALAC-packets"}};
    for (const auto& row : table) {
        if (!ends_with(f.path, row.ext)) continue;
        f.kind = row.kind;
        f.name = row.name;
        if (f.kind == format::wavpack) {
            const std::wstring wvc = f.path + L"c";
            f.correction = GetFileAttributesW(wvc.c_str()) != INVALID_FILE_ATTRIBUTES;
            if (f.correction) f.name = "WavPack+wvc";
        }
        return true;
    }
    return false;
}

bool library_round(bench_file& f, decoded& d) {
    switch (f.kind) {
    case format::flac: return library_flac(f.path, false, d);
    case format::ogg_flac: return library_flac(f.path, true, d);
    case format::vorbis: return library_vorbis(f.path, d);
    case format::opus: return library_opus(f.path, d);
    case format::wavpack: return library_wavpack(f.path, f.correction, d);
    case format::wav: return library_wav(f.path, d);
    case format::musepack: return library_musepack(f.path, d);
    case format::alac: return library_alac(f.alac, d);
    }
    return false;
}

bool framework_round(bench_file& f, decoded& d) {
    return f.kind == format::alac ? framework_alac(f.alac, d) : framework_file(f.location, d);
}

// The middle value (the mean of the two middle ones for an even count).
double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <typename Round>
double timed(Round round, decoded& d) {
    d = decoded();
    const double start = bench_seconds();
    if (!round(d)) return -1;
    return bench_seconds() - start;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    service_registry::table().build(service_registration_list());
    int rounds = 9;
    bool only_library = false, only_framework = false;
    std::vector<bench_file> files;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--rounds") == 0 && i + 1 < argc) {
            rounds = _wtoi(argv[++i]);
            continue;
        }
        if (std::wcscmp(argv[i], L"--only") == 0 && i + 1 < argc) {
            ++i;
            only_library = std::wcscmp(argv[i], L"library") == 0;
            only_framework = std::wcscmp(argv[i], L"framework") == 0;
            if (!only_library && !only_framework) {
                std::fprintf(stderr, "decode_bench: --only takes library or framework\n");
                return 2;
            }
            continue;
        }
        bench_file f;
        f.path = argv[i];
        f.location = std::string("file://") + kpl::utf8_string_from_utf16(f.path.c_str()).c_str();
        if (!classify(f)) {
            std::fprintf(stderr, "decode_bench: %ls: unknown extension\n", argv[i]);
            return 2;
        }
        if (f.kind == format::alac && !load_alac_frames(f.path, f.alac)) {
            std::fprintf(stderr, "decode_bench: %ls: not an ALAC frames file\n", argv[i]);
            return 1;
        }
        files.push_back(std::move(f));
    }
    if (files.empty() || rounds < 1) {
        std::fprintf(stderr,
                     "usage: decode_bench [--rounds N] [--only library|framework] FILE...  (.flac .oga .ogg .opus .wv .wav .mpc .alac);\n"
                     "tools/bench/decode_bench.sh makes a set of files and runs it\n");
        return 2;
    }

    struct result {
        std::string name;
        double library, framework;
    };
    std::vector<result> results;
    int failures = 0;
    for (bench_file& f : files) {
        std::vector<double> library_times, framework_times, ratios;
        decoded lib, work;
        try {
            for (int round = 0; round < rounds; ++round) {
                const bool run_library = !only_framework, run_framework = !only_library;
                // The two paths take turns going first, so that neither always runs on the other's warm or
                // cold caches, and each round's pair runs close together under the same load.
                const bool library_first = round % 2 == 0;
                double l = 0, w = 0;
                if (run_library && library_first) l = timed([&](decoded& d) { return library_round(f, d); }, lib);
                if (run_framework) w = timed([&](decoded& d) { return framework_round(f, d); }, work);
                if (run_library && !library_first) l = timed([&](decoded& d) { return library_round(f, d); }, lib);
                if (l < 0) throw std::runtime_error("the library could not decode the file");
                if (w < 0) throw std::runtime_error("the framework could not decode the file");
                if (run_library) library_times.push_back(l);
                if (run_framework) framework_times.push_back(w);
                if (run_library && run_framework) ratios.push_back(w / l);
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "decode_bench: %s: %s\n", f.location.c_str(), e.what());
            ++failures;
            continue;
        }
        std::printf("%-13s %s\n", f.name.c_str(), f.location.c_str());
        result r{f.name, 0, 0};
        auto report = [&](const char* name, const std::vector<double>& times, const decoded& d, double& best) {
            best = *std::min_element(times.begin(), times.end());
            const double audio = d.rate ? static_cast<double>(d.frames) / d.rate : 0;
            std::printf("  %-9s %8.4f s %7.1fx real time, %llu sample frames, median round %+.1f%% over the best\n",
                        name, best, audio / best, static_cast<unsigned long long>(d.frames),
                        (median(times) / best - 1) * 100);
        };
        if (!library_times.empty()) report("library", library_times, lib, r.library);
        if (!framework_times.empty()) report("framework", framework_times, work, r.framework);
        if (!ratios.empty()) {
            std::sort(ratios.begin(), ratios.end());
            std::printf("  overhead within the rounds' pairs: median %+.1f%%, lowest %+.1f%%, highest %+.1f%%\n",
                        (median(ratios) - 1) * 100, (ratios.front() - 1) * 100, (ratios.back() - 1) * 100);
            if (lib.frames != work.frames)
                std::printf("  note: the two paths gave different numbers of sample frames\n");
            results.push_back(r);
        }
    }
    std::printf("\n");
    for (const result& r : results)
        std::printf("%s library %.4f framework %.4f overhead %+.1f%%\n", r.name.c_str(), r.library, r.framework,
                    (r.framework / r.library - 1) * 100);
    std::fflush(stdout);
    return failures ? 1 : 0;
}
