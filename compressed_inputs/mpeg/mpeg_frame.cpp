#include "compressed_inputs/mpeg/mpeg_frame.h"

#include <cstring>

namespace {

// kbit/s by bitrate index (ISO/IEC 11172-3 and 13818-3); 0 for free format and index 15.
const uint16_t g_bitrates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 Layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 Layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2/2.5 Layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2/2.5 Layers II, III
};

uint32_t big_endian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Reads bits from a byte string, most significant first.
class bit_reader {
public:
    bit_reader(const uint8_t* data, uint32_t bytes) : m_data(data), m_bits(bytes * 8) {}
    bool read(uint32_t n, uint32_t& value) {
        if (n > m_bits - m_position) return false;
        value = 0;
        for (uint32_t i = 0; i < n; ++i, ++m_position) {
            value = value << 1 | ((m_data[m_position >> 3] >> (7 - (m_position & 7))) & 1);
        }
        return true;
    }
    uint32_t position() const { return m_position; }

private:
    const uint8_t* m_data;
    uint32_t m_bits;
    uint32_t m_position = 0;
};

// Bits of the allocation field per subband of the Layer II allocation table in use, and the subband limit.
uint32_t layer2_allocation_bits(const mpeg_frame_header& h, uint8_t* nbal) {
    if (h.version != 0) {  // one table for MPEG-2 and 2.5
        for (uint32_t sb = 0; sb < 30; ++sb) nbal[sb] = sb < 4 ? 4 : sb < 11 ? 3 : 2;
        return 30;
    }
    const uint32_t per_channel = h.channel_mode == 3 ? h.bitrate : h.bitrate / 2;
    if (per_channel <= 48) {  // the low-rate tables
        const uint32_t limit = h.sample_rate == 32000 ? 12 : 8;
        for (uint32_t sb = 0; sb < limit; ++sb) nbal[sb] = sb < 2 ? 4 : 3;
        return limit;
    }
    const uint32_t limit = (h.sample_rate == 48000 || per_channel <= 80) ? 27 : 30;
    for (uint32_t sb = 0; sb < limit; ++sb) nbal[sb] = sb < 11 ? 4 : sb < 23 ? 3 : 2;
    return limit;
}

// The number of bits after the CRC word that the CRC protects; 0 when the frame is too short to hold them.
uint32_t protected_bits(const uint8_t* frame, size_t available, const mpeg_frame_header& h) {
    const uint32_t channels = h.channel_mode == 3 ? 1 : 2;
    if (h.layer == 3) {
        if (h.version == 0) return (channels == 2 ? 32 : 17) * 8;
        return (channels == 2 ? 17 : 9) * 8;
    }
    const uint32_t bound = h.channel_mode == 1 ? 4 * (uint32_t(h.mode_extension) + 1) : 32;
    if (h.layer == 1) {
        uint32_t bits = 0;
        for (uint32_t sb = 0; sb < 32; ++sb) bits += (sb < bound ? channels : 1) * 4;
        return bits;
    }
    uint8_t nbal[32];
    const uint32_t limit = layer2_allocation_bits(h, nbal);
    const uint32_t shared_from = bound < limit ? bound : limit;
    bit_reader reader(frame + 6, available > 6 ? static_cast<uint32_t>(available - 6) : 0);
    uint32_t allocation[2][32] = {};
    for (uint32_t sb = 0; sb < limit; ++sb) {
        if (sb < shared_from) {
            for (uint32_t ch = 0; ch < channels; ++ch) {
                if (!reader.read(nbal[sb], allocation[ch][sb])) return 0;
            }
        } else {
            if (!reader.read(nbal[sb], allocation[0][sb])) return 0;
            allocation[1][sb] = allocation[0][sb];
        }
    }
    uint32_t bits = reader.position();
    for (uint32_t sb = 0; sb < limit; ++sb) {
        for (uint32_t ch = 0; ch < channels; ++ch) {
            if (allocation[ch][sb]) bits += 2;
        }
    }
    return bits;
}

