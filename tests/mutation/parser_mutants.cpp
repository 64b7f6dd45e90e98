// Mutation test of every parser: small valid files of each format the inputs and tag readers read are changed
// in deterministic ways (bits and bytes in the first kilobytes and the last 512 bytes, interesting 32-bit
// values over header fields, truncation, repeated and removed ranges), and each changed file goes through what the player does with a
// file: open, info, decode to the end, seek, and a tag write to a copy. A mutant may fail only with the
// program's own exceptions. It must not crash, hang (a time budget per mutant, watched by a thread), ask for
// an unbounded block of memory (a cap on every allocation) or change any file but the copy it writes.
//
//     parser_mutants FIXTURES SCRATCH [--mutants N] [--seed S] [--only NAME,...] [--mutant K] [--verbose 1]
//
// FIXTURES holds the files made by Debian's encoders (see parsers_test.sh); the tag, cue, language and
// configuration fixtures, and a WAVE file with the program's own LIST and "id3 " chunks, are made here. SCRATCH is an empty folder for the
// written copies. Mutant K of a format uses the generator seeded with S + K, so "--only NAME --seed S
// --mutant K" replays one mutant; every failure line says so.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "foundation/fs/file_system.h"
#include "foundation/fs/memory_file.h"
#include "foundation/fs/memory_sink.h"
#include "foundation/kpl/allocation_hooks.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/config_store.h"
#include "foundation/services/config_variable.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "inputs/input_probe.h"
#include "inputs/input_service.h"
#include "inputs/safe_rewrite.h"
#include "metadata/audio_block.h"
#include "metadata/cue/cue_sheet.h"
#include "metadata/tags/tag_exceptions.h"
#include "metadata/tags/tag_file_ops.h"
#include "metadata/track_info.h"
#include "shell/language_file.h"
#include "tests/support/guarded_heap.h"

