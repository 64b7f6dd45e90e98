// The folder snapshot over real folders: rescans, reading queued files and their failure classes, path
// operations, listings that fail, the stored state both ways, intact and damaged, and files read ahead
// on worker threads.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/fs/memory_file.h"
#include "foundation/fs/memory_sink.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "library/folder_snapshot.h"
#include "tests/library/snapshot_fixtures.h"
#include "tests/support/le_bytes.h"

using namespace snapshot_fixtures;
using directory_node = folder_snapshot::directory_node;

namespace {

constexpr uint32_t attr_file = FILE_ATTRIBUTE_ARCHIVE;
constexpr uint32_t attr_dir = FILE_ATTRIBUTE_DIRECTORY;
constexpr uint32_t attr_hidden = FILE_ATTRIBUTE_HIDDEN;

const folder_snapshot::file_node* find_file(const folder_snapshot& s, const std::string& path) {
    const directory_node* dir = &s.root();
    std::string rest = path;
    for (size_t slash; (slash = rest.find('\\')) != std::string::npos; rest.erase(0, slash + 1)) {
        auto it = dir->folders.find(rest.substr(0, slash));
        if (it == dir->folders.end()) return nullptr;
        dir = it->second.get();
    }
    auto it = dir->files.find(rest);
    return it == dir->files.end() ? nullptr : &it->second;
}

const directory_node* find_folder(const folder_snapshot& s, const std::string& path) {
    const directory_node* dir = &s.root();
    std::string rest = path + "\\";
    for (size_t slash; (slash = rest.find('\\')) != std::string::npos; rest.erase(0, slash + 1)) {
        auto it = dir->folders.find(rest.substr(0, slash));
        if (it == dir->folders.end()) return nullptr;
        dir = it->second.get();
    }
    return dir;
}

std::vector<std::string> file_names(const directory_node& dir) {
    std::vector<std::string> out;
    for (auto& f : dir.files) out.push_back(f.first);
    return out;
}

// Reads every queued path once, as a pending pass would.
void refresh_queued(folder_snapshot& s, recording_host& host, snapshot_batch& batch) {
    const auto queued = host.queued;
    host.queued.clear();
    for (auto& q : queued) CHECK(s.refresh_file(batch, q.first.c_str()));
    host.flush(batch);
}

std::vector<uint8_t> save_bytes(folder_snapshot& s) {
    memory_sink sink;
    s.save(sink, abort_never);
    return std::vector<uint8_t>(sink.data(), sink.data() + sink.size());
}

file_stream_ref stream_of(const std::vector<uint8_t>& bytes) {
    file_stream_ref f = memory_file::create();
    if (!bytes.empty()) f->write(bytes.data(), bytes.size(), abort_never);
    f->seek(0, abort_never);
    return f;
}

// Blob builder: GUIDs in their memory form, names as u32 length + bytes.
struct blob {
    std::vector<uint8_t> b;
    blob& u32(uint32_t v) {
        le_bytes::put32(b, v);
        return *this;
    }
    blob& u64(uint64_t v) {
        le_bytes::put64(b, v);
        return *this;
    }
    blob& name(const std::string& n) {
        u32(static_cast<uint32_t>(n.size()));
        b.insert(b.end(), n.begin(), n.end());
        return *this;
    }
    blob& raw(const std::vector<uint8_t>& more) {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
    blob& guid(uint32_t d1, uint16_t d2, uint16_t d3, std::vector<uint8_t> d4) {
        u32(d1);
        le_bytes::put16(b, d2);
        le_bytes::put16(b, d3);
        return raw(d4);
    }
    blob& chunk_id() { return guid(0xA5CA0AD0, 0xEA5D, 0x4E04, {0xAA, 0x2C, 0xDD, 0x0A, 0x45, 0x02, 0x36, 0x6E}); }
    blob& end_id() { return guid(0x9BEA8494, 0x6045, 0x4945, {0x9A, 0xBC, 0x0B, 0x38, 0xAE, 0xC3, 0x91, 0x6A}); }
    // A snapshot chunk around a tree record.
    blob& chunk(const blob& tree) {
        chunk_id();
        u32(static_cast<uint32_t>(tree.b.size()));
        return raw(tree.b);
    }
};

}  // namespace

TEST_CASE("snapshot: a rescan queues new files, reads each once, and reads only changed files again") {
    temp_tree tree("snap-rescan");
    tree.wav("a.wav");
    tree.folder("sub");
    tree.wav("sub\\b.wav");
    tree.text("notes.txt", "not music");
    tree.text("bad.wav", "RIFF-but-not-really");
    tree.wav(".dot.wav");
    const bool dot_hidden = (GetFileAttributesW(wide(tree.native(".dot.wav")).c_str()) & attr_hidden) != 0;

    recording_host host(tree.location());
    folder_snapshot snapshot(host);
    snapshot_batch batch(host, true);
    snapshot.rescan(batch);
    std::map<std::string, uint32_t> expected = {{"a.wav", 250}, {"sub\\b.wav", 250}, {"notes.txt", 250}, {"bad.wav", 250}};
    if (!dot_hidden) expected[".dot.wav"] = 250;
    CHECK(host.queued == expected);

    refresh_queued(snapshot, host, batch);
    std::set<std::string> tracks = {"a.wav#0", "sub\\b.wav#0"};
    if (!dot_hidden) tracks.insert(".dot.wav#0");
    CHECK(host.added == tracks);
    CHECK(host.removed.empty());
    CHECK(batch.infos_read() == tracks.size());
    // Malformed and unsupported files keep their time stamp, so that rescans leave them alone.
    CHECK(find_file(snapshot, "bad.wav")->stamp == tree.stamp("bad.wav"));
    CHECK(find_file(snapshot, "notes.txt")->stamp == tree.stamp("notes.txt"));
    CHECK(find_file(snapshot, "bad.wav")->tracks.count() == 0);
    if (dot_hidden) CHECK(find_file(snapshot, ".dot.wav")->tracks.count() == 0);

    SUBCASE("nothing changed: nothing is queued") {
        host.clear_reports();
        snapshot.rescan(batch);
        CHECK(host.queued.empty());
        CHECK(host.asked.empty());
    }
    SUBCASE("a changed time stamp queues the file at once; its handle stays, its info is read again") {
        tree.set_stamp("a.wav", tree.stamp("a.wav") + 10000000);
        tree.text("bad.wav", "RIFF-still-not-really");
        tree.set_stamp("bad.wav", tree.stamp("bad.wav") + 20000000);
        host.clear_reports();
        snapshot.rescan(batch);
        CHECK(host.queued == std::map<std::string, uint32_t>{{"a.wav", 0}, {"bad.wav", 0}});
        const uint32_t before = batch.infos_read();
        refresh_queued(snapshot, host, batch);
        CHECK(batch.infos_read() == before + 1);
        CHECK(host.added.empty());
        CHECK(host.removed.empty());
        CHECK(find_file(snapshot, "a.wav")->stamp == tree.stamp("a.wav"));
    }
    SUBCASE("a deleted file and folder leave with their tracks") {
        tree.remove_file("sub\\b.wav");
        RemoveDirectoryW(wide(tree.native("sub")).c_str());
        tree.remove_file("a.wav");
        host.clear_reports();
        snapshot.rescan(batch);
        host.flush(batch);
        CHECK(host.removed == std::set<std::string>{"a.wav#0", "sub\\b.wav#0"});
        CHECK(find_folder(snapshot, "sub") == nullptr);
    }
}

TEST_CASE("snapshot: failures while reading a file") {
    temp_tree tree("snap-read");
    tree.wav("a.wav");
    recording_host host(tree.location());
    folder_snapshot snapshot(host);
    snapshot_batch batch(host, true);
    snapshot.rescan(batch);
    refresh_queued(snapshot, host, batch);
    REQUIRE(host.added == std::set<std::string>{"a.wav#0"});
    const uint64_t stamp = find_file(snapshot, "a.wav")->stamp;
    host.clear_reports();

    SUBCASE("locked by another program: try later, nothing changes") {
        HANDLE lock = CreateFileW(wide(tree.native("a.wav")).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        REQUIRE(lock != INVALID_HANDLE_VALUE);
        CHECK_FALSE(snapshot.refresh_file(batch, "a.wav"));
        CloseHandle(lock);
        host.flush(batch);
        CHECK(host.removed.empty());
        CHECK(find_file(snapshot, "a.wav")->tracks.count() == 1);
        CHECK(find_file(snapshot, "a.wav")->stamp == stamp);
    }
    SUBCASE("refused by the callback: no tracks, the time stamp kept") {
        host.refuse.insert(tree.location("a.wav"));
        CHECK(snapshot.refresh_file(batch, "a.wav"));
        host.flush(batch);
        CHECK(host.removed == std::set<std::string>{"a.wav#0"});
        CHECK(find_file(snapshot, "a.wav")->stamp == stamp);
    }
    SUBCASE("gone before it was read: no tracks, time stamp 0 so that it is read again") {
        tree.remove_file("a.wav");
        CHECK(snapshot.refresh_file(batch, "a.wav"));
        host.flush(batch);
        CHECK(host.removed == std::set<std::string>{"a.wav#0"});
        CHECK(find_file(snapshot, "a.wav")->stamp == 0);
    }
    SUBCASE("a path the snapshot does not hold is done") {
        CHECK(snapshot.refresh_file(batch, "nothing.wav"));
        CHECK(snapshot.refresh_file(batch, "no\\such\\dir.wav"));
    }
}

TEST_CASE("snapshot: names are ordered by their bytes, letter case counts") {
    recording_host host("file://Q:\\nowhere");
    folder_snapshot snapshot(host);
    snapshot_batch batch(host, true);
    for (const char* name : {"b.wav", "a.wav", "A.wav", "_x.wav", "\xC3\xA9.wav", "B.wav"})
        snapshot.add_path(batch, name, attr_file);
    CHECK(file_names(snapshot.root()) ==
          std::vector<std::string>{"A.wav", "B.wav", "_x.wav", "a.wav", "b.wav", "\xC3\xA9.wav"});
    CHECK(host.queued.size() == 6);
    CHECK(host.queued.count("A.wav") == 1);
    CHECK(host.queued.count("a.wav") == 1);
}

TEST_CASE("snapshot: path operations") {
    temp_tree tree("snap-paths");
    tree.folder("x");
    tree.folder("x\\y");
    tree.wav("x\\y\\f.wav");
    tree.wav("x\\g.wav");
    tree.wav("top.wav");
    recording_host host(tree.location());
    folder_snapshot snapshot(host);
    snapshot_batch batch(host, true);
    snapshot.rescan(batch);
    refresh_queued(snapshot, host, batch);
    REQUIRE(host.added.size() == 3);
    host.clear_reports();

    SUBCASE("adding creates missing folders on the way and queues the file for 250 ms") {
        snapshot.add_path(batch, "new\\deeper\\n.wav", attr_file);
        CHECK(host.queued == std::map<std::string, uint32_t>{{"new\\deeper\\n.wav", 250}});
        REQUIRE(find_folder(snapshot, "new\\deeper") != nullptr);
        CHECK(find_folder(snapshot, "new")->attributes == 0);
    }
    SUBCASE("removing a folder reports every track under it") {
        snapshot.remove_path(batch, "x");
        host.flush(batch);
        CHECK(host.removed == std::set<std::string>{"x\\y\\f.wav#0", "x\\g.wav#0"});
        CHECK(find_folder(snapshot, "x") == nullptr);
    }
    SUBCASE("renaming a file: the old name's tracks go at once, the new name is read after 250 ms") {
        tree.move("x\\g.wav", "x\\h.wav");
        snapshot.rename_path(batch, "x\\g.wav", "x\\h.wav", attr_file);
        host.flush(batch);
        CHECK(host.removed == std::set<std::string>{"x\\g.wav#0"});
        CHECK(host.queued == std::map<std::string, uint32_t>{{"x\\h.wav", 250}});
        refresh_queued(snapshot, host, batch);
        CHECK(host.added == std::set<std::string>{"x\\h.wav#0"});
    }
    SUBCASE("renames across folders, or of a leaf into a deeper path, are broken invariants") {
        CHECK_THROWS_AS(snapshot.rename_path(batch, "x\\g.wav", "z\\g.wav", attr_file), kpl::exception_bug_check);
        CHECK_THROWS_AS(snapshot.rename_path(batch, "top.wav", "x\\top.wav", attr_file), kpl::exception_bug_check);
    }
    SUBCASE("a file that gets the hidden attribute loses its tracks; clearing it reads it again") {
        snapshot.modify_path(batch, "top.wav", attr_file | attr_hidden);
        host.flush(batch);
        CHECK(host.removed == std::set<std::string>{"top.wav#0"});
        CHECK(host.unqueued == std::vector<std::string>{"top.wav"});
        CHECK(find_file(snapshot, "top.wav")->stamp == 0);
        snapshot.modify_path(batch, "top.wav", attr_file);
        CHECK(host.queued == std::map<std::string, uint32_t>{{"top.wav", 250}});
    }
    SUBCASE("a folder that becomes hidden loses its subtree; changes inside it are ignored") {
        snapshot.modify_path(batch, "x", attr_dir | attr_hidden);
        host.flush(batch);
        CHECK(host.removed == std::set<std::string>{"x\\y\\f.wav#0", "x\\g.wav#0"});
        snapshot.add_path(batch, "x\\new.wav", attr_file);
        snapshot.modify_path(batch, "x\\y", attr_dir);
        CHECK(host.queued.empty());
        CHECK(find_file(snapshot, "x\\new.wav") == nullptr);
    }
    SUBCASE("changes to unknown paths are ignored") {
        snapshot.modify_path(batch, "unknown.wav", attr_file);
        snapshot.modify_path(batch, "nodir", attr_dir);
        snapshot.remove_path(batch, "no\\such.wav");
        host.flush(batch);
        CHECK(host.queued.empty());
        CHECK(host.removed.empty());
    }
    SUBCASE("stored attributes") {
        uint32_t a = 0;
        CHECK(snapshot.stored_attributes("x\\y", a));
        CHECK((a & attr_dir) != 0);
        CHECK(snapshot.stored_attributes("x\\g.wav", a));
        CHECK((a & attr_dir) == 0);
        CHECK_FALSE(snapshot.stored_attributes("x\\none.wav", a));
        CHECK_FALSE(snapshot.stored_attributes("none\\g.wav", a));
    }
}

TEST_CASE("snapshot: a listing that fails keeps what it did not list until a listing succeeds") {
    temp_tree tree("snap-listing");
    tree.folder("sub");
    tree.wav("sub\\a.wav");
    tree.wav("sub\\b.wav");
    tree.folder("sub\\inner");
    tree.wav("sub\\inner\\c.wav");
    recording_host host(tree.location());
    folder_snapshot snapshot(host);
    snapshot_batch batch(host, true);
    snapshot.rescan(batch);
    refresh_queued(snapshot, host, batch);
    REQUIRE(host.added.size() == 3);

    for (uint32_t listed : {0u, 1u, 2u}) {
        CAPTURE(listed);
        host.clear_reports();
        host.fail_listing[tree.location("sub")] = listed;
        snapshot.rescan(batch);
        host.flush(batch);
        CHECK(host.removed.empty());
        CHECK(find_folder(snapshot, "sub")->failed);
        CHECK(find_file(snapshot, "sub\\b.wav") != nullptr);
        CHECK(find_file(snapshot, "sub\\inner\\c.wav") != nullptr);
    }

    // Gone meanwhile, but the listing still fails: kept.
    tree.remove_file("sub\\b.wav");
    host.clear_reports();
    snapshot.rescan(batch);
    host.flush(batch);
    CHECK(host.removed.empty());

    // The next change notification for the failed folder lists it again; now it works.
    host.fail_listing.clear();
    const uint32_t listings = host.listings;
    snapshot.modify_path(batch, "sub", attr_dir);
    host.flush(batch);
    CHECK(host.listings > listings);
    CHECK(host.removed == std::set<std::string>{"sub\\b.wav#0"});
    CHECK_FALSE(find_folder(snapshot, "sub")->failed);
}

TEST_CASE("snapshot: the stored state round trip") {
    temp_tree tree("snap-state");
    tree.wav("B.wav");
    tree.wav("a.wav");
    tree.folder("d");
    tree.wav("d\\c.wav");
    tree.text("d\\junk.txt", "x");
    recording_host host(tree.location());
    folder_snapshot snapshot(host);
    {
        snapshot_batch batch(host, true);
        snapshot.rescan(batch);
        refresh_queued(snapshot, host, batch);
    }
    const std::vector<uint8_t> saved = save_bytes(snapshot);
    REQUIRE(saved.size() > 36);
    const uint8_t chunk_start[] = {0xD0, 0x0A, 0xCA, 0xA5, 0x5D, 0xEA, 0x04, 0x4E,
                                   0xAA, 0x2C, 0xDD, 0x0A, 0x45, 0x02, 0x36, 0x6E};
    const uint8_t end_id[] = {0x94, 0x84, 0xEA, 0x9B, 0x45, 0x60, 0x45, 0x49,
                              0x9A, 0xBC, 0x0B, 0x38, 0xAE, 0xC3, 0x91, 0x6A};
    CHECK(std::memcmp(saved.data(), chunk_start, 16) == 0);
    CHECK(std::memcmp(saved.data() + saved.size() - 16, end_id, 16) == 0);
    const uint32_t length = saved[16] | saved[17] << 8 | saved[18] << 16 | uint32_t(saved[19]) << 24;
    CHECK(length == saved.size() - 36);

    recording_host again(tree.location());
    folder_snapshot loaded(again);
    snapshot_batch batch(again, true);
    library_track_array tracks;
    file_stream_ref stream = stream_of(saved);
    loaded.load(batch, *stream, tracks);
    std::set<std::string> names;
    for (uint32_t i = 0; i < tracks.count(); ++i) names.insert(track_name(*tracks.get_item(i), tree.location()));
    CHECK(names == std::set<std::string>{"B.wav#0", "a.wav#0", "d\\c.wav#0"});
    CHECK(again.queued.empty());  // every stored track came with its record
    CHECK(file_names(loaded.root()) == std::vector<std::string>{"B.wav", "a.wav"});
    CHECK(find_file(loaded, "d\\junk.txt")->stamp == tree.stamp("d\\junk.txt"));
    CHECK(save_bytes(loaded) == saved);

    // A rescan of the loaded state reads nothing.
    loaded.rescan(batch);
    CHECK(again.queued.empty());
}

TEST_CASE("snapshot: stored states, made by hand") {
    recording_host host("file://Q:\\nowhere");
    folder_snapshot snapshot(host);
    snapshot_batch batch(host, true);
    library_track_array tracks;
    auto load = [&](const blob& b) {
        list_remove_all(tracks);
        file_stream_ref stream = stream_of(b.b);
        snapshot.load(batch, *stream, tracks);
    };
    // A tree with one file of two subsongs, stored without records.
    blob one_file;
    one_file.u32(1).name("f.wav").u64(1234).u32(2).u32(1).u32(0).u32(2).u32(0).u32(0);

    SUBCASE("the terminator alone: an empty snapshot") {
        load(blob().end_id());
        CHECK(tracks.count() == 0);
        CHECK(snapshot.root().files.empty());
        CHECK(snapshot.root().folders.empty());
    }
    SUBCASE("a track without a record and without info elsewhere is read at once") {
        load(blob().chunk(one_file).end_id());
        CHECK(tracks.count() == 2);
        CHECK(host.queued == std::map<std::string, uint32_t>{{"f.wav", 0}});
        CHECK(find_file(snapshot, "f.wav")->stamp == 1234);
    }
    SUBCASE("an unknown chunk before the snapshot chunk is stepped over") {
        load(blob().guid(0x12345678, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}).u32(3).raw({9, 9, 9}).chunk(one_file).end_id());
        CHECK(tracks.count() == 2);
    }
    SUBCASE("a nested tree loads, with repeated names reusing their entry") {
        blob nested;
        nested.u32(0).u32(2);
        nested.name("d").u32(1).name("x.wav").u64(5).u32(0).u32(0);
        nested.name("d").u32(1).name("y.wav").u64(6).u32(0).u32(0);
        load(blob().chunk(nested).end_id());
        REQUIRE(find_folder(snapshot, "d") != nullptr);
        CHECK(file_names(*find_folder(snapshot, "d")) == std::vector<std::string>{"x.wav", "y.wav"});
    }

    struct damaged_case {
        const char* what;
        blob bytes;
    };
    std::vector<damaged_case> damaged;
    damaged.push_back({"empty stream", blob()});
    damaged.push_back({"no terminator", blob().chunk(one_file)});
    {
        blob b;
        b.chunk_id().u32(static_cast<uint32_t>(one_file.b.size()) + 1).raw(one_file.b).end_id();
        damaged.push_back({"chunk length past the end", b});
    }
    damaged.push_back({"absurd file count", blob().chunk(blob().u32(0xFFFFFFFF).name("a").u64(1).u32(0)).end_id()});
    damaged.push_back({"absurd track count",
                       blob().chunk(blob().u32(1).name("a").u64(1).u32(0x7FFFFFFF).u32(0).u32(0)).end_id()});
    damaged.push_back({"absurd subdirectory count", blob().chunk(blob().u32(0).u32(0xFFFFFFFF).name("d").u32(0).u32(0)).end_id()});
    damaged.push_back({"absurd name length", blob().chunk(blob().u32(1).u32(0xFFFFFFF0).raw({'a', 'b'})).end_id()});
    damaged.push_back({"empty name", blob().chunk(blob().u32(1).name("").u64(1).u32(0).u32(0)).end_id()});
    damaged.push_back({"name with a backslash", blob().chunk(blob().u32(1).name("a\\b").u64(1).u32(0).u32(0)).end_id()});
    damaged.push_back({"has-record neither 0 nor 1",
                       blob().chunk(blob().u32(1).name("a").u64(1).u32(1).u32(0).u32(7).u32(0)).end_id()});
    damaged.push_back({"record cut short",
                       blob().chunk(blob().u32(1).name("a").u64(1).u32(1).u32(0).u32(1).u32(0)).end_id()});
    {
        // Deeper than any path can be: every level one folder "d" holding the next.
        blob deep;
        deep.u32(0).u32(1);
        for (int i = 0; i < 20000; ++i) deep.name("d").u32(0).u32(1);
        deep.name("d").u32(0).u32(0);
        damaged.push_back({"nesting deeper than a path can hold", blob().chunk(deep).end_id()});
    }
    for (const damaged_case& c : damaged) {
        CAPTURE(c.what);
        CHECK_THROWS_AS(load(c.bytes), ketrel_io::exception_io_data);
    }
}

TEST_CASE("snapshot: a deep but possible tree loads and saves") {
    recording_host host("file://Q:\\nowhere");
    folder_snapshot snapshot(host);
    snapshot_batch batch(host, true);
    blob deep;
    deep.u32(0).u32(1);
    for (int i = 0; i < 2000; ++i) deep.name("d").u32(0).u32(1);
    deep.name("d").u32(1).name("leaf.wav").u64(9).u32(0).u32(0);
    blob whole;
    whole.chunk(deep).end_id();
    library_track_array tracks;
    file_stream_ref stream = stream_of(whole.b);
    snapshot.load(batch, *stream, tracks);
    CHECK(save_bytes(snapshot) == whole.b);
}

namespace {

// One run over a tree: rescan, then every queued file refreshed in path order (read ahead on `workers`
// threads when not 0); what each refresh answered, what was asked and reported, and the files' states.
struct read_run {
    std::vector<std::string> answers;  // "path=1|0"
    std::vector<std::string> asked;    // relative
    std::set<std::string> added;
    std::vector<std::string> files;  // "path stamp-matches tracks"
    uint32_t infos = 0;
};

read_run run_reads(const temp_tree& tree, uint32_t workers, const std::vector<std::string>& skip) {
    tree.wav("gone.wav");
    recording_host host(tree.location());
    host.refuse.insert(tree.location("refused.wav"));
    folder_snapshot snapshot(host);
    snapshot_batch batch(host, true);
    snapshot.rescan(batch);
    std::vector<std::string> order;
    for (auto& q : host.queued) order.push_back(q.first);
    // Made unreadable after the listing: one gone, one held open by another program.
    tree.remove_file("gone.wav");
    HANDLE held = CreateFileW(wide(tree.native("held.wav")).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    REQUIRE(held != INVALID_HANDLE_VALUE);
    if (workers) {
        std::vector<std::string_view> due(order.begin(), order.end());
        snapshot.begin_read_ahead(due, workers);
    }
    read_run out;
    for (const std::string& path : order) {
        if (std::find(skip.begin(), skip.end(), path) != skip.end()) continue;
        out.answers.push_back(path + "=" + (snapshot.refresh_file(batch, path.c_str()) ? "1" : "0"));
    }
    // Passed over above, then asked for after later paths: read without the workers.
    for (const std::string& path : skip) out.answers.push_back(path + "=" + (snapshot.refresh_file(batch, path.c_str()) ? "1" : "0"));
    snapshot.end_read_ahead();
    CloseHandle(held);
    host.flush(batch);
    for (const std::string& a : host.asked) out.asked.push_back(a.substr(tree.location().size() + 1));
    out.added = host.added;
    out.infos = batch.infos_read();
    for (const std::string& path : order) {
        const folder_snapshot::file_node* f = find_file(snapshot, path);
        REQUIRE(f);
        const uint64_t disk = path == "gone.wav" ? 0 : tree.stamp(path);
        out.files.push_back(path + " " + (f->stamp == 0 ? "0" : f->stamp == disk ? "disk" : "other") + " " +
                            std::to_string(f->tracks.count()));
    }
    return out;
}

}  // namespace

TEST_CASE("snapshot: files read ahead on worker threads give what reading them one by one gives") {
    temp_tree tree("snap-ahead");
    tree.folder("album");
    for (int i = 0; i < 12; ++i) tree.wav("album\\" + std::to_string(10 + i) + ".wav", 400 + i);
    tree.wav("a.wav");
    tree.text("bad.wav", "RIFF-but-not-really");
    tree.text("notes.txt", "not music");
    tree.wav("refused.wav");
    tree.wav("held.wav");
    const std::vector<std::string> none;
    const read_run one_by_one = run_reads(tree, 0, none);
    CHECK(one_by_one.added.size() == 13);
    CHECK(one_by_one.infos == 13);
    REQUIRE(std::find(one_by_one.answers.begin(), one_by_one.answers.end(), "held.wav=0") != one_by_one.answers.end());
    REQUIRE(std::find(one_by_one.files.begin(), one_by_one.files.end(), "gone.wav 0 0") != one_by_one.files.end());
    REQUIRE(std::find(one_by_one.files.begin(), one_by_one.files.end(), "bad.wav disk 0") != one_by_one.files.end());
    REQUIRE(std::find(one_by_one.files.begin(), one_by_one.files.end(), "refused.wav disk 0") != one_by_one.files.end());

    for (uint32_t workers : {1u, 3u}) {
        CAPTURE(workers);
        // The first run's handles went with its snapshot: every info is read again.
        const read_run ahead = run_reads(tree, workers, none);
        CHECK(ahead.answers == one_by_one.answers);
        CHECK(ahead.asked == one_by_one.asked);
        CHECK(ahead.added == one_by_one.added);
        CHECK(ahead.files == one_by_one.files);
        CHECK(ahead.infos == one_by_one.infos);
    }
    SUBCASE("paths passed over and asked for later") {
        const std::vector<std::string> skip = {"a.wav", "album\\13.wav"};
        const read_run plain = run_reads(tree, 0, skip);
        const read_run ahead = run_reads(tree, 3, skip);
        CHECK(ahead.answers == plain.answers);
        CHECK(ahead.asked == plain.asked);
        CHECK(ahead.added == plain.added);
        CHECK(ahead.files == plain.files);
    }
}
