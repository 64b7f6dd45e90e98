// Loading the language table at start-up: the user's file or a built-in one, then the system's error texts.
#include <windows.h>

#include <cstring>
#include <exception>
#include <memory>

#include "foundation/fs/local_filesystem.h"
#include "foundation/fs/open_mode.h"
#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/win32/resource_data.h"
#include "shell/app_state.h"
#include "shell/debug_log.h"
#include "shell/language_file.h"
#include "shell/localization.h"

namespace {

constexpr DWORD k_user_file_limit = 0x100000;
const char k_user_file_name[] = "vorn-language.xml";
const char k_broken_file[] = "Broken or incomplete language file.";

kpl::utf8_string_pow2 user_file_location() {
    kpl::utf8_string_pow2 location(app_state.profile_folder);
    kpl::path_add_trailing_backslash(location);
    location << k_user_file_name;
    return location;
}

// Reads the user's file into `bytes`; false when it does not exist. A file over the limit throws
// ketrel_io::exception_io_data; one whose size is unknown ketrel_io::exception_io_no_length; other
// failures (in use, access denied) pass on as the file system reports them.
bool read_user_file(const char* location, kpl::array<char>& bytes) {
    file_stream_ref file;
    try {
        local_filesystem::open(abort_never, location, file, open_mode_read);
    } catch (const ketrel_io::exception_io_not_found&) {
        return false;
    }
    uint64_t size = file->get_size(abort_never);
    if (size == UINT64_MAX) throw ketrel_io::exception_io_no_length();
    if (size > k_user_file_limit) throw ketrel_io::exception_io_data();
    bytes.set_count(static_cast<uint32_t>(size));
    if (size) file->read_exact(bytes.data(), static_cast<size_t>(size), abort_never);
    return true;
}

// The text id that names why the user's file could not be read.
const char* failure_text_id(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const ketrel_io::exception_io_sharing_violation&) {
        return "exception_io_sharing_violation";
    } catch (const ketrel_io::exception_io_denied&) {
        return "exception_io_denied";
    } catch (const ketrel_io::exception_io_no_length&) {
        return "exception_io_no_length";
    } catch (const ketrel_io::exception_io_not_found&) {
        return "exception_io_not_found";
    } catch (...) {
        return "exception_io";
    }
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
    std::exception_ptr unreadable;
    kpl::utf8_string_pow2 location;
    try {
        bool loaded = false;
        if (language_id == 0) {
            location = user_file_location();
            kpl::array<char> bytes;
            bool present = false;
            try {
                present = read_user_file(location.c_str(), bytes);
            } catch (const ketrel_io::exception_io_data&) {
                throw;
            } catch (const ketrel_io::exception_io&) {
                unreadable = std::current_exception();
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

    if (unreadable) {
        // Told once the built-in table is there, so the reason reads in the user's language.
        kpl::utf8_string_pow2 message("Could not read the language file \"");
        const char* path = location.c_str();
        if (std::strncmp(path, "file://", 7) == 0) path += 7;
        message << path << "\": " << localization_table::get_text(failure_text_id(unreadable))
                << "\nThe built-in language is used instead.";
        debug_log(message.c_str());
        tell_user(message.c_str(), MB_ICONWARNING);
    }
}
