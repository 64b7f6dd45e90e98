// Program paths, true-case spelling, folder listing, known folders, shell calls and font descriptions.
#include <doctest/doctest.h>

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"
#include "foundation/win32/directory_enum.h"
#include "foundation/win32/display.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/resource_data.h"
#include "foundation/win32/shell.h"
#include "foundation/win32/system_paths.h"
#include "foundation/win32/text_nocase.h"
#include "foundation/win32/win_string.h"

namespace {

bool ends_with(const kpl::utf8_string& text, const char* tail) {
    const size_t n = std::strlen(tail);
    return text.length() >= n && std::strcmp(text.c_str() + text.length() - n, tail) == 0;
}

// A scratch folder under the system's temporary folder, removed with everything in it at the end.
class scratch_folder {
public:
    scratch_folder() {
        kpl::utf8_string_pow2 temp;
        REQUIRE(get_temp_folder(temp));
        m_path << temp << "vorn-win32-test-" << unsigned(GetCurrentProcessId());
        CreateDirectoryW(win_string_param(m_path).get(), nullptr);
    }
    ~scratch_folder() { remove_tree(m_path.c_str()); }
    const char* path() const { return m_path.c_str(); }

    kpl::utf8_string_pow2 make_folder(const char* relative) {
        kpl::utf8_string_pow2 p;
        p << m_path << "\\" << relative;
        CreateDirectoryW(win_string_param(p).get(), nullptr);
        return p;
    }
    kpl::utf8_string_pow2 make_file(const char* relative, size_t size) {
        kpl::utf8_string_pow2 p;
        p << m_path << "\\" << relative;
        HANDLE file = file_create_raw(p.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, 0);
        REQUIRE(file != INVALID_HANDLE_VALUE);
        std::vector<char> bytes(size, 'x');
        DWORD written = 0;
        if (size) WriteFile(file, bytes.data(), DWORD(size), &written, nullptr);
        CloseHandle(file);
        return p;
    }

private:
    static void remove_tree(const char* folder) {
        kpl::utf8_string_pow2 pattern;
        pattern << folder << "\\*";
        if (auto e = directory_enum::open(pattern.c_str())) {
            do {
                if (!std::strcmp(e->name(), ".") || !std::strcmp(e->name(), "..")) continue;
                kpl::utf8_string_pow2 child;
                child << folder << "\\" << e->name();
                if (e->attributes() & FILE_ATTRIBUTE_DIRECTORY) remove_tree(child.c_str());
                else file_delete_native(child.c_str());
            } while (e->next());
        }
        RemoveDirectoryW(win_string_param(folder).get());
    }
    kpl::utf8_string_pow2 m_path;
};

}  // namespace

TEST_CASE("program, command line and folders") {
    kpl::utf8_string_pow2 program, line, appdata, temp, current;
    get_program_path(program);
    CHECK(ends_with(program, "test_foundation.exe"));
    CHECK(file_get_attributes(program.c_str()) != INVALID_FILE_ATTRIBUTES);
    get_command_line(line);
    CHECK(std::strstr(line.c_str(), "test_foundation") != nullptr);
    CHECK(get_appdata_folder(appdata));
    CHECK(appdata.length() > 3);
    CHECK(get_temp_folder(temp));
    CHECK(ends_with(temp, "\\"));
    CHECK(get_current_directory(current));
    CHECK(current.length() > 2);
    CHECK(is_windows_vista_or_later() == (LOBYTE(LOWORD(GetVersion())) >= 6));
}

