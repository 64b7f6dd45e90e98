// Providers and front ends: who owns which location, the local disk's operations, canonical forms,
// folder listings, relative forms and paths with non-ASCII characters.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "foundation/fs/file_system.h"
#include "foundation/fs/folder_file_collector.h"
#include "foundation/fs/local_filesystem.h"
#include "foundation/fs/local_path.h"
#include "foundation/fs/location_text.h"
#include "foundation/fs/temp_providers.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/win32/md5_hasher.h"
#include "fs_test_support.h"

using namespace fs_test;

namespace {

std::string lower_ascii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

struct listed {
    std::string location;
    bool is_folder;
    file_stats stats;
};

class list_recorder : public folder_list_callback {
public:
    explicit list_recorder(size_t stop_after = ~static_cast<size_t>(0)) : m_stop_after(stop_after) {}
    bool on_entry(filesystem_provider&, const abort_signal&, const char* location, bool is_folder,
                  const file_stats& stats) override {
        entries.push_back({location, is_folder, stats});
        return entries.size() < m_stop_after;
    }
    std::vector<listed> entries;

private:
    size_t m_stop_after;
};

}  // namespace

TEST_CASE("every location has at most one owner") {
    registry_built registry;
    filesystem_provider* local = &local_filesystem::provider();
    filesystem_provider* temp_file = &temp_file_system::provider();
    filesystem_provider* temp_memory = &temp_memory_system::provider();
    struct {
        const char* location;
        filesystem_provider* owner;
    } cases[] = {
        {"C:\\Music\\a.flac", local},     {"file://C:\\Music\\a.flac", local}, {"relative\\name.flac", local},
        {"\\\\server\\share\\a", local},  {"http://host/a.mp3", nullptr},      {"a|b", nullptr},
        {"C:/Music/a.flac", nullptr},     {"tempfile://", temp_file},          {"tempfile://x", nullptr},
        {"tempmem://", temp_memory},      {"tempmem://x", nullptr},
    };
    for (const auto& c : cases) {
        CAPTURE(c.location);
        filesystem_provider_ref found;
        CHECK(file_system_try_find(c.location, found) == (c.owner != nullptr));
        CHECK(found.get() == c.owner);
        CHECK(file_system_is_remote(c.location) == (c.owner == nullptr));
    }

    file_stream_ref f;
    CHECK_THROWS_AS(file_system_find("http://host/a.mp3"), ketrel_io::exception_io_no_handler_for_path);
    CHECK_THROWS_AS(file_system_open(f, "http://host/a.mp3", open_mode_read, abort_never),
                    ketrel_io::exception_io_no_handler_for_path);
    CHECK_THROWS_AS(file_system_exists("http://host/a.mp3", abort_never), ketrel_io::exception_io_no_handler_for_path);
    CHECK_THROWS_AS(file_system_move("file://C:\\a.flac", "tempfile://", abort_never),
                    ketrel_io::exception_io_no_handler_for_path);

    kpl::utf8_string_pow2 text;
    file_system_display_path("file://C:\\Music\\a.flac", text);
    CHECK(text == "C:\\Music\\a.flac");
    file_system_display_path("C:\\Music\\a.flac", text);
    CHECK(text == "C:\\Music\\a.flac");
    file_system_display_path("http://host/a.mp3", text);
    CHECK(text == "http://host/a.mp3");
    file_system_canonical_path("http://host/a.mp3", text);
    CHECK(text == "http://host/a.mp3");
    file_system_canonical_path("tempmem://", text);
    CHECK(text == "tempmem://");
    CHECK_FALSE(local_filesystem::provider().open_before_probe());
}

