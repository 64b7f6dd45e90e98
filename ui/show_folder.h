#pragma once
// "Show in Explorer" for a folder of the browse views: the folder in the system's file manager with the
// selected rows' names selected.
//
//     show_folder_in_explorer(L"D:\\Music\\Alpha", {L"01.flac"});   // opens D:\Music\Alpha, 01.flac selected
//
// The folder or a name the shell cannot parse throws exception_win32 (the caller ignores it); when the shell
// cannot select the items (any failure but a cancel), the folder is opened without a selection. Main thread.
#include <string>
#include <vector>

void show_folder_in_explorer(const std::wstring& folder, const std::vector<std::wstring>& names);
