#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/file_system.h"
#include "foundation/fs/memory_file.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "metadata/tags/ape_tag.h"
#include "metadata/tags/id3_tag.h"
#include "metadata/tags/id3_text.h"
#include "metadata/tags/id3v1_tag.h"
#include "metadata/tags/id3v2_tag_io.h"
#include "metadata/tags/leading_id3v2.h"
#include "metadata/tags/tag_exceptions.h"
#include "metadata/tags/tag_file_ops.h"
#include "metadata/tags/trailing_tag_io.h"
#include "tests/metadata/tags/tag_bytes.h"
#include "tests/metadata/tags/tag_info_text.h"

using namespace tag_bytes;
using tag_test::info_from;
using tag_test::info_text;
using tag_test::meta_text;

namespace {

const abort_signal& never = abort_never;

void ensure_services() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
}

template <class T>
service_ptr<T> service() {
    ensure_services();
    service_ptr<T> s;
    service_class::get_single(s);
    return s;
}

file_stream_ref memory(const bytes& content) {
    file_stream_ref f = memory_file::create();
    if (!content.empty()) f->write(content.data(), content.size(), never);
    f->seek(0, never);
    return f;
}

bytes contents(file_stream& f) {
    bytes out(static_cast<size_t>(f.get_size(never)));
    f.seek(0, never);
    if (!out.empty()) f.read_exact(out.data(), out.size(), never);
    return out;
}

// Bytes that never look like a tag.
bytes audio(size_t n) {
    bytes out(n);
    uint32_t x = 12345;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = uint8_t(0x80 | (x >> 24));
    }
    return out;
}

bytes ape(std::initializer_list<std::pair<const char*, std::string>> items, bool header = true, uint32_t version = 2000) {
    ape_item_list list;
    for (const auto& i : items) ape_list_append(list, i.first, 0, 0, i.second.data(), uint32_t(i.second.size()));
    kpl::array<uint8_t> tag;
    ape_serialize(list, true, tag);
    bytes out(tag.begin(), tag.end());
    if (version != 2000) {
        out[8] = uint8_t(version), out[9] = uint8_t(version >> 8);
        out[out.size() - 24] = uint8_t(version), out[out.size() - 23] = uint8_t(version >> 8);
    }
    if (!header) {
        out.erase(out.begin(), out.begin() + 32);
        out[out.size() - 12 + 3] = 0;  // footer flags: no header
    }
    return out;
}

bytes id3v1(const char* title, uint8_t genre = 255) {
    bytes out(128, 0);
    std::memcpy(out.data(), "TAG", 3);
    std::memcpy(out.data() + 3, title, std::strlen(title));
    out[127] = genre;
    return out;
}

id3parser::frame text_frame(const char* id, const std::string& value, uint8_t encoding = 3) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | uint8_t(id[i]);
    id3parser::frame f(v);
    id3parser::setText(f, value, encoding);
    return f;
}

bytes id3v2(int version, std::vector<id3parser::frame> frames, uint64_t total = 0) {
    id3parser::tag t;
    t.version = version;
    t.frames = std::move(frames);
    id3parser::vectorWriter out;
    id3parser::writeTag(out, t, total, 1 << 20);
    return out.bytes();
}

// Hands out a memory file as the new content and keeps it.
class capture_rewriter final : public tag_rewriter {
public:
    bool begin(file_stream_ref& out, const abort_signal&) override {
        file = memory_file::create();
        out = file;
        return true;
    }
    file_stream_ref file;
};

// A memory file whose write number `fail_at` (counting from 1) throws, as a full disk would.
class failing_file final : public service_counted<file_stream> {
public:
    failing_file(file_stream_ref inner, int fail_at) : m_inner(inner), m_fail_at(fail_at) {}
    size_t read(void* b, size_t n, const abort_signal& a) override { return m_inner->read(b, n, a); }
    void write(const void* b, size_t n, const abort_signal& a) override {
        if (++m_writes == m_fail_at) {
            // Half of the bytes reach the disk before it fills up.
            m_inner->write(b, n / 2, a);
            throw ketrel_io::exception_io_device_full();
        }
        m_inner->write(b, n, a);
    }
    uint64_t get_size(const abort_signal& a) override { return m_inner->get_size(a); }
    uint64_t get_position(const abort_signal& a) override { return m_inner->get_position(a); }
    void resize(uint64_t s, const abort_signal& a) override {
        if (++m_writes == m_fail_at) throw ketrel_io::exception_io_device_full();
        m_inner->resize(s, a);
    }
    void seek(uint64_t p, const abort_signal& a) override { m_inner->seek(p, a); }
    bool can_seek() override { return true; }
    bool get_content_type(kpl::utf8_string&) override { return false; }
    bool is_in_memory() override { return false; }
    void on_idle(const abort_signal&) override {}
    uint64_t get_timestamp(const abort_signal&) override { return 0; }
    bool is_remote() override { return false; }

private:
    file_stream_ref m_inner;
    int m_fail_at;
    int m_writes = 0;
};

