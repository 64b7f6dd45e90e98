// Sample descriptions ("stsd"): audio, AMR, visual entries and their decoder setup ("esds", "alac", "avcC").

#include <cstring>

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/box_header.h"
#include "compressed_inputs/mp4/atomkit/movie_parser.h"
#include "compressed_inputs/mp4/atomkit/parse_flags.h"
#include "compressed_inputs/mp4/atomkit/track_record.h"

namespace atomkit {

namespace {

uint8_t read_u8(byte_stream& s) {
    uint8_t b;
    s.read_exact(&b, 1);
    return b;
}

void read_bytes(byte_stream& s, std::vector<uint8_t>& out, uint64_t n) {
    s.check_available(n);
    const size_t at = out.size();
    out.resize(at + size_t(n));
    if (n) s.read_exact(out.data() + at, size_t(n));
}

void parse_esds(track_record& t, byte_stream& s) {
    s.skip_exact(4);
    uint8_t tag = read_u8(s);
    if (tag == 3) {
        if (read_descriptor_length(s) < 20) throw exception("invalid esds atom (1)");
        s.skip_exact(2);
        const uint8_t flags = read_u8(s);
        t.es_flags = flags & 0x1F;
        // The optional fields the flags announce: a depended-on stream, a URL, an OCR stream.
        if (flags & 0x80) s.skip_exact(2);
        if (flags & 0x40) s.skip_exact(read_u8(s));
        if (flags & 0x20) s.skip_exact(2);
    } else {
        s.skip_exact(2);
        t.es_flags = 0;
    }
    if (read_u8(s) != 4) throw exception("invalid esds atom (2)");
    if (read_descriptor_length(s) <= 12) throw exception("invalid esds atom (3)");
    t.object_type = read_u8(s);
    s.skip_exact(4);
    t.max_bitrate = read_u32(s);
    t.avg_bitrate = read_u32(s);
    t.decoder_setup.clear();
    uint8_t next;
    if (s.read(&next, 1) != 1 || next != 5) return;
    const uint32_t length = read_descriptor_length(s);
    read_bytes(s, t.decoder_setup, length);
}

void parse_avcc(track_record& t, byte_stream& s) {
    uint8_t head[5];
    s.read_exact(head, 5);
    if (head[4] <= 251) throw exception("invalid avcC chunk (1)");
    uint8_t n = read_u8(s);
    if (n <= 223) throw exception("invalid avcC chunk (2)");
    auto sets = [&](uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            const uint16_t length = read_u16(s);
            t.decoder_setup.push_back(uint8_t(length >> 8));
            t.decoder_setup.push_back(uint8_t(length));
            read_bytes(s, t.decoder_setup, length);
        }
    };
    sets(n & 0x1F);
    sets(read_u8(s));
}

// The one child box after a sample entry's fields; false when there is none.
bool entry_child(atom_stream& entry, box_header& h) {
    if (!read_box_header(entry, h, false)) return false;
    if (h.payload_size > entry.remaining()) h.payload_size = entry.remaining();
    return true;
}

// The decoder setup box of an audio entry ("esds" or "alac"); other boxes are skipped.
void audio_setup_box(track_record& t, atom_stream& child, const box_header& h, uint32_t type) {
    if (h.type == fourcc("esds")) {
        if (type != fourcc("mp4a")) throw exception("esds atom not expected here");
        parse_esds(t, child);
    } else if (h.type == fourcc("alac")) {
        if (type != fourcc("alac")) throw exception("alac atom not expected here");
        if (h.payload_size >> 32) throw exception("ALAC decoder setup too big");
        t.decoder_setup.clear();
        read_bytes(child, t.decoder_setup, h.payload_size);
    }
}

// QuickTime's sound descriptions of version 1 and 2 carry more fields before the child boxes, and may wrap the
// setup box in a "wave" box; files written as QuickTime movies (ffmpeg -f mov, for one) have both.
void parse_audio_entry(track_record& t, atom_stream& s, uint32_t type) {
    s.skip_exact(6);
    read_u16(s);
    const uint16_t version = read_u16(s);
    s.skip_exact(6);
    t.channels = read_u16(s);
    t.bits_per_sample = read_u16(s);
    read_u16(s);
    read_u16(s);
    t.sample_rate = read_u16(s);
    read_u16(s);
    if (version == 1) {
        s.skip_exact(16);
    } else if (version == 2) {
        s.skip_exact(4);
        const uint64_t bits = read_u64(s);
        double rate;
        static_assert(sizeof rate == sizeof bits, "IEEE double");
        std::memcpy(&rate, &bits, sizeof rate);
        t.sample_rate = rate >= 1 && rate < 4294967296.0 ? uint32_t(rate) : 0;
        t.channels = read_u32(s);
        s.skip_exact(4);
        t.bits_per_sample = read_u32(s);
        s.skip_exact(12);
    }
    box_header h;
    if (!entry_child(s, h)) return;
    atom_stream child(s, h.payload_size);
    if (h.type == fourcc("wave")) {
        while (child.remaining() >= 8) {
            box_header w;
            if (!entry_child(child, w)) break;
            atom_stream inner(child, w.payload_size);
            audio_setup_box(t, inner, w, type);
            inner.finish();
        }
    } else {
        audio_setup_box(t, child, h, type);
    }
    child.finish();
}

void parse_amr_entry(track_record& t, byte_stream& s) {
    s.skip_exact(6);
    read_u16(s);
    s.skip_exact(16);
    if (read_u16(s) == 0) throw exception_invalid_timescale();
    s.skip_exact(2);
    const uint32_t size = read_u32(s);
    uint8_t type[4] = {0, 0, 0, 0};
    if (size > 7) s.read_exact(type, 4);
    if (size <= 7 || type[0] != 'd' || type[1] != 'a' || type[2] != 'm' || type[3] != 'r') {
        throw exception("expected damr header");
    }
    s.skip_exact(9);
    t.channels = 1;
    t.sample_rate = 8000;
}

void parse_visual_entry(track_record& t, atom_stream& s, uint32_t type) {
    s.skip_exact(24);
    t.width = read_u16(s);
    t.height = read_u16(s);
    s.skip_exact(12);
    read_u16(s);
    char name[32];
    s.read_exact(name, 32);
    t.compressor_name.assign(name, 32);
    read_u16(s);
    read_u16(s);
    box_header h;
    if (!entry_child(s, h)) return;
    atom_stream child(s, h.payload_size);
    if (h.type == fourcc("avcC")) {
        if (type != fourcc("avc1")) throw exception("avcC not expected here");
        parse_avcc(t, child);
    } else if (h.type == fourcc("esds")) {
        if (type != fourcc("mp4v")) throw exception("esds not expected here");
        parse_esds(t, child);
    }
    child.finish();
}

}  // namespace

