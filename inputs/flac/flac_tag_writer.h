#pragma once
// flac_write_tags: gives a FLAC file the comments of a track_info, through libFLAC's metadata chain.
//
//     file_stream_ref file;                                   // opened for modification
//     file_system_open(file, path, open_mode_modify, abort);
//     flac_write_tags(file, path, info, false, abort);        // `file` names the (possibly new) file after
//
// The chain keeps every block but the comments and padding: STREAMINFO, SEEKTABLE, APPLICATION, PICTURE
// and unknown blocks stay as they are and in their order; every PADDING and VORBIS_COMMENT block goes. A
// CUESHEET block goes too when the info has no "cuesheet" field and `cuesheet_read_as_text` says the block
// was what gave the file its cue sheet text. The channel-mask comments of the old comment blocks reach the
// info as technical fields and the old vendor string is kept (an illegal one is ketrel_io::exception_io_data).
// The new comment block, after the last block, holds every value of every meta field (names spelled as
// Vorbis comments spell them), then the present ReplayGain values (album gain, album peak, track gain,
// track peak), then the channel mask.
//
// When the new metadata fits in the space of the old (padding included) it is written in place; once that
// write has begun it runs to its end (an abort is only noticed before). Otherwise a 512-byte PADDING block
// follows the comments and the whole new file is written into a temporary file beside the target
// (safe_rewrite), which then takes the target's place: until that moment the target keeps its old
// content, so a failure or an abort at any point before leaves it as it was and the temporary file is
// removed. When no temporary file may be made in the target's folder, the write is refused with
// ketrel_io::exception_io_denied and nothing changes. A file that lives in memory is rebuilt from a copy
// in memory instead.
//
// A failed libFLAC call gives ketrel_io::exception_aborted when the abort signal is set, the exception a
// file callback met when there was one, and ketrel_io::exception_io_data otherwise.

#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/track_info.h"

void flac_write_tags(file_stream_ref& file, const char* path, track_info& info, bool cuesheet_read_as_text,
                     const abort_signal& abort);
