#include "metadata/tags/id3_tag.h"

#include <cstring>
#include <string>

#include "metadata/tags/id3_text.h"

namespace id3parser {

namespace {

constexpr uint32_t maxFrameSize = 0x4000000;     // read limit of a frame size
constexpr uint64_t maxWrittenSize = 0x0FFFFFFF;  // largest syncsafe / written size
constexpr size_t firstUnsyncChunk = 256;

uint32_t bigEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

void putBigEndian32(uint32_t value, uint8_t* out) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

// Reads exactly `size` bytes into the payload, growing it as the bytes arrive, so a size that claims more
// than the data holds fails without a large allocation first.
void readPayload(reader& in, size_t size, std::vector<uint8_t>& out) {
    out.clear();
    size_t chunk = 65536;
    while (out.size() < size) {
        size_t want = size - out.size();
        if (want > chunk) want = chunk;
        size_t at = out.size();
        out.resize(at + want);
        in.readExact(out.data() + at, want);
        if (chunk < (size_t(1) << 24)) chunk *= 2;
    }
}

// Reads an unsynchronised 2.4 payload: chunks of 256 bytes, each further one twice the previous, until a
// chunk comes back short.
void readUnsyncPayload(reader& in, size_t size, std::vector<uint8_t>& out) {
    boundedReader bounded(in, size);
    unsyncReader decoder(bounded);
    out.clear();
    size_t chunk = firstUnsyncChunk;
    for (;;) {
        size_t at = out.size();
        out.resize(at + chunk);
        size_t got = decoder.read(out.data() + at, chunk);
        out.resize(at + got);
        if (got < chunk) break;
        if (chunk > ~size_t(0) / 2) throw std::overflow_error("overflow");
        chunk *= 2;
    }
}

struct v22Mapping {
    char from[4];
    char to[5];
};

const v22Mapping v22Table[] = {
    {"TT1", "TIT1"}, {"TCM", "TCOM"}, {"TBP", "TBPM"}, {"WAF", "WOAF"}, {"TT2", "TIT2"}, {"TXT", "TEXT"},
    {"TCR", "TCOP"}, {"WAR", "WOAR"}, {"TT3", "TIT3"}, {"TLA", "TLAN"}, {"TPB", "TPUB"}, {"WAS", "WOAS"},
    {"TP1", "TPE1"}, {"TCO", "TCON"}, {"TEN", "TENC"}, {"WCP", "WCOP"}, {"TP2", "TPE2"}, {"TAL", "TALB"},
    {"TSS", "TSSE"}, {"WCM", "WCOM"}, {"TP3", "TPE3"}, {"TRK", "TRCK"}, {"TOA", "TOPE"}, {"WPB", "WPUB"},
    {"TP4", "TPE4"}, {"TRC", "TSRC"}, {"TXX", "TXXX"}, {"WXX", "WXXX"}, {"TYE", "TYER"}, {"TPA", "TPOS"},
    {"COM", "COMM"}, {"PIC", "APIC"},
};

// The 2.3 id of a 2.2 id, or 0 when the table lacks it.
uint32_t v22ToV23(const uint8_t id[3]) {
    for (const v22Mapping& m : v22Table) {
        if (std::memcmp(m.from, id, 3) == 0) return frameId(m.to);
    }
    return 0;
}

void convertV22Picture(frame& f) {
    const std::vector<uint8_t>& old = f.data;
    if (old.size() <= 3 || old[0] > 1) throw parseError();
    const char* mime = "image/x-unknown";
    if (std::memcmp(&old[1], "PNG", 3) == 0) {
        mime = "image/png";
    } else if (std::memcmp(&old[1], "JPG", 3) == 0) {
        mime = "image/jpeg";
    } else if (std::memcmp(&old[1], "GIF", 3) == 0) {
        mime = "image/gif";
    }
    std::vector<uint8_t> converted;
    converted.reserve(old.size() + 16);
    converted.push_back(old[0]);
    converted.insert(converted.end(), mime, mime + std::strlen(mime) + 1);
    converted.insert(converted.end(), old.begin() + 4, old.end());
    f.data.swap(converted);
}

void readV22Frames(reader& in, tag& out) {
    for (;;) {
        uint8_t id[3];
        if (in.read(id, 3) < 3 || id[0] == 0) return;
        uint8_t sizeBytes[3];
        in.readExact(sizeBytes, 3);
        size_t size = static_cast<size_t>(sizeBytes[0]) << 16 | static_cast<size_t>(sizeBytes[1]) << 8 | sizeBytes[2];
        if (size == 0) continue;
        uint32_t newId = v22ToV23(id);
        if (newId == 0) {
            in.skipExact(size);
            continue;
        }
        frame f(newId);
        readPayload(in, size, f.data);
        if (newId == frameId("APIC")) convertV22Picture(f);
        out.frames.push_back(std::move(f));
    }
}

void readV23Frames(reader& in, tag& out, const frameFilter& filter) {
    for (;;) {
        uint8_t id[4];
        if (in.read(id, 4) < 4 || id[0] == 0) return;
        uint8_t rest[6];
        in.readExact(rest, 6);
        uint32_t size = bigEndian32(rest);
        uint8_t format = rest[5];
        if (size >= maxFrameSize) throw parseError();
        uint32_t frameIdValue = bigEndian32(id);
        if (size == 0 || (format & 0x60) || !filter.accepts(frameIdValue)) {
            in.skipExact(size);
            continue;
        }
        if (format & 0x80) {
            // Compressed frames are never kept; the rest of the tag still is.
            if (size < 4) throw parseError();
            uint8_t decompressedSize[4];
            in.readExact(decompressedSize, 4);
            in.skipExact(size - 4);
            continue;
        }
        frame f(frameIdValue);
        readPayload(in, size, f.data);
        out.frames.push_back(std::move(f));
    }
}

void readV24Frames(reader& in, tag& out, const frameFilter& filter) {
    for (;;) {
        uint8_t id[4];
        if (in.read(id, 4) < 4 || id[0] == 0) return;
        uint8_t rest[6];
        in.readExact(rest, 6);
        uint32_t size = syncsafeDecode(rest);
        uint8_t status = rest[4];
        uint8_t format = rest[5];
        if (size >= maxFrameSize) throw parseError();
        uint32_t frameIdValue = bigEndian32(id);
        if (size == 0 || (status & 0x70) || (format & 0x44) || !filter.accepts(frameIdValue)) {
            in.skipExact(size);
            continue;
        }
        if (format & 0x01) {
            if (size < 4) throw parseError();
            in.skipExact(4);
            size -= 4;
        }
        frame f(frameIdValue);
        if (format & 0x02) {
            readUnsyncPayload(in, size, f.data);
        } else {
            readPayload(in, size, f.data);
        }
        // A compressed frame makes the whole tag unreadable.
        if (format & 0x08) throw parseError();
        out.frames.push_back(std::move(f));
    }
}

void appendBytes(std::vector<uint8_t>& out, const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + n);
}

}  // namespace

