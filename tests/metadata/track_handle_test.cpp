// track_handle: one handle per location (also across threads), the cached browse record and its replace
// rule, loading records from streams, and the helpers over handles and their texts.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/fs/memory_sink.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/ref_list.h"
#include "foundation/tasks/thread.h"
#include "metadata/text_crc.h"
#include "metadata/track_handle.h"
#include "tests/metadata/byte_fixtures.h"

namespace {

using namespace metadata_test;

using bytes = std::vector<uint8_t>;

track_handle_ref handle_of(const char* path, uint32_t subsong = 0) {
    track_handle_ref h;
    track_handle_registry::get().get_handle(h, track_location(path, subsong));
    return h;
}

browse_fields_builder record_with_title(const char* title, float length = 1) {
    browse_fields_builder b;
    b.set(browse_title, title);
    b.length = length;
    return b;
}

std::string title_of(const track_handle& h) {
    browse_fields_builder out;
    if (!h.copy_browse_fields(out)) return "<no info>";
    return out.get(browse_title);
}

bytes stream_of(const browse_fields& record) {
    memory_sink sink;
    record.write(sink, abort_never);
    return bytes(sink.data(), sink.data() + sink.size());
}

// Asks for the handles of many locations, keeping them until the test reads them.
class requester final : public kpl::thread {
public:
    requester(int id, int locations) : m_id(id), m_locations(locations) {}
    ~requester() override { wait_and_close(); }

    std::vector<track_handle_ref> handles;

protected:
    void body() override {
        handles.resize(m_locations);
        // Each thread walks the locations from a different starting point, so first requests collide.
        for (int k = 0; k < m_locations; ++k) {
            int at = (k + m_id * 37) % m_locations;
            std::string path = "file://C:\\threads\\" + std::to_string(at) + ".flac";
            track_registry_request(path, handles[at]);
        }
    }

private:
    static void track_registry_request(const std::string& path, track_handle_ref& out) {
        track_handle_registry::get().get_handle(out, track_location(path.c_str()));
    }

    int m_id;
    int m_locations;
};

// Requests and releases a few locations over and over, each time checking the handle's path.
class churner final : public kpl::thread {
public:
    explicit churner(int id) : m_id(id) {}
    ~churner() override { wait_and_close(); }

    long wrong = 0;

protected:
    void body() override {
        for (int round = 0; round < 3000; ++round) {
            int at = (round + m_id) % 5;
            std::string path = "file://C:\\churn\\" + std::to_string(at) + ".ogg";
            track_handle_ref h;
            track_handle_registry::get().get_handle(h, track_location(path.c_str(), static_cast<uint32_t>(at)));
            track_handle_ref again = h;
            if (path != h->get_location().get_path() || h->get_location().get_subsong() != static_cast<uint32_t>(at)) ++wrong;
            if (again.get() != h.get()) ++wrong;
        }
    }

private:
    int m_id;
};

}  // namespace

TEST_CASE("track handles: one handle per location") {
    const uint32_t before = track_handle_registry::handle_count();
    {
        track_handle_ref a = handle_of("file://C:\\Music\\a.flac");
        track_handle_ref same = handle_of("file://C:\\Music\\a.flac");
        track_handle_ref other_case = handle_of("file://C:\\MUSIC\\a.flac");
        track_handle_ref subsong = handle_of("file://C:\\Music\\a.flac", 1);
        track_handle_ref empty = handle_of("");
        CHECK(a == same);
        CHECK(a != other_case);  // paths match byte for byte
        CHECK(a != subsong);
        CHECK(subsong != other_case);
        CHECK(std::string(empty->get_location().get_path()) == "");
        CHECK(std::string(subsong->get_location().get_path()) == "file://C:\\Music\\a.flac");
        CHECK(subsong->get_location().get_subsong() == 1);
        CHECK(track_handle_registry::handle_count() == before + 4);
        CHECK_FALSE(a->is_sole_reference());
        same.reset();
        CHECK(a->is_sole_reference());

        // get_handle releases what the reference held.
        track_handle_ref moving = handle_of("file://C:\\Music\\b.flac");
        CHECK(track_handle_registry::handle_count() == before + 5);
        track_handle_registry::get().get_handle(moving, track_location("file://C:\\Music\\c.flac"));
        CHECK(track_handle_registry::handle_count() == before + 5);
        track_handle_registry::get().get_handle(moving, track_location("file://C:\\Music\\c.flac"));
        CHECK(moving->is_sole_reference());
    }
    CHECK(track_handle_registry::handle_count() == before);

    // The registry answers as the service of its class; a handle answers its two interfaces.
    service_ref r;
    CHECK(track_handle_registry::get().query(r, track_handle_registry::class_guid));
    CHECK(r.get() == &track_handle_registry::get());
    track_handle_ref h = handle_of("file://C:\\q.flac");
    service_ref as_interface;
    CHECK(h->query(as_interface, track_handle::interface_guid));
    CHECK(h->query(as_interface, track_handle::interface_guid_v2));
    CHECK_FALSE(h->query(as_interface, track_handle_registry::class_guid));
    CHECK(as_interface.get() == h.get());
}

