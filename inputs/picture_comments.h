#pragma once
// Pictures in Vorbis-comment style tags (Ogg Vorbis, Opus).
//
// Reading: "COVERART=<base64 of the picture bytes>" is a front cover; "METADATA_BLOCK_PICTURE=<base64 of a
// FLAC picture block>" is a picture of the block's type. The block's numbers are big-endian u32:
//     type, MIME length, MIME, description length, description, width, height, depth, colours,
//     data length, data
// A later picture of a kind replaces an earlier one. A picture comment that cannot be decoded (bad base64,
// a block shorter than its fields, a data length past the block) is skipped, so one damaged picture
// leaves the file's other pictures readable and writable.
//
// Writing: the comment packet keeps the magic, the vendor and every valid non-picture comment in order,
// then one "METADATA_BLOCK_PICTURE" per picture of the map (null kind dropped), then the framing byte when
// the codec has one; padded like every rebuilt comment packet. The block's MIME comes from the bytes'
// signature (PNG, JPEG, GIF, else empty), width, height and bits per pixel from GDI+.
//
//     album_art_map map;
//     picture_comments_read(packet, size, 8, map);     // an "OpusTags" packet: 8 bytes of magic

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"
#include "inputs/album_art.h"

struct ogg_comment_magic;

// The comments of the packet after `magic_length` bytes; ketrel_io::exception_io_data when the packet's
// own structure (vendor, count, comment lengths) runs past its end.
void picture_comments_read(const uint8_t* packet, size_t size, size_t magic_length, album_art_map& out);

// The picture block (not yet base64) of one picture of type `type`.
void picture_block_make(uint32_t type, const void* data, size_t size, kpl::byte_array& out);

// The MIME type by signature: "image/png", "image/jpeg", "image/gif" or "".
const char* picture_mime_type(const uint8_t* data, size_t size);

// Width, height and bits per pixel through GDI+; a picture GDI+ cannot load throws exception_gdiplus
// ("Gdiplus error (n)").
void picture_dimensions(const void* data, size_t size, uint32_t& width, uint32_t& height, uint32_t& depth);

// The new comment packet for the old one and the pictures.
void picture_comments_write(const uint8_t* old_packet, size_t old_size, const ogg_comment_magic& magic,
                            const album_art_map& pictures, kpl::byte_array& out);