TEST_CASE("local disk operations: stats, existence, folders, removal and moves") {
    registry_built registry;
    scratch_folder dir;
    const std::string file = "file://" + (dir / "a.bin");
    write_file(dir / "a.bin", "12345");

    file_stats stats;
    bool writable = false;
    file_system_get_stats(file.c_str(), stats, writable, abort_never);
    CHECK(stats.size == 5);
    CHECK(stats.timestamp != 0);
    CHECK(writable);
    CHECK(file_system_exists(file.c_str(), abort_never));
    CHECK_FALSE(file_system_exists(("file://" + (dir / "missing.bin")).c_str(), abort_never));
    CHECK_FALSE(file_system_exists(("file://" + (dir / "no\\such\\path.bin")).c_str(), abort_never));

    SetFileAttributesW(widen(dir / "a.bin").c_str(), FILE_ATTRIBUTE_READONLY);
    CHECK(local_filesystem::get_stats((dir / "a.bin").c_str()).size == 5);
    file_system_get_stats(file.c_str(), stats, writable, abort_never);
    CHECK_FALSE(writable);
    SetFileAttributesW(widen(dir / "a.bin").c_str(), FILE_ATTRIBUTE_NORMAL);

    const std::string sub = "file://" + (dir / "sub");
    file_system_create_folder(sub.c_str(), abort_never);
    CHECK_THROWS_AS(file_system_create_folder(sub.c_str(), abort_never), ketrel_io::exception_io_already_exists);
    file_system_get_stats(sub.c_str(), stats, writable, abort_never);
    CHECK(stats.size == 0);
    CHECK(local_path::is_folder(sub.c_str()));
    CHECK_FALSE(local_path::is_file(sub.c_str()));
    CHECK(local_path::is_file(file.c_str()));
    CHECK_FALSE(local_path::is_folder(file.c_str()));

    // Moves never replace; the front end finds the provider owning both locations.
    write_file(dir / "b.bin", "other");
    CHECK_THROWS_AS(file_system_move(file.c_str(), ("file://" + (dir / "b.bin")).c_str(), abort_never),
                    ketrel_io::exception_io_already_exists);
    file_system_move(file.c_str(), ("file://" + (dir / "sub\\c.bin")).c_str(), abort_never);
    CHECK_FALSE(exists(dir / "a.bin"));
    CHECK(read_file(dir / "sub\\c.bin") == "12345");
    file_system_move_retrying(("file://" + (dir / "sub\\c.bin")).c_str(), file.c_str(), abort_never);
    CHECK(read_file(dir / "a.bin") == "12345");

    write_file(dir / "sub\\d.bin", "d");
    CHECK_THROWS_AS(file_system_remove(sub.c_str(), abort_never), ketrel_io::exception_io_directory_not_empty);
    file_system_remove(("file://" + (dir / "sub\\d.bin")).c_str(), abort_never);
    file_system_remove(sub.c_str(), abort_never);
    CHECK_FALSE(exists(dir / "sub"));
    file_system_remove(file.c_str(), abort_never);
    CHECK_FALSE(exists(dir / "a.bin"));
    CHECK_THROWS_AS(file_system_remove(file.c_str(), abort_never), ketrel_io::exception_io_not_found);
}

TEST_CASE("folder tests by path form") {
    struct {
        const char* path;
        bool folder;
    } cases[] = {
        {"file://C:\\No\\Such\\Folder\\", true},
        {"C:\\No\\Such\\Folder\\", true},
        {"C:\\No\\Such\\Folder", false},
        {"D:", true},
        {"file://q:", true},
        {"C:\\", true},
        {"C:\\windows", true},
    };
    for (const auto& c : cases) {
        CAPTURE(c.path);
        CHECK(local_path::is_folder(c.path) == c.folder);
    }
    CHECK_FALSE(local_path::is_file("C:\\No\\Such\\File.txt"));

    struct {
        const char* location;
        const char* long_form;
    } forms[] = {
        {"file://C:\\Music\\a.flac", "\\\\?\\C:\\Music\\a.flac"},
        {"C:\\Music", "\\\\?\\C:\\Music"},
        {"\\\\server\\share\\a", "\\\\server\\share\\a"},
        {"file://\\\\?\\C:\\x", "\\\\?\\C:\\x"},
    };
    for (const auto& f : forms) {
        CAPTURE(f.location);
        kpl::utf8_string_pow2 out;
        local_path::to_long_path(f.location, out);
        CHECK(out == f.long_form);
    }
    kpl::utf8_string_pow2 out("unchanged");
    CHECK_FALSE(file_url_to_native("C:\\x", out));
    CHECK_FALSE(file_url_to_long_path("C:\\x", out));
    CHECK(out == "unchanged");
    CHECK(file_url_to_long_path("file://C:\\x", out));
    CHECK(out == "\\\\?\\C:\\x");
}