// An abort signal that answers "not set" to its first n questions and "set" from then on.
class abort_after final : public abort_signal {
public:
    explicit abort_after(int n) : m_left(n) {}
    bool is_set() const override { return m_left-- <= 0; }
    HANDLE get_event() const override { return abort_never.get_event(); }

private:
    mutable int m_left;
};

track_info_store with_value(const char* name, const std::string& value) {
    track_info_store info;
    info.meta_add(name, track_info::npos, value.c_str(), track_info::npos);
    return info;
}

std::string trailing_meta(file_stream& f, uint64_t* position = nullptr) {
    track_info_store info;
    uint64_t p = 0;
    service<trailing_tag_io>()->read_and_locate(f, info, p, never);
    if (position) *position = p;
    return meta_text(info) + " (" + info_text(info, "tagtype") + ")";
}

}  // namespace

TEST_CASE("trailing tags are found from the end of the file") {
    const bytes a = audio(1000);
    struct row {
        const char* what;
        bytes file;
        const char* read;
        uint64_t position;
    } rows[] = {
        {"APEv2 with header and ID3v1", cat({a, ape({{"Artist", "A"}}), id3v1("T")}), "Artist=A (apev2|id3v1)", 1000},
        {"ID3v1 then APE", cat({a, id3v1("T"), ape({{"Artist", "A"}})}), "Artist=A (apev2|id3v1)", 1000},
        {"two ID3v1 tags: the last one", cat({a, id3v1("first"), id3v1("last")}), "title=last (id3v1)", 1128},
        {"APEv1 without header", cat({a, ape({{"Artist", "A"}}, false, 1000)}), "Artist=A (apev1)", 1000},
        {"APE of an unknown version is no tag", cat({a, ape({{"Artist", "A"}}, true, 3000), id3v1("T")}),
         "title=T (id3v1)", 1000 + ape({{"Artist", "A"}}).size()},
    };
    for (const row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        file_stream_ref f = memory(r.file);
        uint64_t position = 0;
        CHECK(trailing_meta(*f, &position) == r.read);
        CHECK(position == r.position);
        CHECK(contents(*f) == r.file);
    }

    bytes huge_size = cat({a, ape({{"Artist", "A"}})});
    huge_size[huge_size.size() - 17] = 0x7F;  // the footer's tag size reaches before the file's start
    const bytes none[] = {a, bytes(), b("APETAGEX"), huge_size};
    for (const bytes& file : none) {
        file_stream_ref f = memory(file);
        CHECK_THROWS_AS(trailing_meta(*f), exception_tag_not_found);
        CHECK(contents(*f) == file);
    }
}