TEST_CASE("track handles: the last release ends the handle; asking again gives a fresh one") {
    const char* path = "file://C:\\Music\\fresh.flac";
    {
        track_handle_ref h = handle_of(path);
        CHECK(h->set_info(record_with_title("Cached"), 100, 0, false));
        CHECK(h->has_info());
    }
    track_handle_ref h = handle_of(path);
    CHECK_FALSE(h->has_info());
    CHECK(h->get_file_stamp() == 0);
    const browse_fields_packed* record = nullptr;
    CHECK_FALSE(h->get_browse_fields(record));
    CHECK(track_handle::get_length(*h) == 0);
}

TEST_CASE("track handles: one handle per location across threads") {
    const int threads = 6, locations = 300;
    const uint32_t before = track_handle_registry::handle_count();
    {
        std::vector<requester*> workers;
        for (int t = 0; t < threads; ++t) workers.push_back(new requester(t, locations));
        for (requester* w : workers) w->start();
        for (requester* w : workers) w->wait_and_close();
        CHECK(track_handle_registry::handle_count() == before + locations);
        long mismatches = 0;
        for (int at = 0; at < locations; ++at) {
            track_handle_ref mine = handle_of(("file://C:\\threads\\" + std::to_string(at) + ".flac").c_str());
            for (requester* w : workers) mismatches += w->handles[at] != mine;
        }
        CHECK(mismatches == 0);
        for (requester* w : workers) delete w;
    }
    CHECK(track_handle_registry::handle_count() == before);

    // Handles appearing and disappearing on several threads at once.
    std::vector<churner*> churners;
    for (int t = 0; t < 4; ++t) churners.push_back(new churner(t));
    for (churner* c : churners) c->start();
    for (churner* c : churners) c->wait_and_close();
    long wrong = 0;
    for (churner* c : churners) {
        wrong += c->wrong;
        delete c;
    }
    CHECK(wrong == 0);
    CHECK(track_handle_registry::handle_count() == before);
}

TEST_CASE("track handles: set_info follows the replace rule") {
    struct row {
        const char* what;
        uint64_t new_stamp, override_time;
        bool force;
        bool stored;
        uint64_t stamp_after;
    };
    // The handle holds a record stamped 1000.
    const row rows[] = {
        {"a later stamp replaces", 2000, 0, false, true, 2000},
        {"an equal stamp does not", 1000, 0, false, false, 1000},
        {"an older stamp does not", 500, 0, false, false, 1000},
        {"an older stamp with a later override time does", 500, 1500, false, true, 500},
        {"an older stamp with an override time not later than the stored stamp does not", 500, 1000, false, false, 1000},
        {"a zero stamp never replaces", 0, 5000, false, false, 1000},
        {"forced, a zero stamp replaces the record and keeps the stamp", 0, 0, true, true, 1000},
        {"forced, an older stamp is stored", 10, 0, true, true, 10},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        track_handle_ref h = handle_of("file://C:\\Music\\rule.flac");
        REQUIRE(h->set_info(record_with_title("old", 10), 1000, 0, false));
        CHECK(h->set_info(record_with_title("new", 20), r.new_stamp, r.override_time, r.force) == r.stored);
        CHECK(title_of(*h) == (r.stored ? "new" : "old"));
        CHECK(track_handle::get_length(*h) == (r.stored ? 20.0f : 10.0f));
        CHECK(h->get_file_stamp() == r.stamp_after);
        h.reset();  // the next row starts from a fresh handle
    }

    // Without info any record is stored, even with stamp 0.
    track_handle_ref h = handle_of("file://C:\\Music\\zero.flac");
    CHECK(h->set_info(record_with_title("first"), 0, 0, false));
    CHECK(h->has_info());
    CHECK(h->get_file_stamp() == 0);
    CHECK(h->set_info(record_with_title("second"), 7, 0, false));  // the stored stamp is 0
    CHECK(title_of(*h) == "second");

    // A handle's own record may be handed back to it.
    const browse_fields_packed* own = nullptr;
    REQUIRE(h->get_browse_fields(own));
    CHECK(h->set_info(*own, 9, 0, false));
    CHECK(title_of(*h) == "second");
    CHECK(h->copy_browse_fields(const_cast<browse_fields_packed&>(*own)));
}