void parse_sample_description(track_record& t, byte_stream& s, uint64_t size, uint32_t flags) {
    t.kind = kind_unknown;
    if (size < 4) throw exception("invalid stsd atom");
    s.skip_exact(4);
    const uint32_t count = read_u32(s);
    uint64_t left = size - 8;
    for (uint32_t i = 0; i < count; ++i) {
        const box_header h = read_child_header(s, left);
        left -= h.header_size + h.payload_size;
        s.check_available(h.payload_size);
        atom_stream entry(s, h.payload_size);
        const uint32_t type = h.type;
        if (type == fourcc("mp4a") || type == fourcc("alac")) {
            t.kind = type == fourcc("mp4a") ? kind_mp4a : kind_alac;
            if (flags & parse_audio_tracks) parse_audio_entry(t, entry, type);
        } else if (type == fourcc("samr") || type == fourcc("damr")) {
            t.kind = kind_amr;
            if (flags & parse_audio_tracks) parse_amr_entry(t, entry);
        } else if (type == fourcc("sawp")) {
            t.kind = kind_sawp;
            if (flags & parse_audio_tracks) {
                t.channels = 1;
                t.sample_rate = 16000;
            }
        } else if (type == fourcc("mp4v") || type == fourcc("avc1")) {
            t.kind = type == fourcc("mp4v") ? kind_mp4v : kind_avc1;
            if (flags & parse_video_tracks) parse_visual_entry(t, entry, type);
        } else {
            t.kind = kind_unknown;
        }
        entry.finish();
    }
}

}  // namespace atomkit