namespace {

using bytes = std::vector<uint8_t>;

// ---- the watch: time budget, allocation cap, crash report ----

constexpr DWORD mutant_budget_ms = 20000;
constexpr size_t allocation_cap = 64u << 20;

char g_current[512] = "(none)";
// Mutants started so far, and whether one is running; the watchdog counts its own sleeps against them.
volatile LONG g_sequence = 0;
volatile LONG g_running = 0;
size_t g_largest = 0;
bool g_over_cap = false;
bool g_verbose = false;
const char* g_step = "";

void write_stderr(const char* text) {
    DWORD written;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

LONG WINAPI on_crash(EXCEPTION_POINTERS* info) {
    char line[700];
    std::snprintf(line, sizeof line, "CRASH (exception 0x%08lX) in %s\n",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode), g_current);
    write_stderr(line);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

DWORD WINAPI watchdog(void*) {
    LONG seen = -1;
    DWORD waited = 0;
    for (;;) {
        Sleep(250);
        const LONG now = g_sequence;
        if (!g_running || now != seen) {
            seen = now;
            waited = 0;
            continue;
        }
        waited += 250;
        if (waited > mutant_budget_ms) {
            char line[700];
            std::snprintf(line, sizeof line, "HANG (over %lu ms) in %s\n", static_cast<unsigned long>(mutant_budget_ms),
                          g_current);
            write_stderr(line);
            TerminateProcess(GetCurrentProcess(), 4);
        }
    }
}

void* capped_allocate(size_t size) {
    if (size > g_largest) g_largest = size;
    if (size > allocation_cap) {
        g_over_cap = true;
        kpl::throw_bad_alloc();
    }
    return nullptr;
}
void capped_check(size_t size) { capped_allocate(size); }
const kpl::allocation_hooks g_hooks = {capped_allocate, nullptr, capped_check};

// ---- the generator and the mutations ----

class generator {
public:
    explicit generator(uint64_t seed) : m_state(seed) {}
    uint64_t next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1 (n > 0).
    size_t below(size_t n) { return static_cast<size_t>(next() % n); }

private:
    uint64_t m_state;
};

// Where mutations land: mostly the first kilobytes, where the headers are, and now and then the last 512
// bytes, where trailing tags and the last pages or blocks are.
size_t head_offset(generator& g, size_t size) {
    if (size == 0) return 0;
    if (g.below(6) == 0) {
        const size_t tail = size < 512 ? size : 512;
        return size - 1 - g.below(tail);
    }
    size_t span = size < 4096 ? size : 4096;
    if (g.below(4) == 0) span = size < 256 ? size : 256;
    return g.below(span);
}

void mutate_once(generator& g, bytes& b, std::string& what) {
    static const uint32_t interesting[] = {0,          1,          2,          0x7F,       0x80,       0xFF,
                                           0x100,      0x7FFF,     0x8000,     0xFFFF,     0x10000,    0x7FFFFFF0,
                                           0x7FFFFFFF, 0x80000000, 0xFFFFFFF0, 0xFFFFFFFE, 0xFFFFFFFF};
    if (b.empty()) {
        b.push_back(static_cast<uint8_t>(g.next()));
        what += "grow;";
        return;
    }
    char note[96];
    switch (g.below(7)) {
        case 0: {   // one bit
            size_t at = head_offset(g, b.size());
            unsigned bit = static_cast<unsigned>(g.below(8));
            b[at] ^= static_cast<uint8_t>(1u << bit);
            std::snprintf(note, sizeof note, "bit %u@%u;", bit, static_cast<unsigned>(at));
            break;
        }
        case 1: {   // a few bytes
            size_t at = head_offset(g, b.size());
            size_t n = 1 + g.below(4);
            for (size_t i = 0; i < n && at + i < b.size(); ++i) b[at + i] = static_cast<uint8_t>(g.next());
            std::snprintf(note, sizeof note, "bytes %u@%u;", static_cast<unsigned>(n), static_cast<unsigned>(at));
            break;
        }
        case 2:
        case 3: {   // an interesting 32-bit value, either byte order, over a header field
            size_t at = head_offset(g, b.size());
            if (g.below(2)) at &= ~size_t(3);
            uint32_t v = g.below(6) == 0 ? static_cast<uint32_t>(b.size() + g.below(3) - 1)
                                         : interesting[g.below(sizeof interesting / sizeof interesting[0])];
            bool big = g.below(2) != 0;
            size_t width = g.below(3) == 0 ? 2 : 4;
            for (size_t i = 0; i < width && at + i < b.size(); ++i) {
                size_t shift = big ? 8 * (width - 1 - i) : 8 * i;
                b[at + i] = static_cast<uint8_t>(v >> shift);
            }
            std::snprintf(note, sizeof note, "value %08X/%u%s@%u;", v, static_cast<unsigned>(width), big ? "be" : "le",
                          static_cast<unsigned>(at));
            break;
        }
        case 4: {   // truncation, mostly early
            size_t at = g.below(2) ? head_offset(g, b.size()) : g.below(b.size());
            b.resize(at);
            std::snprintf(note, sizeof note, "cut@%u;", static_cast<unsigned>(at));
            break;
        }
        case 5: {   // a range repeated
            size_t at = head_offset(g, b.size());
            size_t n = 1 + g.below(g.below(2) ? 16 : 512);
            if (n > b.size() - at) n = b.size() - at;
            bytes copy(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(at + n), copy.begin(), copy.end());
            std::snprintf(note, sizeof note, "repeat %u@%u;", static_cast<unsigned>(n), static_cast<unsigned>(at));
            break;
        }
        default: {   // a range removed
            size_t at = head_offset(g, b.size());
            size_t n = 1 + g.below(g.below(2) ? 16 : 512);
            if (n > b.size() - at) n = b.size() - at;
            b.erase(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
            std::snprintf(note, sizeof note, "remove %u@%u;", static_cast<unsigned>(n), static_cast<unsigned>(at));
            break;
        }
    }
    what += note;
}

bytes mutate(const bytes& original, uint64_t seed, std::string& what) {
    generator g(seed);
    bytes b = original;
    size_t count = 1 + (g.below(3) == 0 ? g.below(4) : 0);
    for (size_t i = 0; i < count; ++i) mutate_once(g, b, what);
    return b;
}

// ---- files ----

std::wstring widen(const std::string& s) {
    std::wstring w(s.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], static_cast<int>(w.size()));
    w.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
    return w;
}

bytes read_disk(const std::string& path) {
    bytes out;
    HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    char buffer[65536];
    DWORD got;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) out.insert(out.end(), buffer, buffer + got);
    CloseHandle(h);
    return out;
}

void write_disk(const std::string& path, const bytes& b) {
    HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + path);
    DWORD written;
    if (!b.empty()) WriteFile(h, b.data(), static_cast<DWORD>(b.size()), &written, nullptr);
    CloseHandle(h);
}