// A text the encoder wrote: no byte of 0x80 or above, none below 0x20 before the first zero, only zeros after.
bool plain_text(const uint8_t* p, uint32_t n) {
    bool ended = false;
    for (uint32_t i = 0; i < n; ++i) {
        if (p[i] >= 0x80) return false;
        if (ended) {
            if (p[i] != 0) return false;
        } else if (p[i] == 0) {
            ended = true;
        } else if (p[i] < 0x20) {
            return false;
        }
    }
    return true;
}

void set_encoder_text(xing_header& out, const uint8_t* p, uint32_t n) {
    uint32_t length = 0;
    while (length < n && p[length]) ++length;
    while (length > 0) {
        const char c = static_cast<char>(p[length - 1]);
        if (c != '\t' && c != ' ' && c != '.' && c != '_') break;
        --length;
    }
    out.encoder.set_counted(reinterpret_cast<const char*>(p), length);
}

}  // namespace

bool mpeg_parse_frame_header(const uint8_t b[4], mpeg_frame_header& out) {
    out = mpeg_frame_header();
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return false;
    const uint32_t version_bits = (b[1] >> 3) & 3, layer_bits = (b[1] >> 1) & 3;
    const uint32_t bitrate_index = b[2] >> 4, rate_index = (b[2] >> 2) & 3, padding = (b[2] >> 1) & 1;
    if (layer_bits == 0 || version_bits == 1 || rate_index == 3) return false;
    mpeg_frame_header h;
    h.layer = static_cast<int>(4 - layer_bits);
    h.version = version_bits == 3 ? 0 : version_bits == 2 ? 1 : 2;
    const uint32_t row = h.version == 0 ? uint32_t(h.layer - 1) : h.layer == 1 ? 3 : 4;
    h.bitrate = g_bitrates[row][bitrate_index];
    if (h.bitrate == 0) return false;
    static const uint32_t base_rates[3] = {11025, 12000, 8000};
    h.sample_rate = base_rates[rate_index] * (h.version == 0 ? 4 : h.version == 1 ? 2 : 1);
    h.samples_per_frame = h.layer == 1 ? 384 : (h.layer == 3 && h.version != 0) ? 576 : 1152;
    h.frame_bytes = h.bitrate * h.samples_per_frame * 125 / h.sample_rate + (padding ? (h.layer == 1 ? 4 : 1) : 0);
    if (h.layer == 1) h.frame_bytes &= ~3u;
    h.channel_mode = b[3] >> 6;
    h.mode_extension = (b[3] >> 4) & 3;
    h.channels = h.channel_mode == 3 ? 1 : 2;
    h.has_crc = (b[1] & 1) == 0;
    out = h;
    return true;
}

uint32_t mpeg_decoder_delay(int layer) { return layer == 3 ? 529 : layer == 2 ? 481 : 0; }

bool mpeg_headers_compatible(const mpeg_frame_header& first, const mpeg_frame_header& second) {
    return second.layer != 0 && first.sample_rate == second.sample_rate && first.channels == second.channels;
}

uint16_t mpeg_crc16_bits(uint16_t crc, const uint8_t* data, uint32_t bits) {
    for (uint32_t i = 0; i < bits; ++i) {
        const uint32_t bit = (data[i >> 3] >> (7 - (i & 7))) & 1;
        const uint32_t top = (crc >> 15) & 1;
        crc = static_cast<uint16_t>(crc << 1);
        if (top ^ bit) crc ^= 0x8005;
    }
    return crc;
}

bool mpeg_frame_crc_ok(const uint8_t* frame, size_t available, const mpeg_frame_header& h) {
    if (!h.has_crc) return true;
    if (available < h.frame_bytes || available < 6) return false;
    const uint32_t bits = protected_bits(frame, available, h);
    if (bits == 0 || 6 + (bits + 7) / 8 > h.frame_bytes) return false;
    uint16_t crc = mpeg_crc16_bits(0xFFFF, frame + 2, 16);
    crc = mpeg_crc16_bits(crc, frame + 6, bits);
    return crc == (uint16_t(frame[4]) << 8 | frame[5]);
}

