#pragma once
// id3v2_tag_io: the leading ID3v2 tag of a file, read into a track_info and written from one. One
// implementation is registered.
//
//     service_ptr<id3v2_tag_io> io;
//     service_class::get_single(io);
//     io->read(*file, info, abort);               // "tagtype" "id3v2.3"; pictures are not read
//     safe_rewrite rewrite(path);
//     io->write_with_rewriter(rewrite, *file, info, abort);
//     rewrite.commit(file, abort);                // only needed when the tag no longer fitted
//
// Writing keeps a 2.3 or 2.4 tag's version and makes 2.3 otherwise. The new tag is built completely in
// memory with the old tags' space as the available space (up to 16384 bytes of it may become padding).
// When it has exactly the old size it is written over the old tags in place; otherwise the whole new file
// goes to the rewriter's stream, and the file itself is not touched (a file in memory is rebuilt in place
// when there is no stream; a file on disk without a stream is refused with
// ketrel_io::exception_io_denied). Every tag directly behind the first is replaced too.

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/tags/id3_tag.h"
#include "metadata/tags/tag_rewriter.h"
#include "metadata/track_info.h"

class id3v2_tag_io : public service_object {
public:
    // {25B0D20D-9BA3-4A7B-8D0E-89FAF75F916F}
    static constexpr kpl::guid class_guid = {0x25B0D20D, 0x9BA3, 0x4A7B, {0x8D, 0x0E, 0x89, 0xFA, 0xF7, 0x5F, 0x91, 0x6F}};

    // Fills the info from the leading tag and leaves the file at the end of the leading tags.
    // exception_tag_not_found without a tag; ketrel_io::exception_io_data for a malformed one.
    virtual void read(file_stream& file, track_info& info, const abort_signal& abort) = 0;
    // write_with_rewriter without a rewriter stream.
    virtual bool write(file_stream& file, const track_info& info, const abort_signal& abort) = 0;
    // Replaces the leading tags by a tag built from the info; true when that tag holds at least one frame.
    virtual bool write_with_rewriter(tag_rewriter& rewriter, file_stream& file, const track_info& info,
                                     const abort_signal& abort) = 0;
};

// The new leading tag of a file, built before anything is written.
struct id3v2_write_plan {
    kpl::array<uint8_t> bytes;  // the whole new tag
    uint64_t old_size = 0;      // the bytes of the old leading tags
    uint32_t frame_count = 0;
};

// Reads the file's leading tag (all frames) and builds the new one from the info. A malformed old tag:
// ketrel_io::exception_io_data; a file that cannot seek: ketrel_io::exception_io_object_not_seekable.
// `old_tag` receives the old tag as read.
void id3v2_plan_write(file_stream& file, const track_info& info, id3v2_write_plan& plan, id3parser::tag& old_tag,
                      const abort_signal& abort);

// The encoder delay and sample count of an "iTunSMPB" comment of the leading tag: words of hexadecimal
// digits, the second the delay, the fourth the count.
//     " 00000000 00000840 000001F0 0000000000A8B9C6 ..."   ->  delay 2112, samples 11057606
// False without a tag, with a malformed one, or without a usable comment.
bool read_id3v2_gapless_data(file_stream& file, uint64_t& delay, uint64_t& samples, const abort_signal& abort);

// The album-art kind of an ID3v2 or FLAC picture type: 0 the null GUID, 1-2 icon, 3 front cover, 4 back
// cover, 6 disc, 7, 8 and 10 artist; false for the others. The kinds are the GUIDs of the album-art
// services: front {F1E66F4E-FE09-4B94-91A3-67C23ED1445E}, back {CB552D19-86D5-434C-AC77-BB24ED567EE4},
// disc {3DBA9F36-F928-4FA4-879C-D3404759587E}, icon {74CDF5B4-7053-4B3D-9A3C-5469F5826EEC},
// artist {9A654042-ACD1-43F7-BFCF-D3EC0FFE40FA}.
bool picture_type_to_album_art_kind(uint32_t type, kpl::guid& out);
