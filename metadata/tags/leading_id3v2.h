#pragma once
// ID3v2 tags at the start of a file: finding them, reading the first one, and rebuilding a file whose
// front changes size.
//
//     uint64_t size = skip_leading_id3v2(*file, 0, abort);   // 0: no tag there, the file is back at 0
//     id3parser::tag t;
//     if (leading_id3v2_read(*file, t, id3parser::frameFilter::everything(), abort)) {
//         // t.version, t.frames; t.oldSize covers every tag directly behind the first one too
//     }
//
// A file is only ever rebuilt as a whole through a tag_rewriter's stream (safe_rewrite): the original
// keeps its content until its owner commits. Without a stream, only a file that lives in memory is
// rebuilt in place; a file on disk is refused with ketrel_io::exception_io_denied, because copying new
// content over it could leave it half-written.

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/tags/id3_tag.h"
#include "metadata/tags/tag_rewriter.h"

// Looks for a tag header at `position`: 10 bytes "ID3", any version, flags & 0x0F == 0, four size bytes
// below 0x80. With one, moves the file behind the tag and answers its total size (syncsafe size + 10,
// + 10 more with the footer flag 0x10). Answers 0, with the file back at `position`, when there is no
// header or the tag would run past the end of the file.
uint64_t skip_leading_id3v2(file_stream& file, uint64_t position, const abort_signal& abort);

// Reads the first leading tag with the filter into `out` and sets out.oldSize to the size of all the tags
// that follow one another from position 0; the file is left at their end. False (and an empty tag) when
// the file does not start with a tag. A malformed tag: ketrel_io::exception_io_data; a tag above 4 GiB:
// kpl::exception_overflow.
bool leading_id3v2_read(file_stream& file, id3parser::tag& out, const id3parser::frameFilter& filter,
                        const abort_signal& abort);

// The number of leading tags and their total size; the file is left at their end.
uint32_t leading_id3v2_measure(file_stream& file, uint64_t& total_size, const abort_signal& abort);

// Removes every leading tag: the bytes behind them go to the rewriter's stream (or, for a file in memory,
// take the file's place). Answers the size of the tags; nothing is changed when there are none or when
// they fill the whole file. Needs a seekable file of known size.
uint64_t leading_id3v2_strip(file_stream& file, tag_rewriter& rewriter, const abort_signal& abort);

// The new file content: `head`, then the bytes [body_start, body_end) of the file, then `tail`. Through the
// rewriter's stream when it gives one (the file is not touched), else in place for a file in memory
// (through a temporary copy), else ketrel_io::exception_io_denied.
void rebuild_file(tag_rewriter& rewriter, file_stream& file, const kpl::array<uint8_t>& head, uint64_t body_start,
                  uint64_t body_end, const kpl::array<uint8_t>& tail, const abort_signal& abort);
