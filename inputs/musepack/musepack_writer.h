#pragma once
// Writing Musepack metadata: ReplayGain into the stream (the version-7 header or the version-8 "RG" packet,
// in place), other fields into a trailing APEv2 tag, and chapter tags into version-8 "CT" packets.
//
//     musepack_write_file_info(file, path, info, abort);       // at stage_info of subsong 0
//     musepack_write_chapters(file, path, chapters, 44100, abort);
//
// Anything that changes the file's size is written as a whole new file beside the old one that then takes
// its place (safe_rewrite), so a failure or an abort leaves the original as it was. Chapters keep the start
// samples they had. Both writers walk the packets with sv8_packet_walker (musepack_packets.h); the new "CT"
// packets replace every old one and stand right before the "SE" packet.

#include <cstdint>
#include <vector>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/track_info.h"

// A version-8 packet size field: 7 bits per byte, most significant group first, bit 7 on all but the last.
//     musepack_size_field(300) == {0x82, 0x2C}
kpl::array<uint8_t> musepack_size_field(uint64_t size, uint32_t min_bytes = 1);
// A whole packet: key, size field of the fewest bytes holding the total size, payload.
kpl::array<uint8_t> musepack_packet(const char key[2], const uint8_t* payload, uint32_t size);

void musepack_write_file_info(file_stream_ref& file, const char* path, const track_info& info,
                              const abort_signal& abort);

struct musepack_chapter_write {
    uint64_t start = 0;                 // the chapter's start sample, kept
    const track_info* info = nullptr;   // its new info
};
// Version-8 files only (else ketrel_io::exception_io_data). Fields common to all chapters go to the file's
// trailing tag; the file's ReplayGain is the chapters' where they agree.
void musepack_write_chapters(file_stream_ref& file, const char* path, const std::vector<musepack_chapter_write>& chapters,
                             uint32_t sample_rate, const abort_signal& abort);
