// Which blocks at the end of a file removing tags may cut: well-formed ID3v1 and APE tags only.
#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/memory_file.h"
#include "properties/file_end_tags.h"

namespace {

std::vector<uint8_t> id3v1(const char* title, const char* year) {
    std::vector<uint8_t> b(128, 0);
    std::memcpy(b.data(), "TAG", 3);
    std::memcpy(b.data() + 3, title, std::strlen(title));
    std::memcpy(b.data() + 33, "Artist", 6);
    std::memcpy(b.data() + 93, year, std::strlen(year));
    b[126] = 7;  // ID3v1.1 track number behind a zero byte
    b[127] = 17;
    return b;
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// An APE tag: optional header, one item "Title"="X", footer.
std::vector<uint8_t> ape(uint32_t version, bool with_header, uint32_t count = 1) {
    std::vector<uint8_t> item = {1, 0, 0, 0, 0, 0, 0, 0, 'T', 'i', 't', 'l', 'e', 0, 'X'};
    const uint32_t size = static_cast<uint32_t>(item.size()) + 32;
    auto block = [&](bool header) {
        std::vector<uint8_t> b(32, 0);
        std::memcpy(b.data(), "APETAGEX", 8);
        put32(b, 8, version);
        put32(b, 12, size);
        put32(b, 16, count);
        put32(b, 20, (with_header ? 0x80000000u : 0) | (header ? 0x20000000u : 0));
        return b;
    };
    std::vector<uint8_t> out;
    if (with_header) out = block(true);
    out.insert(out.end(), item.begin(), item.end());
    std::vector<uint8_t> footer = block(false);
    out.insert(out.end(), footer.begin(), footer.end());
    return out;
}

uint64_t start_of(const std::vector<uint8_t>& audio, const std::vector<std::vector<uint8_t>>& tail) {
    file_stream_ref f = memory_file::create();
    f->write(audio.data(), audio.size(), abort_never);
    for (const auto& t : tail) f->write(t.data(), t.size(), abort_never);
    return trailing_tag_start(*f, abort_never);
}

}  // namespace

TEST_CASE("ID3v1 blocks: text without control characters before the padding, a year of digits or blank") {
    struct row {
        const char* title;
        const char* year;
        bool tag;
    };
    const row rows[] = {
        {"Song", "1999", true},          {"", "", true},         {"Song", "    ", true},
        {"Caf\xC3\xA9", "2001", true},   {"So\x01ng", "1999", false}, {"Song", "19x9", false},
        {"Song", "19", false},           {"\x7F", "1999", false},
    };
    for (const row& r : rows) {
        CAPTURE(r.title);
        CAPTURE(r.year);
        std::vector<uint8_t> b = id3v1(r.title, r.year);
        CHECK(id3v1_block_is_tag(b.data()) == r.tag);
    }
    std::vector<uint8_t> no_marker = id3v1("Song", "1999");
    no_marker[2] = 'X';
    CHECK_FALSE(id3v1_block_is_tag(no_marker.data()));
    // Binary data behind "TAG" (audio that happens to start so) is no tag.
    std::vector<uint8_t> pcm(128);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>(i * 37);
    std::memcpy(pcm.data(), "TAG", 3);
    CHECK_FALSE(id3v1_block_is_tag(pcm.data()));
}

TEST_CASE("trailing tags: APE tags whose footer checks and ID3v1 tags, in any order, nothing else") {
    const std::vector<uint8_t> audio(1000, 0x11);
    std::vector<uint8_t> pcm_tag(128);
    for (size_t i = 0; i < pcm_tag.size(); ++i) pcm_tag[i] = static_cast<uint8_t>(i * 37);
    std::memcpy(pcm_tag.data(), "TAG", 3);

    std::vector<uint8_t> bad_version = ape(3000, false);
    std::vector<uint8_t> reserved = ape(2000, false);
    reserved[reserved.size() - 1] = 1;
    std::vector<uint8_t> too_many = ape(2000, false, 50);
    std::vector<uint8_t> lost_header = ape(2000, true);
    lost_header[0] = 'X';
    std::vector<uint8_t> marked_header = ape(2000, false);
    put32(marked_header, marked_header.size() - 12, 0x20000000u);

    struct row {
        const char* what;
        std::vector<std::vector<uint8_t>> tail;
        uint64_t start;
    };
    const row rows[] = {
        {"nothing", {}, 1000},
        {"ID3v1", {id3v1("A", "1999")}, 1000},
        {"two ID3v1", {id3v1("A", "1999"), id3v1("B", "")}, 1000},
        {"APEv2 with header", {ape(2000, true)}, 1000},
        {"APEv1", {ape(1000, false)}, 1000},
        {"APE then ID3v1", {ape(2000, true), id3v1("A", "1999")}, 1000},
        {"ID3v1 then APE", {id3v1("A", "1999"), ape(2000, false)}, 1000},
        {"fake TAG", {pcm_tag}, 1128},
        {"fake TAG before a real one", {pcm_tag, id3v1("A", "1999")}, 1128},
        {"APE of an unknown version", {bad_version}, 1000 + bad_version.size()},
        {"APE with reserved bytes set", {reserved}, 1000 + reserved.size()},
        {"APE with more items than room", {too_many}, 1000 + too_many.size()},
        {"APE whose header is gone", {lost_header}, 1000 + lost_header.size()},
        {"APE footer marked as header", {marked_header}, 1000 + marked_header.size()},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        CHECK(start_of(audio, r.tail) == r.start);
    }
}
