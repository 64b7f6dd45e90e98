#pragma once
// The profile folder: where the configuration, the library and the crash dumps live. Chosen and set by the
// application shell during start-up, in the file-system layer's form ("file://" + folder path, no trailing
// backslash); the empty text before that.
//
//     kpl::utf8_string_pow2 path(profile_folder::c_str());
//     kpl::path_add_trailing_backslash(path);
//     path << "config.dat";            // "file://C:\users\me\AppData\Roaming\Vorn Audio Player\config.dat"

namespace profile_folder {

const char* c_str() noexcept;
// Main thread, during start-up.
void set(const char* path);

}  // namespace profile_folder
