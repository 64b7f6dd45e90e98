// browse_fields: the digest a track handle caches: filling it from an info (disc numbers split off album
// names, several values joined), its stream form and the packed record.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "foundation/fs/memory_sink.h"
#include "foundation/kpl/io_exceptions.h"
#include "metadata/browse_fields.h"
#include "metadata/track_info.h"
#include "tests/metadata/byte_fixtures.h"
#include "tests/metadata/info_text.h"

namespace {

using namespace metadata_test;

using bytes = std::vector<uint8_t>;

std::string texts_of(const browse_fields& b) {
    std::string out;
    for (uint32_t k = 0; k < browse_field_count; ++k) {
        if (k) out += '|';
        out += b.get(k);
    }
    return out;
}

// A record in stream form: length, n, then the given text block.
bytes record_bytes(float length, const std::string& block, uint32_t n) {
    bytes out;
    put_f32(out, length);
    put_u32(out, n);
    out.insert(out.end(), block.begin(), block.end());
    return out;
}

bytes record_bytes(float length, const std::string& block) {
    return record_bytes(length, block, static_cast<uint32_t>(block.size()));
}

}  // namespace

TEST_CASE("browse fields: names and indexes") {
    const char* names[] = {"Title", "Artist", "Album Artist", "Genre", "Album", "TrackNumber", "DiscNumber", "Date"};
    for (uint32_t k = 0; k < browse_field_count; ++k) {
        CHECK(std::string(browse_field_name(k)) == names[k]);
        CHECK(browse_field_index(names[k], browse_fields::npos) == static_cast<int32_t>(k));
    }
    CHECK(browse_field_index("ALBUM ARTIST", browse_fields::npos) == browse_album_artist);
    CHECK(browse_field_index("datex", 4) == browse_date);
    CHECK(browse_field_index("Dat", browse_fields::npos) == -1);
    CHECK(browse_field_index("Album Artists", browse_fields::npos) == -1);
    CHECK(browse_field_index("", browse_fields::npos) == -1);
}

TEST_CASE("browse fields: a disc number at the end of the album name is split off") {
    struct row {
        const char* album;
        const char* expected_album;
        const char* expected_disc;  // the "discnumber" field of the track is "7"
    } rows[] = {
        {"Greatest Hits Disc 2", "Greatest Hits", "2"},
        {"Best Of (CD 01)", "Best Of", "1"},
        {"Live  cd 3", "Live", "3"},  // both spaces go
        {"Album DISC12", "Album", "12"},
        {"Album (disc3)", "Album", "3"},
        {"Album (Cd 000)", "Album", "0"},
        {"X CD 4", "X", "4"},
        {"Disc 2", "Disc 2", "7"},           // nothing in front of the pattern: not split
        {" Disc 2", " Disc 2", "7"},
        {"Album Disc", "Album Disc", "7"},    // no number
        {"Album Disc 2 ", "Album Disc 2 ", "7"},  // not at the end
        {"Album Disc x2", "Album Disc x2", "7"},
        {"Album (CD 1", "Album (CD 1", "7"},
        {"Album Disk 2", "Album Disk 2", "7"},
        {"A Disc 99999999999999999999", "A", "99999999999999999999"},
    };
    for (const row& r : rows) {
        CAPTURE(r.album);
        track_info_store info;
        info.meta_add("album", track_info::npos, r.album, track_info::npos);
        info.meta_add("DiscNumber", track_info::npos, "7", track_info::npos);
        browse_fields_builder b;
        b.fill_from_info(info);
        CHECK(std::string(b.get(browse_album)) == r.expected_album);
        CHECK(std::string(b.get(browse_disc_number)) == r.expected_disc);
    }
}

TEST_CASE("browse fields: filling from an info") {
    track_info_store info = info_from_text(
        "TITLE=Song;artist=A,B;album artist=AA;genre=Rock,Pop,Jazz;ALBUM=Alb;tracknumber=3;date=1999;comment=x;Artist=C");
    info.set_length(245.75);
    browse_fields_builder b;
    b.set(browse_disc_number, "stale");
    b.fill_from_info(info);
    CHECK(texts_of(b) == "Song|A; B|AA|Rock; Pop; Jazz|Alb|3||1999");  // the first "artist" field only
    CHECK(b.length == 245.75f);

    browse_fields_packed p;
    p.fill_from_info(info);
    CHECK(texts_of(p) == texts_of(b));
    CHECK(p.length == 245.75f);

    track_info_store empty;
    b.fill_from_info(empty);
    CHECK(texts_of(b) == "|||||||");
    CHECK(b.length == 0);
}

TEST_CASE("browse fields: building texts") {
    browse_fields_builder b;
    b.add(browse_artist, "A");
    b.add(browse_artist, "B");
    b.add(browse_artist, "Cxx", 1);
    b.set(browse_title, "Title!", 5);
    CHECK(texts_of(b) == "Title|A; B; C||||||");
    b.clear();
    CHECK(texts_of(b) == "|||||||");

    browse_fields_packed empty;
    CHECK(texts_of(empty) == "|||||||");
}