TEST_CASE("temporary file names, raw files and non-ASCII paths") {
    scratch_folder scratch;
    kpl::utf8_string_pow2 name;
    CHECK_FALSE(get_temp_file_name(nullptr, "vrn", 0, name));
    CHECK_FALSE(get_temp_file_name(scratch.path(), nullptr, 0, name));
    REQUIRE(get_temp_file_name(scratch.path(), "vrn", 0, name));  // the system creates the file
    CHECK(file_get_attributes(name.c_str()) != INVALID_FILE_ATTRIBUTES);
    CHECK(file_delete_native(name.c_str()));
    CHECK(file_get_attributes(name.c_str()) == INVALID_FILE_ATTRIBUTES);
    CHECK_FALSE(file_delete_native(name.c_str()));

    const kpl::utf8_string_pow2 unicode = scratch.make_file("Bjørk – Jóga 東京.flac", 5);
    CHECK(file_get_attributes(unicode.c_str()) != INVALID_FILE_ATTRIBUTES);
    kpl::utf8_string_pow2 full, long_name;
    CHECK(local_path::full_path(unicode.c_str(), full));
    CHECK(ends_with(full, "Bjørk – Jóga 東京.flac"));
    CHECK(path_get_long_name(unicode.c_str(), long_name) > 0);
    CHECK(ends_with(long_name, "東京.flac"));
    kpl::utf8_string_pow2 missing;
    missing << scratch.path() << "\\no such file";
    CHECK_FALSE(local_path::full_path(missing.c_str(), full));
    CHECK(path_get_long_name(missing.c_str(), long_name) == 0);

    kpl::utf8_string_pow2 before, inside;
    REQUIRE(get_current_directory(before));
    CHECK(set_current_directory(scratch.path()));
    CHECK(get_current_directory(inside));
    kpl::utf8_string_pow2 leaf;
    leaf << "vorn-win32-test-" << unsigned(GetCurrentProcessId());
    CHECK(ends_with(inside, leaf.c_str()));
    CHECK(local_path::full_path("Bjørk – Jóga 東京.flac", full));  // a relative name of an existing file
    CHECK(ends_with(full, "\\Bjørk – Jóga 東京.flac"));
    CHECK(set_current_directory(before.c_str()));
}

TEST_CASE("true case: existing parts take their stored spelling, the rest stays as typed") {
    scratch_folder scratch;
    scratch.make_folder("Music");
    scratch.make_folder("Music\\Sub Folder");
    scratch.make_file("Music\\Sub Folder\\Track ÄÖ.FLAC", 1);

    kpl::utf8_string_pow2 base;  // the scratch folder as the system spells it
    REQUIRE(path_true_case(scratch.path(), base));

    struct {
        const char* typed;   // below the scratch folder
        const char* result;  // below the scratch folder
    } const cases[] = {
        {"\\music\\sub folder\\track äö.flac", "\\Music\\Sub Folder\\Track ÄÖ.FLAC"},
        {"\\MUSIC\\SUB FOLDER\\", "\\Music\\Sub Folder\\"},
        {"\\music\\missing\\sub folder", "\\Music\\missing\\sub folder"},
        {"\\music\\sub folder\\new file.txt", "\\Music\\Sub Folder\\new file.txt"},
        {"\\music\\s?b folder", "\\Music\\s?b folder"},  // a pattern does not stand for a name
    };
    for (const auto& c : cases) {
        CAPTURE(c.typed);
        kpl::utf8_string_pow2 typed, expected, out;
        utf8_to_lower(typed, scratch.path());
        typed << c.typed;
        expected << base << c.result;
        REQUIRE(path_true_case(typed.c_str(), out));
        CHECK(out == expected);
        kpl::utf8_string_pow2 prefixed("\\\\?\\"), out2;
        prefixed << typed;
        REQUIRE(path_true_case(prefixed.c_str(), out2));  // the long-path prefix is dropped
        CHECK(out2 == expected);
    }
}

TEST_CASE("true case of drive letters, UNC names and invalid forms") {
    struct {
        const char* path;
        bool ok;
        const char* result;
    } const cases[] = {
        {"c:\\", true, "C:\\"},
        {"z:\\no such folder\\x", true, "Z:\\no such folder\\x"},
        {"\\\\SERVER\\Share", true, "\\\\server\\share"},
        {"\\\\SERVER\\Share\\", true, "\\\\server\\share\\"},
        {"\\\\Ünï\\SShare\\Sub\\File.txt", true, "\\\\ünï\\sshare\\Sub\\File.txt"},
        {"relative\\path", false, ""},
        {"C:", false, ""},
        {"C:relative", false, ""},
        {"", false, ""},
        {"\\\\server", false, ""},
        {"\\\\server\\", false, ""},
        {"\\\\server\\\\share", false, ""},
        {"\\\\\\share\\x", false, ""},
        {"\\\\server\\share\\\\x", false, ""},
    };
    for (const auto& c : cases) {
        CAPTURE(c.path);
        kpl::utf8_string_pow2 out("untouched");
        CHECK(path_true_case(c.path, out) == c.ok);
        CHECK(out == (c.ok ? c.result : "untouched"));
    }
}

