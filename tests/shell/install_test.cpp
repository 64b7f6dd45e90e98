// Install to a removable medium: the portable copy's files and attributes, a second run over the first,
// failures reported (a missing destination, a file in the way of the profile folder), and the wizard's
// pages from the introduction to "Installation complete.".
#include <doctest/doctest.h>

#include <windows.h>

#include <string>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/win32/window_text.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"
#include "shell/install_wizard.h"
#include "shell/profile_setup.h"
#include "tests/support/gui_support.h"

namespace {

std::wstring scratch_folder(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string utf8(const std::wstring& text) { return kpl::utf8_string_from_utf16(text.c_str()).c_str(); }

std::string read_file(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string data;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) data.append(buffer, read);
    CloseHandle(file);
    return data;
}

DWORD attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }
bool hidden(const std::wstring& path) {
    DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_HIDDEN);
}

std::wstring program_path() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

void clear_folder(const std::wstring& folder) {
    for (const wchar_t* name : {L"Vorn.exe", L"Vorn.exe.localconfig.opt", L"Vorn.exe.locallibrary.opt", L"autorun.inf"}) {
        SetFileAttributesW((folder + L"\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW((folder + L"\\" + name).c_str());
    }
    DeleteFileW((folder + L"\\vorn-configuration\\keep.txt").c_str());
    RemoveDirectoryW((folder + L"\\vorn-configuration").c_str());
    DeleteFileW((folder + L"\\vorn-configuration").c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

TEST_CASE("the portable copy: program, hidden markers, autorun.inf and the profile folder") {
    const std::wstring folder = scratch_folder(L"vorn-install-");
    const std::string source = utf8(program_path());
    install_portable_copy(utf8(folder).c_str(), source.c_str(), abort_never);

    CHECK(read_file(folder + L"\\Vorn.exe").size() == read_file(program_path()).size());
    CHECK(hidden(folder + L"\\Vorn.exe.localconfig.opt"));
    CHECK(hidden(folder + L"\\Vorn.exe.locallibrary.opt"));
    CHECK(read_file(folder + L"\\Vorn.exe.localconfig.opt").empty());
    const std::string autorun = read_file(folder + L"\\autorun.inf");
    CHECK(autorun.size() == 66);
    CHECK(autorun == "[autorun]\r\nopen=vorn.exe\r\nicon=vorn.exe\r\nlabel=Vorn Audio Player\r\n");
    CHECK(hidden(folder + L"\\autorun.inf"));
    CHECK((attributes(folder + L"\\vorn-configuration") & FILE_ATTRIBUTE_DIRECTORY) != 0);
    CHECK(hidden(folder + L"\\vorn-configuration"));

    SUBCASE("installing again replaces the files and keeps the profile folder's contents") {
        HANDLE keep = CreateFileW((folder + L"\\vorn-configuration\\keep.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        CloseHandle(keep);
        install_portable_copy((utf8(folder) + "\\").c_str(), source.c_str(), abort_never);
        CHECK(read_file(folder + L"\\autorun.inf").size() == 66);
        CHECK(attributes(folder + L"\\vorn-configuration\\keep.txt") != INVALID_FILE_ATTRIBUTES);
    }
    SUBCASE("a file named like the profile folder is reported, not left to break the copy") {
        clear_folder(folder);
        CreateDirectoryW(folder.c_str(), nullptr);
        HANDLE blocker = CreateFileW((folder + L"\\vorn-configuration").c_str(), GENERIC_WRITE, 0, nullptr,
                                     CREATE_ALWAYS, 0, nullptr);
        CloseHandle(blocker);
        CHECK_THROWS_AS(install_portable_copy(utf8(folder).c_str(), source.c_str(), abort_never), exception_win32);
    }
    clear_folder(folder);
}

TEST_CASE("a destination that cannot take the program fails before any other file is written") {
    const std::wstring folder = scratch_folder(L"vorn-install-missing-") + L"\\not-there";
    CHECK_THROWS_AS(install_portable_copy(utf8(folder).c_str(), utf8(program_path()).c_str(), abort_never),
                    exception_win32);
    CHECK(attributes(folder + L"\\autorun.inf") == INVALID_FILE_ATTRIBUTES);
    RemoveDirectoryW(folder.substr(0, folder.size() - 11).c_str());
}

TEST_CASE("the install wizard walks from the introduction to completion") {
    gui_test::registry_scope registry;
    const std::wstring folder = scratch_folder(L"vorn-wizard-");
    HWND host = install_wizard::open(nullptr);
    REQUIRE(host != nullptr);
    auto visible_page = [&]() -> HWND {
        for (HWND child = GetWindow(host, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t name[32] = {};
            GetClassNameW(child, name, 32);
            if (std::wstring(name) == L"#32770" && IsWindowVisible(child)) return child;
        }
        return nullptr;
    };
    HWND page1 = visible_page();
    REQUIRE(page1 != nullptr);
    CHECK(GetDlgItem(page1, IDC_INSTALL_LABEL1) != nullptr);
    gui_test::pump_for(0.3);
    gui_test::scenario_step("install-page1");

    SendMessageW(host, WM_COMMAND, IDOK, 0);
    HWND page2 = visible_page();
    REQUIRE(page2 != nullptr);
    REQUIRE(GetDlgItem(page2, IDC_INSTALL_DESTINATION) != nullptr);
    // An empty destination and a missing folder keep the wizard on page 2.
    SendMessageW(host, WM_COMMAND, IDOK, 0);
    CHECK(visible_page() == page2);
    dialog_item_set_text(page2, IDC_INSTALL_DESTINATION, (utf8(folder) + "\\missing").c_str());
    SendMessageW(host, WM_COMMAND, IDOK, 0);
    CHECK(visible_page() == page2);

    dialog_item_set_text(page2, IDC_INSTALL_DESTINATION, utf8(folder).c_str());
    gui_test::pump_for(0.2);
    gui_test::scenario_step("install-page2");
    SendMessageW(host, WM_COMMAND, IDOK, 0);
    CHECK(gui_test::pump_until([&] {
        HWND page = visible_page();
        kpl::utf8_string_pow2 text;
        if (page) dialog_item_get_text(page, IDC_INSTALL_STATUS, text);
        return std::string(text.c_str()) == "Installation complete.";
    }));
    kpl::utf8_string_pow2 next;
    dialog_item_get_text(host, IDOK, next);
    CHECK(std::string(next.c_str()) == "Finish");
    CHECK_FALSE(IsWindowEnabled(GetDlgItem(host, IDCANCEL)));
    CHECK(read_file(folder + L"\\autorun.inf").size() == 66);
    gui_test::scenario_step("install-done");
    SendMessageW(host, WM_COMMAND, IDOK, 0);  // Finish
    CHECK_FALSE(IsWindow(host));
    clear_folder(folder);
}

TEST_CASE("the install wizard reports a destination where the program cannot be written") {
    gui_test::registry_scope registry;
    const std::wstring folder = scratch_folder(L"vorn-wizard-denied-");
    // A folder named Vorn.exe in the way: the copy is refused. (Wine copies over a read-only file.)
    CreateDirectoryW((folder + L"\\Vorn.exe").c_str(), nullptr);
    HWND host = install_wizard::open(nullptr);
    REQUIRE(host != nullptr);
    SendMessageW(host, WM_COMMAND, IDOK, 0);
    HWND page2 = nullptr;
    for (HWND child = GetWindow(host, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (IsWindowVisible(child) && GetDlgItem(child, IDC_INSTALL_DESTINATION)) page2 = child;
    REQUIRE(page2 != nullptr);
    dialog_item_set_text(page2, IDC_INSTALL_DESTINATION, utf8(folder).c_str());
    SendMessageW(host, WM_COMMAND, IDOK, 0);
    std::string status;
    CHECK(gui_test::pump_until([&] {
        for (HWND child = GetWindow(host, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if (!IsWindowVisible(child) || !GetDlgItem(child, IDC_INSTALL_STATUS)) continue;
            kpl::utf8_string_pow2 text;
            dialog_item_get_text(child, IDC_INSTALL_STATUS, text);
            status = text.c_str();
        }
        return status.rfind("Installation failed.\r\n", 0) == 0;
    }));
    CHECK(status.size() > std::string("Installation failed.\r\n").size());  // the system's reason follows
    CHECK(attributes(folder + L"\\autorun.inf") == INVALID_FILE_ATTRIBUTES);  // nothing after the failed copy
    SendMessageW(host, WM_COMMAND, IDOK, 0);
    CHECK_FALSE(IsWindow(host));
    RemoveDirectoryW((folder + L"\\Vorn.exe").c_str());
    clear_folder(folder);
}

// --- children of the removable-drive script (install_removable_test.sh) ----------------------------------

namespace {

std::wstring environment(const wchar_t* name) {
    wchar_t value[1024] = {};
    GetEnvironmentVariableW(name, value, 1024);
    return value;
}

}  // namespace

TEST_CASE("install child: the wizard installs onto the removable drive" * doctest::skip()) {
    gui_test::registry_scope registry;
    const std::wstring drive = environment(L"VORN_INSTALL_DRIVE");  // "R:\"
    REQUIRE(!drive.empty());
    CHECK(GetDriveTypeW(drive.c_str()) == DRIVE_REMOVABLE);
    HWND host = install_wizard::open(nullptr);
    REQUIRE(host != nullptr);
    SendMessageW(host, WM_COMMAND, IDOK, 0);
    HWND page2 = nullptr;
    for (HWND child = GetWindow(host, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (IsWindowVisible(child) && GetDlgItem(child, IDC_INSTALL_DESTINATION)) page2 = child;
    REQUIRE(page2 != nullptr);
    dialog_item_set_text(page2, IDC_INSTALL_DESTINATION, utf8(drive).c_str());
    SendMessageW(host, WM_COMMAND, IDOK, 0);
    kpl::utf8_string_pow2 status;
    CHECK(gui_test::pump_until([&] {
        for (HWND child = GetWindow(host, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            if (IsWindowVisible(child) && GetDlgItem(child, IDC_INSTALL_STATUS)) dialog_item_get_text(child, IDC_INSTALL_STATUS, status);
        return std::string(status.c_str()) == "Installation complete.";
    }));
    gui_test::scenario_step("install-removable");
    SendMessageW(host, WM_COMMAND, IDOK, 0);
    CHECK(read_file(drive + L"Vorn.exe").size() == read_file(program_path()).size());
    CHECK(hidden(drive + L"autorun.inf"));
}

TEST_CASE("install child: the player's files onto the removable drive" * doctest::skip()) {
    const std::wstring folder = environment(L"VORN_INSTALL_DRIVE") + L"player";
    CreateDirectoryW(folder.c_str(), nullptr);
    install_portable_copy(utf8(folder).c_str(), utf8(environment(L"VORN_INSTALL_PLAYER")).c_str(), abort_never);
    CHECK(read_file(folder + L"\\autorun.inf").size() == 66);
}

TEST_CASE("install child: the copy starts in portable mode" * doctest::skip()) {
    read_program_path();
    read_portable_markers();
    choose_profile_folder();
    CHECK(app_state.portable_configuration);
    CHECK(app_state.portable_library);
    const std::wstring drive = environment(L"VORN_INSTALL_DRIVE");
    CHECK(std::string(app_state.profile_folder.c_str()) == "file://" + utf8(drive) + "vorn-configuration");
    CHECK(std::string(app_state.program_path.c_str()) == utf8(drive) + "Vorn.exe");
}
