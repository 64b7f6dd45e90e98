#pragma once
// "Show in Explorer": the folder of the selected tracks in the Windows shell, with their files selected.
//
//     show_in_explorer_applicable(tracks);   // false for none, for a track that is no local file, or for
//                                            // tracks of more than one folder (the command is then grayed)
//     show_in_explorer_run(tracks);          // Explorer on the folder, each file selected once
//
// Shell failures are shown as an "Information" popup; when the shell cannot select the files, the folder is
// opened without a selection.

#include "foundation/kpl/string_array.h"
#include "shell/command_model.h"

// The rule over the tracks' locations ("file://..." texts).
bool show_in_explorer_applicable_paths(const kpl::string_array& locations);
bool show_in_explorer_applicable(const track_handle_list& tracks);
// The file names to select: the name part of each location up to a '?' (the subsong), each once regardless
// of letter case, in case-insensitive order.
void show_in_explorer_names(const kpl::string_array& locations, kpl::string_array& out);
void show_in_explorer_run(const track_handle_list& tracks);

// A popup "Information: " + text titled "Information" (localized).
void popup_information_error(const char* text);
