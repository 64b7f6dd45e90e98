// Placeholder of the media library until the library exists: it watches no folders and holds no items, so
// it never has unsaved changes; discarding its data deletes "database.dat" in the profile folder.
#include <windows.h>

#include <cstring>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/string.h"
#include "foundation/services/persistent_state.h"
#include "foundation/services/profile_folder.h"
#include "foundation/services/service_registry.h"
#include "library/media_library.h"

namespace {

class library_state_placeholder final : public service_static<persistent_state> {
public:
    void on_startup() override {}
    void on_shutdown(bool discard) override {
        if (!discard) return;
        const char* profile = profile_folder::c_str();
        const char scheme[] = "file://";
        if (std::strncmp(profile, scheme, sizeof(scheme) - 1) == 0) profile += sizeof(scheme) - 1;
        if (!profile[0]) return;
        kpl::utf8_string_pow2 path(profile);
        kpl::path_add_trailing_backslash(path);
        path << "database.dat";
        kpl::wide_array wide;
        kpl::utf8_to_wide_array(wide, path.c_str());
        DeleteFileW(wide.c_str());
    }
};

service_factory_single<library_state_placeholder, persistent_state> g_library_state;

}  // namespace

// {F44473BB-9025-4204-AFB5-8F46C2102298}
config_bool cfg_use_windows_library_folders({0xF44473BB, 0x9025, 0x4204, {0xAF, 0xB5, 0x8F, 0x46, 0xC2, 0x10, 0x22, 0x98}},
                                            true);

namespace media_library {

void startup() {}
void unload() {}

}  // namespace media_library