// The names of the files in a folder.
std::vector<std::string> folder_files(const std::string& folder) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        if (std::strcmp(found.cFileName, ".") && std::strcmp(found.cFileName, "..")) out.push_back(found.cFileName);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return out;
}

file_stream_ref memory_with(const bytes& b) {
    file_stream_ref f = memory_file::create();
    if (!b.empty()) f->write(b.data(), b.size(), abort_never);
    f->seek(0, abort_never);
    return f;
}

bytes content_of(file_stream& f) {
    bytes b(static_cast<size_t>(f.get_size(abort_never)));
    f.seek(0, abort_never);
    if (!b.empty()) f.read_exact(b.data(), b.size(), abort_never);
    return b;
}

// ---- what each format's mutants go through ----

struct context {
    std::string scratch;   // Windows path of the scratch folder
    std::string location(const std::string& name) const { return "file://" + scratch + "\\" + name; }
    std::string path(const std::string& name) const { return scratch + "\\" + name; }
};

// Decodes at most this many sample frames per pass: a mutant may legitimately claim long audio.
constexpr uint64_t frames_per_pass = 2000000;

void decode_some(track_decoder& d, uint64_t limit, const abort_signal& abort) {
    audio_block_store block;
    uint64_t frames = 0;
    uint32_t empty = 0;
    while (frames < limit && d.decode_chunk(block, abort)) {
        frames += block.get_sample_count();
        if (block.get_sample_count() == 0 && ++empty > 100000) throw std::runtime_error("endless empty blocks");
    }
}

// Runs one step of a mutant's treatment: the program's own exceptions refuse the step (the mutant goes on
// to the next one); a bug check, an allocation failure or anything else ends the mutant as a failure.
uint32_t g_refusals = 0;
struct step_time {
    const char* name;
    DWORD ms;
};
std::vector<step_time> g_step_times;
struct step_timer {
    const char* name;
    DWORD start = GetTickCount();
    ~step_timer() {
        if (!g_verbose) return;
        for (step_time& t : g_step_times) {
            if (std::strcmp(t.name, name) == 0) {
                t.ms += GetTickCount() - start;
                return;
            }
        }
        g_step_times.push_back({name, GetTickCount() - start});
    }
};
template <class Step>
bool step(const char* name, Step run) {
    g_step = name;
    step_timer timer{name};
    try {
        run();
        return true;
    } catch (const kpl::exception_bug_check&) {
        throw;
    } catch (const kpl::exception_with_message& e) {
        ++g_refusals;
        if (g_verbose) std::printf("refused %s [%s]: %s %s\n", g_current, name, typeid(e).name(), e.what());
        return false;
    }
}

