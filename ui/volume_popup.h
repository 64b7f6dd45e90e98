#pragma once
// The volume popup: a small borderless dialog holding one VolumeSlider, placed with its top edge at the
// anchor and centred on it, that runs its own message loop until it loses activation or gets Escape. It
// follows the player's volume through a playback listener (mask playback_event_volume, with replay) and sets
// it through the target. A WM_QUIT arriving while it is open closes it and is posted again for the caller's
// loop.
//
//     class controller_volume : public volume_popup::target { void set_volume(float db) override {...} };
//     POINT under_button = {button.left + width / 2, button.bottom};   // screen coordinates
//     volume_popup::run(main_window, under_button, volume, listeners);
//
// Main thread only; run returns when the popup has closed.

#include <windows.h>

class playback_listener_registry;

namespace volume_popup {

class target {
public:
    virtual void set_volume(float db) = 0;

protected:
    ~target() = default;
};

// listeners may be null (the slider then starts at the top until moved). Failures to make the window or of
// GetMessageW throw exception_win32.
void run(HWND owner, POINT anchor, target& volume, playback_listener_registry* listeners);

}  // namespace volume_popup
