// The folder tree over a folder made at test time (order, ties, covers, dot files, titles, track lists,
// the watcher and stale notices) and the music-folders view's names and ways into the tree.
#include <doctest/doctest.h>

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/services/service_registry.h"
#include "library/folder_tree_node.h"
#include "library/folder_view_node.h"
#include "shell/localization.h"
#include "shell/main_thread_queue.h"

namespace {

struct host_log final : library_view_host {
    int changed = 0;
    void on_items_changed() override { ++changed; }
    void on_indexing_changed(bool) override {}
};

void remove_tree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = folder + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(full);
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

// A fresh folder under the temporary folder, removed again at the end of the test.
struct temp_folder {
    std::wstring path;
    explicit temp_folder(const wchar_t* name) {
        wchar_t buffer[MAX_PATH];
        GetTempPathW(MAX_PATH, buffer);
        path = std::wstring(buffer) + L"vorn-tree-" + name;
        remove_tree(path);
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~temp_folder() { remove_tree(path); }
};

void touch(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

node_path path_of(const std::wstring& folder) { return folder_view_node::folder_path(folder); }

std::vector<std::string> item_texts(library_node& node) {
    std::vector<std::string> out;
    for (const list_text& t : node.items()) out.push_back(t.utf8());
    return out;
}

std::vector<std::string> walk(item_enumerator& list) {
    std::vector<std::string> out;
    item_cursor_ref at;
    list.first(at);
    while (at) {
        track_handle_ref h;
        at->get_handle(h);
        std::string p = h->get_location().get_path();
        out.push_back(p.substr(p.rfind('\\', p.rfind('\\') - 1) + 1));
        item_cursor_ref next;
        at->next(next);
        at = next;
    }
    return out;
}

key_list one(const wchar_t* key) {
    key_list k;
    k.append(list_text(key));
    return k;
}

using strings = std::vector<std::string>;

}  // namespace

namespace doctest {
template <>
struct StringMaker<std::vector<std::string>> {
    static String convert(const std::vector<std::string>& v) {
        std::string out = "{";
        for (const auto& s : v) out += "\"" + s + "\" ";
        return (out + "}").c_str();
    }
};
}  // namespace doctest

TEST_CASE("folder tree: subfolders, then playable files; ties kept apart; covers; dot files left out") {
    temp_folder made(L"list");
    const std::wstring& root = made.path;
    for (const wchar_t* name : {L"b", L"a10", L"a9", L".hidden"}) CreateDirectoryW((root + L"\\" + name).c_str(), nullptr);
    for (const wchar_t* name : {L"1 Intro.flac", L"01 Intro.flac", L"x10.flac",
                                L"x9.flac", L".dot.flac", L"notes.txt", L"Cover.JPG", L"FOLDER.jpg"})
        touch(root + L"\\" + name);
    touch(root + L"\\b\\z.flac");
    touch(root + L"\\b\\a.flac");
    touch(root + L"\\a9\\n.flac");
    CreateDirectoryW((root + L"\\b\\b1").c_str(), nullptr);
    touch(root + L"\\b\\b1\\deep.flac");
    touch(root + L"\\secret.flac");
    const bool hidden = SetFileAttributesW((root + L"\\secret.flac").c_str(), FILE_ATTRIBUTE_HIDDEN) &&
                        (GetFileAttributesW((root + L"\\secret.flac").c_str()) & FILE_ATTRIBUTE_HIDDEN);

    host_log host;
    folder_tree_node tree(host, path_of(root));
    // Wine's StrCmpLogicalW calls "01 Intro" and "1 Intro" equal: still two items. (Names differing only in
    // case need a Linux-made folder: the browse script test has them.)
    strings expected = {"a9", "a10", "b", "01 Intro.flac", "1 Intro.flac", "x9.flac", "x10.flac"};
    if (!hidden) expected.push_back("secret.flac");
    CHECK(item_texts(tree) == expected);
    std::wstring picture;
    REQUIRE(tree.find_picture(picture));
    CHECK(picture == root + L"\\Cover.JPG");
    CHECK(tree.has_items());
    CHECK(tree.can_open(one(L"b")));
    CHECK_FALSE(tree.can_open(one(L"x9.flac")));
    CHECK(tree.is_summary_item(list_text(L"b")));
    CHECK(tree.item_has_tracks(list_text(L"x9.flac")));

    // A selection plays its files first, then the folders' files in code-unit order, then their subfolders.
    key_list pick;
    pick.append(list_text(L"x9.flac"));
    pick.append(list_text(L"b"));
    CHECK(walk(*tree.create_item_track_list(pick)) == strings{"vorn-tree-list\\x9.flac", "b\\a.flac", "b\\z.flac", "b1\\deep.flac"});

    std::wstring explorer;
    REQUIRE(tree.get_explorer_path(explorer));
    CHECK(explorer == root);
    tree.open(one(L"b"));
    CHECK(item_texts(tree) == strings{"b1", "a.flac", "z.flac"});
    CHECK_FALSE(tree.find_picture(picture));
    navigation_text title;
    tree.get_title(title);
    CHECK(title.targets().size() == path_of(root).size());
    CHECK(title.targets().back().kind == 1);
    CHECK(title.targets().back().path == path_of(root));
    CHECK(title.markup().size() > 4);
    CHECK(title.markup().compare(title.markup().size() - 4, 4, " \\ b") == 0);
    tree.go_up();
    CHECK(item_texts(tree) == expected);
}

TEST_CASE("folder tree root lists drives; a drive's explorer path keeps its backslash") {
    host_log host;
    folder_tree_node tree(host, node_path());
    navigation_text title;
    tree.get_title(title);
    CHECK(title.markup() == "My computer");
    bool has_c = false;
    for (const list_text& t : tree.items())
        if (std::wstring(t.text()).compare(0, 3, L"C:\\") == 0) has_c = true;
    CHECK(has_c);
    CHECK_FALSE(tree.can_go_up());
    tree.open(one(L"C:\\"));
    std::wstring explorer;
    REQUIRE(tree.get_explorer_path(explorer));
    CHECK(explorer == L"C:\\");
    node_path p;
    tree.get_path(p);
    REQUIRE(p.size() == 1);
    CHECK(std::wstring(p[0].front().text()) == L"C:");
}

TEST_CASE("folder tree watcher: a change refreshes the shown folder; a stale notice refreshes nothing") {
    temp_folder made(L"watch");
    const std::wstring& root = made.path;
    CreateDirectoryW((root + L"\\sub").c_str(), nullptr);
    host_log host;
    folder_tree_node tree(host, path_of(root));
    CHECK(item_texts(tree) == strings{"sub"});

    const uint32_t stale = tree.generation();
    tree.open(one(L"sub"));
    tree.go_up();
    touch(root + L"\\quiet.flac");
    // Notices of the earlier listing may arrive now: none of them may refresh.
    main_thread_queue::drain(true);
    const int before = host.changed;
    tree.on_change_notice(stale);
    CHECK(host.changed == before);

    touch(root + L"\\new.flac");
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 5000) {
        main_thread_queue::drain(true);
        bool seen = false;
        for (const list_text& t : tree.items())
            if (std::wstring(t.text()) == L"new.flac") seen = true;
        if (seen) break;
        Sleep(20);
    }
    CHECK(host.changed > before);
    CHECK(item_texts(tree) == strings{"sub", "new.flac", "quiet.flac"});
}

TEST_CASE("folder tree: the host hears of a change only when the listing differs, once per change") {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    temp_folder made(L"changes");
    const std::wstring& root = made.path;
    touch(root + L"\\a.flac");
    host_log host;
    folder_tree_node tree(host, path_of(root));
    CHECK(item_texts(tree) == strings{"a.flac"});

    // Each change, then the notice the watcher would post for it.
    const struct {
        const char* what;
        std::function<void()> change;
        int told;
        strings items;
    } cases[] = {
        {"nothing at all", [] {}, 0, {"a.flac"}},
        {"a text file", [&] { touch(root + L"\\notes.txt"); }, 0, {"a.flac"}},
        {"a cover picture", [&] { touch(root + L"\\cover.jpg"); }, 0, {"a.flac"}},
        {"attributes", [&] { SetFileAttributesW((root + L"\\a.flac").c_str(), FILE_ATTRIBUTE_READONLY); }, 0, {"a.flac"}},
        {"a playable file", [&] { touch(root + L"\\b.flac"); }, 1, {"a.flac", "b.flac"}},
        {"a folder", [&] { CreateDirectoryW((root + L"\\sub").c_str(), nullptr); }, 1, {"sub", "a.flac", "b.flac"}},
        {"a rename", [&] { MoveFileW((root + L"\\b.flac").c_str(), (root + L"\\c.flac").c_str()); }, 1,
         {"sub", "a.flac", "c.flac"}},
        {"a removal", [&] { DeleteFileW((root + L"\\c.flac").c_str()); }, 1, {"sub", "a.flac"}},
    };
    for (const auto& c : cases) {
        const int before = host.changed;
        c.change();
        tree.on_change_notice(tree.generation());
        CHECK_MESSAGE(host.changed - before == c.told, std::string(c.what));
        CHECK_MESSAGE(item_texts(tree) == c.items, std::string(c.what));
    }
    // The picture is found again all the same.
    std::wstring picture;
    CHECK(tree.find_picture(picture));

    // Through the watcher: one copied file is one event, however many notices its copy gives. The text file
    // made after it gives a refresh to wait for, so that notices of the copy that come late are handled
    // before the count.
    main_thread_queue::drain(true);
    const int before = host.changed;
    CopyFileW((root + L"\\a.flac").c_str(), (root + L"\\copied.flac").c_str(), FALSE);
    const auto wait_for = [&](const std::function<bool()>& done) {
        const DWORD start = GetTickCount();
        while (!done() && GetTickCount() - start < 10000) {
            main_thread_queue::drain(true);
            Sleep(20);
        }
        return done();
    };
    CHECK(wait_for([&] { return tree.items().contains(list_text(L"copied.flac")); }));
    const uint32_t seen = tree.generation();
    touch(root + L"\\later.txt");
    CHECK(wait_for([&] { return tree.generation() != seen; }));
    CHECK(host.changed - before == 1);
}

TEST_CASE("music folders: friendly names, numbered twins, and where each one leads") {
    load_language_table(0x409);
    wchar_t music[MAX_PATH] = {0};
    SHGetFolderPathW(nullptr, CSIDL_MYMUSIC, nullptr, SHGFP_TYPE_CURRENT, music);
    std::wstring upper = music;
    CharUpperW(&upper[0]);
    const std::string my_music = kpl::utf8_string_from_utf16(upper.c_str()).c_str();
    const std::vector<std::string> folders = {"C:\\a\\Music", "D:\\b\\Music", "E:\\Music", my_music, "D:\\", ".",
                                              "\\\\server\\share\\Music"};
    node_path at(1);
    append_folders_root_key(at[0]);
    folder_view_node view(at, &folders);
    const std::string mine = localization_table::get_text("ui_view_my_music");
    CHECK(item_texts(view) == strings{"Music", "Music (1)", "Music (2)", mine, "D:\\", ".", "Music (3)"});
    navigation_text title;
    view.get_title(title);
    CHECK(title.markup() == localization_table::get_text("ui_view_folders"));

    const auto leads = [&](const wchar_t* key) {
        view_path where;
        CHECK(view.redirect(where, list_text(key)));
        std::string out = std::to_string(where.kind);
        for (const key_list& level : where.path) out += "|" + level.front().utf8();
        return out;
    };
    CHECK(leads(L"Music (1)") == "1|D:|b|Music");
    CHECK(leads(L"D:\\") == "1|D:");
    CHECK(leads(L"Music (3)") == "1|\\\\server|share|Music");
    CHECK(leads(L"nothing") == "0");
    // "." is the program's folder, never the current directory.
    const std::string dot = leads(L".");
    CHECK(dot.compare(0, 2, "1|") == 0);
    CHECK(dot.find(':') != std::string::npos);

    node_path wrong(1);
    wrong[0].append(list_text(L"{00000000-0000-0000-0000-000000000000}"));
    folder_view_node none(wrong, &folders);
    CHECK(none.items().empty());
}
