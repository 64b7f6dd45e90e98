// Pictures in Vorbis-style comment packets: which comment wins, which types are read, damaged picture
// comments skipped without hiding the others, and the packet written back (kept comments, map order,
// MIME by signature, size and depth through GDI+, framing byte, padding).
#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/kpl/base64.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string.h"
#include "inputs/album_art.h"
#include "inputs/ogg/ogg_input.h"
#include "inputs/ogg_stream_handler.h"
#include "inputs/picture_comments.h"
#include "tests/support/guarded_buffer.h"

namespace {

using bytes = std::vector<uint8_t>;

void put_le(bytes& b, uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}
void put_be(bytes& b, uint32_t v) {
    for (int k = 3; k >= 0; --k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

std::string base64(const bytes& b) {
    kpl::utf8_string_pow2 out;
    kpl::base64_encode(b.data(), static_cast<uint32_t>(b.size()), out);
    return out.c_str();
}

// A FLAC picture block; `data_length` may lie about the data's size.
bytes picture_block(uint32_t type, const std::string& data, long data_length = -1) {
    bytes b;
    put_be(b, type);
    put_be(b, 9);
    for (char c : std::string("image/png")) b.push_back(static_cast<uint8_t>(c));
    put_be(b, 0);
    for (int i = 0; i < 4; ++i) put_be(b, 1);
    put_be(b, data_length < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(data_length));
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

bytes packet_of(const std::vector<std::string>& comments, const char* magic = "OpusTags", size_t magic_length = 8) {
    bytes b(magic, magic + magic_length);
    put_le(b, 3);
    b.insert(b.end(), {'v', 'n', 'd'});
    put_le(b, static_cast<uint32_t>(comments.size()));
    for (const std::string& c : comments) {
        put_le(b, static_cast<uint32_t>(c.size()));
        b.insert(b.end(), c.begin(), c.end());
    }
    return b;
}

std::string picture_text(const album_art_map& map, const kpl::guid& kind) {
    const album_art_map::entry* e = map.find(kind);
    if (!e) return "(none)";
    return std::string(static_cast<const char*>(e->data->get_data()), e->data->get_size());
}

// The comments of a packet after its magic.
std::vector<std::string> comments_of(const kpl::byte_array& packet, size_t magic_length) {
    size_t pos = magic_length;
    auto u32 = [&]() {
        uint32_t v = packet[pos] | (packet[pos + 1] << 8) | (packet[pos + 2] << 16) | (uint32_t(packet[pos + 3]) << 24);
        pos += 4;
        return v;
    };
    pos += u32();
    std::vector<std::string> out;
    for (uint32_t n = u32(); n > 0; --n) {
        uint32_t length = u32();
        out.emplace_back(reinterpret_cast<const char*>(packet.data()) + pos, length);
        pos += length;
    }
    return out;
}

// A 1x1 24-bit BMP (GDI+ reads it; no MIME signature).
const bytes tiny_bmp = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24,
                        0, 0, 0, 0, 0, 4, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                        255, 0};

}  // namespace

TEST_CASE("Reading picture comments") {
    auto cut = [](bytes b, size_t n) {
        b.resize(n);
        return b;
    };
    const std::string mbp = "METADATA_BLOCK_PICTURE=";
    struct row {
        const char* name;
        std::vector<std::string> comments;
        const char* front;
        const char* back;
        const char* other;
    };
    const row rows[] = {
        {"COVERART, then a front picture block: the later wins",
         {"COVERART=" + base64({'c', 'o', 'v'}), mbp + base64(picture_block(3, "block"))}, "block", "(none)", "(none)"},
        {"a front picture block, then COVERART: the later wins",
         {mbp + base64(picture_block(3, "block")), "coverart=" + base64({'c', 'o', 'v'})}, "cov", "(none)", "(none)"},
        {"type 0 under the null kind, type 5 ignored, type 4 back",
         {mbp + base64(picture_block(0, "zero")), mbp + base64(picture_block(5, "five")),
          mbp + base64(picture_block(4, "four"))},
         "(none)", "four", "zero"},
        {"bad base64 is skipped, the others read",
         {"COVERART=%%%%", mbp + base64(picture_block(4, "back"))}, "(none)", "back", "(none)"},
        {"a block cut short is skipped",
         {mbp + base64(cut(picture_block(3, "front"), 10)),
          mbp + base64(picture_block(4, "back"))},
         "(none)", "back", "(none)"},
        {"a data length past the block is skipped",
         {mbp + base64(picture_block(3, "front", 99)), mbp + base64(picture_block(4, "back"))}, "(none)", "back",
         "(none)"},
        {"no '=' and invalid UTF-8 are skipped",
         {"COVERART", std::string("COVERART=\xFF"), mbp + base64(picture_block(3, "ok"))}, "ok", "(none)", "(none)"},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        bytes packet = packet_of(r.comments);
        album_art_map map;
        guarded_text guarded(packet);  // ends at a no-access page: a read past the packet crashes the test
        picture_comments_read(guarded.bytes(), guarded.size(), 8, map);
        CHECK(picture_text(map, album_art_kind_front) == r.front);
        CHECK(picture_text(map, album_art_kind_back) == r.back);
        CHECK(picture_text(map, album_art_kind_other) == r.other);
    }
    bytes broken = packet_of({"TITLE=x"});
    broken[8] = 200;  // vendor length past the end
    album_art_map map;
    guarded_text guarded_broken(broken);
    CHECK_THROWS_AS(picture_comments_read(guarded_broken.bytes(), guarded_broken.size(), 8, map),
                    ketrel_io::exception_io_data);
}

TEST_CASE("Picture MIME types by signature") {
    struct row {
        bytes data;
        const char* mime;
    };
    const row rows[] = {
        {{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0}, "image/png"},
        {{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, "image/png"},
        {{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}, ""},
        {{0xFF, 0xD8}, "image/jpeg"},
        {{0xFF}, ""},
        {{'G', 'I', 'F'}, "image/gif"},
        {{'G', 'I'}, ""},
        {{'B', 'M'}, ""},
    };
    for (const row& r : rows) {
        guarded_text signature(r.data);  // the signature check reads no byte past the data
        CHECK(std::string(picture_mime_type(signature.bytes(), signature.size())) == r.mime);
    }
}

TEST_CASE("Writing picture comments") {
    album_art_map pictures;
    for (const kpl::guid& kind : {album_art_kind_front, album_art_kind_icon, album_art_kind_back,
                                  album_art_kind_artist, album_art_kind_disc, album_art_kind_other})
        pictures.set(kind, album_art_data_make(tiny_bmp.data(), tiny_bmp.size()));
    const std::string mbp = "METADATA_BLOCK_PICTURE=";
    bytes old = packet_of({"TITLE=t", std::string("RAW=\xFF\xFE"), "COVERART=AAAA", "coverartmime=image/png",
                           mbp + "AAAA", "ARTIST=a"},
                          "\x03vorbis", 7);
    old.push_back(1);
    static const uint8_t magic_bytes[7] = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    ogg_comment_magic magic = {magic_bytes, 7, true};
    kpl::byte_array out;
    picture_comments_write(old.data(), old.size(), magic, pictures, out);

    CHECK(std::memcmp(out.data(), "\x03vorbis\x03\0\0\0vnd", 14) == 0);
    std::vector<std::string> comments = comments_of(out, 7);
    REQUIRE(comments.size() == 3 + 5);
    CHECK(comments[0] == "TITLE=t");
    CHECK(comments[1] == std::string("RAW=\xFF\xFE"));  // kept although not UTF-8
    CHECK(comments[2] == "ARTIST=a");
    // Map order (GUID bytes): back 4, disc 6, artist 8, front 3, icon 2; the null kind is not written.
    const uint32_t types[] = {4, 6, 8, 3, 2};
    for (int i = 0; i < 5; ++i) {
        CAPTURE(i);
        const std::string& c = comments[3 + i];
        REQUIRE(c.compare(0, mbp.size(), mbp) == 0);
        kpl::byte_array block;
        kpl::base64_decode(c.c_str() + mbp.size(), block);
        bytes expected;
        put_be(expected, types[i]);
        put_be(expected, 0);  // no MIME for a BMP
        put_be(expected, 0);  // no description
        put_be(expected, 1);  // width
        put_be(expected, 1);  // height
        put_be(expected, 24); // bits per pixel
        put_be(expected, 0);
        put_be(expected, static_cast<uint32_t>(tiny_bmp.size()));
        expected.insert(expected.end(), tiny_bmp.begin(), tiny_bmp.end());
        CHECK(bytes(block.data(), block.data() + block.count()) == expected);
    }
    // Framing byte, then the padding of a grown packet.
    size_t end = 7 + 4 + 3 + 4;
    for (const std::string& c : comments) end += 4 + c.size();
    CHECK(out[static_cast<uint32_t>(end)] == 1);
    CHECK(out.count() == end + 1 + 2048);

    // Pictures GDI+ cannot read fail the write.
    album_art_map junk;
    junk.set(album_art_kind_front, album_art_data_make("not a picture", 13));
    CHECK_THROWS_WITH(picture_comments_write(old.data(), old.size(), magic, junk, out), doctest::Contains("Gdiplus error ("));
}

TEST_CASE("Ogg input content types and extensions") {
    struct row {
        const char* text;
        bool type, extension;
    };
    const row rows[] = {
        {"ogg", false, true},           {"OPUS", false, true},           {"oga", false, true},
        {"spx", false, true},           {"ogv", false, true},            {"ogx", false, true},
        {"flac", false, false},         {"audio/ogg", true, false},      {"Application/X-Ogg ; codecs=opus", true, false},
        {"audio/x-ogg", true, false},   {"application/ogg", true, false}, {"audio/oggx", false, false},
    };
    for (const row& r : rows) {
        CAPTURE(r.text);
        CHECK(ogg_input_service().accepts_content_type(r.text) == r.type);
        CHECK(ogg_input_service().accepts_extension("x", r.text) == r.extension);
    }
}
