#pragma once
// The properties dialog: the Metadata tab (one row per field, edited in place or through the field
// editors) and the Properties tab (the Details rows), over the tracks it was opened for. Changes stay in
// the dialog until Apply or OK writes them through the tag operations.
//
//     open_properties_dialog(tracks, 0);     // the context command: load behind a progress window, then
//                                            // the modeless dialog (Shift held: the Properties tab)
//
// Initial tab value: 1 Metadata, 2 Properties, anything else Properties while Shift is held, else Metadata.
// Main thread only; from another thread it writes an error to the debugger output and does nothing.

#include <cstdint>
#include <vector>

#include "metadata/track_handle.h"

void open_properties_dialog(const std::vector<track_handle_ref>& tracks, int initial_tab);

// Called once for every dialog that opened (its caption) and that closed; for the console tool.
struct properties_dialog_events {
    virtual void on_opened(const char* caption) = 0;
    virtual void on_closed() = 0;
    // The load before opening finished without a dialog (failed or aborted load).
    virtual void on_open_failed() = 0;

protected:
    ~properties_dialog_events() = default;
};
void properties_dialog_set_events(properties_dialog_events* events);
