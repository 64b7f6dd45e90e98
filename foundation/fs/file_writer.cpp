#include "foundation/fs/file_writer.h"

#include <windows.h>

#include "foundation/fs/local_filesystem.h"
#include "foundation/fs/local_path.h"
#include "foundation/fs/location_text.h"
#include "foundation/fs/open_mode.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"

namespace {

void remove_quietly(const char* path) {
    try {
        local_filesystem::remove(path, abort_never);
    } catch (...) {
    }
}

}  // namespace

void file_writer::write_replacing(file_writer& writer, const char* location, const abort_signal& abort) {
    const char* native = location;
    strip_file_scheme(native);

    kpl::array<wchar_t> target;
    local_path::to_long_path_wide(native, target);
    DWORD attributes = GetFileAttributesW(target.data());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        (attributes & FILE_ATTRIBUTE_READONLY))
        throw kpl::exception_with_message("file exists and is read-only");

    kpl::utf8_string_pow2 temp_path(native);
    temp_path << ".tmp";
    try {
        file_stream_ref file;
        local_filesystem::open(abort, temp_path.c_str(), file, open_mode_create);
        writer.write(*file, abort);
    } catch (...) {
        remove_quietly(temp_path.c_str());
        throw;
    }

    kpl::array<wchar_t> temp;
    local_path::to_long_path_wide(temp_path.c_str(), temp);
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(temp.data(), target.data(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) return;
        DWORD error = GetLastError();
        try {
            throw_win32_io_error(error);
        } catch (const ketrel_io::exception_io_sharing_violation&) {
            Sleep(replace_sleep_ms);
            if (attempt < replace_attempts) continue;
            remove_quietly(temp_path.c_str());
            throw;
        } catch (...) {
            remove_quietly(temp_path.c_str());
            throw;
        }
    }
}
