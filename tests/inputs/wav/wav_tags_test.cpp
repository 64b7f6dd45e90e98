#include <doctest/doctest.h>

#include <algorithm>
#include <string>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "inputs/wav/wav_chunks.h"
#include "inputs/wav/wav_tags.h"
#include "metadata/track_info.h"
#include "tests/inputs/wav/wav_builder.h"
#include "tests/inputs/input_test_support.h"
#include "tests/support/allocation_watch.h"

using namespace wav_test;

namespace {

const bytes g_fmt = pcm_format(1, 1, 8000, 8);

bytes audio(size_t n) {
    bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
    return b;
}

bytes info_list(std::initializer_list<std::pair<const char*, std::string>> fields) {
    bytes b;
    put_text(b, "INFO");
    for (const auto& f : fields) {
        put_text(b, f.first);
        put32(b, static_cast<uint32_t>(f.second.size() + 1));
        put_text(b, f.second.c_str());
        b.push_back(0);
        if ((f.second.size() + 1) & 1) b.push_back(0);
    }
    return b;
}

struct chunk_view {
    std::string code;
    uint64_t offset;
    uint32_t size;
};

// The chunks of a RIFF file as the file states them (the RIFF size must agree with the file).
std::vector<chunk_view> chunks_of(const bytes& b) {
    std::vector<chunk_view> out;
    REQUIRE(b.size() >= 12);
    uint32_t riff;
    std::memcpy(&riff, b.data() + 4, 4);
    REQUIRE(uint64_t(riff) + 8 == b.size());
    size_t pos = 12;
    while (pos + 8 <= b.size()) {
        uint32_t size;
        std::memcpy(&size, b.data() + pos + 4, 4);
        out.push_back({std::string(reinterpret_cast<const char*>(b.data() + pos), 4), pos, size});
        pos += 8 + size + (size & 1);
    }
    CHECK(pos == b.size());
    return out;
}

std::string codes_of(const bytes& b) {
    std::string s;
    for (const chunk_view& c : chunks_of(b)) s += (s.empty() ? "" : ",") + c.code + "/" + std::to_string(c.size);
    return s;
}

// The decoded samples of a file, as raw bytes of its data chunk.
bytes data_of(const bytes& b) {
    file_stream_ref f = wav_builder::file_of(b);
    wav_layout layout;
    wav_walk_chunks(*f, layout, abort_never);
    bytes out(static_cast<size_t>(layout.data_size));
    f->seek(layout.data_start, abort_never);
    f->read_exact(out.data(), out.size(), abort_never);
    return out;
}

track_info_store title_info(const char* title) {
    track_info_store info;
    info.meta_set("title", track_info::npos, title, track_info::npos);
    return info;
}

bytes write_tags(const bytes& file, const track_info& info) {
    file_stream_ref f = wav_builder::file_of(file);
    wav_tags_write(*f, info, abort_never);
    return wav_builder::content(*f);
}

track_info_store read_tags(const bytes& file) {
    file_stream_ref f = wav_builder::file_of(file);
    track_info_store info;
    wav_tags_read(*f, info, abort_never);
    return info;
}

std::string meta(const track_info& info, const char* name) {
    const char* v = info.meta_get_first(name);
    return v ? v : "(none)";
}

}  // namespace

TEST_CASE("WAVE tags: LIST INFO and id3 chunks read") {
    input_test::services_built();
    bytes with_info = wav_builder()
                          .chunk("fmt ", g_fmt)
                          .chunk("LIST", info_list({{"INAM", "First"}, {"IART", "Someone"}, {"INAM", "Second"}, {"IXYZ", "x"}}))
                          .chunk("data", audio(10))
                          .get();
    track_info_store info = read_tags(with_info);
    CHECK(meta(info, "title") == "Second");   // a repeated code replaces
    CHECK(meta(info, "artist") == "Someone");
    CHECK(info.meta_count() == 2);

    // An "id3 " chunk wins over LIST INFO and leaves no "tagtype".
    bytes id3 = write_tags(with_info, title_info("From ID3"));
    track_info_store both = read_tags(id3);
    CHECK(meta(both, "title") == "From ID3");
    CHECK(both.info_find("tagtype") < 0);

    // A subchunk that claims more bytes than the list holds.
    bytes broken_list = info_list({{"INAM", "T"}});
    broken_list[8] = 0x40;
    CHECK_THROWS_AS(read_tags(wav_builder().chunk("fmt ", g_fmt).chunk("LIST", broken_list).chunk("data", audio(4)).get()),
                    ketrel_io::exception_io_data);
    // A RIFF size beyond the file: the tags cannot be trusted.
    bytes cut = wav_builder().chunk("fmt ", g_fmt).chunk("data", audio(10)).get(500);
    CHECK_THROWS_AS(read_tags(cut), ketrel_io::exception_io_data);
}

