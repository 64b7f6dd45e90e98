#pragma once
// The tag operations over a file's leading ID3v2 tag and its trailing APEv2 and ID3v1 tags together.
//
//     safe_rewrite rewrite(path);
//     trailing_tags_write(rewrite, *file, tag_flag_id3v2 | tag_flag_apev2, info, abort);
//     rewrite.commit(file, abort);     // the file now has exactly an ID3v2 and an APEv2 tag
//
//     track_info_store info;
//     read_id3v2_and_trailing_tags(*file, info, abort);   // ID3v2 fields; "tagtype" "id3v2.3|apev2"
//
// trailing_tags_write leaves exactly the kinds of tag its flags name and removes the others. Everything
// new is built in memory before the file changes. When the front of the file keeps its size (the new ID3v2
// tag fits the old space, or there is no leading tag to remove), the trailing tags are replaced in place
// so that the file ends in a complete set of tags at every moment, and then the leading tag is written
// over the old one; the abort signal is tested only before the first change, and a step that fails puts
// the old tags back. Otherwise the whole new file goes to the rewriter's stream and the file itself is not
// touched; without a stream only a file in memory is rebuilt, a file on disk is refused with
// ketrel_io::exception_io_denied.
//
// The album artist that ID3v2 reading shows for a compilation without TPE2 ("Various Artists") is not
// written to the trailing tags either, when the info still has exactly that value.

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/tags/tag_rewriter.h"
#include "metadata/track_info.h"

// Flag bits of trailing_tags_write.
constexpr uint32_t tag_flag_id3v1 = 0x1;
constexpr uint32_t tag_flag_id3v2 = 0x2;
constexpr uint32_t tag_flag_apev2 = 0x4;

void trailing_tags_write(tag_rewriter& rewriter, file_stream& file, uint32_t flags, const track_info& info,
                         const abort_signal& abort);

// Cuts the trailing tags off the file.
void trailing_tags_remove(file_stream& file, const abort_signal& abort);

// Removes every leading ID3v2 tag through the rewriter (see leading_id3v2_strip). True only when the new
// content has no leading tag: false when there was none, and false when the tags fill the whole file
// (then nothing is changed).
bool leading_id3v2_remove(tag_rewriter& rewriter, file_stream& file, const abort_signal& abort);
bool leading_id3v2_remove(file_stream& file, const abort_signal& abort);

// The trailing_tag_io reading of the trailing tags.
void trailing_tags_read(file_stream& file, track_info& info, const abort_signal& abort);

// Both kinds: the ID3v2 tag's fields when it is there (the trailing tags add ReplayGain values it lacks
// and their "tagtype"), else the trailing tags'. exception_tag_not_found when there is neither; a
// malformed tag counts as absent.
void read_id3v2_and_trailing_tags(file_stream& file, track_info& info, const abort_signal& abort);