bool frameFilter::accepts(uint32_t id) const {
    switch (m_kind) {
    case kind_all:
        return true;
    case kind_all_but:
        return id != m_id;
    case kind_only:
        return id == m_id;
    case kind_year_and_date:
        return id == frameId("TYER") || id == frameId("TDAT");
    }
    return false;
}

uint32_t syncsafeDecode(const uint8_t bytes[4]) {
    if ((bytes[0] | bytes[1] | bytes[2] | bytes[3]) & 0x80) throw parseError();
    return static_cast<uint32_t>(bytes[0]) << 21 | static_cast<uint32_t>(bytes[1]) << 14 |
           static_cast<uint32_t>(bytes[2]) << 7 | bytes[3];
}

void syncsafeEncode(uint64_t value, uint8_t out[4]) {
    if (value > maxWrittenSize) throw writeError();
    out[0] = static_cast<uint8_t>((value >> 21) & 0x7F);
    out[1] = static_cast<uint8_t>((value >> 14) & 0x7F);
    out[2] = static_cast<uint8_t>((value >> 7) & 0x7F);
    out[3] = static_cast<uint8_t>(value & 0x7F);
}

bool needsUnsynchronisation(const std::vector<uint8_t>& payload) {
    size_t n = payload.size();
    for (size_t i = 0; i < n; ++i) {
        if (payload[i] != 0xFF) continue;
        if (i + 1 == n || payload[i + 1] >= 0xE0) return true;
    }
    return false;
}

std::vector<uint8_t> unsynchronise(const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out;
    out.reserve(payload.size() + payload.size() / 64 + 1);
    size_t n = payload.size();
    for (size_t i = 0; i < n; ++i) {
        out.push_back(payload[i]);
        if (payload[i] != 0xFF) continue;
        if (i + 1 == n || payload[i + 1] == 0x00 || payload[i + 1] >= 0xE0) out.push_back(0x00);
    }
    return out;
}