TEST_CASE("writing trailing tags replaces all of them by the kinds asked for") {
    const bytes a = audio(700);
    ape_item_list old_items;
    const std::string png = "\x89PNG";
    ape_list_append(old_items, "Cover Art (Front)", 1, 0, png.data(), uint32_t(png.size()));
    ape_list_append(old_items, "Comment", 0, 1, "ro", 2);
    ape_list_append(old_items, "Title", 0, 0, "old", 3);
    kpl::array<uint8_t> old_ape;
    ape_serialize(old_items, true, old_ape);
    const bytes start = cat({a, bytes(old_ape.begin(), old_ape.end()), id3v1("old")});
    track_info_store info = info_from({"title=New", "artist=A"});

    ape_item_list expected_items;
    ape_list_append(expected_items, "Cover Art (Front)", 1, 0, png.data(), uint32_t(png.size()));
    ape_list_append(expected_items, "Comment", 0, 1, "ro", 2);
    ape_list_append(expected_items, "Title", 0, 0, "New", 3);
    ape_list_append(expected_items, "Artist", 0, 0, "A", 1);
    kpl::array<uint8_t> expected_ape;
    ape_serialize(expected_items, true, expected_ape);
    uint8_t expected_v1[128];
    id3v1_build(info, expected_v1);
    const bytes new_ape(expected_ape.begin(), expected_ape.end()), new_v1(expected_v1, expected_v1 + 128);

    struct row {
        uint32_t mode;
        bytes expected;
    } rows[] = {
        {trailing_mode_ape, cat({a, new_ape})},
        {trailing_mode_id3v1, cat({a, new_v1})},
        {trailing_mode_ape | trailing_mode_id3v1, cat({a, new_ape, new_v1})},
    };
    for (const row& r : rows) {
        CAPTURE(r.mode);
        file_stream_ref f = memory(start);
        service<trailing_tag_io>()->write(*f, info, r.mode, never);
        CHECK(contents(*f) == r.expected);
    }

    // An APEv1 tag comes back as APEv2 with header and footer.
    file_stream_ref v1 = memory(cat({a, ape({{"Title", "x"}}, false, 1000)}));
    service<trailing_tag_io>()->write(*v1, info_from({"title=x"}), trailing_mode_ape, never);
    CHECK(contents(*v1) == cat({a, ape({{"Title", "x"}})}));

    // Removing takes every ID3v1 tag and the APE tag.
    file_stream_ref many = memory(cat({a, id3v1("1"), ape({{"Title", "x"}}), id3v1("2"), id3v1("3")}));
    service<trailing_tag_io>()->remove(*many, never);
    CHECK(contents(*many) == a);
}

TEST_CASE("a trailing write that fails at any step leaves exactly the old file") {
    const bytes a = audio(500);
    const bytes small_old = cat({a, id3v1("old")});
    const bytes large_old = cat({a, ape({{"Title", "old"}, {"Comment", std::string(3000, 'o')}}), id3v1("old")});
    track_info_store small_new = info_from({"title=new"});
    track_info_store large_new = with_value("comment", std::string(2000, 'c'));
    large_new.meta_add("title", track_info::npos, "new", track_info::npos);
    struct row {
        const char* what;
        const bytes& old;
        const track_info_store& info;
    } rows[] = {
        {"new tags longer", small_old, large_new},
        {"new tags shorter", large_old, small_new},
    };
    for (const row& r : rows) {
        for (int fail_at = 1; fail_at <= 5; ++fail_at) {
            std::string what = r.what;
            CAPTURE(what);
            CAPTURE(fail_at);
            file_stream_ref inner = memory(r.old);
            file_stream_ref f = file_stream_ref::adopt(new failing_file(inner, fail_at));
            bool failed = false;
            try {
                service<trailing_tag_io>()->write(*f, r.info, trailing_mode_ape | trailing_mode_id3v1, never);
            } catch (const ketrel_io::exception_io_device_full&) {
                failed = true;
            }
            bytes now = contents(*inner);
            REQUIRE(now.size() >= a.size());
            CHECK(bytes(now.begin(), now.begin() + a.size()) == a);
            track_info_store read;
            service<trailing_tag_io>()->read(*inner, read, never);
            std::string title = read.meta_get_first("title") ? read.meta_get_first("title") : "";
            if (failed) {
                CHECK(title == "old");
                CHECK(now == r.old);
            } else {
                CHECK(title == "new");
                CHECK(now.size() < r.old.size() + 5000);
            }
        }
    }
}

TEST_CASE("the leading tag probe") {
    const bytes a = audio(300);
    bytes tag = id3v2(3, {text_frame("TIT2", "t")});
    bytes footer_flag = tag;
    footer_flag[5] = 0x10;
    bytes flags_1f = tag;
    flags_1f[5] = 0x1F;
    bytes size_80 = tag;
    size_80[9] = 0x80;
    bytes past_end = tag;
    past_end[7] = 0x7F;
    struct row {
        const char* what;
        bytes file;
        uint64_t size;
    } rows[] = {
        {"a tag", cat({tag, a}), tag.size()},
        {"footer flag adds 10", cat({footer_flag, a}), tag.size() + 10},
        {"flags 0x1F", cat({flags_1f, a}), 0},
        {"size byte 0x80", cat({size_80, a}), 0},
        {"past the end", cat({past_end, a}), 0},
        {"short file", b("ID3\x03"), 0},
    };
    for (const row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        file_stream_ref f = memory(cat({b("xx"), r.file}));
        CHECK(skip_leading_id3v2(*f, 2, never) == r.size);
        CHECK(f->get_position(never) == 2 + r.size);
    }
}