TEST_CASE("directory listing") {
    scratch_folder scratch;
    scratch.make_file("empty.txt", 0);
    scratch.make_file("ten bytes.bin", 10);
    scratch.make_file("größe.dat", 1025);
    scratch.make_folder("sub");

    std::map<std::string, uint64_t> files;
    std::vector<std::string> folders;
    kpl::utf8_string_pow2 pattern;
    pattern << scratch.path() << "\\*.*";
    auto e = directory_enum::open(pattern.c_str());
    REQUIRE(e);
    do {
        if (e->attributes() & FILE_ATTRIBUTE_DIRECTORY) {
            folders.push_back(e->name());
        } else {
            files[e->name()] = e->size();
            CHECK(e->last_write_time() != 0);
            CHECK(e->creation_time() != 0);
        }
    } while (e->next());
    CHECK_FALSE(e->next());  // stays at the end
    CHECK(files == std::map<std::string, uint64_t>{{"empty.txt", 0}, {"ten bytes.bin", 10}, {"größe.dat", 1025}});
    CHECK(std::find(folders.begin(), folders.end(), "sub") != folders.end());

    pattern.reset();
    pattern << scratch.path() << "\\*.nothing";
    CHECK_FALSE(directory_enum::open(pattern.c_str()));
    pattern.reset();
    pattern << scratch.path() << "\\größe.dat";  // a pattern without wildcards finds the one entry
    auto one = directory_enum::open(pattern.c_str());
    REQUIRE(one);
    CHECK(std::strcmp(one->name(), "größe.dat") == 0);
    CHECK_FALSE(one->next());
}

TEST_CASE("known folders fall back to the legacy folders") {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const kpl::guid music = {0x4BD8D571, 0x6D19, 0x48D3, {0xBE, 0x97, 0x42, 0x22, 0x20, 0x08, 0x0E, 0x43}};
    const kpl::guid documents = {0xFDD39AD0, 0x238F, 0x46AF, {0xAD, 0xB4, 0x6C, 0x85, 0x48, 0x03, 0x69, 0xC7}};
    const kpl::guid unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const kpl::guid* g : {&music, &documents}) {
        kpl::string_array folders;
        REQUIRE(known_folder_paths(*g, folders));
        REQUIRE(folders.count() >= 1);
        for (const auto& folder : folders) CHECK(folder.length() > 3);
    }
    kpl::string_array none;
    none.append("kept");
    CHECK_FALSE(known_folder_paths(unknown, none));
    CHECK(none.count() == 1);
    if (SUCCEEDED(com)) CoUninitialize();
}

namespace {

struct recording_shell : shell_calls {
    struct call {
        std::string what, a, b;
        HWND parent;
        bool could_start;
        HWND active;
    };
    std::vector<call> calls;
    INT_PTR execute(HWND parent, const win_string_param& verb, const char* file) override {
        calls.push_back({"execute", verb.utf8() ? verb.utf8() : "(default)", file, parent, modal_scope::can_start(),
                         modal_scope::active_window()});
        return 42;
    }
    shell_select_result select_in_folder(const char* folder, const char* const* names, size_t count) override {
        std::string joined;
        for (size_t i = 0; i < count; ++i) joined += std::string(i ? "|" : "") + names[i];
        calls.push_back({"select", folder, joined, nullptr, modal_scope::can_start(), nullptr});
        return {shell_select_result::opened, S_FALSE};
    }
    bool pick_folder(HWND parent, const char* title, kpl::utf8_string& folder) override {
        calls.push_back({"pick", title, folder.c_str(), parent, modal_scope::can_start(), nullptr});
        folder = "D:\\Chosen";
        return true;
    }
};

}  // namespace

TEST_CASE("shell calls go through the replaceable shell object") {
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    recording_shell fake;
    {
        shell_calls_override use(fake);
        CHECK(shell_execute(owner, nullptr, "https://example.org/") == 42);
        CHECK(shell_execute(nullptr, "open", "C:\\Music\\") == 42);
        const char* names[] = {"a.flac", "B.flac"};
        const shell_select_result r = shell_select_in_folder("C:\\Music\\", names, 2);
        CHECK(r.step == shell_select_result::opened);
        CHECK(r.hr == S_FALSE);
        kpl::utf8_string_pow2 folder("C:\\Start");
        CHECK(pick_folder(owner, "Add folder", folder));
        CHECK(folder == "D:\\Chosen");
    }
    REQUIRE(fake.calls.size() == 4);
    // With an owner the call runs inside a modal scope for it; without one, outside any.
    CHECK(fake.calls[0].what == "execute");
    CHECK(fake.calls[0].a == "(default)");
    CHECK(fake.calls[0].b == "https://example.org/");
    CHECK(fake.calls[0].parent == owner);
    CHECK_FALSE(fake.calls[0].could_start);
    CHECK(fake.calls[0].active == owner);
    CHECK(fake.calls[1].a == "open");
    CHECK(fake.calls[1].could_start);
    CHECK(fake.calls[2].a == "C:\\Music\\");
    CHECK(fake.calls[2].b == "a.flac|B.flac");
    CHECK(fake.calls[3].a == "Add folder");
    CHECK(fake.calls[3].b == "C:\\Start");
    CHECK(modal_scope::can_start());
    DestroyWindow(owner);
}