void parseTag(reader& in, tag& out, const frameFilter& filter) {
    out.frames.clear();
    out.version = 0;

    uint8_t magic[3];
    in.readExact(magic, 3);
    if (std::memcmp(magic, "ID3", 3) != 0) throw parseError();
    uint8_t header[7];
    in.readExact(header, 7);
    uint8_t major = header[0];
    uint8_t flags = header[2];
    uint32_t size = syncsafeDecode(header + 3);

    boundedReader bounded(in, size);
    switch (major) {
    case 2: {
        if (flags & 0x7F) throw parseError();
        if (flags & 0x80) {
            unsyncReader decoder(bounded);
            readV22Frames(decoder, out);
        } else {
            readV22Frames(bounded, out);
        }
        break;
    }
    case 3: {
        if (flags & 0x1F) throw parseError();
        unsyncReader decoder(bounded);
        reader& body = (flags & 0x80) ? static_cast<reader&>(decoder) : static_cast<reader&>(bounded);
        if (flags & 0x40) {
            uint8_t extended[4];
            body.readExact(extended, 4);
            body.skipExact(bigEndian32(extended));
        }
        readV23Frames(body, out, filter);
        break;
    }
    case 4: {
        // The tag-level unsynchronisation flag is not used: 2.4 unsynchronises frame by frame.
        if (flags & 0x0F) throw parseError();
        if (flags & 0x40) {
            uint8_t extended[4];
            bounded.readExact(extended, 4);
            uint32_t n = syncsafeDecode(extended);
            if (n < 6) throw parseError();
            bounded.skipExact(n - 4);
        }
        readV24Frames(bounded, out, filter);
        break;
    }
    default:
        throw parseError();
    }
    out.version = major;
}

void writeTag(writer& out, const tag& in, uint64_t availableSpace, uint64_t maxPadding) {
    if (in.version != 3 && in.version != 4) throw writeError();

    std::vector<uint8_t> body;
    bool everyFrameUnsynchronised = !in.frames.empty();
    for (const frame& f : in.frames) {
        uint8_t head[10];
        putBigEndian32(f.id, head);
        head[8] = 0;
        if (f.data.size() > maxWrittenSize) throw writeError();
        if (in.version == 3) {
            putBigEndian32(static_cast<uint32_t>(f.data.size()), head + 4);
            head[9] = 0;
            everyFrameUnsynchronised = false;
            appendBytes(body, head, 10);
            appendBytes(body, f.data.data(), f.data.size());
        } else if (needsUnsynchronisation(f.data)) {
            std::vector<uint8_t> encoded = unsynchronise(f.data);
            syncsafeEncode(static_cast<uint64_t>(encoded.size()) + 4, head + 4);
            head[9] = 0x03;
            uint8_t dataLength[4];
            syncsafeEncode(f.data.size(), dataLength);
            appendBytes(body, head, 10);
            appendBytes(body, dataLength, 4);
            appendBytes(body, encoded.data(), encoded.size());
        } else {
            syncsafeEncode(f.data.size(), head + 4);
            head[9] = 0;
            everyFrameUnsynchronised = false;
            appendBytes(body, head, 10);
            appendBytes(body, f.data.data(), f.data.size());
        }
    }

    uint64_t frames = body.size();
    uint64_t needed = frames + 10;
    uint64_t padding;
    if (availableSpace >= needed && availableSpace - needed <= maxPadding) {
        padding = availableSpace - needed;
    } else {
        padding = maxPadding < 2048 ? maxPadding : 2048;
    }
    if (padding > 0xFFFFFFFFull - frames) throw std::overflow_error("overflow");

    uint8_t header[10] = {'I', 'D', '3', static_cast<uint8_t>(in.version), 0, 0, 0, 0, 0, 0};
    if (in.version == 4 && everyFrameUnsynchronised) header[5] = 0x80;
    syncsafeEncode(frames + padding, header + 6);
    out.write(header, 10);
    if (!body.empty()) out.write(body.data(), body.size());
    static const uint8_t zeros[256] = {};
    for (uint64_t left = padding; left > 0;) {
        size_t n = left > sizeof zeros ? sizeof zeros : static_cast<size_t>(left);
        out.write(zeros, n);
        left -= n;
    }
}

void convertForVersion(tag& t, int32_t version) {
    std::vector<frame> kept;
    kept.reserve(t.frames.size());
    for (frame& f : t.frames) {
        if (f.id == frameId("APIC")) {
            kept.push_back(std::move(f));
            continue;
        }
        if (!hasLanguage(f.id)) continue;
        if (f.data.size() < 4 || f.data[0] > 3) continue;
        if (version >= 4 || f.data[0] == 0 || f.data[0] == 1) {
            kept.push_back(std::move(f));
            continue;
        }
        // 2.3 lacks encodings 2 and 3: rebuild the frame in UTF-16, keeping its language.
        try {
            uint32_t count = valueCount(f);
            if (count == 0) continue;
            frame rebuilt(f.id);
            textCursor cursor;
            setText(rebuilt, getValue(f, 0, cursor, false), 1);
            for (uint32_t i = 1; i < count; ++i) appendText(rebuilt, getValue(f, i, cursor, false));
            std::memcpy(&rebuilt.data[1], &f.data[1], 3);
            kept.push_back(std::move(rebuilt));
        } catch (const parseError&) {
            // A frame whose strings cannot be read is dropped.
        }
    }
    t.frames.swap(kept);
}

}  // namespace id3parser