TEST_CASE("the leading ID3v2 tag is read and written through the service") {
    const bytes a = audio(2000);
    auto io = service<id3v2_tag_io>();

    SUBCASE("reading gives the fields, the version and the position after the tags") {
        bytes first = id3v2(3, {text_frame("TIT2", "one"), id3parser::frame(id3parser::frameId("APIC"), {0, 'i', 0, 3, 0})});
        bytes second = id3v2(4, {text_frame("TIT2", "two")});
        file_stream_ref f = memory(cat({first, second, a}));
        track_info_store info;
        io->read(*f, info, never);
        CHECK(meta_text(info) == "title=one");
        CHECK(info_text(info, "tagtype") == "id3v2.3");
        CHECK(f->get_position(never) == first.size() + second.size());

        // Writing replaces both tags by one.
        CHECK(io->write(*f, info_from({"title=new"}), never));
        bytes now = contents(*f);
        file_stream_ref check = memory(now);
        uint64_t total;
        CHECK(leading_id3v2_measure(*check, total, never) == 1);
        CHECK(bytes(now.begin() + total, now.end()) == a);
        track_info_store back;
        io->read(*check, back, never);
        CHECK(meta_text(back) == "title=new");
    }

    SUBCASE("versions: 2.3 and 2.4 stay, anything else becomes 2.3") {
        struct row {
            bytes tag;
            int written;
        } rows[] = {
            {id3v2(3, {text_frame("TIT2", "x")}), 3},
            {id3v2(4, {text_frame("TIT2", "x")}), 4},
            {id3_header(2, 0, frame22("TT2", text0("x"))), 3},
            {bytes(), 3},
        };
        for (const row& r : rows) {
            file_stream_ref f = memory(cat({r.tag, a}));
            io->write(*f, info_from({"title=y"}), never);
            bytes now = contents(*f);
            CHECK(now[3] == r.written);
            CHECK(bytes(now.end() - a.size(), now.end()) == a);
        }
    }

    SUBCASE("a tag that fits is rewritten in place; one that does not goes to the rewriter") {
        bytes tag = id3v2(4, {text_frame("TIT2", std::string(2988, 't'))}, 4000);
        REQUIRE(tag.size() == 4000);
        const bytes original = cat({tag, a});
        file_stream_ref f = memory(original);
        capture_rewriter unused;
        track_info_store shrink;
        shrink.meta_add("title", track_info::npos, std::string(1988, 's').c_str(), track_info::npos);
        io->write_with_rewriter(unused, *f, shrink, never);
        CHECK(!unused.file);
        bytes now = contents(*f);
        REQUIRE(now.size() == original.size());
        CHECK(id3parser::syncsafeDecode(&now[6]) == 3990);
        for (size_t i = 10 + 2000; i < 4000; ++i) REQUIRE(now[i] == 0);  // 1990 bytes of padding
        CHECK(bytes(now.begin() + 4000, now.end()) == a);

        track_info_store grow;
        grow.meta_add("title", track_info::npos, std::string(3983, 'g').c_str(), track_info::npos);
        f = memory(original);
        capture_rewriter rewriter;
        io->write_with_rewriter(rewriter, *f, grow, never);
        CHECK(contents(*f) == original);  // untouched: the new file went to the rewriter
        REQUIRE(rewriter.file);
        bytes rebuilt = contents(*rewriter.file);
        CHECK(rebuilt.size() == 3995 + 10 + 2048 + a.size());
        CHECK(bytes(rebuilt.end() - a.size(), rebuilt.end()) == a);
    }

    SUBCASE("a tag claiming more than the file holds is no tag: the new one goes in front of everything") {
        bytes bogus = cat({b("ID3"), {3, 0, 0}, syncsafe(100000), b("rest")});
        file_stream_ref f = memory(cat({bogus, a}));
        capture_rewriter rewriter;
        io->write_with_rewriter(rewriter, *f, info_from({"title=x"}), never);
        bytes rebuilt = contents(*rewriter.file);
        uint64_t total;
        leading_id3v2_measure(*memory(rebuilt), total, never);
        CHECK(bytes(rebuilt.begin() + total, rebuilt.end()) == cat({bogus, a}));
    }

    SUBCASE("a malformed tag is an error and the file stays as it was") {
        bytes broken = id3_header(4, 0, frame24("TIT2", text3("x"), 0x08));  // compressed: unreadable
        const bytes original = cat({broken, a});
        file_stream_ref f = memory(original);
        track_info_store info;
        CHECK_THROWS_AS(io->read(*f, info, never), ketrel_io::exception_io_data);
        capture_rewriter rewriter;
        CHECK_THROWS_AS(io->write_with_rewriter(rewriter, *f, info_from({"title=x"}), never), ketrel_io::exception_io_data);
        CHECK(contents(*f) == original);
        CHECK(!rewriter.file);
    }

    SUBCASE("a file on disk that must grow needs a rewriter") {
        file_stream_ref disk;
        temp_file_open(disk, never);
        const bytes original = cat({id3v2(3, {text_frame("TIT2", "x")}, 30), a});
        disk->write(original.data(), original.size(), never);
        CHECK_THROWS_AS(io->write(*disk, with_value("title", std::string(100, 'y')), never), ketrel_io::exception_io_denied);
        CHECK(contents(*disk) == original);
        // Within the old space it is written in place.
        CHECK(io->write(*disk, info_from({"title=z"}), never));
        CHECK(contents(*disk).size() == original.size());
    }
}

