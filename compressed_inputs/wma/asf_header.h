#pragma once
// asf_header: the program's own reader and writer of an ASF file's Header Object, for the attributes the
// Windows Media runtime does not hand out or cannot edit. No COM: it works on bytes and file_streams.
//
//     asf_header h;
//     asf_header_read(*file, h, abort);
//     h.attributes;      // QWORD "Duration", DWORD "Bitrate", "Title", "Author", "WM/AlbumTitle", ... in file order
//     h.audio.format_tag; // 0x161 for WMA V8
//
//     std::vector<wma_string_attribute> values = {{"Title", "New"}, {"WM/Mood", "calm"}, {"WM/Mood", "dark"}};
//     asf_write_tags(file, "file://C:\\a.wma", values, abort);
//
// Reading gives the attributes the runtime would: the File Properties' play duration less the preroll as
// QWORD "Duration" (100 ns), the first audio stream's average bytes per second x 8 as DWORD "Bitrate", the
// five Content Description texts, the Extended Content Description entries, and the Metadata and Metadata
// Library entries of the Header Extension (each with its stream number).
//
// Writing removes every managed attribute of stream 0 (wma_attribute_is_managed) and stores the new values:
// one value of the five Content Description names in that object, other single values in the Extended
// Content Description, several values of one name (or a text too long for a 16-bit size) as Metadata
// Library entries of stream 0. Every other object, entry and byte stays as it was, the Data Object and what
// follows it too; the File Properties' file size is updated. The new file is written through safe_rewrite,
// so a failure leaves the original untouched.
//
// A file that does not start with a Header Object, and a header whose objects are cut or claim more bytes
// than they hold, give ketrel_io::exception_io_data.

#include <cstdint>
#include <vector>

#include "compressed_inputs/wma/wma_fields.h"
#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"

struct asf_audio_format {
    bool present = false;
    uint16_t stream_number = 0;
    uint16_t format_tag = 0;
    uint16_t channels = 0;
    uint32_t sample_rate = 0;
    uint32_t average_bytes_per_second = 0;
    uint16_t bits_per_sample = 0;
};

struct asf_header {
    std::vector<uint8_t> bytes;   // the whole Header Object
    std::vector<wma_attribute> attributes;
    asf_audio_format audio;
    uint32_t packet_size = 0;     // the File Properties' data packet size; 0 where minimum and maximum differ
};

// Largest Header Object read (cover pictures included).
constexpr uint64_t asf_header_max_size = 64u * 1024 * 1024;

// Parses a whole Header Object held in memory.
void asf_header_parse(const uint8_t* data, size_t size, asf_header& out);
// Reads and parses the Header Object at the start of the file; the file's position is left after it.
void asf_header_read(file_stream& file, asf_header& out, const abort_signal& abort);
// The new Header Object with the managed attributes of stream 0 replaced by `values`; `rest_size` is the
// size of everything after the header, for the File Properties' file size.
std::vector<uint8_t> asf_header_retag(const asf_header& header, const std::vector<wma_string_attribute>& values,
                                      uint64_t rest_size);
// Rewrites the file at `path` with the new attributes; `file` is reopened on the new file.
void asf_write_tags(file_stream_ref& file, const char* path, const std::vector<wma_string_attribute>& values,
                    const abort_signal& abort);
