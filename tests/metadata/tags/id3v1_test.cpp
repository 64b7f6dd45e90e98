#include <doctest/doctest.h>

#include <cstring>
#include <string>

#include "metadata/tags/id3v1_genres.h"
#include "metadata/tags/id3v1_tag.h"
#include "metadata/tags/tag_exceptions.h"
#include "tests/metadata/tags/tag_info_text.h"
#include "tests/support/guarded_buffer.h"

using tag_test::info_from;
using tag_test::info_text;
using tag_test::meta_text;

namespace {

struct id3v1_bytes {
    uint8_t b[128] = {};
    id3v1_bytes() {
        std::memcpy(b, "TAG", 3);
        b[127] = 255;
    }
    id3v1_bytes& text(uint32_t offset, const char* s) {
        std::memcpy(b + offset, s, std::strlen(s));
        return *this;
    }
    id3v1_bytes& byte(uint32_t offset, uint8_t v) {
        b[offset] = v;
        return *this;
    }
};

std::string field(const uint8_t* tag, uint32_t offset, uint32_t size) {
    return std::string(reinterpret_cast<const char*>(tag + offset), size);
}

}  // namespace

TEST_CASE("ID3v1 tags are read field by field") {
    struct row {
        const char* what;
        id3v1_bytes tag;
        const char* meta;
    } rows[] = {
        {"texts with trailing blanks", id3v1_bytes().text(3, "Title  ").text(33, "Artist").text(63, "Album").text(93, "1999"),
         "title=Title|artist=Artist|album=Album|date=1999"},
        {"system code page", id3v1_bytes().text(3, "Caf\xE9"), "title=Caf\xC3\xA9"},
        {"blank-only field is absent", id3v1_bytes().text(3, "   "), ""},
        {"ID3v1.1 track number", id3v1_bytes().text(97, "c").byte(126, 7), "comment=c|tracknumber=7"},
        {"byte 125 set: a 30-byte comment", id3v1_bytes().text(97, "0123456789012345678901234567").byte(125, 'x').byte(126, 'y'),
         "comment=0123456789012345678901234567xy"},
        {"genre 17", id3v1_bytes().byte(127, 17), "genre=Rock"},
        {"genre 147", id3v1_bytes().byte(127, 147), "genre=SynthPop"},
        {"genre 148 is none", id3v1_bytes().byte(127, 148), ""},
    };
    for (const row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        track_info_store info;
        guarded_text guarded(reinterpret_cast<const char*>(r.tag.b), sizeof r.tag.b);  // no byte after the tag
        id3v1_parse(guarded.bytes(), info);
        CHECK(meta_text(info) == r.meta);
        CHECK(info_text(info, "tagtype") == "id3v1");
    }
    uint8_t not_a_tag[128] = {'T', 'A', 'X'};
    track_info_store info;
    CHECK_THROWS_AS(id3v1_parse(not_a_tag, info), exception_tag_not_found);
}

TEST_CASE("ID3v1 tags are built from the first values") {
    uint8_t tag[128];
    id3v1_build(info_from({"title=Caf\xC3\xA9", "artist=A", "artist=B", "album=0123456789012345678901234567890123",
                           "date=2004-05-06", "comment=0123456789012345678901234567890", "tracknumber=7", "genre=rock"}),
                tag);
    CHECK(field(tag, 0, 3) == "TAG");
    CHECK(field(tag, 3, 5) == std::string("Caf\xE9\0", 5));
    CHECK(field(tag, 33, 2) == std::string("A\0", 2));
    CHECK(field(tag, 63, 30) == "012345678901234567890123456789");
    CHECK(field(tag, 93, 4) == "2004");
    CHECK(field(tag, 97, 28) == "0123456789012345678901234567");
    CHECK(tag[125] == 0);
    CHECK(tag[126] == 7);
    CHECK(tag[127] == 17);

    struct row {
        const char* track;
        uint8_t byte126;
    } rows[] = {{"200", 0}, {"0", 0}, {"127", 127}, {"1", 1}, {"x", 0}};
    for (const row& r : rows) {
        CAPTURE(std::string(r.track));
        track_info_store info = info_from({"comment=0123456789012345678901234567890"});
        info.meta_add("tracknumber", track_info::npos, r.track, track_info::npos);
        id3v1_build(info, tag);
        CHECK(tag[126] == r.byte126);
        CHECK(tag[125] == 0);  // the comment stops at 28 bytes whenever there is a track number
    }
    id3v1_build(info_from({"comment=0123456789012345678901234567890", "genre=Unknown Style"}), tag);
    CHECK(field(tag, 97, 30) == "012345678901234567890123456789");
    CHECK(tag[127] == 255);
}