TEST_CASE("browse fields: stream form round trip") {
    browse_fields_builder b;
    b.set(browse_title, "T\xC3\xA9");
    b.set(browse_date, "2001");
    b.length = 3.5f;
    memory_sink sink;
    b.write(sink, abort_never);
    const bytes written(sink.data(), sink.data() + sink.size());
    CHECK(written == record_bytes(3.5f, std::string("T\xC3\xA9\0\0\0\0\0\0\0" "2001\0", 15)));

    for (int packed = 0; packed < 2; ++packed) {
        CAPTURE(packed);
        bytes_source in(written);
        browse_fields_builder builder;
        browse_fields_packed packed_record;
        browse_fields& r = packed ? static_cast<browse_fields&>(packed_record) : builder;
        r.read(in, abort_never);
        CHECK(texts_of(r) == texts_of(b));
        CHECK(r.length == 3.5f);
        CHECK(in.position() == written.size());

        memory_sink again;
        r.write(again, abort_never);
        CHECK(bytes(again.data(), again.data() + again.size()) == written);
    }

    // An empty packed record is written as n = 8 and eight zero bytes.
    browse_fields_packed empty;
    memory_sink out;
    empty.write(out, abort_never);
    CHECK(bytes(out.data(), out.data() + out.size()) == record_bytes(0, std::string(8, '\0')));
}

TEST_CASE("browse fields: reading malformed records") {
    struct row {
        const char* what;
        bytes data;
        bool valid;
    };
    const std::string eight(8, '\0');
    const row rows[] = {
        {"n = 8, eight empty texts", record_bytes(1, eight), true},
        {"n = 9 with one byte after the eighth text", record_bytes(1, eight + "x"), false},
        {"n = 7", record_bytes(1, std::string(7, '\0')), false},
        {"n = 0", record_bytes(1, ""), false},
        {"seven texts", record_bytes(1, std::string("a\0b\0c\0d\0e\0f\0g\0h", 15)), false},
        {"a text running past n", record_bytes(1, std::string("\0\0\0\0\0\0\0abc", 10)), false},
        {"n larger than the stream", record_bytes(1, eight, 100), false},
        {"a size of 4 GiB claimed", record_bytes(1, eight, 0xFFFFFFF0), false},
        {"cut inside the header", bytes{0, 0, 0x80, 0x3F, 8, 0}, false},
        {"nothing", bytes{}, false},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        {
            bytes_source in(r.data);
            browse_fields_builder b;
            if (r.valid) {
                b.read(in, abort_never);
                CHECK(texts_of(b) == "|||||||");
            } else {
                CHECK_THROWS_AS(b.read(in, abort_never), ketrel_io::exception_io_data);
            }
        }
        {
            // A packed record that fails is left empty.
            bytes_source in(r.data);
            browse_fields_packed p;
            browse_fields_builder filled;
            filled.set(browse_title, "old");
            p.copy_from(filled);
            p.length = 9;
            if (r.valid) {
                p.read(in, abort_never);
            } else {
                CHECK_THROWS_AS(p.read(in, abort_never), ketrel_io::exception_io_data);
                CHECK(p.length == 0);
            }
            CHECK(texts_of(p) == "|||||||");
        }
    }
}

TEST_CASE("browse fields: a long record is read in growing steps") {
    // 40000 bytes of title: read in steps of 16384, 32768 and the rest.
    std::string title(40000, 't');
    std::string block = title + std::string(8, '\0');
    bytes data = record_bytes(2, block);
    bytes_source in(data);
    browse_fields_packed p;
    p.read(in, abort_never);
    CHECK(std::string(p.get(browse_title)) == title);
    CHECK(in.position() == data.size());

    // An abort while reading passes on.
    bytes_source aborting(data, 20000);
    CHECK_THROWS_AS(p.read(aborting, abort_never), ketrel_io::exception_aborted);
    CHECK(texts_of(p) == "|||||||");
}

TEST_CASE("browse fields: copies of packed records") {
    browse_fields_builder b;
    b.set(browse_genre, "Jazz");
    b.length = 1.5f;
    browse_fields_packed p;
    p.copy_from(b);
    CHECK(p.length == 0);  // copy_from copies the texts only
    p.length = b.length;
    browse_fields_packed q(p);
    CHECK(texts_of(q) == "|||Jazz||||");
    CHECK(q.length == 1.5f);
    browse_fields_packed r;
    r.swap(q);
    CHECK(texts_of(r) == "|||Jazz||||");
    CHECK(texts_of(q) == "|||||||");
    p.copy_from(p);  // onto itself: nothing
    CHECK(std::string(p.get(browse_genre)) == "Jazz");
    p.clear();
    CHECK(texts_of(p) == "|||||||");
}

TEST_CASE("browse fields: packed texts that start far into a long block") {
    // Texts beyond 64 KiB from the block's start are found by walking the block; those before by offset.
    browse_fields_builder b;
    const std::string long_title(70000, 't');
    const std::string long_artist(40000, 'a');
    b.set(browse_title, long_title.c_str());
    b.set(browse_artist, long_artist.c_str());
    b.set(browse_genre, "Jazz");
    b.set(browse_date, "1999");
    browse_fields_packed p;
    p.copy_from(b);
    CHECK(p.get(browse_title) == long_title);
    CHECK(p.get(browse_artist) == long_artist);
    CHECK(texts_of(p).substr(long_title.size() + 1 + long_artist.size()) == "||Jazz||||1999");
    browse_fields_packed q;
    q.swap(p);
    CHECK(q.get(browse_genre) == std::string("Jazz"));
    CHECK(q.get(browse_date) == std::string("1999"));
    CHECK(texts_of(p) == "|||||||");

    // Just below and just at the limit.
    for (size_t size : {65533u, 65534u, 65535u}) {
        CAPTURE(size);
        browse_fields_builder edge;
        edge.set(browse_title, std::string(size, 'x').c_str());
        edge.set(browse_artist, "B");
        browse_fields_packed n;
        n.copy_from(edge);
        CHECK(n.get(browse_artist) == std::string("B"));
        CHECK(n.get(browse_album_artist) == std::string(""));
    }
}
