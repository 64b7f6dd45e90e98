#include "metadata/track_location.h"

#include "foundation/fs/file_system.h"

void format_location_text(const track_location& location, kpl::utf8_string& out) {
    kpl::utf8_string_pow2 display;
    file_system_display_path(location.get_path(), display);
    out.assign("\"");
    out.append_string(display);
    out.append("\"");
    if (location.get_subsong() != 0) {
        out.append(" / index: ");
        out.append_uint(location.get_subsong());
    }
}