TEST_CASE("canonical forms take the stored spelling of what exists") {
    registry_built registry;
    scratch_folder dir;
    make_folder(dir / "Music");
    make_folder(dir / "Music\\Sub");
    write_file(dir / "Music\\Sub\\Track.FLAC", "x");

    kpl::utf8_string_pow2 base;
    REQUIRE(local_filesystem::canonicalize(("file://" + dir.path()).c_str(), base, false));
    std::string stored = base.c_str();

    struct {
        std::string location;
        std::string expected_tail;
    } cases[] = {
        {"file:///" + lower_ascii(dir / "music\\sub\\track.flac"), "Music\\Sub\\Track.FLAC"},
        {"file://" + lower_ascii(dir / "MUSIC\\SUB\\TRACK.FLAC"), "Music\\Sub\\Track.FLAC"},
        {lower_ascii(dir / "music\\sub"), "Music\\Sub"},
        {lower_ascii(dir / "music\\") + "NoSuch\\Deeper\\x.flac", "Music\\NoSuch\\Deeper\\x.flac"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.location);
        kpl::utf8_string_pow2 out;
        REQUIRE(local_filesystem::canonicalize(c.location.c_str(), out, false));
        CHECK(std::string(out.c_str()) == stored + c.expected_tail);
        file_system_canonical_path(c.location.c_str(), out);
        CHECK(std::string(out.c_str()) == stored + c.expected_tail);
    }
    // The drive letter is always upper case.
    kpl::utf8_string_pow2 out;
    REQUIRE(local_filesystem::canonicalize("file://c:\\", out, true));
    CHECK(out == "file://C:\\");

    CHECK_FALSE(local_filesystem::canonicalize("http://host/a", out, false));
    CHECK_FALSE(local_filesystem::canonicalize("file://relative\\x.flac", out, true));
}

TEST_CASE("folder listings report files and folders, and only existing folders") {
    registry_built registry;
    scratch_folder dir;
    make_folder(dir / "empty");
    make_folder(dir / "tree");
    make_folder(dir / "tree\\inner");
    make_folder(dir / "tree\\inner\\deeper");
    write_file(dir / "tree\\one.txt", "1");
    write_file(dir / "tree\\two.txt", "22");
    write_file(dir / "tree\\inner\\three.txt", "333");
    write_file(dir / "tree\\inner\\deeper\\four.txt", "4444");

    list_recorder empty;
    file_system_list_folder(("file://" + (dir / "empty")).c_str(), empty, abort_never);
    CHECK(empty.entries.empty());

    list_recorder top;
    file_system_list_folder(("file://" + (dir / "tree\\")).c_str(), top, abort_never);
    std::set<std::string> seen;
    for (const auto& e : top.entries) {
        seen.insert(e.location);
        if (e.is_folder) {
            CHECK(e.stats.size == file_size_unknown);
            CHECK(e.stats.timestamp == 0);
        } else {
            CHECK(e.stats.size == (e.location.back() == 't' && e.location.find("two") != std::string::npos ? 2u : 1u));
            CHECK(e.stats.timestamp != 0);
        }
    }
    std::set<std::string> expected = {"file://" + (dir / "tree\\one.txt"), "file://" + (dir / "tree\\two.txt"),
                                      "file://" + (dir / "tree\\inner")};
    CHECK(seen == expected);

    list_recorder first_only(1);
    file_system_list_folder(("file://" + (dir / "tree")).c_str(), first_only, abort_never);
    CHECK(first_only.entries.size() == 1);

    CHECK_THROWS_AS(file_system_list_folder(("file://" + (dir / "tree\\one.txt")).c_str(), top, abort_never),
                    ketrel_io::exception_io_not_found);
    CHECK_THROWS_AS(file_system_list_folder(("file://" + (dir / "missing")).c_str(), top, abort_never),
                    ketrel_io::exception_io_not_found);
    CHECK_THROWS_AS(local_filesystem::provider().list_folder((dir / "tree").c_str(), top, abort_never),
                    ketrel_io::exception_io);
    abort_after_checks set(0);
    CHECK_THROWS_AS(file_system_list_folder(("file://" + (dir / "tree")).c_str(), top, set),
                    ketrel_io::exception_aborted);

    struct {
        bool recursive;
        std::set<std::string> files;
    } walks[] = {
        {false, {"tree\\one.txt", "tree\\two.txt"}},
        {true, {"tree\\one.txt", "tree\\two.txt", "tree\\inner\\three.txt", "tree\\inner\\deeper\\four.txt"}},
    };
    for (const auto& w : walks) {
        CAPTURE(w.recursive);
        folder_file_collector collector(w.recursive);
        file_system_list_folder(("file://" + (dir / "tree")).c_str(), collector, abort_never);
        std::set<std::string> files;
        for (const auto& entry : collector.entries()) {
            files.insert(std::string(entry->location.c_str()).substr(7 + dir.path().size()));
            CHECK(entry->stats.size >= 1);
        }
        CHECK(files == w.files);
    }
}

