// The playback-listener part of a window object: in the playback listener registry from the owner's
// construction until the part goes, and never changed from inside a playback notification.
#include <doctest/doctest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "foundation/kpl/exceptions.h"
#include "foundation/win32/playback_listener_base.h"
#include "foundation/win32/window_object.h"
#include "playback/listener_registry.h"
#include "playback/playback_controller.h"
#include "tests/metadata/crash_probe.h"
#include "tests/support/gui_support.h"

namespace {

// A window that follows the playback time, added as it is constructed.
class time_window : public window_object, public playback_listener_base {
public:
    explicit time_window(uint32_t mask) { add_playback_listener(mask); }
    bool process_message(HWND, UINT, WPARAM, LPARAM, LRESULT&, DWORD) override { return false; }
};

}  // namespace

TEST_CASE("a window object with the playback-listener part is registered exactly while it lives") {
    gui_test::registry_scope registry;
    static window_class frame_class(L"Vorn:TestPlaybackListener");
    const playback_listener* first_part = nullptr;
    {
        time_window first(playback_event_time | playback_event_stopped);
        time_window second(playback_event_volume);
        first_part = &first;
        HWND window = atl_window::create(&first, nullptr, nullptr, "listening", WS_POPUP, 0, 0, frame_class);
        REQUIRE(window != nullptr);

        uint32_t mask = 0;
        CHECK(playback_listener_registered(&first, &mask));
        CHECK(mask == (playback_event_time | playback_event_stopped));
        CHECK(playback_listener_registered(&second, &mask));
        CHECK(mask == playback_event_volume);

        first.add_playback_listener(playback_event_seek);  // already added: stays as it was
        CHECK(playback_listener_registered(&first, &mask));
        CHECK(mask == (playback_event_time | playback_event_stopped));

        second.remove_playback_listener();
        CHECK_FALSE(playback_listener_registered(&second));
        CHECK(playback_listener_registered(&first));  // the other entry stays
        second.remove_playback_listener();             // not added: nothing

        DestroyWindow(window);
        CHECK(playback_listener_registered(&first));  // the part goes with the object, not the window
    }
    CHECK_FALSE(playback_listener_registered(first_part));
}

TEST_CASE("probe: change the playback listeners inside a notification" * doctest::skip()) {
    metadata_test::crash_probe_child_setup();
    gui_test::registry_scope registry;
    std::unique_ptr<time_window> window(new time_window(playback_event_time));
    playback_listener_dispatch_active = true;
    if (metadata_test::crash_probe_argument() == "add") {
        new time_window(playback_event_volume);  // never released: the child ends below
    } else {
        window->remove_playback_listener();
    }
    playback_listener_dispatch_active = false;
    ExitProcess(0);  // no crash: the parent sees 0
}

TEST_CASE("adding or removing a playback listener inside a notification stops the process") {
    for (const char* step : {"add", "remove"}) {
        INFO(step);
        CHECK(metadata_test::crash_probe_run("probe: change the playback listeners inside a notification", step) ==
              kpl::crash_exception_code);
    }
}
