#include "shell/install_wizard.h"

#include <shlwapi.h>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/tasks/background_worker.h"
#include "foundation/win32/dialog.h"
#include "foundation/win32/shell.h"
#include "foundation/win32/system_paths.h"
#include "foundation/win32/window_text.h"
#include "resources/resource_ids.h"
#include "foundation/kpl/text_lookup.h"

namespace {

kpl::array<wchar_t> wide(const kpl::utf8_string& text) {
    kpl::array<wchar_t> out;
    utf8_to_wide(text.c_str(), out);
    return out;
}

void create_hidden_empty(const kpl::utf8_string& path) {
    HANDLE file = CreateFileW(wide(path).data(), 0, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) exception_win32::throw_last_error();
    CloseHandle(file);
}

// A page of the wizard: a child dialog whose texts come from the language table.
class wizard_page final : public dialog_object {
public:
    wizard_page(const dialog_text* texts, size_t count) : m_texts(texts), m_count(count) {}

    bool process_message(HWND page, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
        if (message == WM_INITDIALOG) {
            dialog_set_texts(page, m_texts, m_count);
            if (GetDlgItem(page, IDC_INSTALL_BROWSE) != nullptr)
                SHAutoComplete(GetDlgItem(page, IDC_INSTALL_DESTINATION), SHACF_FILESYS_ONLY);
            result = TRUE;
            return true;
        }
        if (message == WM_COMMAND && LOWORD(wparam) == IDC_INSTALL_BROWSE) {
            kpl::utf8_string_pow2 folder, title;
            dialog_item_get_text(page, IDC_INSTALL_DESTINATION, folder);
            kpl::lookup_text("dialog_choose_destination_folder", title);
            if (pick_folder(page, title.length() ? title.c_str() : "Choose destination folder", folder))
                dialog_item_set_text(page, IDC_INSTALL_DESTINATION, folder);
            return true;
        }
        return false;
    }

private:
    const dialog_text* m_texts;
    size_t m_count;
};

const dialog_text k_intro_texts[] = {{IDC_INSTALL_LABEL1, "install_page1_label1"},
                                     {IDC_INSTALL_LABEL2, "install_page1_label2"}};
const dialog_text k_destination_texts[] = {{IDC_INSTALL_DESTINATION_LABEL, "install_page2_destination"}};
const dialog_text k_working_texts[] = {{IDC_INSTALL_STATUS, "install_page3_working"}};
const dialog_text k_done_texts[] = {{IDC_INSTALL_STATUS, "install_page4_complete"}};

class wizard final : public dialog_object, public background_worker {
public:
    wizard()
        : m_pages{{k_intro_texts, 2}, {k_destination_texts, 1}, {k_working_texts, 1}, {k_done_texts, 1}} {}
    ~wizard() override { abort(); }

