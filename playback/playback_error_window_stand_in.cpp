// Stand-in for the playback error window until the window exists: messages are built as the window shows
// them and handed to the observer; no window opens.
#include "playback/playback_error_window.h"

#include "foundation/kpl/number_format.h"
#include "metadata/track_handle.h"

namespace {
playback_error_observer g_observer = nullptr;
void* g_context = nullptr;
}  // namespace

void playback_error_message(kpl::utf8_string& out, int kind, const char* text, double seconds,
                            const track_handle* track) {
    out.reset();
    const char* time = nullptr;
    kpl::utf8_string_fixed63 span = kpl::format_time_span_fraction(seconds, 3);
    switch (kind) {
        case playback_failure_open: out << "Unable to open item for playback ("; break;
        case playback_failure_seek: out << "Unable to seek to " << span.c_str() << " ("; time = ""; break;
        case playback_failure_decode: out << "Decoding failure at " << span.c_str() << " ("; time = ""; break;
        case playback_failure_resume: out << "Unable to resume decoding at " << span.c_str() << " ("; time = ""; break;
        case playback_failure_parse_info: out << "Unable to parse file information ("; break;
        default: out << "Unknown error ("; break;
    }
    (void)time;
    out << text << ")";
    if (kind >= 0 && kind <= 4) {
        kpl::utf8_string_pow2 location;
        track_handle::location_text(track, location);
        out << ":\r\n" << location.c_str();
    } else if (track) {
        kpl::utf8_string_pow2 location;
        track_handle::location_text(track, location);
        out << ":\r\n" << location.c_str();
    }
}

void playback_fatal_error_message(kpl::utf8_string& out, const char* text) {
    out.reset();
    out << "Unrecoverable playback error: " << text;
}

void playback_error_window_add(const char* message) {
    if (g_observer) g_observer(message, g_context);
}

void playback_error_window_reset_wait() {}

void playback_error_window_set_observer(playback_error_observer observer, void* context) {
    g_observer = observer;
    g_context = context;
}

HWND playback_error_window_handle() { return nullptr; }
uint32_t playback_error_window_count() { return 0; }
void playback_error_window_set_clock(uint32_t (*)()) {}
