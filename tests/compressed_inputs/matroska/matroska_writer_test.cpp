// The in-place Matroska tag writer: encodings, Voids, where new Tags go, SeekHead upkeep, and a file that fails at
// every write call in turn.

#include <doctest/doctest.h>

#include <algorithm>
#include <typeinfo>
#include <string>

#include "compressed_inputs/matroska/ebml_writer.h"
#include "compressed_inputs/matroska/matroska_file.h"
#include "foundation/fs/memory_file.h"
#include "foundation/kpl/io_exceptions.h"
#include "tests/compressed_inputs/compressed_test_support.h"
#include "tests/compressed_inputs/matroska/ebml_builder.h"

using namespace mkv;

namespace {

// Content whose Tags element is `total` bytes long (totals of 6 to 130).
bytes content_for(size_t total, uint8_t fill = 'T') { return bytes(total - 5, fill); }

bytes seek_entry(uint32_t stored, uint64_t position) {
    return el(id::seek, {el(id::seek_id, id_bytes(stored)), el(id::seek_position, u(position))});
}

struct placed {
    bool ok;
    bytes before, after;
    Matroska::matroska_index index;
};

placed place(const bytes& file, const bytes& content) {
    placed p;
    p.before = file;
    file_stream_ref f = compressed_test::memory_file_with(file);
    Matroska::ebml_reader r(f, abort_never);
    Matroska::matroska_scan(p.index, r);
    p.ok = Matroska::matroska_place_tags(p.index, r, content);
    p.after = compressed_test::file_bytes(*f);
    return p;
}

size_t find(const bytes& hay, const bytes& needle, size_t from = 0) {
    auto it = std::search(hay.begin() + static_cast<ptrdiff_t>(from), hay.end(), needle.begin(), needle.end());
    return it == hay.end() ? std::string::npos : static_cast<size_t>(it - hay.begin());
}

// A file object whose writes fail: only the `fail_at`-th (after writing half its bytes), every one from the
// `fail_at`-th on (writing nothing), or every one that would make the file longer (a full disk).
enum class failure { once, from_then_on, full_disk };
class failing_file final : public service_counted<file_stream> {
public:
    failing_file(file_stream_ref inner, int fail_at, failure how)
        : m_inner(std::move(inner)), m_fail_at(fail_at), m_how(how), m_size(m_inner->get_size(abort_never)) {}
    int writes = 0;
    size_t read(void* b, size_t n, const abort_signal& a) override { return m_inner->read(b, n, a); }
    void write(const void* b, size_t n, const abort_signal& a) override {
        ++writes;
        if (m_how == failure::once && writes == m_fail_at) {
            m_inner->write(b, n / 2, a);
            throw ketrel_io::exception_io_device_full();
        }
        if (m_how == failure::from_then_on && writes >= m_fail_at) throw ketrel_io::exception_io_device_full();
        if (m_how == failure::full_disk && m_inner->get_position(a) + n > m_size) throw ketrel_io::exception_io_device_full();
        m_inner->write(b, n, a);
    }
    uint64_t get_size(const abort_signal& a) override { return m_inner->get_size(a); }
    uint64_t get_position(const abort_signal& a) override { return m_inner->get_position(a); }
    void resize(uint64_t s, const abort_signal& a) override { m_inner->resize(s, a); }
    void seek(uint64_t p, const abort_signal& a) override { m_inner->seek(p, a); }
    bool can_seek() override { return true; }
    bool get_content_type(kpl::utf8_string&) override { return false; }
    bool is_in_memory() override { return true; }
    void on_idle(const abort_signal&) override {}
    uint64_t get_timestamp(const abort_signal&) override { return 0; }
    bool is_remote() override { return false; }

private:
    file_stream_ref m_inner;
    int m_fail_at;
    failure m_how;
    uint64_t m_size;
};

}  // namespace

