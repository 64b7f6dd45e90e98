// The tracks of a location: folder walks, files through their info readers, what the sink asks for, and
// files that no input reads.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/decoding/location_tracks.h"
#include "metadata/track_info.h"
#include "tests/metadata/decoding/fake_input.h"

namespace {

std::wstring wide(const std::string& s) {
    int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.c_str(), -1, &w[0], n);
    w.resize(static_cast<size_t>(n - 1));
    return w;
}

// A folder tree under the temporary folder, removed afterwards. Paths are native, with '\'.
class tree_fixture {
public:
    tree_fixture() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        char narrow[MAX_PATH * 3];
        WideCharToMultiByte(CP_UTF8, 0, temp, -1, narrow, sizeof narrow, nullptr, nullptr);
        m_root = std::string(narrow) + "vorn-location-" + std::to_string(GetCurrentProcessId());
        REQUIRE(CreateDirectoryW(wide(m_root).c_str(), nullptr));
    }
    ~tree_fixture() { remove(m_root); }

    std::string native(const std::string& relative) const { return relative.empty() ? m_root : m_root + "\\" + relative; }
    std::string location(const std::string& relative) const { return "file://" + native(relative); }
    void folder(const std::string& relative) { REQUIRE(CreateDirectoryW(wide(native(relative)).c_str(), nullptr)); }
    void file(const std::string& relative) {
        HANDLE h = CreateFileW(wide(native(relative)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        REQUIRE(h != INVALID_HANDLE_VALUE);
        CloseHandle(h);
    }

private:
    static void remove(const std::string& path) {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(wide(path + "\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = data.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring full = wide(path) + L"\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    char narrow[MAX_PATH * 3];
                    WideCharToMultiByte(CP_UTF8, 0, full.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
                    remove(narrow);
                } else {
                    DeleteFileW(full.c_str());
                }
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(wide(path).c_str());
    }

    std::string m_root;
};

// Writes down what the walk tells it, one line per call.
class recording_sink final : public service_counted<location_track_sink> {
public:
    bool want_info = true;
    bool accept_files = true;
    std::vector<std::string> events;

    void on_location(const char* path) override { events.push_back("location " + std::string(path)); }
    void on_track(const track_handle_ref& handle, uint32_t walk_flag, const file_stats& stats, uint32_t flags) override {
        events.push_back("track " + name(handle) + " flag " + std::to_string(walk_flag) + " stamp " +
                         std::to_string(stats.timestamp) + " " + std::to_string(flags));
    }
    bool wants_info(const track_handle_ref&, uint32_t, const file_stats&, uint32_t) override { return want_info; }
    void on_track_info(const track_handle_ref& handle, uint32_t walk_flag, const file_stats& stats,
                       const track_info& info, uint32_t flags) override {
        const char* title = info.meta_get_first("title");
        events.push_back("info " + name(handle) + " flag " + std::to_string(walk_flag) + " stamp " +
                         std::to_string(stats.timestamp) + " " + std::to_string(flags) + " title " +
                         (title ? title : "-"));
    }
    void make_handle(track_handle_ref& out, const track_location& location) override {
        track_handle_registry::get().get_handle(out, location);
    }
    bool accepts_file(const char*, uint32_t) override { return accept_files; }

    // The events about tracks (not locations), with the tree's root cut from the paths.
    std::vector<std::string> tracks(const std::string& root) const {
        std::vector<std::string> out;
        for (const std::string& e : events) {
            if (e.rfind("location ", 0) == 0) continue;
            std::string t = e;
            size_t at = t.find(root);
            if (at != std::string::npos) t.erase(at, root.size());
            out.push_back(t);
        }
        return out;
    }

private:
    static std::string name(const track_handle_ref& handle) {
        const track_location& l = handle->get_location();
        return std::string(l.get_path()) + "#" + std::to_string(l.get_subsong());
    }
};

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

TEST_CASE("tracks of a location: a folder tree, depth first") {
    fake_input_ensure_services();
    fake_input::reset();
    tree_fixture tree;
    tree.file("a.fakedec");
    tree.file("b.fakedec");
    tree.file("notes.txt");
    tree.folder("sub");
    tree.file("sub\\c.fakedec");
    fake_input::file_setup two;
    two.subsongs = 2;
    fake_input::set(tree.location("a.fakedec"), two);
    fake_input::file_setup broken;
    broken.info_failure = 2;
    fake_input::set(tree.location("b.fakedec"), broken);
    fake_input::set(tree.location("sub\\c.fakedec"), fake_input::file_setup());

    recording_sink sink;
    location_read_tracks(tree.location("").c_str(), sink, abort_never, 0);

    // A track found in a folder carries walk flag 1 and the reader's stats; the file whose info cannot be
    // read and the file no input takes are skipped.
    std::string root = tree.location("");
    CHECK(sorted(sink.tracks(root)) == std::vector<std::string>{
                                           "info \\a.fakedec#1 flag 1 stamp 5678 1 title " + root + "\\a.fakedec #1",
                                           "info \\a.fakedec#2 flag 1 stamp 5678 1 title " + root + "\\a.fakedec #2",
                                           "info \\sub\\c.fakedec#0 flag 1 stamp 5678 1 title " + root + "\\sub\\c.fakedec #0",
                                       });
    // Every location is told, the folder's content right after the folder.
    std::vector<std::string> locations;
    for (const std::string& e : sink.events) {
        if (e.rfind("location ", 0) == 0) locations.push_back(e.substr(9));
    }
    CHECK(locations.size() == 6);
    CHECK(locations.front() == root);
    auto sub = std::find(locations.begin(), locations.end(), tree.location("sub"));
    REQUIRE(sub != locations.end());
    REQUIRE(sub + 1 != locations.end());
    CHECK(*(sub + 1) == tree.location("sub\\c.fakedec"));
}

TEST_CASE("tracks of a location: files named by the caller") {
    fake_input_ensure_services();
    fake_input::reset();
    tree_fixture tree;
    tree.file("a.fakedec");
    tree.file("notes.txt");
    tree.file("broken.fakedec");
    fake_input::file_setup two;
    two.subsongs = 2;
    fake_input::set(tree.location("a.fakedec"), two);
    fake_input::file_setup broken;
    broken.info_failure = 2;
    fake_input::set(tree.location("broken.fakedec"), broken);
    std::string root = tree.location("");

    struct row {
        const char* name;
        std::string path;
        bool want_info;
        bool accept;
        std::vector<std::string> tracks;
    } rows[] = {
        {"a file with subsongs", "a.fakedec", true, true,
         {"info \\a.fakedec#1 flag 0 stamp 5678 1 title " + root + "\\a.fakedec #1",
          "info \\a.fakedec#2 flag 0 stamp 5678 1 title " + root + "\\a.fakedec #2"}},
        {"info not wanted", "a.fakedec", false, true,
         {"track \\a.fakedec#1 flag 0 stamp 5678 1", "track \\a.fakedec#2 flag 0 stamp 5678 1"}},
        {"a file no input reads is still one track", "notes.txt", true, true, {"track \\notes.txt#0 flag 0 stamp 0 1"}},
        {"a file whose info fails is still one track", "broken.fakedec", true, true,
         {"track \\broken.fakedec#0 flag 0 stamp 0 1"}},
        {"a file the sink does not accept", "a.fakedec", true, false, {}},
    };
    for (const row& r : rows) {
        CAPTURE(std::string(r.name));
        fake_input::get(tree.location("a.fakedec")).opens = 0;
        recording_sink sink;
        sink.want_info = r.want_info;
        sink.accept_files = r.accept;
        location_read_tracks(tree.location(r.path).c_str(), sink, abort_never, 0);
        CHECK(sink.tracks(root) == r.tracks);
        CHECK(sink.events.front() == "location " + tree.location(r.path));
        // The reader is opened once, also when no info is read.
        if (r.path == "a.fakedec") CHECK(fake_input::get(tree.location("a.fakedec")).opens == (r.accept ? 1 : 0));
    }
}

TEST_CASE("tracks of a location: aborts and loader services") {
    fake_input_ensure_services();
    fake_input::reset();
    tree_fixture tree;
    tree.file("a.fakedec");
    recording_sink sink;

    kpl::waitable_flag aborted;
    aborted.set();
    CHECK_THROWS_AS(location_read_tracks(tree.location("").c_str(), sink, aborted, 0), ketrel_io::exception_aborted);
    CHECK(sink.events.empty());

    // No loader service is registered: every location is walked.
    CHECK_THROWS_AS(location_load_through_services(tree.location("a.fakedec").c_str(), sink, abort_never),
                    ketrel_io::exception_io_unsupported_format);
    CHECK_THROWS_AS(location_load_through_services(tree.location("").c_str(), sink, abort_never),
                    ketrel_io::exception_io_unsupported_format);
}
