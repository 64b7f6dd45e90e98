#pragma once
// Metadata chunks of plain RIFF WAVE files: an "id3 " chunk holding an ID3v2 tag, and a "LIST" chunk of type
// "INFO" with one subchunk per field ("INAM" title, "IART" artist, ...). Tags are changed in place: chunks
// that are removed become "JUNK", which later writes reuse, and new chunks go into free "JUNK" space or to the
// end of the RIFF chunk; the sample data never moves.
//
//     wav_tags_read(*file, info, abort);     // the "id3 " tag, or else LIST "INFO"
//     wav_tags_write(*file, info, abort);    // replaces both from the info
//     wav_tags_strip(*file, abort);          // turns them into "JUNK" (and cuts them off at the end)
//
// The RIFF size field is only trusted when the chunks it covers end exactly there. A size of 0 (a recording
// that never filled it in) or one that ends inside a chunk (a size that wrapped, or one written too small) is
// replaced by the end of the chunks found in the file, and a write stores that size, so no audio is lost; a
// RIFF that would no longer fit a 32-bit size is refused with ketrel_io::exception_io_data before anything
// changes. A size beyond the end of the file (a cut-off copy) is ketrel_io::exception_io_data. A chunk whose
// size runs past the RIFF content is read and rewritten as far as the file holds it; no buffer is ever sized
// from a size field alone.

#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/track_info.h"

// The LIST "INFO" subchunk codes and the fields they carry, in writing order.
struct wav_info_field {
    char code[5];
    const char* field;
};
extern const wav_info_field wav_info_field_table[14];

void wav_tags_read(file_stream& file, track_info& info, const abort_signal& abort);
void wav_tags_strip(file_stream& file, const abort_signal& abort);
void wav_tags_write(file_stream& file, const track_info& info, const abort_signal& abort);
