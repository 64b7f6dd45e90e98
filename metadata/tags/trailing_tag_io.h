#pragma once
// trailing_tag_io: the tags at the end of a file, an APEv2 tag (read also as APEv1) and ID3v1 tags, in any
// combination. One implementation is registered (the registry requires exactly one).
//
//     service_ptr<trailing_tag_io> tags;
//     service_class::get_single(tags);
//     uint64_t audio_end;
//     tags->read_and_locate(*file, info, audio_end, abort);   // APE fields; "tagtype" "apev2|id3v1"
//     tags->write(*file, info, trailing_mode_ape | trailing_mode_id3v1, abort);
//
// Reading: at most one tag of each kind is read, going back from the end; when both are there the APE
// tag's fields are used and the ID3v1 tag only fills in ReplayGain values and adds to "tagtype".
// exception_tag_not_found when there is neither.
//
// Writing replaces every trailing tag (one APE tag and any number of ID3v1 tags, in any order from the
// end) by the tags the mode names. Old read-only and binary APE items survive, also when the mode
// changes from ID3v1 to APE. The new tags are complete in memory before the file changes, and the file
// always ends in a complete set of tags, old or new, even when the write stops halfway: the new tags are
// first added at the end, then moved into place, then the file is cut behind them. A write that fails with
// an exception leaves exactly the old tags.

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/tags/ape_tag.h"
#include "metadata/track_info.h"

// Mode bits of trailing_tag_io::write.
constexpr uint32_t trailing_mode_ape = 0x1;
constexpr uint32_t trailing_mode_id3v1 = 0x2;

class trailing_tag_io : public service_object {
public:
    // {AD537D40-499D-4C29-81D4-C0FA496DD58C}
    static constexpr kpl::guid class_guid = {0xAD537D40, 0x499D, 0x4C29, {0x81, 0xD4, 0xC0, 0xFA, 0x49, 0x6D, 0xD5, 0x8C}};

    // read_and_locate without the position.
    virtual void read(file_stream& file, track_info& info, const abort_signal& abort) = 0;
    // Mode 1 (APE), 2 (ID3v1) or 3 (both, APE first).
    virtual void write(file_stream& file, const track_info& info, uint32_t mode, const abort_signal& abort) = 0;
    // Cuts every trailing tag off the file.
    virtual void remove(file_stream& file, const abort_signal& abort) = 0;
    // Whether an ID3v1 tag holds the info without loss.
    virtual bool fits_id3v1(const track_info& info) = 0;
    // Replaces the info's metadata by what an ID3v1 tag would keep.
    virtual void reduce_to_id3v1(track_info& info) = 0;
    // Reads the tags into the info and answers where they begin (the end of the audio data).
    virtual void read_and_locate(file_stream& file, track_info& info, uint64_t& position, const abort_signal& abort) = 0;
};

// The building blocks of the service, for the combined tag operations.

// Where the trailing tags begin, as stripping sees them; the old APE items are appended to `items` when
// given.
uint64_t trailing_tags_locate(file_stream& file, ape_item_list* items, const abort_signal& abort);

// The bytes of the new trailing tags for the mode, built on the old APE items.
void trailing_tags_build(const track_info& info, uint32_t mode, ape_item_list& old_items, kpl::array<uint8_t>& out);

// Replaces the bytes from `start` to the end of the file by `tail` so that the file ends in a complete
// tag block at every moment: the tail is first appended (twice when it is longer than the bytes it
// replaces), then written at `start`, then the file is cut behind it. An empty tail only cuts the file.
// When a step fails, the file gets its old bytes back before the exception leaves; an abort is seen only
// while the copies are added (they are cut off again).
void file_replace_tail(file_stream& file, uint64_t start, const kpl::array<uint8_t>& tail, const abort_signal& abort);
