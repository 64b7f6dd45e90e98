#include <cstdio>

#include "foundation/kpl/bit_array.h"
#include "metadata/cue/cue_sheet.h"
#include "metadata/track_info.h"

namespace {

void set_time(track_info& info, const char* name, double seconds) {
    const kpl::utf8_string_tight text = cue_parser::cue_time_text(seconds);
    info.info_set(name, track_info::npos, text.c_str(), text.length());
}

void remove(track_info& info, const char* name) {
    const int32_t i = info.info_find(name);
    if (i >= 0) info.info_remove_mask(kpl::bit_mask_one(static_cast<uint32_t>(i)));
}

}  // namespace

void track_info::set_cue_index_points(const double* t) {
    if (t[1] > 0) set_time(*this, "referenced_offset", t[1]);
    if (t[1] - t[0] > 0) set_time(*this, "pregap", t[1] - t[0]);
    else remove(*this, "pregap");
    remove(*this, "index 00");
    remove(*this, "index 01");
    for (uint32_t n = 2; n < cue_parser::cue_index_count; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "index %02u", n);
        if (t[n] - t[1] > 0) set_time(*this, name, t[n] - t[1]);
        else remove(*this, name);
    }
}
