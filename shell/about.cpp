#include "shell/about.h"

#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <cstring>
#include <memory>

#include "foundation/fs/file_system.h"
#include "foundation/fs/location_text.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/number_parse.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/win32/dialog.h"
#include "foundation/win32/gdiplus.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/resource_data.h"
#include "foundation/win32/shell.h"
#include "foundation/win32/window_text.h"
#include "resources/resource_ids.h"
#include "shell/app_state.h"

namespace {

const char k_placeholder[] = "<p>Localization credits here</p>";
constexpr size_t k_placeholder_length = sizeof(k_placeholder) - 1;  // 32

struct licence_file {
    int resource;
    const char* name;
};
const licence_file k_licence_files[] = {{IDR_LICENSE_HTML, "license.html"}, {IDR_LICENSE_APACHE, "license-apache-2.0.txt"}};

void folder_with_name(const char* folder, const char* name, kpl::utf8_string& out) {
    out = folder;
    const uint32_t n = out.length();
    if (n == 0 || out.c_str()[n - 1] != '\\') out << "\\";
    out << name;
}

// IStream over the bytes of a resource (the stream holds its own copy).
class memory_stream {
public:
    memory_stream(const void* data, size_t size) {
        typedef IStream*(WINAPI * create_fn)(const BYTE*, UINT);
        // SHCreateMemStream is exported by ordinal 12 on Windows XP.
        HMODULE shlwapi = GetModuleHandleW(L"shlwapi.dll");
        if (shlwapi == nullptr) shlwapi = LoadLibraryW(L"shlwapi.dll");
        create_fn create = nullptr;
        if (shlwapi != nullptr) {
            void* named = reinterpret_cast<void*>(GetProcAddress(shlwapi, "SHCreateMemStream"));
            if (named == nullptr) named = reinterpret_cast<void*>(GetProcAddress(shlwapi, MAKEINTRESOURCEA(12)));
            create = reinterpret_cast<create_fn>(named);
        }
        if (create != nullptr) m_stream = create(static_cast<const BYTE*>(data), static_cast<UINT>(size));
    }
    ~memory_stream() {
        if (m_stream) m_stream->Release();
    }
    IStream* get() const { return m_stream; }

private:
    IStream* m_stream = nullptr;
};

class about_dialog final : public dialog_object {
public:
    ~about_dialog() override {
        delete m_picture;
        if (m_font) DeleteObject(m_font);
    }

    bool process_message(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result, DWORD) override {
        switch (message) {
            case WM_INITDIALOG:
                open(dialog);
                result = TRUE;
                return true;
            case WM_DRAWITEM:
                if (wparam != IDC_ABOUT_PICTURE) return false;
                draw_picture(dialog, *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
                result = TRUE;
                return true;
            case WM_NOTIFY: {
                const NMHDR* header = reinterpret_cast<const NMHDR*>(lparam);
                if (header->idFrom != IDC_ABOUT_LINKS || (header->code != NM_CLICK && header->code != NM_RETURN))
                    return false;
                const NMLINK* link = reinterpret_cast<const NMLINK*>(lparam);
                if (link->item.iLink == 0) {
                    licence_pages_open(m_credits.c_str());
                } else if (link->item.iLink == 1) {
                    shell_execute(dialog, nullptr, about_web_site);
                }
                result = 0;
                return true;
            }
            case WM_COMMAND:
                if (LOWORD(wparam) != IDOK && LOWORD(wparam) != IDCANCEL) return false;
                EndDialog(dialog, 2);
                return true;
            default:
                return false;
        }
    }

    kpl::utf8_string_pow2 m_credits;

private:
    void open(HWND dialog) {
        dialog_item_set_text(dialog, IDC_ABOUT_VERSION, about_version_text);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
        LOGFONTW description = {};
        if (font != nullptr && GetObjectW(font, sizeof(description), &description) != 0) {
            description.lfHeight = about_enlarged_font_height(description.lfHeight);
            m_font = CreateFontIndirectW(&description);
            if (m_font != nullptr) {
                for (int id : {IDC_ABOUT_VERSION, IDC_ABOUT_NOTICE, IDC_ABOUT_LINKS})
                    SendDlgItemMessageW(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
            }
        }
        std::unique_ptr<resource_data> png = load_resource_data(nullptr, MAKEINTRESOURCEW(IDR_PROGRAM_PICTURE), L"PNG");
        if (!png) throw kpl::exception_bug_check();
        memory_stream stream(png->data(), png->size());
        if (stream.get() == nullptr) throw kpl::exception_bug_check();
        m_picture = new gdiplus_bitmap(stream.get());
        gdiplus_check(m_picture->status());
    }

    void draw_picture(HWND dialog, const DRAWITEMSTRUCT& item) {
        try {
            POINT origin = {0, 0};
            MapWindowPoints(item.hwndItem, dialog, &origin, 1);
            POINT previous;
            OffsetWindowOrgEx(item.hDC, origin.x, origin.y, &previous);
            SendMessageW(dialog, WM_ERASEBKGND, reinterpret_cast<WPARAM>(item.hDC), 0);
            SetWindowOrgEx(item.hDC, previous.x, previous.y, nullptr);
            if (m_picture == nullptr) return;
            RECT client;
            GetClientRect(item.hwndItem, &client);
            gdiplus_graphics graphics(item.hDC);
            gdiplus_check(graphics.status());
            graphics.set_quality(2, 2);
            graphics.draw_image_rect(*m_picture, client);
            gdiplus_check(graphics.status());
        } catch (...) {
            // A picture that cannot be drawn leaves the background.
        }
    }

    HFONT m_font = nullptr;
    gdiplus_bitmap* m_picture = nullptr;
};

}  // namespace

int about_enlarged_font_height(int height) { return kpl::round_to_int(height * 1.3); }

void html_escape_append(const char* text, kpl::utf8_string& out) {
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case '\n': out << "<br />"; break;
            case '\r': break;
            case '"': out << "&quot;"; break;
            case '&': out << "&amp;"; break;
            case '\'': out << "&#039;"; break;
            case '<': out << "&lt;"; break;
            case '>': out << "&gt;"; break;
            default: out.append_char(*p); break;
        }
    }
}

