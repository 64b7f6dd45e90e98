#pragma once
// wma_input: the input service of Windows Media files ("wma", "wmv", "asf"; local paths only, no content
// types). Decoding goes through the system's Windows Media Format runtime (wmvcore.dll from the system
// folder, loaded by each open file): its synchronous reader reads the file through an IStream over the
// file_stream, and the first audio stream comes out as integer PCM. Attributes become fields through
// wma_fields.h; where the runtime cannot list or edit them, the program's own ASF header code does
// (asf_header.h).
//
//     service_ptr<track_decoder> d;
//     wma_input_service().open_decoder(d, file_stream_ref(), "file://C:\\Music\\a.wma", abort);
//     d->initialise(0, 0, abort);
//     while (d->decode_chunk(block, abort)) play(block);
//
// Each open file initialises COM (CoInitialize) for its own life, on the thread that opens it, which must
// also be the one that releases it. Tags are rewritten through the runtime's metadata editor on a
// temporary copy beside the file, or by the program's own ASF writer when the runtime has no working editor
// (WMCreateEditor missing or failing, as under Wine, or its Open failing); either way the file takes its new
// content only once the copy is complete (safe_rewrite), and a failure leaves it byte-identical.

#include "inputs/input_service.h"

input_service& wma_input_service();
