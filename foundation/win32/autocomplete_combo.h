#pragma once
// Autocomplete for the history drop-down fields: the combo box's list is filled from the field value
// history, its text cleared, and its edit suggests and completes from the same history (read again each
// time the suggestions start over).
//
//     autocomplete_attach_combo(GetDlgItem(dialog, IDC_ARTIST));
//
// The caller has initialised COM on the thread. Without the system's autocomplete object (or without an
// edit in the combo) the list is still filled and false is answered; nothing else happens.

#include <windows.h>
#include <objidl.h>

bool autocomplete_attach_combo(HWND combo);

// The combo's suggestions: the history's values, read again (under the history's lock) at every Reset.
// The caller releases it.
IEnumString* autocomplete_history_source();