void licence_page_with_credits(const char* data, size_t size, const char* credits, kpl::utf8_string& out) {
    out.reset();
    const char* found = nullptr;
    for (size_t i = 0; i + k_placeholder_length <= size; ++i) {
        if (std::memcmp(data + i, k_placeholder, k_placeholder_length) == 0) {
            found = data + i;
            break;
        }
    }
    if (found == nullptr) {
        out.append(data, static_cast<uint32_t>(size));
        return;
    }
    out.append(data, static_cast<uint32_t>(found - data));
    if (credits != nullptr && credits[0] != 0) {
        out << "<p>";
        html_escape_append(credits, out);
        out << "</p>";
    }
    const char* rest = found + k_placeholder_length;
    out.append(rest, static_cast<uint32_t>(data + size - rest));
}

void licence_pages_write(const char* folder_location, const char* credits) {
    try {
        file_system_create_folder(folder_location, abort_never);
    } catch (const ketrel_io::exception_io_already_exists&) {
    }
    for (const licence_file& file : k_licence_files) {
        std::unique_ptr<resource_data> data = load_resource_data(nullptr, MAKEINTRESOURCEW(file.resource), L"TEXT");
        if (!data) exception_win32::throw_last_error();
        kpl::utf8_string_pow2 target;
        folder_with_name(folder_location, file.name, target);
        file_stream_ref stream;
        file_system_open_retrying(stream, target.c_str(), open_mode_create, abort_never, 0);
        if (file.resource == IDR_LICENSE_HTML) {
            kpl::utf8_string_pow2 page;
            licence_page_with_credits(static_cast<const char*>(data->data()), data->size(), credits, page);
            stream->write(page.c_str(), page.length(), abort_never);
        } else {
            stream->write(data->data(), data->size(), abort_never);
        }
    }
}

void licence_pages_open(const char* credits) {
    kpl::utf8_string_pow2 folder;
    folder_with_name(app_state.profile_folder.c_str(), "about", folder);
    licence_pages_write(folder.c_str(), credits);
    kpl::utf8_string_pow2 page, native;
    folder_with_name(folder.c_str(), "license.html", page);
    if (!file_url_to_native(page.c_str(), native)) native = page;
    shell_execute(GetActiveWindow(), nullptr, native.c_str());
}

void about_dialog_run(const char* credits) {
    if (!modal_scope::can_start()) {
        modal_scope::bring_to_front();
        return;
    }
    gdiplus_token gdiplus;
    about_dialog dialog;
    dialog.m_credits = credits ? credits : "";
    dialog.run_modal(app_state.main_window, IDD_ABOUT);
}
