#pragma once
// The SysLink lines of the main window (caption 1067, navigation 1068, now playing 1079 and 1080): the
// window text a line's markup becomes, and where each of its links leads.
//
// Markup is built with navigation_text (library/list_text.h): plain and link texts get a blank around
// each "<" or ">" that has none, so user text cannot form markup, and links are "<a>" + text + "</a>".
// When the markup is set on the control every "&" is doubled (SysLink would otherwise take it as a
// mnemonic prefix):
//
//     navigation_text line;
//     line.append_text(L"Artist: ");
//     line.append_link(L"Earth, Wind & Fire", key);      // target: kind 0, [["[all genres]"], [...]]
//     syslink_window_text(line.markup());                // "Artist: <a>Earth, Wind && Fire</a>"
//
//     link_targets targets;
//     targets.set(1080, line.targets());                 // replaces 1080's records
//     targets.find(1080, 0);                             // the artist's place; null for index 1
//
// Main thread only.

#include <map>
#include <string>
#include <vector>

#include "library/list_text.h"

// The UTF-16 window text of UTF-8 markup, every "&" doubled.
std::wstring syslink_window_text(const std::string& markup);

// Link targets per control id, by the link's index among that control's links (0, 1, 2 ... in the order
// written).
class link_targets {
public:
    // Replaces the control's records.
    void set(int control_id, const std::vector<view_path>& targets);
    void clear(int control_id);
    // The target of link `index` of the control, or null when none was recorded.
    const view_path* find(int control_id, size_t index) const;

private:
    std::map<int, std::vector<view_path>> m_targets;
};