void run_input(const context& ctx, const std::string& extension, const bytes& mutant) {
    const std::string name = "m." + extension;
    // Reading: decoder over a memory copy, which must come out unchanged.
    {
        file_stream_ref file = memory_with(mutant);
        service_ptr<track_decoder> d;
        if (step("open", [&] { input_open_decoder(d, file, name.c_str(), abort_never, false); })) {
            const uint32_t count = d->subsong_count();
            for (uint32_t i = 0; i < count && i < 4; ++i) {
                const uint32_t subsong = d->subsong_id(i);
                track_info_store info;
                step("info", [&] {
                    d->get_info(subsong, info, abort_never);
                    d->get_file_stats(abort_never);
                });
                if (!step("initialise", [&] { d->initialise(subsong, decoder_flag_playback, abort_never); })) continue;
                step("decode", [&] { decode_some(*d, frames_per_pass, abort_never); });
                if (d->can_seek()) {
                    double length = info.get_length();
                    if (!(length > 0 && length < 1e6)) length = 1;
                    step("seek", [&] {
                        d->seek_seconds(length / 2, abort_never);
                        decode_some(*d, 20000, abort_never);
                    });
                    step("seek to 0", [&] {
                        d->seek_seconds(0, abort_never);
                        decode_some(*d, 5000, abort_never);
                    });
                    step("seek past the end", [&] {
                        d->seek_seconds(length + 5, abort_never);
                        decode_some(*d, 5000, abort_never);
                    });
                }
                track_info_store dynamic;
                double offset;
                d->dynamic_info(dynamic, offset);
            }
            if (extension == "m4a" && count > 0) {
                // The MP4 input's structure check runs at an initialise with the fail-on-damage flag.
                step("structure check", [&] {
                    d->initialise(d->subsong_id(0), decoder_flag_fail_on_damage, abort_never);
                    decode_some(*d, 2000, abort_never);
                });
            }
            d.release();
        }
        if (content_of(*file) != mutant) throw std::runtime_error("reading changed the file");
    }
    step("info reader", [&] {
        file_stream_ref file = memory_with(mutant);
        service_ptr<track_info_reader> r;
        input_open_info_reader(r, file, name.c_str(), abort_never, false);
        track_info_store info;
        r->get_info(r->subsong_id(0), info, abort_never);
    });
    // Writing: a copy on disk, through the info writer, then read back. A format that takes no tags (RF64,
    // Wave64) says so.
    write_disk(ctx.path(name), mutant);
    bool written = step("write", [&] {
        service_ptr<track_info_writer> w;
        try {
            input_open_info_writer(w, file_stream_ref(), ctx.location(name).c_str(), abort_never, false);
        } catch (const exception_tagging_unsupported&) {
            return;
        }
        const uint32_t subsong = w->subsong_id(0);
        track_info_store info;
        w->get_info(subsong, info, abort_never);
        info.meta_set("title", track_info::npos, "Mutant title", track_info::npos);
        info.meta_set("artist", track_info::npos, "Mutant artist", track_info::npos);
        w->stage_info(subsong, info, abort_never);
        w->commit_info(abort_never);
    });
    if (written) {
        step("read back", [&] {
            service_ptr<track_info_reader> r;
            input_open_info_reader(r, file_stream_ref(), ctx.location(name).c_str(), abort_never, false);
            track_info_store info;
            r->get_info(r->subsong_id(0), info, abort_never);
        });
    }
}

void run_tags(const context& ctx, const bytes& mutant) {
    {
        file_stream_ref file = memory_with(mutant);
        track_info_store info;
        read_id3v2_and_trailing_tags(*file, info, abort_never);
        if (content_of(*file) != mutant) throw std::runtime_error("reading changed the file");
    }
    write_disk(ctx.path("m.mp3"), mutant);
    const std::string location = ctx.location("m.mp3");
    file_stream_ref file;
    file_system_open(file, location.c_str(), open_mode_modify, abort_never);
    track_info_store info;
    try {
        read_id3v2_and_trailing_tags(*file, info, abort_never);
    } catch (const ketrel_io::exception_io&) {
        info.meta_remove_all();
    }
    info.meta_set("title", track_info::npos, "Mutant title", track_info::npos);
    safe_rewrite rewrite(location.c_str());
    try {
        trailing_tags_write(rewrite, *file, tag_flag_id3v2 | tag_flag_apev2 | tag_flag_id3v1, info, abort_never);
        rewrite.commit(file, abort_never);
    } catch (...) {
        rewrite.cancel();
        throw;
    }
    file.reset();
    file_system_open(file, location.c_str(), open_mode_read, abort_never);
    track_info_store back;
    read_id3v2_and_trailing_tags(*file, back, abort_never);
}

