#pragma once
// Dialog objects: dialogs from resources (or from templates in memory) bound to window objects, run modally
// inside a modal_scope or modelessly with keyboard navigation from the main loop.
//
//   class rename_dialog : public dialog_object {
//       bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
//           if (message == WM_INITDIALOG) {
//               static const dialog_text texts[] = {{dialog_caption, "dialog_rename"}, {IDOK, "dialog_ok"}};
//               dialog_set_texts(dialog, texts, 2);
//               result = TRUE;
//               return true;
//           }
//           if (message == WM_COMMAND && LOWORD(wparam) == IDOK) { EndDialog(dialog, IDOK); return true; }
//           return false;
//       }
//   };
//   rename_dialog dialog;
//   if (dialog.run_modal(owner, IDD_RENAME) == IDOK) ...      // a failure inside is thrown here, afterwards
//
//   auto* tool = new tool_window;                               // modeless: deletes itself in on_final_message
//   tool->create_modeless(owner, IDD_TOOL);                     // exception_win32 when it cannot be made
//
// A modal dialog enters a modal_scope for its window at WM_INITDIALOG and leaves it when it has ended. A
// modeless dialog is in the modeless_dialog_registry (IsDialogMessage routing) exactly between its
// WM_INITDIALOG and WM_DESTROY. An exception escaping process_message of a modal dialog ends the dialog and
// is thrown from run_modal after DialogBoxParamW has returned; one escaping during create_modeless is thrown
// from create_modeless after the window was destroyed; later ones end the process through the crash path.

#include <windows.h>

#include <cstddef>

#include "foundation/win32/modal_scope.h"
#include "foundation/win32/window_object.h"

// The window currently registered by a modeless dialog with the modeless_dialog_registry.
//
//   modeless_dialog_ref ref;
//   ref.set(dialog);     // registers the window (the previous one is removed first)
//   ref.clear();         // removes it; also done when the holder goes
class modeless_dialog_ref {
public:
    modeless_dialog_ref() = default;
    ~modeless_dialog_ref() { clear(); }
    modeless_dialog_ref(const modeless_dialog_ref&) = delete;
    modeless_dialog_ref& operator=(const modeless_dialog_ref&) = delete;

    // Removes the window registered before, then registers `window` (null: only the removal). Nothing is
    // registered while no registry service runs.
    void set(HWND window);
    void clear() { set(nullptr); }
    HWND get() const { return m_window; }

private:
    HWND m_window = nullptr;
};

// One row of a dialog's text table: the control (dialog_caption: the dialog's own title) and the id of its
// text in the language table.
struct dialog_text {
    int control;
    const char* text_id;
};
constexpr int dialog_caption = 0;

// Sets each control's text from the language table. A text id the table lacks (or gives as empty) leaves
// the resource's own text in place, so a dialog never loses its labels to a missing translation.
void dialog_set_texts(HWND dialog, const dialog_text* table, size_t count);

class dialog_object : public window_object {
public:
    // Runs the dialog modally (DialogBoxParamW) and answers EndDialog's code, or -1 when it could not be
    // created (GetLastError tells why). Rethrows an exception that escaped the dialog's handler.
    INT_PTR run_modal(HWND parent, int resource_id);
    INT_PTR run_modal_indirect(HWND parent, const DLGTEMPLATE* dialog_template);
    // Creates the dialog modelessly (CreateDialogParamW). exception_win32 (ERROR_OUTOFMEMORY when the
    // thunk cannot be had) when it cannot be created; an exception of the handler during creation is thrown
    // after the window was destroyed.
    HWND create_modeless(HWND parent, int resource_id);
    HWND create_modeless_indirect(HWND parent, const DLGTEMPLATE* dialog_template);

    bool is_modal() const { return m_modal; }

protected:
    // Ends a modal dialog when an exception was kept.
    void on_exception_captured(HWND window) override;
    // The dialog host's routing: modal scope or modeless registration, then process_message.
    bool route_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override;

private:
    INT_PTR run(HWND parent, const wchar_t* resource, const DLGTEMPLATE* dialog_template);
    HWND create(HWND parent, const wchar_t* resource, const DLGTEMPLATE* dialog_template);

    bool m_modal = false;
    modal_scope m_scope;
    modeless_dialog_ref m_modeless;
};