TEST_CASE("combined writes leave exactly the tags named") {
    const bytes a = audio(1500);
    const bytes lead = id3v2(3, {text_frame("TIT2", "old")}, 2048);
    const bytes original = cat({lead, a, ape({{"Title", "old"}, {"Extra", "e"}}), id3v1("old")});
    track_info_store info = info_from({"title=new"});

    struct row {
        const char* what;
        uint32_t flags;
        bool rewritten;
        const char* tags;
    } rows[] = {
        {"ID3v2 only", tag_flag_id3v2, false, "title=new (id3v2.3)"},
        {"ID3v2 and ID3v1", tag_flag_id3v2 | tag_flag_id3v1, false, "title=new (id3v2.3|id3v1)"},
        {"APE only", tag_flag_apev2, true, "Title=new (apev2)"},
        {"ID3v1 only", tag_flag_id3v1, true, "title=new (id3v1)"},
    };
    for (const row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        file_stream_ref f = memory(original);
        capture_rewriter rewriter;
        trailing_tags_write(rewriter, *f, r.flags, info, never);
        file_stream_ref result = r.rewritten ? rewriter.file : f;
        REQUIRE(result);
        if (r.rewritten) CHECK(contents(*f) == original);
        track_info_store read;
        read_id3v2_and_trailing_tags(*result, read, never);
        CHECK(meta_text(read) + " (" + info_text(read, "tagtype") + ")" == r.tags);
        // The audio is where the tags around it say.
        bytes now = contents(*result);
        uint64_t head;
        leading_id3v2_measure(*result, head, never);
        uint64_t end = 0;
        track_info_store scratch;
        try {
            service<trailing_tag_io>()->read_and_locate(*result, scratch, end, never);
        } catch (const exception_tag_not_found&) {
            end = now.size();
        }
        CHECK(bytes(now.begin() + head, now.begin() + end) == a);
    }
}

TEST_CASE("a combined write in place is aborted only while the file is unchanged, and a failure puts it back") {
    const bytes a = audio(900);
    const bytes original = cat({id3v2(3, {text_frame("TIT2", "old")}, 2048), a, ape({{"Title", "old"}})});
    const track_info_store info = info_from({"title=new", "artist=someone"});
    const uint32_t flags = tag_flag_id3v2 | tag_flag_apev2;
    capture_rewriter unused;
    file_stream_ref done = memory(original);
    trailing_tags_write(unused, *done, flags, info, never);
    REQUIRE(!unused.file);  // the front kept its size
    const bytes complete = contents(*done);

    int aborted = 0;
    for (int n = 0;; ++n) {
        CAPTURE(n);
        REQUIRE(n < 1000);
        file_stream_ref f = memory(original);
        abort_after abort(n);
        try {
            trailing_tags_write(unused, *f, flags, info, abort);
        } catch (const ketrel_io::exception_aborted&) {
            ++aborted;
            REQUIRE(contents(*f) == original);
            continue;
        }
        CHECK(contents(*f) == complete);
        break;
    }
    CHECK(aborted > 3);

    // A disk that fills up at any write: the old file, or the complete new one.
    for (int fail_at = 1; fail_at <= 8; ++fail_at) {
        CAPTURE(fail_at);
        file_stream_ref inner = memory(original);
        file_stream_ref f = file_stream_ref::adopt(new failing_file(inner, fail_at));
        try {
            trailing_tags_write(unused, *f, flags, info, never);
            CHECK(contents(*inner) == complete);
        } catch (const ketrel_io::exception_io_device_full&) {
            CHECK(contents(*inner) == original);
        }
    }
}

