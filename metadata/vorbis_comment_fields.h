#pragma once
// How field names are spelled in Vorbis comments, and which comment fields carry pictures.
//
// Four field names have a Vorbis-comment spelling of their own; every other name is written and read as
// it is. Matching ignores ASCII letter case:
//
//     vorbis_field_canonical_name("Album Artist")   -> "ALBUMARTIST"
//     vorbis_field_canonical_name("artist")         -> "artist"          (the argument itself)
//     vorbis_field_from_canonical("tracktotal")     -> "TOTALTRACKS"
//     vorbis_field_is_picture("metadata_block_picture")   -> true
//
//     field name        Vorbis-comment name
//     PUBLISHER         ORGANIZATION
//     ALBUM ARTIST      ALBUMARTIST
//     TOTALTRACKS       TRACKTOTAL
//     TOTALDISCS        DISCTOTAL
//
// "COVERART", "COVERARTMIME" and "METADATA_BLOCK_PICTURE" carry embedded pictures and are never text
// fields.

// The Vorbis-comment name of a field name; the name itself when it has no spelling of its own.
const char* vorbis_field_canonical_name(const char* name);
// The field name of a Vorbis-comment name; the name itself when it is none of the table's.
const char* vorbis_field_from_canonical(const char* name);
// Whether the name is one of the picture fields (any letter case).
bool vorbis_field_is_picture(const char* name);
