#pragma once
// flac_decoder_core: one libFLAC stream decoder reading through the program's own file objects.
//
//     flac_decoder_core core;
//     track_info_store info;
//     core.read_metadata(file, file->can_seek(), &info, abort);   // "samplerate", tags, "bitrate", ...
//     audio_block_store block;
//     while (core.decode(block, abort)) use(block);              // one FLAC frame per block
//     core.seek_sample(44100, abort);                            // seekable files only
//
// Every libFLAC call runs with the caller's abort signal in place (restored on every way out) and all
// callbacks catch every exception and answer libFLAC with its failure codes. A libFLAC call that fails
// gives ketrel_io::exception_aborted when the abort signal is set, the exception a callback caught when
// there was one, and ketrel_io::exception_io_data otherwise.
//
// Metadata: every block type is delivered. STREAMINFO is kept (and fills the info); VORBIS_COMMENT fills
// the info (flac_metadata.h) and gives the channel mask of a "WAVEFORMATEXTENSIBLE_CHANNEL_MASK" comment
// that starts "0x"; CUESHEET becomes cue sheet text, the info's "cuesheet" unless the comments give one;
// failures inside one block's handling are dropped, so a broken block only loses itself.
// STREAMINFO with a sample rate is required after the metadata.
//
// libFLAC's reads go to the file as they come; the file objects read ahead themselves (disk_file.h).
//
// Frames become interleaved float blocks (sample x 2^-(bits-1)) with the channel mask of
// flac_channel_mask; no layout, or fewer than 8 bits, is ketrel_io::exception_io_data. Damage libFLAC can
// skip is reported once to the event sink as "Corrupted FLAC stream" (severity 2) until the next seek,
// reset or metadata reading.

#include <cstdint>
#include <exception>

#include <FLAC/stream_decoder.h>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_service.h"

class audio_block;
class track_info;

class flac_decoder_core {
public:
    flac_decoder_core();
    ~flac_decoder_core();
    flac_decoder_core(const flac_decoder_core&) = delete;
    flac_decoder_core& operator=(const flac_decoder_core&) = delete;

    // Rewinds the file and reads the metadata. With `seekable` the decoder gets the seek, tell, length
    // and end-of-file callbacks. `info` (may be null) gets "codec" "FLAC", "encoding" "lossless", the
    // STREAMINFO fields, the comments and "bitrate" (when the total sample count is known).
    void read_metadata(file_stream_ref file, bool seekable, track_info* info, const abort_signal& abort);

    // The next frame into `block`; false at the end of the stream.
    bool decode(audio_block& block, const abort_signal& abort);
    // Moves to an absolute sample; a target at or past the known total ends the stream without libFLAC.
    void seek_sample(uint64_t sample, const abort_signal& abort);
    // Drops queued frames and libFLAC's buffered input (for packet decoding after a
    // seek); damage is reported again after it.
    void flush(const abort_signal& abort);
    // For packet decoding: after decode found the input ended inside a packet (false, or the data error of
    // a frame cut short), makes the decoder ready for the next packet. Damage stays reported.
    void resume(const abort_signal& abort);
    // Whether damage was reported since the last seek, flush or metadata reading.
    bool damage_reported() const { return m_error_reported; }

    bool has_stream_info() const { return m_has_stream_info; }
    const FLAC__StreamMetadata_StreamInfo& stream_info() const { return m_stream_info; }
    // The sum of (block length + 4) over the metadata blocks read.
    uint64_t metadata_bytes() const { return m_metadata_bytes; }
    // Whether the stream has a CUESHEET block.
    bool has_cuesheet_block() const { return m_has_cuesheet; }
    // The cue sheet text made from the CUESHEET block (inputs/flac/flac_cuesheet.h); empty when there is no
    // block or it gave none. read_metadata puts it into the info as "cuesheet" unless the comments have one.
    const kpl::utf8_string& cuesheet_text() const { return m_cuesheet_text; }
    uint32_t stored_channel_mask() const { return m_channel_mask; }
    bool at_end() const { return m_at_end; }

    // The sink for damage reports (null: the null sink).
    void set_event_sink(decoder_event_sink* sink);

    // With `keep` set, every frame also keeps libFLAC's integer samples, interleaved, and after each decode
    // that answered true `integers` holds those of the block handed out (sample count x channels values):
    //     core.keep_integers(true);
    //     core.decode(block, abort);   // core.integers()[0] == the first sample of channel 0, unscaled
    void keep_integers(bool keep) { m_keep_integers = keep; }
    const kpl::array<int32_t>& integers() const { return m_integers; }

private:
    struct frame {
        kpl::array<float> samples;
        kpl::array<int32_t> integers;  // only with keep_integers
        uint32_t count = 0, channels = 0, mask = 0, rate = 0;
    };
    class abort_scope;

    static FLAC__StreamDecoderReadStatus read_callback(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                                       void* data);
    static FLAC__StreamDecoderSeekStatus seek_callback(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* data);
    static FLAC__StreamDecoderTellStatus tell_callback(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* data);
    static FLAC__StreamDecoderLengthStatus length_callback(const FLAC__StreamDecoder*, FLAC__uint64* length,
                                                           void* data);
    static FLAC__bool eof_callback(const FLAC__StreamDecoder*, void* data);
    static FLAC__StreamDecoderWriteStatus write_callback(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                         const FLAC__int32* const buffer[], void* data);
    static void metadata_callback(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* data);
    static void error_callback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* data);

    size_t read_bytes(uint8_t* out, size_t n);
    void on_frame(const FLAC__Frame* header, const FLAC__int32* const buffer[]);
    void on_metadata(const FLAC__StreamMetadata* block);
    // The failure rule after a libFLAC call answered false.
    [[noreturn]] void fail();
    void clear_queue();

    FLAC__StreamDecoder* m_decoder;
    file_stream_ref m_file;
    const abort_signal* m_abort;
    track_info* m_info = nullptr;
    // The file's size as told once when the metadata is read.
    uint64_t m_size = ~uint64_t(0);
    std::exception_ptr m_callback_error;

    FLAC__StreamMetadata_StreamInfo m_stream_info{};
    bool m_has_stream_info = false;
    uint64_t m_metadata_bytes = 0;
    uint32_t m_channel_mask = 0;
    bool m_has_cuesheet = false;
    kpl::utf8_string_tight m_cuesheet_text;

    // Frames decoded but not handed out yet, oldest first, and the buffers to reuse.
    kpl::array<frame*> m_queue;
    kpl::array<frame*> m_free;
    // While decode runs: the caller's block, filled directly by the first frame.
    audio_block* m_direct = nullptr;
    bool m_direct_filled = false;

    bool m_keep_integers = false;
    kpl::array<int32_t> m_integers;

    bool m_at_end = false;
    bool m_error_reported = false;
    decoder_event_sink* m_sink;
    service_ptr<decoder_event_sink> m_sink_ref;
};