TEST_CASE("a field name a tag cannot hold refuses the write before the file changes") {
    const bytes original = cat({id3v2(3, {text_frame("TIT2", "old")}, 2048), audio(600), ape({{"Title", "old"}})});
    struct row {
        uint32_t flags;
        const char* name;
        const char* message;
    } rows[] = {
        {tag_flag_apev2, "mood=happy", "Field name \"mood=happy\" cannot be written to an APE tag"},
        {tag_flag_apev2, "\xC3\x84rger", "Field name \"\xC3\x84rger\" cannot be written to an APE tag"},
        {tag_flag_apev2, "tag", "Field name \"tag\" cannot be written to an APE tag"},
        {tag_flag_apev2, "x", "Field name \"x\" cannot be written to an APE tag"},
        {tag_flag_id3v2 | tag_flag_apev2, "OggS", "Field name \"OggS\" cannot be written to an APE tag"},
        {tag_flag_id3v2, "part[2]", "Field name \"part[2]\" cannot be written to an ID3v2 tag"},
        {tag_flag_id3v2 | tag_flag_apev2, "part[2]", "Field name \"part[2]\" cannot be written to an ID3v2 tag"},
    };
    for (const row& r : rows) {
        std::string name = r.name;
        CAPTURE(name);
        CAPTURE(r.flags);
        track_info_store info = info_from({"title=new"});
        info.meta_add(r.name, track_info::npos, "v", track_info::npos);
        file_stream_ref f = memory(original);
        capture_rewriter rewriter;
        CHECK_THROWS_WITH_AS(trailing_tags_write(rewriter, *f, r.flags, info, never), r.message, exception_tag_field_name);
        CHECK(contents(*f) == original);
        CHECK(!rewriter.file);
    }
    // Names the formats hold are written.
    track_info_store fine = info_from({"title=new", "my field=1", "part[x]=2"});
    file_stream_ref f = memory(original);
    capture_rewriter rewriter;
    trailing_tags_write(rewriter, *f, tag_flag_id3v2 | tag_flag_apev2, fine, never);
    track_info_store back;
    trailing_tags_read(*f, back, never);
    CHECK(meta_text(back) == "My field=1|Part[x]=2|Title=new");
}

TEST_CASE("a made-up album artist goes to no tag") {
    const bytes a = audio(400);
    file_stream_ref f = memory(cat({id3v2(3, {text_frame("TCMP", "1"), text_frame("TIT2", "t")}, 1000), a}));
    track_info_store info;
    read_id3v2_and_trailing_tags(*f, info, never);
    CHECK(meta_text(info) == "album artist=Various Artists|itunescompilation=1|title=t");
    capture_rewriter rewriter;
    trailing_tags_write(rewriter, *f, tag_flag_id3v2 | tag_flag_apev2, info, never);
    track_info_store trailing;
    trailing_tags_read(*f, trailing, never);
    CHECK(meta_text(trailing) == "Itunescompilation=1|Title=t");
    id3parser::tag t;
    leading_id3v2_read(*f, t, id3parser::frameFilter::everything(), never);
    for (const id3parser::frame& fr : t.frames) CHECK(fr.id != id3parser::frameId("TPE2"));
}

TEST_CASE("removing the leading tags reports success only when they are gone") {
    const bytes a = audio(100);
    const bytes tag = id3v2(3, {text_frame("TIT2", "x")});
    struct row {
        bytes file;
        bool removed;
        bytes expected;
    } rows[] = {
        {cat({tag, tag, a}), true, a},
        {tag, false, tag},
        {a, false, a},
    };
    for (const row& r : rows) {
        file_stream_ref f = memory(r.file);
        capture_rewriter rewriter;
        CHECK(leading_id3v2_remove(rewriter, *f, never) == r.removed);
        CHECK(contents(*f) == r.file);
        CHECK(contents(rewriter.file ? *rewriter.file : *f) == r.expected);
    }
    // Without a rewriter a file in memory changes in place.
    file_stream_ref f = memory(cat({tag, a}));
    CHECK(leading_id3v2_remove(*f, never));
    CHECK(contents(*f) == a);
}

