#pragma once
// Calls into the Windows shell: opening files and folders, showing files in Explorer, picking a folder,
// and the folders of the user's known places.
//
//   shell_execute(owner, nullptr, "https://example.org/");       // default verb, inside a modal scope
//   kpl::utf8_string_pow2 folder("C:\\Music");
//   if (pick_folder(owner, "Add folder", folder)) add(folder);   // folder now holds the choice
//   const char* names[] = {"a.flac", "b.flac"};
//   shell_select_in_folder("C:\\Music\\", names, 2);            // Explorer on C:\Music with both selected
//
// The calls that start other programs or show interactive dialogs go through the process-wide
// shell_calls object, which tests replace so that nothing starts (Explorer started by a test under Wine
// keeps running and holds the test's output open):
//
//   struct recorder : shell_calls { ... };      // every operation records its arguments and answers
//   recorder fake;
//   shell_calls_override use(fake);             // until `use` goes

#include <windows.h>

#include <cstddef>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/string_array.h"
#include "foundation/win32/win_string.h"

// The outcome of selecting items in an Explorer window: the step that failed (or `opened` when the shell
// was asked to open the window) and its result code.
struct shell_select_result {
    enum step_kind {
        opened,        // SHOpenFolderAndSelectItems was called; hr is its answer
        no_desktop,    // the desktop folder object could not be had
        parse_folder,  // the folder's name could not be parsed
        bind_folder,   // the folder could not be opened as a shell folder
        parse_item,    // an item's name could not be parsed in the folder (the first such one)
    };
    step_kind step;
    HRESULT hr;
};

class shell_calls {
public:
    // ShellExecuteW(parent, verb, file, no parameters, no working folder, SW_SHOW); its result.
    virtual INT_PTR execute(HWND parent, const win_string_param& verb, const char* file) = 0;
    // An Explorer window on the folder (native path) with the named items (names inside it) selected.
    virtual shell_select_result select_in_folder(const char* folder, const char* const* names, size_t count) = 0;
    // The interactive folder picker; true when a folder was chosen, which then replaces `folder`.
    virtual bool pick_folder(HWND parent, const char* title, kpl::utf8_string& folder) = 0;

protected:
    ~shell_calls() = default;
};

// ShellExecuteW through the current shell_calls, inside a modal_scope for the parent when one is given.
INT_PTR shell_execute(HWND parent, const win_string_param& verb, const char* file);
// select_in_folder of the current shell_calls.
shell_select_result shell_select_in_folder(const char* folder, const char* const* names, size_t count);
// The folder picker of the current shell_calls. On Windows 6.0 and later the shell's item dialog in folder
// mode, else (or when that dialog cannot be made) the older folder browser; both start at `folder` when it
// is not empty and are shown inside a modal_scope.
bool pick_folder(HWND parent, const char* title, kpl::utf8_string& folder);

// The folders of a known folder: the folders of its shell library, in library order, or else the legacy
// folder for Music, Pictures, Videos and Documents. False (out untouched) when there is none, for another
// known folder on a system without libraries, or when the list would be empty. COM must be initialised.
bool known_folder_paths(const kpl::guid& known_folder, kpl::string_array& out);

// Installs another shell_calls until it goes; the previous one comes back then. Main thread.
class shell_calls_override {
public:
    explicit shell_calls_override(shell_calls& calls);
    ~shell_calls_override();
    shell_calls_override(const shell_calls_override&) = delete;
    shell_calls_override& operator=(const shell_calls_override&) = delete;

private:
    shell_calls* m_previous;
};
