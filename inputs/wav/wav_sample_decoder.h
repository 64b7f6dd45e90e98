#pragma once
// The two sample decoders of WAVE data: wav_pcm_decoder for integer and IEEE float PCM, wav_acm_decoder for
// every other format tag, converted to integer PCM by the system's Audio Compression Manager.
//
//     kpl::rc_ptr<wav_sample_decoder> d = wav_sample_decoder_create(layout.format);
//     d->set_up(layout.format, file, layout.data_start, layout.data_size, abort);
//     while (d->decode(block, abort)) play(block);     // 1024 PCM frames (576 after the ACM) per block
//     d->seek(12.5, abort);                            // the next decode starts there

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/audio_block.h"

class wav_sample_decoder : public kpl::refcounted {
public:
    // Takes the format and the data range; ketrel_io::exception_io_data for a format it cannot decode.
    virtual void set_up(const kpl::array<uint8_t>& format, const file_stream_ref& file, uint64_t data_start,
                        uint64_t data_size, const abort_signal& abort) = 0;
    // The next block; false at the end of the data.
    virtual bool decode(audio_block& block, const abort_signal& abort) = 0;
    // Seconds from the start of the data; a negative time is ketrel_io::exception_io_data (PCM); a time past
    // the end ends the data.
    virtual void seek(double seconds, const abort_signal& abort) = 0;
};

// The decoder for a format record: tags 1 and 3, and 0xFFFE with the PCM or float sub-format, get the PCM
// decoder; any other tag the ACM decoder. An extensible record with an extra size below 22:
// ketrel_io::exception_io_data.
kpl::rc_ptr<wav_sample_decoder> wav_sample_decoder_create(const kpl::array<uint8_t>& format);

// The PCM decoder alone (tests use it directly).
kpl::rc_ptr<wav_sample_decoder> wav_pcm_decoder_create();
kpl::rc_ptr<wav_sample_decoder> wav_acm_decoder_create();

// The system's name of a format tag ("IMA ADPCM"), or false when the ACM does not know the tag.
bool wav_acm_format_tag_name(uint16_t tag, kpl::utf8_string& out);
// The bits per sample of the PCM format the ACM suggests for the record; false when it suggests none.
bool wav_acm_suggested_bits(const kpl::array<uint8_t>& format, uint32_t& bits);