TEST_CASE("reading both kinds of tag") {
    const bytes a = audio(300);
    const bytes lead = id3v2(3, {text_frame("TIT2", "lead"), text_frame("TXXX", "replaygain_track_gain")});
    const bytes ape_tag = ape({{"Title", "trail"}, {"replaygain_album_gain", "-2.00 dB"}});
    bytes broken = id3_header(4, 0, frame24("TIT2", text3("x"), 0x08));
    struct row {
        const char* what;
        bytes file;
        const char* result;
        bool album_gain;
    } rows[] = {
        {"both", cat({lead, a, ape_tag}), "title=lead (id3v2.3|apev2)", true},
        {"ID3v2 only", cat({lead, a}), "title=lead (id3v2.3)", false},
        {"APE only", cat({a, ape_tag}), "Title=trail (apev2)", true},
        {"malformed ID3v2 counts as absent", cat({broken, a, ape_tag}), "Title=trail (apev2)", true},
    };
    for (const row& r : rows) {
        std::string what = r.what;
        CAPTURE(what);
        file_stream_ref f = memory(r.file);
        track_info_store info;
        read_id3v2_and_trailing_tags(*f, info, never);
        CHECK(meta_text(info) + " (" + info_text(info, "tagtype") + ")" == r.result);
        CHECK(info.get_replaygain().has_album_gain() == r.album_gain);
    }
    file_stream_ref none = memory(a);
    track_info_store info;
    CHECK_THROWS_AS(read_id3v2_and_trailing_tags(*none, info, never), exception_tag_not_found);
}

TEST_CASE("gapless data from the iTunSMPB comment") {
    struct row {
        const char* value;
        bool found;
        uint64_t delay, samples;
    } rows[] = {
        {" 00000000 00000840 000001F0 0000000000A8B9C6 00000000", true, 2112, 11057606},
        {"00000000 00000840 000001F0 0000000000a8b9c6", true, 2112, 11057606},
        {" 00000000 00000840 000001F0 0000000000000000", false, 0, 0},
        {" 0 1 2", false, 0, 0},
        {" 0 FFFFFFFFFFFFFFFF 0 2", false, 0, 0},
        {" 0 84x 0 10", true, 0x840, 0x10},
    };
    for (const row& r : rows) {
        std::string value = r.value;
        CAPTURE(value);
        id3parser::frame comm(id3parser::frameId("COMM"));
        id3parser::setText(comm, "iTunSMPB", 0);
        id3parser::appendText(comm, r.value);
        file_stream_ref f = memory(cat({id3v2(3, {text_frame("COMM", "x"), comm}), audio(10)}));
        uint64_t delay = 0, samples = 0;
        CHECK(read_id3v2_gapless_data(*f, delay, samples, never) == r.found);
        if (r.found) {
            CHECK(delay == r.delay);
            CHECK(samples == r.samples);
        }
    }
    uint64_t d, s;
    CHECK_FALSE(read_id3v2_gapless_data(*memory(audio(100)), d, s, never));
    CHECK_FALSE(read_id3v2_gapless_data(*memory(id3_header(4, 0, frame24("COMM", text3("x"), 0x08))), d, s, never));
}

TEST_CASE("picture types map to album-art kinds") {
    const kpl::guid front = {0xF1E66F4E, 0xFE09, 0x4B94, {0x91, 0xA3, 0x67, 0xC2, 0x3E, 0xD1, 0x44, 0x5E}};
    const kpl::guid icon = {0x74CDF5B4, 0x7053, 0x4B3D, {0x9A, 0x3C, 0x54, 0x69, 0xF5, 0x82, 0x6E, 0xEC}};
    const kpl::guid artist = {0x9A654042, 0xACD1, 0x43F7, {0xBF, 0xCF, 0xD3, 0xEC, 0x0F, 0xFE, 0x40, 0xFA}};
    struct row {
        uint32_t type;
        bool known;
        kpl::guid kind;
    } rows[] = {{0, true, kpl::guid()}, {2, true, icon}, {3, true, front}, {5, false, kpl::guid()},
                {8, true, artist},      {9, false, kpl::guid()}, {11, false, kpl::guid()}};
    for (const row& r : rows) {
        CAPTURE(r.type);
        kpl::guid out = {};
        CHECK(picture_type_to_album_art_kind(r.type, out) == r.known);
        if (r.known) CHECK(out == r.kind);
    }
}
