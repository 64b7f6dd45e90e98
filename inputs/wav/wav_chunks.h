#pragma once
// The chunk structure of RIFF WAVE, RF64 and Sony Wave64 files: the walk from the file head to the format
// record and the sample data.
//
//     wav_layout layout;
//     wav_walk_chunks(*file, layout, abort);       // ketrel_io::exception_io_data for a malformed head
//     wav_format fmt(layout.format);               // tag 1, 2 channels, 44100 Hz ...
//     file->seek(layout.data_start, abort);        // layout.data_size bytes of samples follow
//
// Every chunk is known by a 16-byte GUID: Wave64 carries it in the chunk header, RIFF and RF64 translate their
// four-character codes through wav_chunk_guid ("fmt " -> {20746D66-ACF3-11D3-8CD1-00C04F8EDB8A}, an unknown
// code -> the null GUID).

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/kpl/guid.h"
#include "foundation/tasks/abort_signal.h"

enum wav_container_kind : int32_t { wav_container_riff = 0, wav_container_wave64 = 1, wav_container_rf64 = 2 };

// The chunk GUIDs of the table (Wave64 uses them in its headers).
extern const kpl::guid wav_guid_riff;
extern const kpl::guid wav_guid_wave;
extern const kpl::guid wav_guid_fmt;
extern const kpl::guid wav_guid_data;
extern const kpl::guid wav_guid_ds64;
extern const kpl::guid wav_guid_junk;

// The GUID of a four-character code ("RIFF", "WAVE", "fmt ", "data", "ds64", "JUNK"); the null GUID for any
// other code.
kpl::guid wav_chunk_guid(const char code[4]);

// Format tags and sub-formats.
enum : uint16_t { wav_tag_pcm = 1, wav_tag_ms_adpcm = 2, wav_tag_float = 3, wav_tag_extensible = 0xFFFE };
extern const kpl::guid wav_subformat_pcm;    // {00000001-0000-0010-8000-00AA00389B71}
extern const kpl::guid wav_subformat_float;  // {00000003-0000-0010-8000-00AA00389B71}

// A view of a format record (WAVEFORMATEX with its extra bytes, at least 18 bytes).
struct wav_format {
    explicit wav_format(const kpl::array<uint8_t>& record);

    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t sample_rate = 0;
    uint32_t avg_bytes_per_second = 0;
    uint16_t block_align = 0;
    uint16_t bits_per_sample = 0;
    uint16_t extra_size = 0;
    uint32_t record_size = 0;
    // WAVE_FORMAT_EXTENSIBLE fields, read when the record holds them (record_size >= 40).
    uint16_t valid_bits = 0;
    uint32_t channel_mask = 0;
    kpl::guid subformat = kpl::guid_null;
};

struct wav_layout {
    wav_container_kind kind = wav_container_riff;
    kpl::array<uint8_t> format;   // the format record, at least 18 bytes (a 16-byte one gets extra size 0)
    uint64_t data_start = 0;
    uint64_t data_size = 0;
};

// Reads the head and walks the chunks. The file must be seekable (else exception_io_object_not_seekable) and
// know its size (else exception_io_no_length). A RIFF size of 0 walks to the end of the file; sizes beyond the
// file are clipped to it, RF64's ds64 data size too; a "data" chunk of size 0 runs to the end; a chunk header
// cut off by the end of the file ends the walk. Malformed heads, format records or ds64 values and a file without "fmt " or "data":
// ketrel_io::exception_io_data.
void wav_walk_chunks(file_stream& file, wav_layout& out, const abort_signal& abort);

// Little-endian helpers over bytes.
inline uint16_t wav_le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t wav_le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
inline uint64_t wav_le64(const uint8_t* p) { return wav_le32(p) | static_cast<uint64_t>(wav_le32(p + 4)) << 32; }
inline void wav_put_le32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