TEST_CASE("EBML writing: size encodings and Voids") {
    CHECK(Matroska::ebml_encode(0) == bytes{0x80});
    CHECK(Matroska::ebml_encode(126) == bytes{0xFE});
    CHECK(Matroska::ebml_encode(127) == bytes{0x40, 0x7F});
    CHECK(Matroska::ebml_encode(16382) == bytes{0x7F, 0xFE});
    CHECK(Matroska::ebml_encode(16383) == bytes{0x20, 0x3F, 0xFF});
    CHECK(Matroska::ebml_encode(id::tags) == bytes{0x12, 0x54, 0xC3, 0x67});
    CHECK(Matroska::ebml_encode(id::void_element) == bytes{0xEC});
    CHECK(Matroska::ebml_encode((uint64_t(1) << 56) - 2).size() == 8);
    CHECK_THROWS_AS(Matroska::ebml_encode((uint64_t(1) << 56) - 1), ketrel_io::exception_io_data);
    bytes out;
    CHECK_FALSE(Matroska::ebml_encode_width(127, 1, out));
    CHECK(Matroska::ebml_encode_width(5, 4, out));
    CHECK(out == bytes{0x10, 0x00, 0x00, 0x05});

    struct row {
        uint64_t n;
        bytes expected;  // the first bytes of the 14; the rest stay 0xAA
    };
    const row rows[] = {
        {2, {0xEC, 0x80}},
        {3, {0xEC, 0x81}},
        {9, {0xEC, 0x87}},
        {10, {0xEC, 0x01, 0, 0, 0, 0, 0, 0, 0x01}},
        {12, {0xEC, 0x01, 0, 0, 0, 0, 0, 0, 0x03}},
    };
    for (const row& r : rows) {
        CAPTURE(r.n);
        file_stream_ref f = compressed_test::memory_file_with(bytes(14, 0xAA));
        Matroska::ebml_reader reader(f, abort_never);
        Matroska::ebml_write_void(reader, 1, r.n);
        bytes expected(14, 0xAA);
        std::copy(r.expected.begin(), r.expected.end(), expected.begin() + 1);
        CHECK(compressed_test::file_bytes(*f) == expected);
    }
    file_stream_ref f = compressed_test::memory_file_with(bytes(4, 0));
    Matroska::ebml_reader reader(f, abort_never);
    CHECK_THROWS_AS(Matroska::ebml_write_void(reader, 0, 1), ketrel_io::exception_io_data);
}

TEST_CASE("Matroska tag placement: over old Tags, at the Segment's end, appended, or refused") {
    const bytes head = cat({info(), pcm_tracks()});
    const bytes clus = cluster(0, {block(1, 0, ramp(0, 40))});
    const bytes old60 = el(id::tags, content_for(60, 'o'));
    REQUIRE(old60.size() == 60);
    const bytes middle = file_of(segment({head, old60, clus}));
    const size_t p = find(middle, old60);

    // 10 bytes shorter: same place, then a 10-byte Void, the rest untouched.
    placed a = place(middle, content_for(50, 'n'));
    REQUIRE(a.ok);
    CHECK(a.after.size() == middle.size());
    CHECK(bytes(a.after.begin() + p, a.after.begin() + p + 50) == el(id::tags, content_for(50, 'n')));
    CHECK(bytes(a.after.begin() + p + 50, a.after.begin() + p + 59) == bytes{0xEC, 0x01, 0, 0, 0, 0, 0, 0, 0x01});
    CHECK(a.after[p + 59] == 'o');
    // 3 bytes shorter: EC 81 and one untouched byte.
    placed c = place(middle, content_for(57, 'n'));
    REQUIRE(c.ok);
    CHECK(bytes(c.after.begin() + p + 57, c.after.begin() + p + 60) == bytes{0xEC, 0x81, 'o'});
    // 1 byte shorter: not there (no one-byte Void); appended at the Segment's end, the old one a Void.
    placed b = place(middle, content_for(59, 'n'));
    REQUIRE(b.ok);
    CHECK(b.after.size() == middle.size() + 59);
    CHECK(bytes(b.after.end() - 59, b.after.end()) == el(id::tags, content_for(59, 'n')));
    CHECK(b.after[p] == 0xEC);
    CHECK(b.index.positions[id::tags] == std::set<uint64_t>{middle.size()});
    Matroska::matroska_index rescanned;
    {
        Matroska::ebml_reader r(compressed_test::memory_file_with(b.after), abort_never);
        Matroska::matroska_scan(rescanned, r);
    }
    CHECK(rescanned.segment_size == b.index.segment_size);

    // Tags at the Segment's end: a shorter one cuts the file right after it; a longer one ends the file.
    const bytes at_end = file_of(segment({head, clus, old60}));
    placed shorter = place(at_end, content_for(30, 'n'));
    REQUIRE(shorter.ok);
    CHECK(shorter.after.size() == at_end.size() - 30);
    CHECK(bytes(shorter.after.end() - 30, shorter.after.end()) == el(id::tags, content_for(30, 'n')));
    placed longer = place(at_end, content_for(100, 'n'));
    REQUIRE(longer.ok);
    CHECK(bytes(longer.after.end() - 100, longer.after.end()) == el(id::tags, content_for(100, 'n')));
    CHECK(longer.index.positions[id::tags].size() == 1);

    // A Segment size field too narrow for the new size (1 byte here; 4 needing 5 is the same rule), and no old
    // Tags big enough: refused, nothing written.
    const bytes small_seg = cat({ebml_header(), el_width(id::segment, cat({info(), old60}), 1)});
    REQUIRE(small_seg.size() < 200);
    placed narrow = place(small_seg, content_for(125, 'n'));
    CHECK_FALSE(narrow.ok);
    CHECK(narrow.after == small_seg);

    // Data after the Segment: appending and cutting are refused; a place inside the Segment is used.
    const bytes trailing = cat({at_end, el(id::void_element, bytes(6))});
    placed grow_behind = place(trailing, content_for(100, 'n'));
    CHECK_FALSE(grow_behind.ok);
    CHECK(grow_behind.after == trailing);
    placed inside = place(trailing, content_for(40, 'n'));
    REQUIRE(inside.ok);
    CHECK(inside.after.size() == trailing.size());
}