TEST_CASE("track handles: load_info from a stream") {
    const bytes stored = stream_of(record_with_title("Stored", 5));
    struct row {
        const char* what;
        bool has_info;        // before loading: a record stamped 1000
        uint64_t new_stamp;
        bool loaded;
        const char* title_after;
        uint64_t stamp_after;
    };
    const row rows[] = {
        {"no info: loaded, even with stamp 0", false, 0, true, "Stored", 0},
        {"a later stamp: loaded", true, 2000, true, "Stored", 2000},
        {"an equal stamp: stepped over", true, 1000, false, "Old", 1000},
        {"a zero stamp: stepped over", true, 0, false, "Old", 1000},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        track_handle_ref h = handle_of("file://C:\\Music\\load.flac");
        if (r.has_info) REQUIRE(h->set_info(record_with_title("Old"), 1000, 0, false));
        bytes data = stored;
        data.push_back(0x5A);  // whatever follows the record in the stream
        bytes_source in(data);
        CHECK(h->load_info(r.new_stamp, in, abort_never) == r.loaded);
        CHECK(in.position() == stored.size());  // the record is consumed either way
        CHECK(title_of(*h) == r.title_after);
        CHECK(h->get_file_stamp() == r.stamp_after);
        h.reset();
    }
}

TEST_CASE("track handles: a malformed cached record leaves the handle as it was") {
    const std::string eight(8, '\0');
    bytes seven_texts;
    put_f32(seven_texts, 1);
    put_u32(seven_texts, 8);
    for (char c : std::string("a\0b\0c\0d\0e\0f\0g\0h", 8)) seven_texts.push_back(static_cast<uint8_t>(c));
    bytes small_size;
    put_f32(small_size, 1);
    put_u32(small_size, 7);
    bytes truncated = stream_of(record_with_title("Cut short"));
    truncated.resize(truncated.size() - 3);
    struct row {
        const char* what;
        bytes data;
    } rows[] = {{"four texts where eight belong", seven_texts}, {"size below 8", small_size}, {"cut short", truncated}};

    for (const row& r : rows) {
        CAPTURE(r.what);
        for (bool had_info : {true, false}) {
            CAPTURE(had_info);
            track_handle_ref h = handle_of("file://C:\\Music\\damaged.flac");
            if (had_info) REQUIRE(h->set_info(record_with_title("Kept", 3), 1000, 0, false));
            bytes_source in(r.data);
            CHECK_THROWS_AS(h->load_info(2000, in, abort_never), ketrel_io::exception_io_data);
            CHECK(h->has_info() == had_info);
            CHECK(title_of(*h) == (had_info ? "Kept" : "<no info>"));
            CHECK(h->get_file_stamp() == (had_info ? 1000u : 0u));
            if (had_info) {
                CHECK(track_handle::get_length(*h) == 3.0f);
                const browse_fields_packed* record = nullptr;
                REQUIRE(h->get_browse_fields(record));
                CHECK(std::string(record->get(browse_title)) == "Kept");
            }
            h.reset();
        }
    }

    // An abort while the record arrives leaves it as it was too.
    track_handle_ref h = handle_of("file://C:\\Music\\damaged.flac");
    REQUIRE(h->set_info(record_with_title("Kept"), 1000, 0, false));
    bytes_source aborting(stream_of(record_with_title("New")), 8);
    CHECK_THROWS_AS(h->load_info(2000, aborting, abort_never), ketrel_io::exception_aborted);
    CHECK(title_of(*h) == "Kept");
    CHECK(h->get_file_stamp() == 1000);

    // A record that would be stepped over must still be well formed.
    bytes_source skipped(small_size);
    CHECK_THROWS_AS(h->load_info(0, skipped, abort_never), ketrel_io::exception_io_data);
    CHECK(title_of(*h) == "Kept");
}

