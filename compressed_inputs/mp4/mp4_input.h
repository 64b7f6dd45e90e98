#pragma once
// mp4_input: the input service of ISO base media files: extensions "MP4", "M4A", "M4B", "M4R", "3GP", "3G2"
// (any case) and the content types "audio/mp4" and "audio/x-mp4" (any case). Each opened file is an
// mp4_input_core (compressed_inputs/mp4/mp4_input_core.h); chapters are its subsongs, and tags are written
// back in place by atomkit's retag writer. No album-art reader: pictures are kept only so that a retag
// writes them back.
//
//     service_ptr<track_decoder> d;
//     mp4_input_service().open_decoder(d, file_stream_ref(), "file://C:\\Music\\a.m4a", abort);
//     d->initialise(1, 0, abort);        // the first chapter
//     while (d->decode_chunk(block, abort)) play(block);

#include "inputs/input_service.h"

input_service& mp4_input_service();
