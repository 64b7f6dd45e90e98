#pragma once
// Hand-made WAVE files for the tests: chunks appended one after another, sizes patched afterwards.
//
//     wav_builder w;                         // "RIFF" size "WAVE"
//     w.chunk("fmt ", pcm_format(2, 44100, 16));
//     w.chunk("data", samples);
//     file_stream_ref f = w.file();          // a memory file, RIFF size filled in

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/memory_file.h"
#include "tests/support/le_bytes.h"

namespace wav_test {

using bytes = std::vector<uint8_t>;

using le_bytes::put16;
using le_bytes::put32;
using le_bytes::put64;
inline void put_text(bytes& b, const char* text) { b.insert(b.end(), text, text + std::strlen(text)); }

inline bytes pcm_format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, bool with_extra = true) {
    bytes b;
    put16(b, tag);
    put16(b, channels);
    put32(b, rate);
    put32(b, rate * channels * (bits / 8 ? bits / 8 : 1));
    put16(b, static_cast<uint16_t>(channels * (bits / 8 ? bits / 8 : 1)));
    put16(b, bits);
    if (with_extra) put16(b, 0);
    return b;
}

inline bytes extensible_format(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t mask, bool is_float) {
    bytes b = pcm_format(0xFFFE, channels, rate, bits, false);
    put16(b, 22);
    put16(b, bits);
    put32(b, mask);
    put32(b, is_float ? 3 : 1);
    const uint8_t rest[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    b.insert(b.end(), rest, rest + 12);
    return b;
}

class wav_builder {
public:
    wav_builder() {
        put_text(m_bytes, "RIFF");
        put32(m_bytes, 0);
        put_text(m_bytes, "WAVE");
    }
    // Appends a chunk with its pad byte; `size` overrides the size field.
    wav_builder& chunk(const char* code, const bytes& payload, int64_t size = -1) {
        put_text(m_bytes, code);
        put32(m_bytes, size < 0 ? static_cast<uint32_t>(payload.size()) : static_cast<uint32_t>(size));
        m_bytes.insert(m_bytes.end(), payload.begin(), payload.end());
        if (payload.size() & 1) m_bytes.push_back(0);
        return *this;
    }
    wav_builder& raw(const bytes& b) {
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
        return *this;
    }
    // The bytes with the RIFF size set to the content (or to `riff_size`).
    bytes get(int64_t riff_size = -1) const {
        bytes b = m_bytes;
        uint32_t size = riff_size < 0 ? static_cast<uint32_t>(b.size() - 8) : static_cast<uint32_t>(riff_size);
        std::memcpy(b.data() + 4, &size, 4);
        return b;
    }
    file_stream_ref file(int64_t riff_size = -1) const { return file_of(get(riff_size)); }

    static file_stream_ref file_of(const bytes& b) {
        file_stream_ref f = memory_file::create();
        if (!b.empty()) f->write(b.data(), b.size(), abort_never);
        f->seek(0, abort_never);
        return f;
    }
    static bytes content(file_stream& f) {
        bytes b(static_cast<size_t>(f.get_size(abort_never)));
        f.seek(0, abort_never);
        if (!b.empty()) f.read_exact(b.data(), b.size(), abort_never);
        return b;
    }

private:
    bytes m_bytes;
};

}  // namespace wav_test