bool xing_parse(const uint8_t* frame, uint32_t frame_bytes, xing_header& out) {
    out = xing_header();
    if (frame_bytes < 4) return false;
    const bool mpeg1 = (frame[1] & 0x08) != 0, mono = (frame[3] >> 6) == 3;
    uint32_t at = mpeg1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
    auto u32 = [&](uint32_t& value) {
        if (at + 4 > frame_bytes) return false;
        value = big_endian32(frame + at);
        at += 4;
        return true;
    };
    if (at + 4 > frame_bytes) return false;
    if (std::memcmp(frame + at, "Xing", 4) == 0) {
        out.is_info = false;
    } else if (std::memcmp(frame + at, "Info", 4) == 0) {
        out.is_info = true;
    } else {
        return false;
    }
    at += 4;
    if (!u32(out.flags) || !(out.flags & 1) || !u32(out.frames) || out.frames <= 1) return false;
    if ((out.flags & 2) && !u32(out.bytes)) return false;
    if (out.flags & 4) {
        if (at + 100 > frame_bytes) return false;
        at += 100;
    }
    if (out.flags & 8) {
        uint32_t q;
        if (!u32(q)) return false;
        out.quality = static_cast<int32_t>(q);
    }
    const uint32_t e = at;
    const char* default_profile = out.is_info ? "CBR" : "VBR";
    // The extension needs its revision byte at e+9: a frame that ends before it has none.
    if (e + 10 > frame_bytes) {
        out.profile = default_profile;
        return true;
    }
    const uint8_t revision = frame[e + 9] >> 4;
    if (revision <= 1) {
        if (plain_text(frame + e, 9)) set_encoder_text(out, frame + e, 9);
        bool average = false;
        if (!out.is_info) {
            out.vbr_method = frame[e + 9] & 0x0F;
            average = out.vbr_method == 2 || out.vbr_method == 9;
        }
        if (e + 10 < frame_bytes) out.lowpass = frame[e + 10];
        if (e + 23 < frame_bytes) {
            out.delay = int32_t(frame[e + 21]) * 16 + (frame[e + 22] >> 4);
            out.padding = int32_t(frame[e + 22] & 0x0F) * 256 + frame[e + 23];
        }
        if (out.is_info) {
            out.profile = "CBR";
        } else if (average) {
            out.profile = "ABR";
        } else if (out.quality >= 1 && out.quality <= 100) {
            out.profile = "VBR V";
            out.profile << (10 - (out.quality + 9) / 10);
        } else {
            out.profile = "VBR";
        }
    } else {
        out.profile = default_profile;
        uint32_t n = 0;
        while (e + n < frame_bytes && frame[e + n]) ++n;
        if (plain_text(frame + e, n)) set_encoder_text(out, frame + e, n);
    }
    return true;
}

bool vbri_parse(const uint8_t* frame, uint32_t frame_bytes, vbri_header& out) {
    out = vbri_header();
    if (frame_bytes < 40 || std::memcmp(frame + 36, "VBRI", 4) != 0) return false;
    mpeg_frame_header h;
    if (!mpeg_parse_frame_header(frame, h)) return false;
    out.sample_rate = h.sample_rate;
    uint32_t at = 40;
    auto field = [&](uint32_t bytes, uint32_t& value) {
        if (at + bytes > frame_bytes) return false;
        value = 0;
        for (uint32_t i = 0; i < bytes; ++i) value = value << 8 | frame[at + i];
        at += bytes;
        return true;
    };
    return field(2, out.version) && field(2, out.delay) && field(2, out.quality) && field(4, out.bytes) &&
           field(4, out.frames) && field(2, out.toc_entries) && field(2, out.scale) && field(2, out.entry_size) &&
           field(2, out.frames_per_entry);
}
