// Absolute paths, switches offered to the handlers (pending handlers, help, unknown switches through the
// popup notice), locations from files, folders, wildcards and URLs, and the command line handed to the
// main window.
#include <doctest/doctest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/kpl/text_compare.h"
#include "shell/app_state.h"
#include "shell/command_line.h"
#include "tests/shell/shell_fixtures.h"

namespace {

// A handler that takes "/collect" (and the plain arguments after it) and "/one"; it records what it sees.
struct handler_log {
    std::vector<std::string> switches, taken;
    int done = 0;
    bool folders = false;
} g_handler;

class collecting_handler final : public service_static<command_line_switch_handler> {
public:
    uint32_t handle_switch(const char* text) override {
        g_handler.switches.push_back(text);
        if (kpl::stricmp_ascii(text, "/collect") == 0) return handled_with_arguments;
        if (std::string(text) == "/one") return handled;
        return not_mine;
    }
    void take_argument(const char* location) override { g_handler.taken.push_back(location); }
    void arguments_done() override { ++g_handler.done; }
    bool accepts_folders() override { return g_handler.folders; }
};
service_factory_single<collecting_handler, command_line_switch_handler> g_collecting;

struct dispatch_result {
    std::vector<std::string> locations;
    uint32_t flags = 0;
    std::vector<std::string> notices;  // the texts of the "Error" notices shown
};

dispatch_result dispatch(const std::string& line, const std::string& base) {
    shell_test::take_notices("Error");
    kpl::string_array args = split_command_line(line.c_str());
    kpl::string_array locations;
    dispatch_result result;
    result.flags = 0xF0;
    dispatch_command_line(args, locations, result.flags, base.c_str());
    for (const auto& l : locations) result.locations.push_back(l.c_str());
    result.notices = shell_test::take_notices("Error");
    return result;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

struct dispatch_fixture {
    shell_test::running_services services;
    shell_test::scratch_folder music{"vorn-dispatch-test"};
    std::string url;  // "file://" + the folder
    dispatch_fixture() {
        g_handler = handler_log();
        music.file("a.flac");
        music.file("b.FLAC");
        music.file("c.txt");
        music.folder("x.flac");
        music.file("x.flac\\inner.wav");
        music.folder(".hidden.flac");
        music.file(".hidden.flac\\h.flac");
        url = "file://" + music.path;
    }
};

}  // namespace

TEST_CASE("make_absolute_path: drives, URLs, UNC and long-path prefixes kept; the rest against the base") {
    struct path_case {
        const char* argument;
        const char* base;
        const char* expected;
    };
    const path_case cases[] = {
        {"a.flac", "C:\\Music", "C:\\Music\\a.flac"},
        {"a.flac", "C:\\Music\\", "C:\\Music\\a.flac"},
        {"sub/dir/a.flac", "C:\\Music", "C:\\Music\\sub\\dir\\a.flac"},
        {"\\top\\a.flac", "D:\\Music", "D:\\top\\a.flac"},
        {"\\top\\a.flac", "file://D:\\Music", "D:\\top\\a.flac"},
        {"/top/a.flac", "\\\\server\\share", "\\top\\a.flac"},
        {"E:", "C:\\Music", "E:\\"},
        {"E:x.flac", "C:\\Music", "E:x.flac"},
        {"\\\\?\\C:\\long\\a.flac", "D:\\", "C:\\long\\a.flac"},
        {"http://host/stream.ogg", "C:\\", "http://host/stream.ogg"},
        {"\\\\server\\share\\a.flac", "C:\\", "\\\\server\\share\\a.flac"},
        {"..\\up.flac", "C:\\Music", "C:\\Music\\..\\up.flac"},
    };
    for (const path_case& c : cases) {
        INFO(c.argument << " in " << c.base);
        CHECK(std::string(make_absolute_path(c.argument, c.base).c_str()) == c.expected);
    }
}

TEST_CASE("dispatch: switches, pending handlers, help and unknown switches") {
    dispatch_fixture fixture;
    struct switch_case {
        const char* line;
        std::vector<std::string> offered;  // what the test handler saw
        std::vector<std::string> taken;
        int done;
        const char* notice;  // the "Error" notice expected, or null for none
    };
    const switch_case cases[] = {
        {"vorn.exe /quiet /MAKEREADONLY /Quiet", {}, {}, 0, nullptr},
        {"vorn.exe /help /?", {"/help", "/?"}, {}, 0, nullptr},
        {"vorn.exe /bogus", {"/bogus"}, {}, 0, "unknown commandline parameter: /bogus"},
        {"vorn.exe -play", {"-play"}, {}, 0, "unknown commandline parameter: -play"},
        {"vorn.exe -quiet", {"-quiet"}, {}, 0, "unknown commandline parameter: -quiet"},
        {"vorn.exe /one", {"/one"}, {}, 0, nullptr},
        {"vorn.exe /collect a.flac http://h/x /one", {"/collect", "/one"}, {"A", "http://h/x"}, 1, nullptr},
        {"vorn.exe /COLLECT a.flac", {"/COLLECT"}, {"A"}, 1, nullptr},
    };
    for (const switch_case& c : cases) {
        INFO(c.line);
        g_handler = handler_log();
        dispatch_result r = dispatch(c.line, fixture.music.path);
        // The built-in handler may come first and take a built-in switch: only the test handler's own
        // switches are certain to reach it.
        CHECK(g_handler.switches == c.offered);
        std::vector<std::string> taken;
        for (const std::string& t : g_handler.taken) taken.push_back(t == fixture.url + "\\a.flac" ? "A" : t);
        CHECK(taken == c.taken);
        CHECK(g_handler.done == c.done);
        if (c.notice) CHECK(shell_test::joined(r.notices) == c.notice);
        else CHECK(r.notices.empty());
        CHECK(r.locations.empty());
    }

    // Built-in switches in any case, "/lang" swallowing what follows: no notice and no location.
    for (const char* line : {"vorn.exe /PLAY /Pause /stop /prev /next /show /hide", "vorn.exe /lang 0x409 x.mp3"}) {
        INFO(line);
        dispatch_result r = dispatch(line, fixture.music.path);
        CHECK(r.notices.empty());
        CHECK(r.locations.empty());
        CHECK((r.flags & command_line_no_arguments) == (std::string(line).find("x.mp3") != std::string::npos ? 0u : 1u));
    }
}

TEST_CASE("dispatch: files, folders, wildcards and URLs become canonical locations") {
    dispatch_fixture fixture;
    const std::string& url = fixture.url;
    struct location_case {
        std::string line;
        std::vector<std::string> expected;  // sorted
        bool no_arguments;
    };
    const std::vector<location_case> cases = {
        {"vorn.exe", {}, true},
        {"vorn.exe \"\" /one", {}, true},
        {"vorn.exe a.flac", {url + "\\a.flac"}, false},
        {"vorn.exe missing.flac", {url + "\\missing.flac"}, false},
        {"vorn.exe " + fixture.music.path + "\\c.txt", {url + "\\c.txt"}, false},
        {"vorn.exe http://host/a.ogg", {"http://host/a.ogg"}, false},
        {"vorn.exe x.flac", {url + "\\x.flac"}, false},
        {"vorn.exe x.flac\\\\", {url + "\\x.flac"}, false},
        {"vorn.exe *.flac", {url + "\\a.flac", url + "\\b.FLAC", url + "\\x.flac"}, false},
        {"vorn.exe ?.txt", {url + "\\c.txt"}, false},
        {"vorn.exe nothing*.ogg", {}, false},
    };
    for (const location_case& c : cases) {
        INFO(c.line);
        dispatch_result r = dispatch(c.line, fixture.music.path);
        CHECK(sorted(r.locations) == c.expected);
        CHECK(((r.flags & command_line_no_arguments) != 0) == c.no_arguments);
        CHECK((r.flags & 0xF0) == 0xF0);
    }

    // A pending handler takes the locations; one that takes no folders gets a folder's files instead.
    g_handler = handler_log();
    dispatch("vorn.exe /collect x.flac *.flac", fixture.music.path);
    CHECK(sorted(g_handler.taken) == std::vector<std::string>{url + "\\a.flac", url + "\\b.FLAC",
                                                              url + "\\x.flac\\inner.wav", url + "\\x.flac\\inner.wav"});
    g_handler = handler_log();
    g_handler.folders = true;
    dispatch("vorn.exe /collect x.flac", fixture.music.path);
    CHECK(g_handler.taken == std::vector<std::string>{url + "\\x.flac"});
}

TEST_CASE("process_command_line: only while the services run; locations go to the main window") {
    dispatch_fixture fixture;
    HWND saved = app_state.main_window;
    HWND stand_in = CreateWindowExW(0, L"STATIC", L"main", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    app_state.main_window = stand_in;
    {
        shell_test::captured_log log;
        process_command_line("vorn.exe a.flac /bogus", false, fixture.music.path.c_str());
        CHECK(log.contains(("Open location: " + fixture.url + "\\a.flac").c_str()));
        CHECK(shell_test::joined(shell_test::take_notices("Error")) == "unknown commandline parameter: /bogus");
    }
    app_state.main_window = nullptr;
    {
        shell_test::captured_log log;
        process_command_line("vorn.exe a.flac", false, fixture.music.path.c_str());
        CHECK_FALSE(log.contains("Open location"));
    }
    app_state.main_window = stand_in;
    service_registry::release_table();
    {
        shell_test::captured_log log;
        process_command_line("vorn.exe a.flac /bogus", false, fixture.music.path.c_str());
        CHECK(std::string(log.text.c_str()).empty());
        CHECK(shell_test::take_notices("Error").empty());
    }
    service_registry::start();
    app_state.main_window = saved;
    DestroyWindow(stand_in);
}
