#pragma once
// wav_input: the input service of RIFF WAVE, RF64 and Sony Wave64 files (extensions "wav", "wave", "w64";
// no content type). Integer and float PCM are decoded directly, other format tags through the system's Audio
// Compression Manager. Plain RIFF files carry tags in "id3 " and LIST "INFO" chunks, written in place at
// stage_info; RF64 and Wave64 refuse a writer with "Tagging of this file format is not supported". The writer
// also answers track_info_writer_tag_remover.
//
//     service_ptr<track_decoder> d;
//     wav_input_service().open_decoder(d, file_stream_ref(), "file://C:\\a.wav", abort);

#include "inputs/input_service.h"

input_service& wav_input_service();
