#pragma once
// The common end of the properties dialog's modeless sub-dialogs: disable the window, report the result,
// destroy the window; the object goes with its window.
//
//     class split_dialog final : public properties_sub_dialog { ... end(1); ... };
//     (new split_dialog(...))->open(owner, IDD_SPLIT_VALUES);     // exception_win32 when it cannot be made

#include <windows.h>

#include "foundation/win32/dialog.h"
#include "properties/field_editors.h"

class properties_sub_dialog : public dialog_object {
public:
    explicit properties_sub_dialog(properties_done done) : m_done(std::move(done)) {}

    // Creates the modeless window; the object is freed when creation fails.
    void open(HWND owner, int resource) {
        try {
            create_modeless(owner, resource);
        } catch (...) {
            if (!handle()) delete this;
            throw;
        }
    }

protected:
    void end(int code) {
        if (m_ended) return;
        m_ended = true;
        HWND window = handle();
        EnableWindow(window, FALSE);
        properties_done done = std::move(m_done);
        if (done) done(code);
        DestroyWindow(window);
    }
    void on_final_message(HWND) override { delete this; }

private:
    properties_done m_done;
    bool m_ended = false;
};

// UTF-8 to UTF-16 for control texts.
std::wstring properties_wide(const char* text);
