#pragma once
// A small EBML writer for the Matroska tests: elements from stored IDs and payloads, and a minimal PCM file to vary.
//
//     bytes file = mkv::file_of(mkv::segment({mkv::info(), mkv::pcm_tracks(), mkv::cluster(0, {mkv::block(1, 0, pcm)})}));

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "compressed_inputs/matroska/ebml_ids.h"

namespace mkv {

using bytes = std::vector<uint8_t>;
namespace id = Matroska::id;

// The shortest size encoding (127 takes 2 bytes; all ones is the unknown size).
inline bytes vint(uint64_t v) {
    int n = 1;
    while (n < 8 && v >= (uint64_t(1) << (7 * n)) - 1) ++n;
    bytes out(static_cast<size_t>(n));
    const uint64_t marked = v | (uint64_t(1) << (7 * n));
    for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(marked >> (8 * (n - 1 - i)));
    return out;
}

// A stored ID written back with its marker.
inline bytes id_bytes(uint32_t stored) {
    int n = stored < 0x7F ? 1 : stored < 0x3FFF ? 2 : stored < 0x1FFFFF ? 3 : 4;
    bytes out(static_cast<size_t>(n));
    const uint32_t marked = stored | (uint32_t(1) << (7 * n));
    for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(marked >> (8 * (n - 1 - i)));
    return out;
}

inline bytes cat(std::initializer_list<bytes> parts) {
    bytes out;
    for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
inline bytes cat(const std::vector<bytes>& parts) {
    bytes out;
    for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline bytes el(uint32_t stored, const bytes& payload) { return cat({id_bytes(stored), vint(payload.size()), payload}); }
inline bytes el(uint32_t stored, std::initializer_list<bytes> children) { return el(stored, cat(children)); }
// An element with a size field of exactly `width` bytes.
inline bytes el_width(uint32_t stored, const bytes& payload, int width) {
    bytes size(static_cast<size_t>(width));
    const uint64_t marked = payload.size() | (uint64_t(1) << (7 * width));
    for (int i = 0; i < width; ++i) size[static_cast<size_t>(i)] = static_cast<uint8_t>(marked >> (8 * (width - 1 - i)));
    return cat({id_bytes(stored), size, payload});
}

inline bytes u(uint64_t v) {
    bytes out;
    do {
        out.insert(out.begin(), static_cast<uint8_t>(v));
        v >>= 8;
    } while (v);
    return out;
}
inline bytes str(const std::string& s) { return bytes(s.begin(), s.end()); }
inline bytes f64(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    bytes out(8);
    for (int i = 0; i < 8; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    return out;
}

inline bytes ebml_header(const std::string& doctype = "matroska") {
    return el(id::ebml, {el(id::ebml_read_version, u(1)), el(id::doc_type, str(doctype)),
                         el(id::doc_type_read_version, u(2))});
}
inline bytes segment(const std::vector<bytes>& children) { return el(id::segment, cat(children)); }
inline bytes file_of(const bytes& seg, const std::string& doctype = "matroska") { return cat({ebml_header(doctype), seg}); }

// Info with a 1 ms tick (and a Duration in ms when above 0).
inline bytes info(double duration_ms = 0, uint64_t scale = 1000000) {
    bytes content = el(id::timecode_scale, u(scale));
    if (duration_ms > 0) content = cat({content, el(id::duration, f64(duration_ms))});
    return el(id::info, content);
}

struct track_spec {
    uint64_t number = 1, uid = 1, type = 2;
    std::string codec = "A_PCM/INT/LIT";
    double rate = 8000, output_rate = 0;
    uint64_t channels = 1, bits = 16;
    bool is_default = false, forced = false;
    bytes extra;  // more children of the TrackEntry
};
inline bytes track_entry(const track_spec& t) {
    bytes audio = cat({el(id::sampling_frequency, f64(t.rate)), el(id::channels, u(t.channels)),
                       el(id::bit_depth, u(t.bits))});
    if (t.output_rate > 0) audio = cat({audio, el(id::output_sampling_frequency, f64(t.output_rate))});
    bytes content = cat({el(id::track_number, u(t.number)), el(id::track_uid, u(t.uid)), el(id::track_type, u(t.type)),
                         el(id::codec_id, str(t.codec))});
    if (t.is_default) content = cat({content, el(id::flag_default, u(1))});
    if (t.forced) content = cat({content, el(id::flag_forced, u(1))});
    if (t.type == 2) content = cat({content, el(id::audio, audio)});
    return el(id::track_entry, cat({content, t.extra}));
}
inline bytes tracks(std::initializer_list<track_spec> list) {
    std::vector<bytes> entries;
    for (const track_spec& t : list) entries.push_back(track_entry(t));
    return el(id::tracks, cat(entries));
}
inline bytes pcm_tracks() { return tracks({track_spec()}); }

// A SimpleBlock of one track (flags: 0x80 keyframe, lacing bits as given).
inline bytes block(uint64_t track, int16_t timecode, const bytes& frames, uint8_t flags = 0x80) {
    return el(id::simple_block, cat({vint(track), {static_cast<uint8_t>(static_cast<uint16_t>(timecode) >> 8),
                                                   static_cast<uint8_t>(timecode), flags},
                                     frames}));
}
inline bytes cluster(uint64_t time, std::initializer_list<bytes> blocks) {
    return el(id::cluster, cat({el(id::timecode, u(time)), cat(blocks)}));
}

// n 16-bit mono samples counting up from `first`.
inline bytes ramp(int first, int n) {
    bytes out;
    for (int i = 0; i < n; ++i) {
        const uint16_t v = static_cast<uint16_t>(first + i);
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    }
    return out;
}

}  // namespace mkv
