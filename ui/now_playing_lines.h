#pragma once
// The two now-playing lines (1079, 1080) as SysLink markup, with the link targets of line 2 and the place
// of the playing album in the library view (where "go to the playing track" leads).
//
//     controller_now_playing_source source(*controller);      // compiles the seven scripts once
//     now_playing_lines lines;
//     build_now_playing_lines(lines, source, true);          // played from the library view
//     // line 1: "<a>Song</a> [0:12 / 3:45]"
//     // line 2: "by <a>A</a>, <a>B</a>, from <a>X [2001]</a> by <a>C</a>"
//     // lines.line2.targets(): artist A, artist B, album X [2001] by C, artist C
//     // lines.has_album_location: true, album_location {artists [C], album "X [2001]"}
//
// Line 1: the title as a link (no target: a click goes to the playing track), then the time script
// " [time / length]". With no playing track line 1 is "ui_notice_playback_starting" while the controller
// is playing, else "ui_notice_playback_stopped"; line 2 is empty and no album place is recorded.
//
// Line 2 (prefixes through append_prefix, so a blank follows each): when the artist is known,
// "ui_np_artist_prefix" and the artist names joined by ", ";
// the names are the artist field's values, cut as the library view cuts them (library_value_texts), so
// "Earth, Wind & Fire" is one name and the values "A" and "B" are two. An unknown artist ("?") gives
// "ui_np_unknown_artist". When the album is known: ", ", "ui_np_album_prefix" and the label
// (album, then " [date]" when a date is given); then, when the track has its own artist besides the album
// artist, the "ui_np_album_suffix" text with "{artist}" replaced by the album artist names. A name list
// that comes out empty (a field without values) is the script's text as one name.
// Links (targets in the library view) are written only when `library_mode` (playback started from the
// library view); otherwise the same words are plain text. The album label is a link, and its place is
// recorded, only when its album artist is known; an album whose album artist is unknown is plain text.
// Main thread only.

#include <string>
#include <vector>

#include "library/list_text.h"
#include "metadata/title_formatting/title_script.h"

class playback_controller;

// The playing track as the lines need it.
class now_playing_source {
public:
    // Scripts, in this order.
    enum script_id {
        title,               // "%title%"
        time,                // " '['%playback_time%[ / %length%]']'"
        artist,              // "%artist%"
        suffix_artist,       // "$if(%track artist%,%album artist%,)"
        album,               // "%album%"
        album_artist,        // "%album artist%"
        date,                // "[%date%]"
        script_count
    };
    static const char* const script_texts[script_count];

    // The script's text for the playing track (a field without a value gives "?"); false when no track
    // plays.
    virtual bool format(script_id script, std::string& out) = 0;
    virtual bool is_playing() = 0;
    // The playing track's artist values and album artist values (the album artist's, else the artist's),
    // as library keys are made of them.
    virtual void artist_values(std::vector<std::wstring>& out) = 0;
    virtual void album_artist_values(std::vector<std::wstring>& out) = 0;

protected:
    ~now_playing_source() = default;
};

// The source of the program: the controller's title formatting and the playing track's browse record.
class controller_now_playing_source final : public now_playing_source {
public:
    explicit controller_now_playing_source(playback_controller& controller);
    bool format(script_id script, std::string& out) override;
    bool is_playing() override;
    void artist_values(std::vector<std::wstring>& out) override;
    void album_artist_values(std::vector<std::wstring>& out) override;

private:
    playback_controller& m_controller;
    title_script_ref m_scripts[script_count];
};

struct now_playing_lines {
    syslink_text line1;
    navigation_text line2;
    bool has_album_location = false;
    library_view_key album_location;
};

void build_now_playing_lines(now_playing_lines& out, now_playing_source& source, bool library_mode);