TEST_CASE("relative forms against a base location") {
    filesystem_provider& local = local_filesystem::provider();
    const char* base = "file://C:\\Music\\list.cue";
    struct {
        const char* location;
        bool made;
        const char* relative;
    } cases[] = {
        {"file://C:\\Music\\a\\b.flac", true, "file://a\\b.flac"},
        {"file://c:\\MUSIC\\Track.flac", true, "file://Track.flac"},
        {"file://D:\\Music\\a.flac", false, ""},
        {"C:\\Music\\a.flac", false, ""},
    };
    for (const auto& c : cases) {
        CAPTURE(c.location);
        kpl::utf8_string_pow2 out;
        CHECK(local.make_relative(c.location, base, out) == c.made);
        if (c.made) CHECK(out == c.relative);
    }
    kpl::utf8_string_pow2 out;
    CHECK(local.resolve_relative("file://a\\b.flac", base, out));
    CHECK(out == "file://C:\\Music\\a\\b.flac");
    CHECK_FALSE(local.resolve_relative("a\\b.flac", base, out));
    CHECK_FALSE(temp_file_system::provider().make_relative("tempfile://", "tempfile://", out));
}

TEST_CASE("paths with non-ASCII characters work everywhere") {
    registry_built registry;
    scratch_folder dir;
    const std::string folder = dir / "M\xC3\xBCsik \xCE\xA9mega";          // "Müsik Ωmega"
    const std::string name = "\xE2\x98\x83 sn\xC3\xB8w.flac";                // "☃ snøw.flac"
    make_folder(folder);
    write_file(folder + "\\" + name, "snow");
    const std::string location = "file://" + folder + "\\" + name;

    CHECK(file_system_exists(location.c_str(), abort_never));
    file_stream_ref f;
    file_system_open_read(f, location.c_str(), abort_never);
    char buffer[8];
    CHECK(f->read(buffer, sizeof(buffer), abort_never) == 4);
    f.reset();

    list_recorder listing;
    file_system_list_folder(("file://" + folder).c_str(), listing, abort_never);
    REQUIRE(listing.entries.size() == 1);
    CHECK(listing.entries[0].location == location);

    kpl::utf8_string_pow2 canonical;
    const std::string lowered = lower_ascii(dir.path()) + "m\xC3\xBC" "sik \xCF\x89mega\\" + name;  // "müsik ωmega"
    REQUIRE(local_filesystem::canonicalize(lowered.c_str(), canonical, false));
    kpl::utf8_string_pow2 expected;
    REQUIRE(local_filesystem::canonicalize(location.c_str(), expected, false));
    CHECK(canonical == expected);
    CHECK(std::string(canonical.c_str()).find("M\xC3\xBCsik \xCE\xA9mega") != std::string::npos);

    const std::string copy = "file://" + folder + "\\" + "\xD0\xBA\xD0\xBE\xD0\xBF\xD0\xB8\xD1\x8F.flac";  // "копия"
    file_system_move(location.c_str(), copy.c_str(), abort_never);
    CHECK(read_file(copy.substr(7)) == "snow");
    file_system_remove(copy.c_str(), abort_never);
    CHECK_FALSE(exists(copy.substr(7)));
}

TEST_CASE("temporary rewrite names and MD5") {
    struct {
        const char* text;
        const char* digest;
    } sums[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"The quick brown fox jumps over the lazy dog", "9E107D9D372BB6826BD81D3542A419D6"},
    };
    md5_hasher hasher;
    for (const auto& s : sums) {
        CAPTURE(s.text);
        hasher.add(s.text, std::strlen(s.text));
        md5_digest d = hasher.finish();  // each finish starts the next hash afresh
        char hex[33];
        kpl::format_hex_bytes(d.bytes, hex);
        CHECK(std::string(hex) == s.digest);
    }

    kpl::utf8_string_pow2 name, again, other;
    temp_file_name_for(name, "file://C:\\Music\\a.flac");
    temp_file_name_for(again, "file://C:\\Music\\a.flac");
    temp_file_name_for(other, "file://C:\\Music\\b.flac");
    CHECK(name == "file://C:\\Music\\temp-C5391324BE1EAD9135FEE8D0E166C74B.tmp");
    CHECK(again == name);
    CHECK(other != name);
    CHECK(std::string(other.c_str()).rfind("file://C:\\Music\\temp-", 0) == 0);
    CHECK(current_filetime() > 0x01D0000000000000ull);  // after 2014
}
