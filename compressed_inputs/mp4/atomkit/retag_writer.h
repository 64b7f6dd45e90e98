#pragma once
// The retag writer: puts new tags into an MP4 file in place. Only the movie box is rebuilt (every child
// copied as it was, the tag-carrying user data written anew); media data never moves and chunk offsets never
// change.
//
//     model.chapters[0].fields = new_fields;            // staged by the input
//     atomkit::write_movie(model, file, 1);             // 1: "ilst" only; 3: "ilst" and the "tags" box
//
// Where the old movie box ends the file's boxes it is overwritten and the file cut after the new one (a box
// that grows writes its part past the old end first, so a full disk stops the write before the old box is
// touched). Otherwise the new box is first written after the last box (data_end), then the old box's type
// becomes "free" (it stays as padding), then the file is cut after the new box. A failing write at any point
// leaves a file that plays, with either the old tags or the new ones (a failure before the old box is given
// up takes the new one away again). The composition offsets ("ctts") of every track are kept, so a tag edit
// never changes the decode range.

#include <cstdint>

#include "compressed_inputs/mp4/atomkit/byte_stream.h"

namespace atomkit {

class movie_file;

void write_movie(movie_file& model, file_backed_stream& file, uint32_t mode);

}  // namespace atomkit
