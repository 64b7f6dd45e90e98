#include "foundation/services/profile_folder.h"

#include "foundation/kpl/string.h"

namespace {

kpl::utf8_string_tight g_profile_folder;

}  // namespace

namespace profile_folder {

const char* c_str() noexcept { return g_profile_folder.c_str(); }
void set(const char* path) { g_profile_folder = path; }

}  // namespace profile_folder