TEST_CASE("WAVE tags: where new chunks go") {
    input_test::services_built();
    track_info_store info = title_info("T");   // LIST: "INFO" + INAM(8 + 2) = 14 bytes payload, 22 in all

    SUBCASE("a file that ends with LIST INFO: cut and appended again") {
        bytes b = wav_builder()
                      .chunk("fmt ", g_fmt)
                      .chunk("data", audio(10))
                      .chunk("LIST", info_list({{"INAM", "Old title that is long"}}))
                      .get();
        bytes out = write_tags(b, info);
        CHECK(codes_of(out) == "fmt /18,data/10,LIST/14,id3 /" + std::to_string(chunks_of(out).back().size));
        CHECK(data_of(out) == audio(10));
        CHECK(meta(read_tags(out), "title") == "T");
    }
    SUBCASE("JUNK space of 100 bytes before the data") {
        struct junk_case {
            size_t title_length;  // LIST total = 8 + 4 + 8 + title + 1 (+ pad)
            const char* layout;
        };
        // title 78 -> LIST 100 exactly; 70 -> 92 leaves JUNK of 0; 72/74/76 -> 94/96/98 go to the end.
        const junk_case cases[] = {
            {79, "fmt /18,LIST/92,data/10"},
            {71, "fmt /18,LIST/84,JUNK/0,data/10"},
            {20, "fmt /18,LIST/34,JUNK/50,data/10"},
            {73, "fmt /18,JUNK/92,data/10,LIST/86"},
            {77, "fmt /18,JUNK/92,data/10,LIST/90"},
        };
        for (const junk_case& c : cases) {
            CAPTURE(c.title_length);
            bytes b = wav_builder().chunk("fmt ", g_fmt).chunk("JUNK", bytes(92)).chunk("data", audio(10)).get();
            track_info_store t = title_info(std::string(c.title_length, 'x').c_str());
            file_stream_ref f = wav_builder::file_of(b);
            // Only LIST: the id3 chunk would go to the end as well; check the LIST placement through a file
            // whose ID3 part is measured separately.
            wav_tags_write(*f, t, abort_never);
            bytes out = wav_builder::content(*f);
            std::string layout = codes_of(out);
            CHECK(layout.substr(0, layout.rfind(",id3 ")) == c.layout);
            CHECK(data_of(out) == audio(10));
        }
    }
    SUBCASE("unknown INFO subchunks are kept; non-ASCII text becomes the replacement character") {
        bytes b = wav_builder()
                      .chunk("fmt ", g_fmt)
                      .chunk("LIST", info_list({{"IXYZ", "keep"}, {"INAM", "old"}}))
                      .chunk("data", audio(10))
                      .get();
        track_info_store t = title_info("caf\xC3\xA9");
        bytes out = write_tags(b, t);
        std::string text(out.begin(), out.end());
        CHECK(text.find(std::string("IXYZ\x05\0\0\0keep\0", 13)) != std::string::npos);
        size_t inam = text.rfind(std::string("INAM\x05\0\0\0caf", 11));
        REQUIRE(inam != std::string::npos);
        CHECK(static_cast<uint8_t>(text[inam + 11]) < 0x80);   // one US-ASCII stand-in for the "é"
        CHECK(text[inam + 12] == 0);
        CHECK(meta(read_tags(out), "title") == "caf\xC3\xA9");   // the ID3 tag keeps the real text
    }
    SUBCASE("removing: tag chunks become JUNK, at the end they are cut off") {
        bytes b = wav_builder()
                      .chunk("fmt ", g_fmt)
                      .chunk("LIST", info_list({{"INAM", "a"}}))
                      .chunk("data", audio(10))
                      .chunk("JUNK", bytes(6))
                      .chunk("LIST", info_list({{"IART", "b"}}))
                      .get();
        file_stream_ref f = wav_builder::file_of(b);
        wav_tags_strip(*f, abort_never);
        bytes out = wav_builder::content(*f);
        CHECK(codes_of(out) == "fmt /18,JUNK/14,data/10");
        CHECK(read_tags(out).meta_count() == 0);
    }
}