// The ALAC fixture: u32 LE cookie size, cookie, then per frame u32 LE size and the frame (alac_frames.py).
// Every block made here ends at an inaccessible page, so the decoder writing past its sample buffer or
// reading past a frame crashes the run.
void run_alac(const bytes& mutant) {
    guarded_heap_scope guard;
    size_t pos = 0;
    auto u32 = [&](uint32_t& v) {
        if (mutant.size() - pos < 4) return false;
        v = mutant[pos] | mutant[pos + 1] << 8 | mutant[pos + 2] << 16 | static_cast<uint32_t>(mutant[pos + 3]) << 24;
        pos += 4;
        return true;
    };
    uint32_t cookie_size;
    if (!u32(cookie_size) || cookie_size > mutant.size() - pos) throw ketrel_io::exception_io_data();
    // The decoder gets a copy of exactly each piece, so a read past it is a read past the block.
    bytes cookie(mutant.begin() + static_cast<std::ptrdiff_t>(pos), mutant.begin() + static_cast<std::ptrdiff_t>(pos + cookie_size));
    pos += cookie_size;
    service_ptr<codec_packet_decoder> d;
    codec_packet_decoder_open(d, true, codec_owner_alac, 0, cookie.data(), cookie.size(), abort_never);
    track_info_store info;
    d->get_info(info);
    audio_block_store block;
    uint32_t size;
    uint32_t damaged = 0;
    while (u32(size)) {
        if (size > mutant.size() - pos) size = static_cast<uint32_t>(mutant.size() - pos);
        bytes frame(mutant.begin() + static_cast<std::ptrdiff_t>(pos), mutant.begin() + static_cast<std::ptrdiff_t>(pos + size));
        pos += size;
        try {
            d->decode_packet(frame.data(), frame.size(), block, abort_never);
        } catch (const ketrel_io::exception_io_data&) {
            ++damaged;   // a damaged frame is dropped; the next one decodes on its own
        }
    }
    (void)damaged;
}

void run_cue(const bytes& mutant) {
    std::string text(mutant.begin(), mutant.end());
    cue_parser::cue_track_list tracks;
    cue_parser::cue_parse(text.c_str(), tracks);
    kpl::utf8_string_pow2 out;
    cue_parser::cue_write(out, tracks);
    cue_parser::cue_track_list again;
    cue_parser::cue_parse(out.c_str(), again);
}

void run_language(const bytes& mutant) {
    localization_map map;
    kpl::utf8_string_pow2 credits;
    parse_language_file(reinterpret_cast<const char*>(mutant.data()), mutant.size(), map, credits);
}

// Variables of a private list that the configuration fixture holds.
struct config_fixture {
    config_variable_list list;
    config_text text{{0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}}, "default", list};
    config_value<int32_t> number{{0x11111112, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}}, 5, list};
    config_string_list texts{{0x11111113, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}}, list};
    config_value<float> real{{0x11111114, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}}, 0.5f, list};
};

config_fixture& config_variables() {
    static config_fixture f;
    return f;
}

