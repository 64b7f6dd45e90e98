#pragma once
// Movie boxes built for the atomkit tests: headers, sample descriptions, tables, tracks and whole files.

#include <array>
#include <string>

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/movie_file.h"
#include "tests/compressed_inputs/mp4/atomkit_test_support.h"

namespace atomkit_test {

inline void put16(bytes& b, uint32_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
inline bytes text(const std::string& s) { return bytes(s.begin(), s.end()); }
inline bytes full(uint32_t version_flags, const bytes& rest = {}) {
    bytes b;
    put32(b, version_flags);
    return cat({b, rest});
}

inline bytes mvhd(uint32_t scale, uint32_t duration) {
    bytes b;
    put32(b, 0), put32(b, 0), put32(b, 0), put32(b, scale), put32(b, duration);
    b.resize(b.size() + 80, 0);
    return box("mvhd", b);
}
inline bytes mdhd(uint32_t scale, uint64_t duration, bool version1 = false) {
    bytes b;
    if (version1) {
        put32(b, 0x01000000), put64(b, 0), put64(b, 0), put32(b, scale), put64(b, duration);
    } else {
        put32(b, 0), put32(b, 0), put32(b, 0), put32(b, scale), put32(b, uint32_t(duration));
    }
    put16(b, 0), put16(b, 0);
    return box("mdhd", b);
}
// An audio sample entry body (28 bytes) followed by its child boxes.
inline bytes audio_entry(const char* type, uint32_t channels, uint32_t bits, uint32_t rate, const bytes& children = {}) {
    bytes b(6, 0);
    put16(b, 1);
    b.resize(b.size() + 8, 0);
    put16(b, channels), put16(b, bits), put16(b, 0), put16(b, 0), put16(b, rate), put16(b, 0);
    return box(type, cat({b, children}));
}
inline bytes esds(uint32_t object_type, const bytes& config, uint32_t avg = 128000) {
    bytes dsi = {5, uint8_t(config.size())};
    dsi.insert(dsi.end(), config.begin(), config.end());
    bytes dcd = {4, uint8_t(13 + dsi.size()), uint8_t(object_type), 0x15, 0, 0, 0};
    put32(dcd, avg + 1000), put32(dcd, avg);
    dcd = cat({dcd, dsi});
    bytes es = {3, uint8_t(3 + dcd.size() + 3), 0, 1, 0};
    es = cat({es, dcd, bytes{6, 1, 2}});
    return box("esds", full(0, es));
}
inline bytes stsd(const bytes& entries, uint32_t count = 1) {
    bytes b;
    put32(b, 0), put32(b, count);
    return box("stsd", cat({b, entries}));
}
inline bytes stts(std::initializer_list<std::pair<uint32_t, uint32_t>> runs) {
    bytes b;
    put32(b, 0), put32(b, uint32_t(runs.size()));
    for (auto r : runs) put32(b, r.first), put32(b, r.second);
    return box("stts", b);
}
inline bytes ctts(std::initializer_list<std::pair<uint32_t, uint32_t>> runs) {
    bytes b;
    put32(b, 0), put32(b, uint32_t(runs.size()));
    for (auto r : runs) put32(b, r.first), put32(b, r.second);
    return box("ctts", b);
}
inline bytes stsz(uint32_t constant, std::initializer_list<uint32_t> sizes, uint32_t count = 0) {
    bytes b;
    put32(b, 0), put32(b, constant), put32(b, constant ? count : uint32_t(sizes.size()));
    for (uint32_t s : sizes) put32(b, s);
    return box("stsz", b);
}
inline bytes stsc(std::initializer_list<std::array<uint32_t, 3>> rows) {
    bytes b;
    put32(b, 0), put32(b, uint32_t(rows.size()));
    for (auto r : rows) put32(b, r[0]), put32(b, r[1]), put32(b, r[2]);
    return box("stsc", b);
}
inline bytes stco(std::initializer_list<uint32_t> offsets) {
    bytes b;
    put32(b, 0), put32(b, uint32_t(offsets.size()));
    for (uint32_t o : offsets) put32(b, o);
    return box("stco", b);
}
inline bytes u32_table(const char* type, std::initializer_list<uint32_t> values) {
    bytes b;
    put32(b, 0), put32(b, uint32_t(values.size()));
    for (uint32_t v : values) put32(b, v);
    return box(type, b);
}
inline bytes trak(const bytes& mdhd_box, const bytes& stbl_children) {
    return box("trak", cat({box("tkhd", filler(84, 0)),
                            box("mdia", cat({mdhd_box, box("hdlr", filler(25, 0)),
                                             box("minf", cat({box("smhd", filler(8, 0)), box("stbl", stbl_children)}))}))}));
}
// An AAC track of `frames` samples of 1024 at 44100 Hz, one chunk at offset `offset`, sizes 10 each.
inline bytes aac_trak(uint32_t frames, uint32_t offset, const bytes& extra_stbl = {}) {
    return trak(mdhd(44100, uint64_t(frames) * 1024),
                cat({stsd(audio_entry("mp4a", 2, 16, 44100, esds(64, {0x12, 0x10}))), stts({{frames, 1024}}),
                     stsc({{1, frames, 1}}), stsz(10, {}, frames), stco({offset}), extra_stbl}));
}
inline bytes ftyp() { return box("ftyp", text("M4A \0\0\0\0M4A mp42")); }
inline bytes udta(const bytes& children) { return box("udta", children); }

// An "ilst" item holding one "data" box.
inline bytes item(const char* type, uint32_t code, const bytes& value) {
    bytes d;
    put32(d, code), put32(d, 0);
    return box(type, box("data", cat({d, value})));
}
inline bytes freeform(const std::string& name, const std::string& value) {
    bytes d;
    put32(d, 1), put32(d, 0);
    return box("----", cat({box("mean", full(0, text("com.apple.iTunes"))), box("name", full(0, text(name))),
                            box("data", cat({d, text(value)}))}));
}
inline bytes meta_ilst(const bytes& items) {
    return box("meta", full(0, cat({box("hdlr", filler(25, 0)), box("ilst", items)})));
}

// Opens a model over the bytes of a whole file.
inline void open_model(atomkit::movie_file& m, const bytes& file, uint32_t flags = 0x13, bool seekable = true) {
    memory_file f(file);
    m.open(f, flags, seekable);
}

}  // namespace atomkit_test