    bool process_message(HWND host, UINT message, WPARAM wparam, LPARAM, LRESULT& result, DWORD) override {
        switch (message) {
            case WM_INITDIALOG:
                open(host);
                result = TRUE;
                return true;
            case WM_COMMAND:
                if (LOWORD(wparam) == IDOK) {
                    if (m_page == 2 && !destination_valid()) return true;
                    if (m_page == 4) {
                        DestroyWindow(host);
                    } else {
                        next_page();
                    }
                    return true;
                }
                if (LOWORD(wparam) == IDCANCEL) {
                    if (IsWindowEnabled(GetDlgItem(host, IDCANCEL))) DestroyWindow(host);
                    return true;
                }
                return false;
            default:
                return false;
        }
    }

private:
    void on_final_message(HWND) override {
        if (m_self_owned) delete this;
    }

public:
    bool m_self_owned = false;

private:
    void open(HWND host) {
        static const dialog_text texts[] = {{IDOK, "dialog_next"},
                                            {IDCANCEL, "dialog_cancel"},
                                            {dialog_caption, "dialog_install_title"}};
        dialog_set_texts(host, texts, 3);
        const int resources[4] = {IDD_INSTALL_INTRO, IDD_INSTALL_DESTINATION, IDD_INSTALL_WORKING, IDD_INSTALL_DONE};
        for (int i = 0; i < 4; ++i) {
            HWND page = m_pages[i].create_modeless(host, resources[i]);
            SetWindowPos(page, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        next_page();
        ShowWindow(host, SW_SHOW);
    }

    HWND page_window(int page) const { return page >= 1 && page <= 4 ? m_pages[page - 1].handle() : nullptr; }

    bool destination_valid() {
        HWND page = page_window(2);
        kpl::utf8_string_pow2 text;
        dialog_item_get_text(page, IDC_INSTALL_DESTINATION, text);
        const DWORD attributes = text.length() ? file_get_attributes(text.c_str()) : INVALID_FILE_ATTRIBUTES;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
        MessageBeep(0);
        SetFocus(GetDlgItem(page, IDC_INSTALL_DESTINATION));
        return false;
    }

    void next_page() {
        HWND host = handle();
        if (HWND current = page_window(m_page)) ShowWindow(current, SW_HIDE);
        ++m_page;
        if (HWND shown = page_window(m_page)) ShowWindow(shown, SW_SHOW);
        if (m_page == 3) {
            EnableWindow(GetDlgItem(host, IDOK), FALSE);
            dialog_item_get_text(page_window(2), IDC_INSTALL_DESTINATION, m_destination);
            get_program_path(m_source);
            start();
        } else if (m_page == 4) {
            EnableWindow(GetDlgItem(host, IDOK), TRUE);
            dialog_item_set_text(host, IDOK, "Finish");
            EnableWindow(GetDlgItem(host, IDCANCEL), FALSE);
        }
    }

    int32_t run(const abort_signal& abort) override {
        try {
            install_portable_copy(m_destination.c_str(), m_source.c_str(), abort);
            return 1;
        } catch (const std::exception& e) {
            m_error_text = e.what();
            return 0;
        }
    }

    void on_done(int32_t code) override {
        if (m_page != 3) return;
        if (code == 0) {
            kpl::utf8_string_pow2 text;
            kpl::lookup_text("dialog_installation_failed", text);
            if (text.length() == 0) text = "Installation failed.";
            text << "\r\n" << m_error_text;
            dialog_item_set_text(page_window(4), IDC_INSTALL_STATUS, text);
        }
        next_page();
    }

    wizard_page m_pages[4];
    int m_page = 0;
    kpl::utf8_string_pow2 m_destination, m_source, m_error_text;
};

}  // namespace

void install_portable_copy(const char* destination, const char* source, const abort_signal& abort) {
    kpl::utf8_string_pow2 folder(destination);
    if (folder.length() == 0 || folder.c_str()[folder.length() - 1] != '\\') folder << "\\";
    kpl::utf8_string_pow2 path(folder);
    path << "Vorn.exe";
    if (!CopyFileW(wide(kpl::utf8_string_pow2(source)).data(), wide(path).data(), FALSE)) exception_win32::throw_last_error();
    path = folder;
    path << "Vorn.exe.localconfig.opt";
    create_hidden_empty(path);
    path = folder;
    path << "Vorn.exe.locallibrary.opt";
    create_hidden_empty(path);

    path = folder;
    path << "autorun.inf";
    HANDLE file = CreateFileW(wide(path).data(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) exception_win32::throw_last_error();
    const DWORD size = sizeof(install_autorun_text) - 1;
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, install_autorun_text, size, &written, nullptr);
    const DWORD error = GetLastError();
    const BOOL closed = CloseHandle(file);
    if (!wrote) throw exception_win32(error);
    if (written != size) throw exception_win32(ERROR_HANDLE_DISK_FULL);
    if (!closed) exception_win32::throw_last_error();

    path = folder;
    path << "vorn-configuration";
    const DWORD attributes = GetFileAttributesW(wide(path).data());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!CreateDirectoryW(wide(path).data(), nullptr)) exception_win32::throw_last_error();
        const DWORD created = GetFileAttributesW(wide(path).data());
        SetFileAttributesW(wide(path).data(), (created == INVALID_FILE_ATTRIBUTES ? 0 : created) | FILE_ATTRIBUTE_HIDDEN);
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        throw exception_win32(ERROR_ALREADY_EXISTS);
    }
    abort.check();
}

HWND install_wizard::open(HWND owner) {
    wizard* object = new wizard;
    HWND host;
    try {
        host = object->create_modeless(owner, IDD_INSTALL_HOST);
    } catch (...) {
        delete object;
        throw;
    }
    object->m_self_owned = true;
    return host;
}
