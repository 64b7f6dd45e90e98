#pragma once
// id3parser: the program's own ID3v2 library. It turns the bytes of one ID3v2 tag (2.2, 2.3, 2.4) into a
// version and an ordered list of raw frames, writes a 2.3 or 2.4 tag from such a list, and converts a
// frame list for another version. The text payloads of frames are read and built by the helpers of
// id3_text.h. It knows nothing of files or of the program's metadata fields, and it is the one corner
// of the program that works on standard-library strings and vectors.
//
//     std::vector<uint8_t> bytes = ...;                    // a whole tag, header first
//     id3parser::memoryReader in(bytes.data(), bytes.size());
//     id3parser::tag t;
//     id3parser::parseTag(in, t, id3parser::frameFilter::allBut(id3parser::frameId("APIC")));
//     // t.version == 3, t.frames[0].id == frameId("TIT2"), t.frames[0].data == {1, 0xFF, 0xFE, ...}
//
//     id3parser::vectorWriter out;
//     id3parser::writeTag(out, t, t.oldSize, 16384);       // padding chosen by the padding rule
//
// Failures: id3parser::parseError ("ID3v2 parse error") for bytes this library cannot read,
// id3parser::writeError ("ID3v2 write error") for a tag that cannot be written as asked, and
// std::overflow_error ("overflow") when a size computation would wrap. A parse error ends the whole
// parseTag; the partly filled tag is then not to be used.

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "metadata/tags/id3_streams.h"

namespace id3parser {

class parseError : public std::runtime_error {
public:
    parseError() : std::runtime_error("ID3v2 parse error") {}
};

class writeError : public std::runtime_error {
public:
    writeError() : std::runtime_error("ID3v2 write error") {}
};

// The 32-bit id of a four-character frame identifier, first character in the most significant byte:
// frameId("TIT2") == 0x54495432.
constexpr uint32_t frameId(const char (&text)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8) | static_cast<uint32_t>(static_cast<uint8_t>(text[3]));
}

// One frame: its id and its payload exactly as stored, after unsynchronisation and a data-length
// indicator have been removed (and after the ID3v2.2 picture conversion). For frames to be written the
// payload is the bytes to write.
struct frame {
    uint32_t id = 0;
    std::vector<uint8_t> data;

    frame() = default;
    explicit frame(uint32_t frame_id) : id(frame_id) {}
    frame(uint32_t frame_id, std::vector<uint8_t> payload) : id(frame_id), data(std::move(payload)) {}
};

// One tag in memory. A new tag has no frames, version 0 and old size 0.
struct tag {
    std::vector<frame> frames;
    // 0 (nothing read yet), 2, 3 or 4.
    int32_t version = 0;
    // Bytes the leading ID3v2 tags occupy in the file the tag came from (0: none); set by the file layer.
    uint64_t oldSize = 0;

    uint32_t frameCount() const { return static_cast<uint32_t>(frames.size()); }
};

// Which frame ids the reader keeps. ID3v2.2 tags keep every frame of their conversion table whatever the
// filter says.
//
//     frameFilter::everything().accepts(frameId("APIC"))                  true
//     frameFilter::allBut(frameId("APIC")).accepts(frameId("APIC"))       false
//     frameFilter::only(frameId("COMM")).accepts(frameId("TIT2"))         false
//     frameFilter::yearAndDate().accepts(frameId("TDAT"))                 true (TYER and TDAT only)
class frameFilter {
public:
    static frameFilter everything() { return frameFilter(kind_all, 0); }
    static frameFilter allBut(uint32_t id) { return frameFilter(kind_all_but, id); }
    static frameFilter only(uint32_t id) { return frameFilter(kind_only, id); }
    static frameFilter yearAndDate() { return frameFilter(kind_year_and_date, 0); }

    bool accepts(uint32_t id) const;

private:
    enum kind_t { kind_all, kind_all_but, kind_only, kind_year_and_date };
    frameFilter(kind_t kind, uint32_t id) : m_kind(kind), m_id(id) {}
    kind_t m_kind;
    uint32_t m_id;
};

// Reads one tag that begins at the reader's position into `out`, which is emptied first; sets its
// version and frames. Nothing beyond the size the header declares is read (a footer is not read).
void parseTag(reader& in, tag& out, const frameFilter& filter);

// Writes the tag's frames as a tag of the tag's version (3 or 4; else writeError), followed by zero
// padding chosen by the padding rule: with needed = frame bytes + 10, when availableSpace >= needed and
// availableSpace - needed <= maxPadding the new tag fills exactly availableSpace; otherwise the padding
// is 2048 bytes, or maxPadding when that is smaller.
//
//     available 1000, frames 500, max 16384   -> padding 490, 1000 bytes written
//     available 20000, frames 500             -> padding 2048 (19490 would be too much)
//     available 1005, frames 1000             -> padding 2048 (the frames no longer fit)
//
// Version 4 frames whose payload needs unsynchronisation are written unsynchronised with a data-length
// indicator (format flags 0x03). The header's unsynchronisation flag is set on a version 4 tag only when
// every frame was written unsynchronised, so readers that honour it never strip bytes from frames that
// were stored literally. No extended header and no footer are written.
void writeTag(writer& out, const tag& in, uint64_t availableSpace, uint64_t maxPadding);

// Prepares a tag that is to be written in another version than it was read in (a 2.2 tag, or a new
// empty one): every frame but APIC, COMM and USLT is removed; APIC frames stay as they are. A COMM or
// USLT frame shorter than its encoding byte and language, or with an encoding above 3, is removed. For a
// target below 4, a COMM or USLT frame in encoding 2 or 3 (which 2.3 does not know) is rebuilt in
// encoding 1 (UTF-16 with byte-order mark), keeping its language and every character; one without any
// string, or whose strings cannot be decoded, is removed.
void convertForVersion(tag& t, int32_t version);

// Syncsafe numbers: 4 bytes, 7 value bits each, most significant first.
//     syncsafeDecode({0x00, 0x00, 0x02, 0x01}) == 257;   a byte with bit 7 set raises parseError
//     syncsafeEncode(257, out) writes 00 00 02 01;        a value above 0x0FFFFFFF raises writeError
uint32_t syncsafeDecode(const uint8_t bytes[4]);
void syncsafeEncode(uint64_t value, uint8_t out[4]);

// Unsynchronisation as written into 2.4 frames. A payload needs it when it holds 0xFF followed by a byte
// of 0xE0 or more, or ends in 0xFF; encoding inserts 0x00 after every 0xFF that is followed by 0x00 or
// by a byte of 0xE0 or more, and after a final 0xFF:  FF E0 41 FF  ->  FF 00 E0 41 FF 00.
bool needsUnsynchronisation(const std::vector<uint8_t>& payload);
std::vector<uint8_t> unsynchronise(const std::vector<uint8_t>& payload);

}  // namespace id3parser
