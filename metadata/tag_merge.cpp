// Combining the infos of two tags read from one file.
#include "metadata/track_info.h"

namespace {

const char* const tagtype_field = "tagtype";

}  // namespace

void track_info::copy_tags_from(const track_info& source) {
    if (&source == this) return;
    copy_meta(source);
    set_replaygain(replaygain_values::merge(get_replaygain(), source.get_replaygain()));
    const char* tagtype = source.info_get_by_name(tagtype_field);
    if (tagtype) info_set(tagtype_field, npos, tagtype, npos);
}

void track_info::merge_tags_from(const track_info& source) {
    if (&source == this) return;
    set_replaygain(replaygain_values::merge(get_replaygain(), source.get_replaygain()));
    const char* theirs = source.info_get_by_name(tagtype_field);
    if (!theirs) return;
    const char* mine = info_get_by_name(tagtype_field);
    if (!mine) {
        info_set(tagtype_field, npos, theirs, npos);
        return;
    }
    kpl::utf8_string_pow2 joined(mine);
    joined << "|" << theirs;
    info_set(tagtype_field, npos, joined.c_str(), npos);
}
