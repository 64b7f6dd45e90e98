// The retag writer over files built in the test: in place at the end, relocated after the media data, kept
// composition offsets and unknown boxes, and a file that stays playable whichever write fails.

#include <doctest/doctest.h>

#include <algorithm>

#include "compressed_inputs/mp4/atomkit/retag_writer.h"
#include "compressed_inputs/mp4/atomkit/sample_index.h"
#include "tests/compressed_inputs/mp4/movie_builder.h"

using namespace atomkit_test;

namespace {

// A file whose write number `fail_at` (1-based) fails after writing `partial` of its bytes.
class failing_file final : public atomkit::file_backed_stream {
public:
    failing_file(memory_file& inner, int fail_at, size_t partial) : m_inner(inner), m_fail_at(fail_at), m_partial(partial) {}
    size_t read(void* b, size_t n) override { return m_inner.read(b, n); }
    void read_exact(void* b, size_t n) override { m_inner.read_exact(b, n); }
    uint64_t skip(uint64_t n) override { return m_inner.skip(n); }
    void skip_exact(uint64_t n) override { m_inner.skip_exact(n); }
    void check_available(uint64_t n) override { m_inner.check_available(n); }
    uint64_t position() override { return m_inner.position(); }
    void seek(uint64_t o) override { m_inner.seek(o); }
    uint64_t size() override { return m_inner.size(); }
    void truncate(uint64_t s) override { m_inner.truncate(s); }
    void write(const void* b, size_t n) override {
        if (capacity && m_inner.position() + n > capacity) {
            // A full disk: what fits is written, then the write fails.
            const size_t room = m_inner.position() < capacity ? size_t(capacity - m_inner.position()) : 0;
            m_inner.write(b, room);
            throw atomkit::exception("disk full");
        }
        if (++writes == m_fail_at) {
            m_inner.write(b, std::min(n, m_partial));
            throw atomkit::exception("disk full");
        }
        m_inner.write(b, n);
    }
    int writes = 0;
    uint64_t capacity = 0;  // 0: unlimited

private:
    memory_file& m_inner;
    int m_fail_at;
    size_t m_partial;
};

const bytes mdat_payload = filler(40, 0x5A);
bytes mdat() { return box("mdat", mdat_payload); }

// ftyp, moov, mdat or ftyp, mdat, moov, with the track's chunk at the mdat payload.
bytes layout(bool moov_first, const bytes& items, const bytes& more_stbl = {}) {
    const size_t ftyp_size = ftyp().size();
    const bytes probe = box("moov", cat({mvhd(1000, 5000), aac_trak(4, 0, more_stbl), box("xtra", text("keep")),
                                         udta(cat({meta_ilst(items), box("cprt", text("udta child"))}))}));
    const uint32_t offset = uint32_t(moov_first ? ftyp_size + probe.size() + 8 : ftyp_size + 8);
    const bytes moov = box("moov", cat({mvhd(1000, 5000), aac_trak(4, offset, more_stbl), box("xtra", text("keep")),
                                        udta(cat({meta_ilst(items), box("cprt", text("udta child"))}))}));
    return moov_first ? cat({ftyp(), moov, mdat()}) : cat({ftyp(), mdat(), moov});
}

std::string title_of(const bytes& file) {
    atomkit::movie_file m;
    open_model(m, file, 0x5B);
    auto it = m.fields.find("title");
    return it == m.fields.end() ? "<none>" : it->second.values.at(0);
}

bool contains(const bytes& hay, const bytes& needle) {
    return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

void retitle(memory_file& f, const std::string& title, atomkit::file_backed_stream* through = nullptr) {
    atomkit::movie_file m;
    f.seek(0);
    m.open(f, 0x5B, true);
    m.chapters.at(0).fields["title"].values = {title};
    atomkit::write_movie(m, through ? *through : f, 1);
}

// The file offsets of the first track's samples.
std::vector<uint64_t> offsets(const bytes& file) {
    atomkit::movie_file m;
    open_model(m, file);
    std::vector<uint64_t> out;
    atomkit::sample_cursor c;
    atomkit::cursor_seek(c, *m.tracks.at(0), 0);
    do out.push_back(atomkit::cursor_info(c, *m.tracks[0]).file_offset);
    while (atomkit::cursor_next(c, *m.tracks[0]));
    return out;
}

}  // namespace

TEST_CASE("a movie box at the end is rewritten in place, the file cut after it") {
    const bytes before = layout(false, item("\xA9nam", 1, text("Old title")));
    for (const char* title : {"T", "A much longer title than before, to grow the movie box"}) {
        memory_file f(before);
        retitle(f, title);
        const bytes& after = f.data();
        CHECK(title_of(after) == title);
        CHECK(bytes(after.begin(), after.begin() + ftyp().size() + mdat().size()) ==
              bytes(before.begin(), before.begin() + ftyp().size() + mdat().size()));
        atomkit::movie_file m;
        open_model(m, after);
        CHECK(m.data_end == after.size());
        CHECK(!contains(after, text("free")));
        CHECK(offsets(after) == offsets(before));
    }
}

TEST_CASE("a movie box before the media data is relocated; the old one becomes free") {
    const bytes before = layout(true, item("\xA9nam", 1, text("Old title")), cat({ctts({{4, 1024}}), box("sgpd", text("group"))}));
    memory_file f(before);
    retitle(f, "New");
    const bytes first = f.data();
    CHECK(title_of(first) == "New");
    const size_t old_moov = ftyp().size();
    CHECK(bytes(first.begin() + old_moov + 4, first.begin() + old_moov + 8) == text("free"));
    CHECK(bytes(first.begin() + old_moov + 8, first.begin() + before.size()) ==
          bytes(before.begin() + old_moov + 8, before.end()));  // the rest of the old file as it was
    CHECK(offsets(first) == offsets(before));

    atomkit::movie_file m;
    open_model(m, first);
    CHECK(m.moov_offset == before.size());
    CHECK(m.tracks[0]->composition_offsets.size() == 1);  // "ctts" kept: the range does not change
    CHECK(m.chapters[0].start == atomkit::to_ticks(1024, 44100));
    CHECK(contains(first, box("xtra", text("keep"))));
    CHECK(contains(first, box("cprt", text("udta child"))));
    CHECK(contains(first, box("tkhd", filler(84, 0))));
    CHECK(contains(first, box("smhd", filler(8, 0))));
    CHECK(contains(first, box("sgpd", text("group"))));
    CHECK(contains(first, box("hdlr", filler(25, 0))));

    // Again: now in place at the end; still one "free".
    retitle(f, "Newer and longer");
    const bytes second = f.data();
    CHECK(title_of(second) == "Newer and longer");
    size_t frees = 0;
    for (size_t i = 0; i + 4 <= second.size(); ++i) frees += bytes(second.begin() + i, second.begin() + i + 4) == text("free");
    CHECK(frees == 1);
    CHECK(second.size() > before.size());
    CHECK(offsets(second) == offsets(before));
}

TEST_CASE("a movie without user data gains one; mode 3 writes the tags box") {
    const bytes moov = box("moov", cat({mvhd(1000, 5000), aac_trak(4, 8)}));
    memory_file f(cat({ftyp(), mdat(), moov}));
    atomkit::movie_file m;
    m.open(f, 0x5B, true);
    m.chapters[0].fields["album"].values = {"Al"};
    auto pic = std::make_shared<atomkit::picture_entry>();
    pic->name = "booklet";
    pic->data = {1, 2};
    m.pictures.push_back(pic);
    atomkit::write_movie(m, f, 3);
    atomkit::movie_file back;
    open_model(back, f.data(), 0x5B);
    CHECK(back.ud.has_ilst);
    CHECK(back.ud.has_tags);
    CHECK(back.fields.at("album").values == std::vector<std::string>{"Al"});
    REQUIRE(back.pictures.size() == 1);
    CHECK(back.pictures[0]->name == "booklet");
}

TEST_CASE("a failing write leaves a playable file with the old or the new tags") {
    // Every write of a good run fails in turn, at once or after a few bytes. Only an overwrite in place that
    // stops part way (not a full disk: those bytes are the file's already) cannot be undone.
    for (bool moov_first : {true, false}) {
        for (const char* title : {"New", "A title long enough to make the movie box grow"}) {
            const bytes before = layout(moov_first, item("\xA9nam", 1, text("Old")));
            memory_file probe(before);
            failing_file counter(probe, 0, 0);
            retitle(probe, title, &counter);
            REQUIRE(counter.writes >= 1);
            for (int k = 1; k <= counter.writes; ++k) {
                for (size_t partial : {size_t(0), size_t(6)}) {
                    const bool overwrite_in_place = !moov_first && k == counter.writes;
                    if (overwrite_in_place && partial) continue;
                    CAPTURE(moov_first);
                    CAPTURE(title);
                    CAPTURE(k);
                    CAPTURE(partial);
                    memory_file f(before);
                    failing_file broken(f, k, partial);
                    CHECK(atomkit_error([&] { retitle(f, title, &broken); }) == "disk full");
                    CHECK(f.data() == before);
                    CHECK(title_of(f.data()) == "Old");
                }
            }
            // A disk with no room for the file to grow.
            memory_file full(before);
            failing_file no_room(full, 0, 0);
            no_room.capacity = before.size();
            const std::string error = atomkit_error([&] { retitle(full, title, &no_room); });
            CHECK(title_of(full.data()) == (error == "no error" ? title : "Old"));
            if (error != "no error") CHECK(full.data() == before);
        }
    }
}