TEST_CASE("Matroska tag placement: Seek entries of retired and new Tags") {
    const bytes head = cat({info(), pcm_tracks()});
    const bytes clus = cluster(0, {block(1, 0, ramp(0, 40))});
    const bytes t1 = el(id::tags, content_for(30, '1')), t2 = el(id::tags, content_for(40, '2'));
    // SeekHead (fixed 40 bytes with its Void) naming both Tags; a Void right behind the SeekHead.
    const bytes behind = el(id::void_element, bytes(8));
    auto layout = [&](uint64_t first, uint64_t second) {
        bytes sh = el(id::seek_head, {seek_entry(id::tags, first), seek_entry(id::tags, second)});
        return sh;
    };
    bytes sh = layout(0, 0);
    const uint64_t at1 = sh.size() + behind.size() + head.size();
    const uint64_t at2 = at1 + t1.size() + clus.size();
    sh = layout(at1, at2);
    const bytes file = file_of(segment({sh, behind, head, t1, clus, t2}));
    // Two Tags to one: the first (30 bytes) takes 25; the second and its Seek entry become Voids. That entry is the
    // SeekHead's last child: its Void ends at the SeekHead's end, the Void behind the SeekHead stays as it was.
    placed two = place(file, content_for(25, 'n'));
    REQUIRE(two.ok);
    CHECK(two.index.positions[id::tags].size() == 1);
    const size_t sh_at = find(two.after, id_bytes(id::seek_head));
    const size_t second_entry = sh_at + 4 + 1 + seek_entry(id::tags, at1).size();
    CHECK(two.after[second_entry] == 0xEC);
    const size_t entry_size = seek_entry(id::tags, at2).size();
    REQUIRE(entry_size >= 10);
    CHECK(bytes(two.after.begin() + second_entry, two.after.begin() + second_entry + 9) ==
          bytes{0xEC, 0x01, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(entry_size - 9)});
    CHECK(bytes(two.after.begin() + sh_at + sh.size(), two.after.begin() + sh_at + sh.size() + behind.size()) == behind);
    Matroska::matroska_index again;
    {
        Matroska::ebml_reader r(compressed_test::memory_file_with(two.after), abort_never);
        Matroska::matroska_scan(again, r);
    }
    CHECK(again.positions[id::tags].size() == 1);

    // No Tags, a SeekHead with a 20-byte Void inside: the appended Tags gets its entry there.
    const bytes roomy = el(id::seek_head, {seek_entry(id::info, 0), el(id::void_element, bytes(18))});
    const bytes with_room = file_of(segment({roomy, head, clus}));
    placed appended = place(with_room, content_for(30, 'n'));
    REQUIRE(appended.ok);
    Matroska::matroska_index found;
    {
        Matroska::ebml_reader r(compressed_test::memory_file_with(appended.after), abort_never);
        Matroska::matroska_scan(found, r);
    }
    CHECK(found.positions[id::tags] == std::set<uint64_t>{with_room.size()});
    CHECK(appended.after.size() == with_room.size() + 30);

    // No Tags, a full SeekHead with a Void behind it: the SeekHead grows into the Void to take the entry.
    const bytes grows = file_of(segment({el(id::seek_head, seek_entry(id::info, 0)), el(id::void_element, bytes(30)), head, clus}));
    placed behind_head = place(grows, content_for(30, 'n'));
    REQUIRE(behind_head.ok);
    CHECK(behind_head.after.size() == grows.size() + 30);
    Matroska::matroska_index grown;
    {
        Matroska::ebml_reader r(compressed_test::memory_file_with(behind_head.after), abort_never);
        Matroska::matroska_scan(grown, r);
    }
    CHECK(grown.positions[id::tags] == std::set<uint64_t>{grows.size()});
    CHECK(grown.has(id::info));

    // No Tags, a full SeekHead directly followed by a Cluster: nowhere to name the new Tags.
    const bytes full = file_of(segment({el(id::seek_head, seek_entry(id::info, 0)), clus, head}));
    placed refused = place(full, content_for(30, 'n'));
    CHECK_FALSE(refused.ok);
    CHECK(refused.after == full);
}

