// Vorbis comments: field-name mapping, the block writer, the Ogg comment-packet rewrite that keeps the
// vendor and the pictures, and reading the vendor.
#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/memory_sink.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "metadata/track_info.h"
#include "metadata/vorbis_comment_block.h"
#include "metadata/vorbis_comment_fields.h"
#include "tests/metadata/info_text.h"

namespace {

using namespace metadata_test;

constexpr uint32_t npos = track_info::npos;

using bytes = std::vector<uint8_t>;

void put_u32(bytes& out, uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

void put_text(bytes& out, const std::string& text) {
    put_u32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

// A block from its parts: magic, vendor, entries, framing.
bytes block(const std::string& magic, const std::string& vendor, const std::vector<std::string>& entries,
            bool framing = false) {
    bytes out(magic.begin(), magic.end());
    put_text(out, vendor);
    put_u32(out, static_cast<uint32_t>(entries.size()));
    for (const std::string& e : entries) put_text(out, e);
    if (framing) out.push_back(1);
    return out;
}

bytes to_bytes(const kpl::array<uint8_t>& a) { return bytes(a.data(), a.data() + a.count()); }

}  // namespace

TEST_CASE("vorbis comments: field names") {
    struct row {
        const char* field;
        const char* vorbis;
    } mapped[] = {
        {"PUBLISHER", "ORGANIZATION"},
        {"ALBUM ARTIST", "ALBUMARTIST"},
        {"TOTALTRACKS", "TRACKTOTAL"},
        {"TOTALDISCS", "DISCTOTAL"},
    };
    for (const row& r : mapped) {
        CAPTURE(r.field);
        CHECK(std::string(vorbis_field_canonical_name(r.field)) == r.vorbis);
        CHECK(std::string(vorbis_field_from_canonical(r.vorbis)) == r.field);
    }
    // Any ASCII letter case matches; other names pass unchanged (the same text).
    CHECK(std::string(vorbis_field_canonical_name("album artist")) == "ALBUMARTIST");
    CHECK(std::string(vorbis_field_from_canonical("TrackTotal")) == "TOTALTRACKS");
    const char* artist = "artist";
    CHECK(vorbis_field_canonical_name(artist) == artist);
    CHECK(vorbis_field_from_canonical(artist) == artist);
    CHECK(vorbis_field_canonical_name("ALBUMARTIST") != std::string("ALBUM ARTIST"));
    CHECK(std::string(vorbis_field_from_canonical("ALBUM ARTIST")) == "ALBUM ARTIST");

    for (const char* name : {"COVERART", "coverartmime", "Metadata_Block_Picture"}) {
        CAPTURE(name);
        CHECK(vorbis_field_is_picture(name));
    }
    for (const char* name : {"COVER", "COVERARTX", "METADATA_BLOCK_PICTURE ", ""}) {
        CAPTURE(name);
        CHECK_FALSE(vorbis_field_is_picture(name));
    }
}

TEST_CASE("vorbis comments: one entry") {
    memory_sink sink;
    vorbis_comment_write_entry(sink, "TITLE", "\xC3\xA9t\xC3\xA9");
    vorbis_comment_write_entry(sink, "EMPTY", "");
    bytes expected;
    put_text(expected, "TITLE=\xC3\xA9t\xC3\xA9");
    put_text(expected, "EMPTY=");
    CHECK(bytes(sink.data(), sink.data() + sink.size()) == expected);
}

TEST_CASE("vorbis comments: writing a block") {
    track_info_store info = info_from_text("ALBUM ARTIST=X;artist=A,B;Publisher=P;title=");
    replaygain_values rg;
    rg.track_gain = -6.5f;
    rg.album_peak = 0.988f;
    rg.album_gain = 0.0f;
    info.set_replaygain(rg);
    info.info_add("codec", npos, "FLAC", npos);  // info fields are not written

    kpl::array<uint8_t> out;
    vorbis_comment_write(info, "vorn 1.0", out);
    CHECK(to_bytes(out) == block("", "vorn 1.0",
                                 {"ALBUMARTIST=X", "artist=A", "artist=B", "ORGANIZATION=P", "title=",
                                  "replaygain_album_gain=+0.00 dB", "replaygain_album_peak=0.988000",
                                  "replaygain_track_gain=-6.50 dB"}));

    track_info_store empty;
    vorbis_comment_write(empty, "", out);
    CHECK(to_bytes(out) == block("", "", {}));
}

TEST_CASE("vorbis comments: rewriting an Ogg comment packet") {
    const std::string magic = "\x03vorbis";
    const bytes old_packet = block(magic, "Xiph.Org libVorbis I 20200704",
                                   {"TITLE=old", "METADATA_BLOCK_PICTURE=AAAA", "ARTIST=old",
                                    "metadata_block_picture=BBBB", "COVERART=CCCC", "nonsense-without-equals",
                                    "COVERARTX=dropped"},
                                   true);
    track_info_store info = info_from_text("title=New;Album Artist=AA;coverart=from the info");
    replaygain_values rg;
    rg.track_peak = 1.0f;
    info.set_replaygain(rg);

    SUBCASE("with framing byte") {
        kpl::array<uint8_t> out;
        vorbis_comment_rewrite(old_packet.data(), old_packet.size(), reinterpret_cast<const uint8_t*>(magic.data()),
                               magic.size(), true, info, out);
        // Text fields (picture-named ones skipped), ReplayGain, then the old picture entries unchanged.
        CHECK(to_bytes(out) == block(magic, "Xiph.Org libVorbis I 20200704",
                                     {"title=New", "ALBUMARTIST=AA", "replaygain_track_peak=1.000000",
                                      "METADATA_BLOCK_PICTURE=AAAA", "metadata_block_picture=BBBB", "COVERART=CCCC"},
                                     true));
    }
    SUBCASE("without magic and framing (the magic may differ from the old packet's)") {
        const bytes plain = block("", "v", {"METADATA_BLOCK_PICTURE=P"});
        kpl::array<uint8_t> out;
        vorbis_comment_rewrite(plain.data(), plain.size(), nullptr, 0, false, info, out);
        CHECK(to_bytes(out) ==
              block("", "v", {"title=New", "ALBUMARTIST=AA", "replaygain_track_peak=1.000000", "METADATA_BLOCK_PICTURE=P"}));
    }
    SUBCASE("an old packet that ends early is malformed") {
        const size_t cuts[] = {0, 3, magic.size() + 2, magic.size() + 10, old_packet.size() - 10};
        for (size_t cut : cuts) {
            CAPTURE(cut);
            kpl::array<uint8_t> out;
            CHECK_THROWS_AS(vorbis_comment_rewrite(old_packet.data(), cut, reinterpret_cast<const uint8_t*>(magic.data()),
                                                   magic.size(), true, info, out),
                            ketrel_io::exception_io_data);
        }
        bytes huge_count = block("", "v", {});
        huge_count[huge_count.size() - 4] = 0xFF;  // claims 255 entries, holds none
        kpl::array<uint8_t> out;
        CHECK_THROWS_AS(vorbis_comment_rewrite(huge_count.data(), huge_count.size(), nullptr, 0, false, info, out),
                        ketrel_io::exception_io_data);
    }
}

TEST_CASE("vorbis comments: a name reading would not give back refuses the write, naming the field") {
    const bytes old_packet = block("", "v", {"TITLE=old"});
    const char* const names[] = {"mood=happy", "caf\xC3\xA9", "tab\there", "100%", "a~b"};
    for (const char* name : names) {
        CAPTURE(std::string(name));
        track_info_store info = info_from_text("title=t");
        info.meta_add(name, npos, "x", npos);
        const std::string message = std::string("Field name \"") + name + "\" cannot be written to a Vorbis comment";
        kpl::array<uint8_t> out;
        CHECK_THROWS_WITH_AS(vorbis_comment_write(info, "v", out), message.c_str(), ketrel_io::exception_io_data);
        CHECK_THROWS_WITH_AS(vorbis_comment_rewrite(old_packet.data(), old_packet.size(), nullptr, 0, false, info, out),
                             message.c_str(), ketrel_io::exception_io_data);
    }
    track_info_store fine = info_from_text("my field (1)=x");
    kpl::array<uint8_t> out;
    vorbis_comment_write(fine, "v", out);
    CHECK(to_bytes(out) == block("", "v", {"my field (1)=x"}));
}

TEST_CASE("vorbis comments: reading the vendor") {
    kpl::utf8_string_pow2 vendor;
    const bytes good = block("", "reference libFLAC 1.3.2", {"A=1"});
    vorbis_comment_read_vendor(good.data(), good.size(), vendor);
    CHECK(vendor == "reference libFLAC 1.3.2");

    const bytes empty = block("", "", {});
    vorbis_comment_read_vendor(empty.data(), empty.size(), vendor);
    CHECK(vendor == "");

    struct row {
        const char* what;
        bytes data;
    } bad[] = {
        {"vendor longer than the block", bytes{10, 0, 0, 0, 'a', 'b'}},
        {"vendor one byte past the end", bytes{3, 0, 0, 0, 'a', 'b'}},
        {"no room for the length", bytes{1, 0}},
        {"huge length", bytes{0xFF, 0xFF, 0xFF, 0xFF, 'a'}},
    };
    for (const row& r : bad) {
        CAPTURE(r.what);
        CHECK_THROWS_AS(vorbis_comment_read_vendor(r.data.data(), r.data.size(), vendor), ketrel_io::exception_io_data);
    }
}
