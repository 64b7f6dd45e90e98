#pragma once
// wavpack_input: the input service of WavPack files (extension "wv"; no content type). Decoding goes through
// libwavpack (wavpack_stream), with the correction file of a hybrid stream when one is found; an embedded cue
// sheet makes one subsong per track; tags are an APEv2 tag at the end of the file.
//
//     service_ptr<track_decoder> d;
//     wavpack_input_service().open_decoder(d, file_stream_ref(), "file://C:\\a.wv", abort);

#include "inputs/input_service.h"

input_service& wavpack_input_service();