TEST_CASE("track handles: staleness of the cached record") {
    struct row {
        uint64_t file_stamp;
        bool exact;
        bool stale;
    } rows[] = {
        {1000, false, false}, {1000, true, false}, {2000, false, true}, {2000, true, true},
        {500, false, false},  {500, true, true},   {0, false, false},   {0, true, true},
    };
    track_handle_ref h = handle_of("file://C:\\Music\\stale.flac");
    CHECK(track_handle::info_is_stale(*h, 1000, false));  // no info
    CHECK(track_handle::info_is_stale(*h, 0, false));
    REQUIRE(h->set_info(record_with_title("x"), 1000, 0, false));
    for (const row& r : rows) {
        CAPTURE(r.file_stamp);
        CAPTURE(r.exact);
        CHECK(track_handle::info_is_stale(*h, r.file_stamp, r.exact) == r.stale);
    }
}

TEST_CASE("track handles: location texts") {
    kpl::utf8_string_pow2 text;
    track_handle::location_text(nullptr, text);
    CHECK(text == "[invalid location]");

    // No file system is asked for "unknown://" paths: the path is shown as it is.
    track_handle_ref single = handle_of("unknown://a/b.flac");
    track_handle::location_text(single.get(), text);
    CHECK(text == "\"unknown://a/b.flac\"");
    track_handle_ref third = handle_of("unknown://a/b.flac", 3);
    track_handle::location_text(third.get(), text);
    CHECK(text == "\"unknown://a/b.flac\" / index: 3");
    format_location_text(track_location("", 4294967295u), text);
    CHECK(text == "\"\" / index: 4294967295");
}

TEST_CASE("track handles: removing duplicates from a list") {
    track_handle_ref a = handle_of("file://C:\\d\\a"), b = handle_of("file://C:\\d\\b"), c = handle_of("file://C:\\d\\c");
    struct row {
        std::vector<track_handle_ref> items;
        size_t expected;
    } rows[] = {
        {{}, 0}, {{a}, 1}, {{a, a}, 1}, {{a, b, c}, 3}, {{a, b, a, c, b, a}, 3}, {{c, c, c, c}, 1},
    };
    for (const row& r : rows) {
        CAPTURE(r.items.size());
        kpl::array_list<track_handle_ref> list;
        for (const track_handle_ref& h : r.items) list.append(h);
        handle_list_remove_duplicates(list);
        REQUIRE(list.count() == r.expected);
        for (uint32_t i = 1; i < list.count(); ++i) CHECK(list.get_item(i - 1).get() < list.get_item(i).get());
        for (const track_handle_ref& h : r.items) {
            bool found = false;
            for (uint32_t i = 0; i < list.count(); ++i) found = found || list.get_item(i) == h;
            CHECK(found);
        }
    }
}

TEST_CASE("text checksums") {
    CHECK(utf8_crc32("") == 0);
    CHECK(utf8_crc32("abc") == 0x352441C2);
    CHECK(utf8_crc32("123456789") == 0xCBF43926);
    struct row {
        const char* text;
        uint32_t max;
        const char* same_as;  // the lower-case text with the same checksum
    } rows[] = {
        {"ABC", UINT32_MAX, "abc"},
        {"Hello World", UINT32_MAX, "hello world"},
        {"\xC3\x89T\xC3\x89", UINT32_MAX, "\xC3\xA9t\xC3\xA9"},            // ÉTÉ -> été
        {"\xD0\x96", UINT32_MAX, "\xD0\xB6"},                              // Ж -> ж
        {"\xF0\x90\x90\x80", UINT32_MAX, "\xF0\x90\x90\x80"},              // U+10400 stays
        {"ABCDEF", 3, "abc"},                                             // the byte count ends it
        {"AB\xC3\x89", 3, "ab"},                                          // a character cut by it is left out
        {"AB\xFFQ", UINT32_MAX, "ab"},                                    // so is everything from a bad byte on
        {"", UINT32_MAX, ""},
    };
    for (const row& r : rows) {
        CAPTURE(r.text);
        CHECK(utf8_crc32_nocase(r.max, r.text) == utf8_crc32(r.same_as));
    }
}