TEST_CASE("an info fits ID3v1 only when nothing would be lost") {
    struct row {
        const char* what;
        track_info_store info;
        bool fits;
    } rows[] = {
        {"empty info", info_from({}), true},
        {"all seven fields", info_from({"title=T", "artist=A", "album=Al", "date=1999", "comment=c", "tracknumber=7", "genre=rock"}),
         true},
        {"track 127", info_from({"tracknumber=127"}), true},
        {"track 07", info_from({"tracknumber=07"}), false},
        {"track 0", info_from({"tracknumber=0"}), false},
        {"track 128", info_from({"tracknumber=128"}), false},
        {"track with text", info_from({"tracknumber=7a"}), false},
        {"31-byte title", info_from({"title=0123456789012345678901234567890"}), false},
        {"30-byte title", info_from({"title=012345678901234567890123456789"}), true},
        {"non-ASCII title", info_from({"title=Caf\xC3\xA9"}), false},
        {"non-ASCII comment", info_from({"comment=Caf\xC3\xA9"}), false},
        {"29-byte comment", info_from({"comment=01234567890123456789012345678"}), false},
        {"title with a trailing blank", info_from({"title=T "}), false},
        {"empty title", info_from({"title="}), false},
        {"five-byte date", info_from({"date=1999-"}), false},
        {"unknown genre", info_from({"genre=Polka Punk"}), false},
        {"two artists", info_from({"artist=A", "artist=B"}), false},
        {"other field", info_from({"composer=C"}), false},
    };
    for (row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        CHECK(id3v1_fits(r.info) == r.fits);
    }
    track_info_store with_gain = info_from({"title=T"});
    replaygain_values rg;
    rg.track_gain = -3.0f;
    with_gain.set_replaygain(rg);
    CHECK_FALSE(id3v1_fits(with_gain));
}

TEST_CASE("reducing an info keeps what an ID3v1 tag keeps") {
    track_info_store info = info_from({"title=0123456789012345678901234567890123", "artist=A", "artist=B", "composer=C",
                                       "tracknumber=300", "genre=Rock", "date=2004-05-06"});
    replaygain_values rg;
    rg.album_gain = -1.0f;
    info.set_replaygain(rg);
    id3v1_reduce(info);
    CHECK(meta_text(info) == "title=012345678901234567890123456789|artist=A|date=2004|genre=Rock");
    CHECK(info.get_replaygain().count_valid() == 0);
    CHECK(info_text(info, "tagtype") == "id3v1");
    CHECK(id3v1_fits(info));
}

TEST_CASE("the genre list") {
    CHECK(std::string(id3v1_genre_name(0)) == "Blues");
    CHECK(std::string(id3v1_genre_name(125)) == "Dance Hall");
    CHECK(std::string(id3v1_genre_name(126)) == "Goa");
    CHECK(std::string(id3v1_genre_name(147)) == "SynthPop");
    CHECK(id3v1_genre_name(148) == nullptr);
    CHECK(id3v1_genre_find("ROCK") == 17);
    CHECK(id3v1_genre_find("synthpop") == 147);
    CHECK(id3v1_genre_find("Rock ") == -1);
    for (uint32_t i = 0; i < id3v1_genre_count; ++i) CHECK(id3v1_genre_find(id3v1_genre_name(i)) == int32_t(i));
}
