#include "metadata/vorbis_comment_fields.h"

#include "foundation/kpl/text_compare.h"

namespace {

struct name_pair {
    const char* field;
    const char* vorbis;
};

const name_pair g_names[] = {
    {"PUBLISHER", "ORGANIZATION"},
    {"ALBUM ARTIST", "ALBUMARTIST"},
    {"TOTALTRACKS", "TRACKTOTAL"},
    {"TOTALDISCS", "DISCTOTAL"},
};

const char* const g_picture_fields[] = {"COVERART", "COVERARTMIME", "METADATA_BLOCK_PICTURE"};

}  // namespace

const char* vorbis_field_canonical_name(const char* name) {
    for (const name_pair& pair : g_names) {
        if (kpl::stricmp_ascii(name, pair.field) == 0) return pair.vorbis;
    }
    return name;
}

const char* vorbis_field_from_canonical(const char* name) {
    for (const name_pair& pair : g_names) {
        if (kpl::stricmp_ascii(name, pair.vorbis) == 0) return pair.field;
    }
    return name;
}

bool vorbis_field_is_picture(const char* name) {
    for (const char* picture : g_picture_fields) {
        if (kpl::stricmp_ascii(name, picture) == 0) return true;
    }
    return false;
}