TEST_CASE("WAVE tags: sizes that disagree with the file never cost audio") {
    input_test::services_built();
    const bytes data = audio(1001);   // odd: the data chunk has a pad byte
    struct size_case {
        const char* name;
        bytes file;
    };
    bytes plain = wav_builder().chunk("fmt ", g_fmt).chunk("data", data).get();
    bytes junk_end = wav_builder().chunk("fmt ", g_fmt).chunk("data", data).chunk("JUNK", bytes(20)).get();
    bytes truncated_data = wav_builder().chunk("fmt ", g_fmt).chunk("data", data, 5000).get(0);
    truncated_data.pop_back();  // no pad byte: the data chunk simply ends with the file
    const size_case cases[] = {
        {"RIFF size 0", wav_builder().chunk("fmt ", g_fmt).chunk("data", data).get(0)},
        {"RIFF size inside the data chunk", wav_builder().chunk("fmt ", g_fmt).chunk("data", data).get(100)},
        {"RIFF size of 4 (only WAVE)", wav_builder().chunk("fmt ", g_fmt).chunk("data", data).get(4)},
        {"RIFF size 0 with JUNK at the end", wav_builder().chunk("fmt ", g_fmt).chunk("data", data).chunk("JUNK", bytes(20)).get(0)},
        {"data chunk longer than the file, RIFF size 0", truncated_data},
        {"data chunk of size 0, RIFF size 0", wav_builder().chunk("fmt ", g_fmt).chunk("data", data, 0).get(0)},
        {"data chunk of size 0, RIFF size right", wav_builder().chunk("fmt ", g_fmt).chunk("data", data, 0).get()},
        {"correct sizes", plain},
        {"correct sizes with JUNK at the end", junk_end},
    };
    for (const size_case& c : cases) {
        CAPTURE(std::string(c.name));
        bytes out = write_tags(c.file, title_info("Kept"));
        // Every sample is still there (a data chunk of size 0 also counts its pad byte, as before the write).
        bytes after = data_of(out);
        REQUIRE(after.size() >= data.size());
        CHECK(after.size() <= data.size() + 1);
        CHECK(std::equal(data.begin(), data.end(), after.begin()));
        uint32_t riff;
        std::memcpy(&riff, out.data() + 4, 4);
        CHECK(uint64_t(riff) + 8 == out.size());   // the size field now tells the truth
        CHECK(meta(read_tags(out), "title") == "Kept");
    }

    // A RIFF size beyond the file (a cut-off copy) refuses the write and changes nothing.
    bytes beyond = wav_builder().chunk("fmt ", g_fmt).chunk("data", data).get(100000);
    file_stream_ref f = wav_builder::file_of(beyond);
    CHECK_THROWS_AS(wav_tags_write(*f, title_info("x"), abort_never), ketrel_io::exception_io_data);
    CHECK(wav_builder::content(*f) == beyond);
    CHECK_THROWS_AS(wav_tags_strip(*f, abort_never), ketrel_io::exception_io_data);
    CHECK(wav_builder::content(*f) == beyond);

    // A malformed old ID3v2 tag refuses the write before anything changes.
    bytes bad_id3 = wav_builder()
                        .chunk("fmt ", g_fmt)
                        .chunk("LIST", info_list({{"INAM", "old"}}))
                        .chunk("data", data)
                        .chunk("id3 ", {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 12, 'T', 'I', 'T', '2', 0, 0, 1, 0, 0, 0, 1, 'x'})
                        .get();
    file_stream_ref g = wav_builder::file_of(bad_id3);
    CHECK_THROWS(wav_tags_write(*g, title_info("x"), abort_never));
    CHECK(wav_builder::content(*g) == bad_id3);
}

TEST_CASE("WAVE tags: chunks that claim more than the file holds") {
    input_test::services_built();
    // 262-byte files with RIFF size 0 whose last chunk claims 0x7FFFFFF0 bytes: the reader and the writer take
    // what the file holds and never size a buffer from the claim.
    bytes id3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 16, 'T', 'I', 'T', '2', 0, 0, 0, 6, 0, 0, 0, 'C', 'l', 'a', 'i', 'm'};
    struct claim_case {
        const char* code;
        bytes payload;
    };
    const claim_case cases[] = {{"id3 ", id3}, {"LIST", info_list({{"INAM", "Claim"}})}};
    for (const claim_case& c : cases) {
        CAPTURE(c.code);
        bytes payload = c.payload;
        const size_t head = 12 + 8 + g_fmt.size() + 8 + 10 + 8;
        payload.resize(262 - head, 0);
        bytes file = wav_builder().chunk("fmt ", g_fmt).chunk("data", audio(10)).chunk(c.code, payload, 0x7FFFFFF0).get(0);
        REQUIRE(file.size() == 262);
        allocation_watch watch(1 << 20);
        CHECK(meta(read_tags(file), "title") == "Claim");
        bytes out = write_tags(file, title_info("Rewritten"));
        CHECK_FALSE(watch.refused());
        CHECK(watch.largest() < 4096);
        CHECK(meta(read_tags(out), "title") == "Rewritten");
        CHECK(data_of(out) == audio(10));
    }
}
