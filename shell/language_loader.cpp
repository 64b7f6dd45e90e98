// Loading the language table at start-up: the user's file or a built-in one, then the system's error texts.
#include <windows.h>

#include <memory>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/win32/resource_data.h"
#include "shell/app_state.h"
#include "shell/debug_log.h"
#include "shell/language_file.h"
#include "shell/localization.h"
#include "shell/profile_setup.h"

namespace {

constexpr DWORD k_user_file_limit = 0x100000;
const char k_user_file_name[] = "vorn-language.xml";
const char k_broken_file[] = "Broken or incomplete language file.";

// A user language file that exists but cannot be read; carries the Win32 error code.
struct unreadable_file {
    DWORD code;
};

kpl::utf8_string_pow2 user_file_path() {
    kpl::utf8_string_pow2 path(profile_native_path());
    kpl::path_add_trailing_backslash(path);
    path << k_user_file_name;
    return path;
}

// Reads the user's file into `bytes`; false when it does not exist. Throws unreadable_file when it exists
// but cannot be opened, sized or read, and ketrel_io::exception_io_data when it is over the limit.
bool read_user_file(const char* path, kpl::array<char>& bytes) {
    kpl::wide_array wide;
    kpl::utf8_to_wide_array(wide, path);
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return false;
        throw unreadable_file{code};
    }
    struct closer {
        HANDLE h;
        ~closer() { CloseHandle(h); }
    } close_file{file};

    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) throw unreadable_file{GetLastError()};
    if (size.QuadPart > k_user_file_limit) throw ketrel_io::exception_io_data();
    DWORD wanted = static_cast<DWORD>(size.QuadPart);
    bytes.set_count(wanted);
    DWORD got = 0;
    if (wanted && !ReadFile(file, bytes.data(), wanted, &got, nullptr)) throw unreadable_file{GetLastError()};
    if (got != wanted) throw unreadable_file{ERROR_HANDLE_EOF};
    return true;
}

void load_builtin(uint32_t language_id, localization_map& map, kpl::utf8_string& credits) {
    uint32_t language = language_id ? language_id : GetUserDefaultUILanguage();
    uint16_t id = builtin_language_resource(language);
    std::unique_ptr<resource_data> text = load_resource_data(nullptr, MAKEINTRESOURCEW(id), L"TEXT");
    if (!text && id != builtin_english_resource) {
        text = load_resource_data(nullptr, MAKEINTRESOURCEW(builtin_english_resource), L"TEXT");
    }
    if (!text) kpl::crash();  // the English table is part of the program
    parse_language_file(static_cast<const char*>(text->data()), text->size(), map, credits);
}

void tell_user(const char* text, UINT icon) {
    if (app_state.quiet) return;
    kpl::wide_array wide;
    kpl::utf8_to_wide_array(wide, text);
    MessageBoxW(nullptr, wide.c_str(), nullptr, icon);
}

}  // namespace

void load_language_table(uint32_t language_id) {
    auto map = std::make_unique<localization_map>();
    kpl::utf8_string_pow2 credits;
    try {
        bool loaded = false;
        if (language_id == 0) {
            kpl::utf8_string_pow2 path = user_file_path();
            kpl::array<char> bytes;
            bool present = false;
            try {
                present = read_user_file(path.c_str(), bytes);
            } catch (const unreadable_file& failure) {
                kpl::utf8_string_pow2 message("Could not read the language file \"");
                message << path << "\": " << win32_error_text_or_code(failure.code)
                        << "\nThe built-in language is used instead.";
                debug_log(message.c_str());
                tell_user(message.c_str(), MB_ICONWARNING);
            }
            if (present) {
                parse_language_file(bytes.data(), bytes.count(), *map, credits);
                loaded = true;
            }
        }
        if (!loaded) load_builtin(language_id, *map, credits);
    } catch (const ketrel_io::exception_io_data&) {
        tell_user(k_broken_file, MB_ICONERROR);
        throw exception_shutdownrequest(k_broken_file);
    }
    add_system_messages(*map, [](uint32_t code, kpl::utf8_string& out) { return win32_error_text(code, out); });
    if (!credits.is_empty()) set_localization_credits(credits.c_str());
    localization_table::publish(std::move(map));
}