TEST_CASE("font descriptions: size in 1/480 inch, face name cut at a character boundary") {
    struct {
        LONG height;
        int dpi;
        int32_t size;
    } const sizes[] = {{-11, 96, 55}, {11, 96, 55}, {-16, 120, 64}, {0, 96, 0}};
    for (const auto& c : sizes) {
        CAPTURE(c.height);
        LOGFONTW font = {};
        font.lfHeight = c.height;
        font_description d;
        font_description_from_logfont(font, c.dpi, d);
        CHECK(d.size == c.size);
    }

    LOGFONTW font = {};
    font.lfWeight = FW_BOLD;
    font.lfItalic = 1;
    font.lfCharSet = RUSSIAN_CHARSET;
    lstrcpyW(font.lfFaceName, L"Tahoma");
    font_description d;
    font_description_from_logfont(font, d);
    CHECK(d.weight == FW_BOLD);
    CHECK(d.italic == 1);
    CHECK(d.charset == RUSSIAN_CHARSET);
    CHECK(std::strcmp(d.face, "Tahoma") == 0);
    CHECK(d.size == MulDiv(0, 480, screen_dpi_y()));
    CHECK(screen_dpi_y() > 0);

    // 'a' and 30 three-byte characters: 91 bytes, cut to 1 + 20 * 3 = 61 bytes, not inside the 21st.
    font.lfFaceName[0] = L'a';
    for (int i = 1; i <= 30; ++i) font.lfFaceName[i] = 0x20AC;
    font.lfFaceName[31] = 0;
    font_description_from_logfont(font, 96, d);
    CHECK(std::strlen(d.face) == 61);
    CHECK(d.face[62] == 0);
}

namespace {

// Cancels the dialog the folder picker shows, and notes whether a modal scope was active meanwhile.
struct picker_watch {
    static HWND owner;
    static bool saw_scope;
    static bool cancelled;

    static BOOL CALLBACK cancel_dialog(HWND window, LPARAM) {
        wchar_t cls[32] = {};
        GetClassNameW(window, cls, 32);
        if (window != owner && IsWindowVisible(window) && lstrcmpW(cls, L"#32770") == 0) {
            PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            cancelled = true;
        }
        return TRUE;
    }
    static void CALLBACK on_timer(HWND, UINT, UINT_PTR, DWORD) {
        if (!modal_scope::can_start()) saw_scope = true;
        EnumThreadWindows(GetCurrentThreadId(), &cancel_dialog, 0);
    }
};
HWND picker_watch::owner = nullptr;
bool picker_watch::saw_scope = false;
bool picker_watch::cancelled = false;

}  // namespace

TEST_CASE("the system's folder picker runs inside a modal scope and can be cancelled") {
    const HRESULT ole = OleInitialize(nullptr);
    picker_watch::owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                          nullptr, nullptr, nullptr, nullptr);
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &picker_watch::on_timer);
    kpl::utf8_string_pow2 folder("C:\\windows");
    const bool chosen = pick_folder(picker_watch::owner, "Pick a folder", folder);
    KillTimer(nullptr, timer);
    CHECK(picker_watch::cancelled);
    CHECK_FALSE(chosen);
    CHECK(folder == "C:\\windows");  // untouched on cancel
    CHECK(picker_watch::saw_scope);
    CHECK(modal_scope::can_start());
    DestroyWindow(picker_watch::owner);
    if (SUCCEEDED(ole)) OleUninitialize();
}

TEST_CASE("resources that do not exist give null") {
    CHECK_FALSE(load_resource_data(nullptr, L"NO_SUCH_RESOURCE", MAKEINTRESOURCEW(10)));
    CHECK_FALSE(load_resource_data(nullptr, MAKEINTRESOURCEW(54321), MAKEINTRESOURCEW(10)));
}
