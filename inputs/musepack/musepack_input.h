#pragma once
// musepack_input: the input service of Musepack files (content types "audio/musepack" and "audio/x-musepack"
// exactly; extensions "mpc", "mp+", "mpp"). Stream versions 7 and 8 decode through libmpcdec; the chapters of
// a version-8 stream are subsongs 1..n. ReplayGain lives in the stream (version-7 header, version-8 "RG"
// packet), other fields in a trailing APEv2 tag, and each chapter's fields in its "CT" packet.
//
//     service_ptr<track_info_reader> r;
//     musepack_input_service().open_info_reader(r, file_stream_ref(), "file://C:\\a.mpc", abort);
//     r->subsong_count();      // 3 for a file with three chapters (ids 1, 2, 3)

#include "inputs/input_service.h"

input_service& musepack_input_service();
