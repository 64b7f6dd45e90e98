#pragma once
// Where opening a list of files and folders leads (command line, a second instance, dropped files).
//
//     open_plan plan = plan_open_locations({L"D:\\A\\1.flac", L"D:\\A\\2.flac"}, is_folder);
//     // folder "D:\A", names {"1.flac", "2.flac"}: open D:\A with both selected (and play them)
//     plan = plan_open_locations({L"D:\\A"}, is_folder);
//     // folder "D:\A", no names, directory_only: open D:\A itself, nothing plays
//
// The folder is the text before the last backslash of the first location that has one; the names are the
// texts after the last backslash of every location (a location without one is a name as a whole). One
// location that, as folder + "\" + name, is a directory opens that directory, with no names and no play.

#include <string>
#include <vector>

#include "library/list_text.h"

struct open_plan {
    std::wstring folder;
    std::vector<std::wstring> names;
    // One location naming a directory: open `folder`, select nothing, play nothing.
    bool directory_only = false;
};

open_plan plan_open_locations(const std::vector<std::wstring>& locations,
                              bool (*is_directory)(const std::wstring& path));
// The file system's answer (GetFileAttributesW).
bool path_is_directory(const std::wstring& path);

// A command-line or forwarded location without a leading "file://".
std::wstring without_file_scheme(const std::wstring& location);

// The folder tree place of the playing track's folder: the path without "file://", up to its last
// backslash, as folder components; false when it has no backslash.
//     "file://D:\\A\\1.flac" -> kind 1 [["D:"], ["A"]]
bool playing_track_folder(const char* path, view_path& out);