void put_u32(bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Odd mutants are read as they are (the header checks); even ones with their length and digest made right,
// so that the records themselves are read.
void run_config(const context& ctx, const bytes& mutant, uint32_t index) {
    const std::string location = ctx.location("config.dat");
    config_store store(config_variables().list);
    if (index % 2 || mutant.size() < config_file::header_size) {
        write_disk(ctx.path("config.dat"), mutant);
        store.read_file(location.c_str());
    } else {
        bytes fixed = mutant;
        const uint32_t length = static_cast<uint32_t>(fixed.size() - config_file::header_size);
        put_u32(fixed, 32, length);
        md5_digest digest = config_file::digest_of(fixed.data() + config_file::header_size, length);
        std::memcpy(fixed.data() + 16, digest.bytes, 16);
        write_disk(ctx.path("config.dat"), fixed);
        store.read_file(location.c_str());
    }
}

// ---- fixtures made in-process ----

bytes mp3_like_with_tags(const context& ctx) {
    // Frame-shaped data (MPEG-1 layer III headers, 417-byte frames) under ID3v2, APEv2 and ID3v1 tags.
    bytes audio;
    for (int f = 0; f < 12; ++f) {
        const uint8_t head[4] = {0xFF, 0xFB, 0x90, 0x64};
        audio.insert(audio.end(), head, head + 4);
        for (int i = 0; i < 413; ++i) audio.push_back(static_cast<uint8_t>(i * 31 + f));
    }
    write_disk(ctx.path("fixture.mp3"), audio);
    const std::string location = ctx.location("fixture.mp3");
    file_stream_ref file;
    file_system_open(file, location.c_str(), open_mode_modify, abort_never);
    track_info_store info;
    info.meta_set("title", track_info::npos, "Fixture title", track_info::npos);
    info.meta_set("artist", track_info::npos, "Fixture artist", track_info::npos);
    info.meta_add("genre", track_info::npos, "Rock", track_info::npos);
    info.meta_add_value("Jazz", static_cast<uint32_t>(info.meta_find("genre")));
    info.meta_set("tracknumber", track_info::npos, "3/12", track_info::npos);
    info.meta_set("date", track_info::npos, "1999", track_info::npos);
    info.meta_set("comment", track_info::npos, "a comment", track_info::npos);
    replaygain_values rg;
    rg.track_gain = -3.5f;
    rg.track_peak = 0.9f;
    info.set_replaygain(rg);
    safe_rewrite rewrite(location.c_str());
    trailing_tags_write(rewrite, *file, tag_flag_id3v2 | tag_flag_apev2 | tag_flag_id3v1, info, abort_never);
    rewrite.commit(file, abort_never);
    file.reset();
    bytes out = read_disk(ctx.path("fixture.mp3"));
    DeleteFileW(widen(ctx.path("fixture.mp3")).c_str());
    return out;
}

// A fixture after the program's own tag writer went over it (for WAVE: a LIST "INFO" and an "id3 " chunk).
bytes retagged(const context& ctx, const bytes& original, const char* extension) {
    const std::string name = std::string("fixture.") + extension;
    write_disk(ctx.path(name), original);
    {
        service_ptr<track_info_writer> w;
        input_open_info_writer(w, file_stream_ref(), ctx.location(name).c_str(), abort_never, false);
        track_info_store info;
        w->get_info(w->subsong_id(0), info, abort_never);
        info.meta_set("title", track_info::npos, "Fixture title", track_info::npos);
        info.meta_set("album", track_info::npos, "Fixture album", track_info::npos);
        info.meta_set("comment", track_info::npos, "written by the player", track_info::npos);
        w->stage_info(w->subsong_id(0), info, abort_never);
        w->commit_info(abort_never);
    }
    bytes out = read_disk(ctx.path(name));
    DeleteFileW(widen(ctx.path(name)).c_str());
    return out;
}

bytes cue_fixture() {
    const char* text =
        "REM GENRE \"Rock\"\r\nREM DATE 1999\r\nREM REPLAYGAIN_ALBUM_GAIN -3.00 dB\r\nPERFORMER \"Someone\"\r\n"
        "TITLE \"An album\"\r\nFILE \"a.flac\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"One\"\r\n"
        "    FLAGS DCP\r\n    ISRC ABCDE1234567\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n"
        "    PERFORMER \"Other\"\r\n    PREGAP 00:02:00\r\n    INDEX 00 01:10:00\r\n    INDEX 01 01:12:33\r\n"
        "FILE \"b.wav\" WAVE\r\n  TRACK 03 AUDIO\r\n    TITLE \"Three\"\r\n    INDEX 01 00:00:00\r\n"
        "";
    return bytes(text, text + std::strlen(text));
}

bytes language_fixture() {
    const char* text =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- a table -->\r\n"
        "<localization name=\"Test\">\r\n  <entry id=\"menu_exit\" text=\"E&amp;xit\"/>\r\n"
        "  <entry id=\"a\" text=\"&lt;&#65;&#x42;&quot;&apos;\" />\r\n  <ENTRY ID=\"b\" TEXT=\"upper\"></ENTRY>\r\n"
        "  <entry id=\"c\" text=\"caf\xC3\xA9\"/>\r\n  <other><nested x=\"1\">t &gt; u</nested></other>\r\n"
        "  <copyright>  Translated <!-- by --> by &amp; someone  </copyright>\r\n</localization>\r\n";
    return bytes(text, text + std::strlen(text));
}

bytes config_fixture_bytes() {
    config_fixture& v = config_variables();
    v.text.set("a configured text");
    v.number = 1234;
    v.texts.get().append("first");
    v.texts.get().append("second");
    v.real = 2.25f;
    memory_sink stream;
    config_store::write_records(stream, abort_never, v.list);
    bytes out(config_file::header_size);
    std::memcpy(out.data(), &config_file::magic, 16);
    md5_digest digest = config_file::digest_of(stream.data(), stream.size());
    std::memcpy(out.data() + 16, digest.bytes, 16);
    put_u32(out, 32, static_cast<uint32_t>(stream.size()));
    const uint8_t* p = static_cast<const uint8_t*>(stream.data());
    out.insert(out.end(), p, p + stream.size());
    return out;
}

// ---- the run ----

enum class kind { input, retagged_input, tags, alac, cue, language, config };

struct format {
    const char* name;
    kind how;
    const char* fixture;     // file in FIXTURES (inputs and ALAC)
    const char* extension;   // of the mutant (inputs)
    bytes original;
};

struct outcome {
    uint32_t passed = 0, refused = 0, failed = 0;
};

bool run_one(const context& ctx, format& f, uint64_t seed, uint32_t index, outcome& result) {
    std::string what;
    bytes mutant = index == 0 ? f.original : mutate(f.original, seed + index, what);
    if (index == 0) what = "unchanged;";
    std::snprintf(g_current, sizeof g_current, "%s mutant %u (--only %s --seed %llu --mutant %u): %s", f.name, index,
                  f.name, static_cast<unsigned long long>(seed), index, what.c_str());
    std::string failure;
    g_step = "";
    g_over_cap = false;
    InterlockedIncrement(&g_sequence);
    g_running = 1;
    const kpl::allocation_hooks* before = kpl::set_allocation_hooks(&g_hooks);
    bool refused = false;
    g_refusals = 0;
    try {
        switch (f.how) {
            case kind::input:
            case kind::retagged_input: run_input(ctx, f.extension, mutant); break;
            case kind::tags: run_tags(ctx, mutant); break;
            case kind::alac: run_alac(mutant); break;
            case kind::cue: run_cue(mutant); break;
            case kind::language: run_language(mutant); break;
            case kind::config: run_config(ctx, mutant, index); break;
        }
    } catch (const kpl::exception_bug_check& e) {
        failure = std::string("bug check: ") + e.what();
    } catch (const std::bad_alloc& e) {
        failure = g_over_cap ? "allocation over the cap" : std::string("allocation failure: ") + e.what();
    } catch (const kpl::exception_with_message& e) {
        refused = true;
        if (g_verbose) std::printf("refused %s [%s]: %s %s\n", g_current, g_step, typeid(e).name(), e.what());
    } catch (const std::exception& e) {
        failure = std::string("foreign exception: ") + e.what();
    } catch (...) {
        failure = "exception of no known type";
    }
    kpl::set_allocation_hooks(before);
    g_running = 0;
    if (g_refusals) refused = true;
    if (g_over_cap && failure.empty()) failure = "allocation over the cap (caught inside)";
    // Nothing but the copy may be left in the scratch folder.
    for (const std::string& name : folder_files(ctx.scratch)) {
        if (name.compare(0, 2, "m.") != 0 && name != "config.dat") {
            if (failure.empty()) failure = "left a file behind: " + name;
        }
        DeleteFileW(widen(ctx.scratch + "\\" + name).c_str());
    }
    if (index == 0 && refused) failure = "the unchanged fixture is refused";
    if (!failure.empty()) {
        std::fprintf(stdout, "FAIL %s [%s]: %s\n", g_current, g_step, failure.c_str());
        std::fflush(stdout);
        ++result.failed;
        return false;
    }
    ++(refused ? result.refused : result.passed);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: parser_mutants FIXTURES SCRATCH [--mutants N] [--seed S] [--only NAME] [--mutant K]\n");
        return 2;
    }
    const std::string fixtures = argv[1];
    context ctx{argv[2]};
    uint32_t mutants = 2000;
    uint64_t seed = 20261210;
    std::string only;
    long single = -1;
    for (int i = 3; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--mutants") mutants = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        else if (option == "--seed") seed = std::strtoull(argv[i + 1], nullptr, 10);
        else if (option == "--only") only = argv[i + 1];
        else if (option == "--mutant") single = std::strtol(argv[i + 1], nullptr, 10);
        else if (option == "--verbose") g_verbose = argv[i + 1][0] == '1';
    }
    SetUnhandledExceptionFilter(on_crash);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr);
    service_registry::table().build(service_registration_list());
    config_store::set_quiet(true);

    std::vector<format> formats = {
        {"flac", kind::input, "t.flac", "flac", {}},
        {"vorbis", kind::input, "t.ogg", "ogg", {}},
        {"opus", kind::input, "t.opus", "opus", {}},
        {"oggflac", kind::input, "t.oga", "oga", {}},
        {"wavpack", kind::input, "t.wv", "wv", {}},
        {"wav", kind::input, "t.wav", "wav", {}},
        {"wavtags", kind::retagged_input, "t.wav", "wav", {}},
        {"rf64", kind::input, "t.rf64.wav", "wav", {}},
        {"wave64", kind::input, "t.w64", "w64", {}},
        {"musepack", kind::input, "t.mpc", "mpc", {}},
        {"matroska", kind::input, "t.mka", "mka", {}},
        {"webm", kind::input, "t.webm", "webm", {}},
        {"alac", kind::alac, "t.alacframes", nullptr, {}},
        {"mp4", kind::input, "t.chapters.m4a", "m4a", {}},
        {"tags", kind::tags, nullptr, nullptr, {}},
        {"cue", kind::cue, nullptr, nullptr, {}},
        {"language", kind::language, nullptr, nullptr, {}},
        {"config", kind::config, nullptr, nullptr, {}},
    };
    std::printf("seed %llu, %u mutants per format\n", static_cast<unsigned long long>(seed), mutants);
    uint32_t failures = 0;
    for (format& f : formats) {
        if (!only.empty() && ("," + only + ",").find(std::string(",") + f.name + ",") == std::string::npos) continue;
        try {
            switch (f.how) {
                case kind::input:
                case kind::alac: f.original = read_disk(fixtures + "\\" + f.fixture); break;
                case kind::retagged_input:
                    f.original = retagged(ctx, read_disk(fixtures + "\\" + f.fixture), f.extension);
                    break;
                case kind::tags: f.original = mp3_like_with_tags(ctx); break;
                case kind::cue: f.original = cue_fixture(); break;
                case kind::language: f.original = language_fixture(); break;
                case kind::config: f.original = config_fixture_bytes(); break;
            }
        } catch (const std::exception& e) {
            std::printf("FAIL %s: the fixture cannot be made: %s\n", f.name, e.what());
            ++failures;
            continue;
        }
        if (f.original.empty()) {
            std::printf("FAIL %s: no fixture %s\n", f.name, f.fixture ? f.fixture : "");
            ++failures;
            continue;
        }
        outcome result;
        g_largest = 0;
        const DWORD start = GetTickCount();
        for (uint32_t i = 0; i <= mutants; ++i) {
            if (single >= 0 && static_cast<uint32_t>(single) != i) continue;
            run_one(ctx, f, seed, i, result);
        }
        failures += result.failed;
        for (const step_time& t : g_step_times) std::printf("  %s: %lu ms\n", t.name, static_cast<unsigned long>(t.ms));
        g_step_times.clear();
        std::printf("%-9s %5u bytes: %u passed, %u refused, %u failed; largest block %u bytes; %.1f s\n", f.name,
                    static_cast<unsigned>(f.original.size()), result.passed, result.refused, result.failed,
                    static_cast<unsigned>(g_largest), (GetTickCount() - start) / 1000.0);
        std::fflush(stdout);
    }
    std::printf("%s\n", failures ? "FAILED" : "all mutants handled");
    return failures ? 1 : 0;
}