TEST_CASE("Matroska tag writing: a write that fails at any call leaves a file that opens, undone where it can be") {
    compressed_test::services_built();
    // As mkvmerge lays a file out: SeekHead, a Void behind it, Info, Tracks, Cluster, Cues-free, Tags at the end.
    const bytes head = cat({info(100), pcm_tracks()});
    const bytes clus = cluster(0, {block(1, 0, ramp(0, 40))});
    const bytes old_tags = el(id::tags, el(id::tag, el(id::simple_tag, {el(id::tag_name, str("TITLE")), el(id::tag_string, str("Old"))})));
    const bytes reserve = el(id::void_element, bytes(30));
    auto seekhead = [&](uint64_t info_at, uint64_t tags_at) {
        return el(id::seek_head, {seek_entry(id::info, info_at), seek_entry(id::tracks, info_at + info(100).size()),
                                  seek_entry(id::tags, tags_at)});
    };
    bytes sh = seekhead(0, 0);
    sh = seekhead(sh.size() + reserve.size(), sh.size() + reserve.size() + head.size() + clus.size());
    const bytes original = file_of(segment({sh, reserve, head, clus, old_tags}));
    REQUIRE(place(original, content_for(20)).ok);

    for (const char* title : {"New", "A much longer title that does not fit where the old one was"}) {
        CAPTURE(title);
        int completed_writes = -1;
        for (int fail_at = 1; completed_writes < 0 && fail_at < 40; ++fail_at) {
            for (failure how : {failure::once, failure::from_then_on, failure::full_disk}) {
                CAPTURE(fail_at);
                CAPTURE(static_cast<int>(how));
                if (how == failure::full_disk && fail_at > 1) continue;
                file_stream_ref memory = compressed_test::memory_file_with(original);
                auto* failing = new failing_file(memory, fail_at, how);
                file_stream_ref file = file_stream_ref::adopt(failing);
                bool failed = false;
                {
                    Matroska::matroska_file w;
                    try {
                        w.open(file, "memory://a.mka", input_open_write, abort_never);
                    } catch (const std::exception& e) {
                        FAIL("open: " << typeid(e).name() << ": " << e.what());
                    }
                    track_info_store ti;
                    ti.meta_set("title", track_info::npos, title, track_info::npos);
                    w.stage_info(0, ti, abort_never);
                    try {
                        w.commit_info(abort_never);
                    } catch (const ketrel_io::exception_io_device_full&) {
                        failed = true;
                    } catch (const std::exception& e) {
                        FAIL(typeid(e).name() << ": " << e.what());
                    }
                }
                const bytes now = compressed_test::file_bytes(*memory);
                if (!failed) {
                    if (how == failure::full_disk) continue;
                    completed_writes = failing->writes;
                    break;
                }
                if (how != failure::from_then_on) CHECK(now == original);  // undone
                // Either way the file opens and reads its tags.
                Matroska::matroska_file r;
                CHECK_NOTHROW(r.open(compressed_test::memory_file_with(now), "memory://a.mka", input_open_info, abort_never));
                track_info_store back;
                CHECK_NOTHROW(r.get_info(0, back, abort_never));
            }
        }
        CHECK(completed_writes > 1);
    }
}
