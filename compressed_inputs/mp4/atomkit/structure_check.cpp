#include "compressed_inputs/mp4/atomkit/structure_check.h"

#include <map>

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/box_header.h"

namespace atomkit {

namespace {

const char* const garbage_at_end = "File is corrupted, garbage found at the end.";

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Walks the top-level boxes, counting their types; stops at the end or at the first problem.
void walk_top_level(file_backed_stream& file, structure_report& report, uint64_t& garbage_start,
                    std::map<uint32_t, uint32_t>& counts) {
    file.seek(0);
    const uint64_t file_size = file.size();
    for (;;) {
        const uint64_t pos = file.position();
        uint8_t b[8];
        size_t got = file.read(b, 8);
        if (got == 0) return;
        if (got < 8) {
            report.add(garbage_at_end);
            return;
        }
        if (b[0] == 'T' && b[1] == 'A' && b[2] == 'G' && pos + 128 == file_size) {
            report.add("File is corrupted, apparent ID3 tag found at the end.");
            garbage_start = pos;
            return;
        }
        if (b[4] >= 0x20 && b[5] >= 0x20 && b[6] >= 0x20 && b[7] >= 0x20) {
            uint64_t size = be32(b);
            uint64_t header = 8;
            if (size == 1) {
                try {
                    size = read_u64(file);
                } catch (const exception_truncation&) {
                    report.add(garbage_at_end);
                    return;
                }
                header = 16;
            }
            if (size >= header && pos + size >= pos) {
                const uint32_t type = uint32_t(b[4]) | uint32_t(b[5]) << 8 | uint32_t(b[6]) << 16 |
                                      uint32_t(b[7]) << 24;
                ++counts[type];
                // On a stream of unknown size, a skip that stops short at the end shows a cut box.
                if (pos + size <= file_size && file.skip(size - header) == size - header) continue;
                report.add("Object \"" + fourcc_text(type) + "\" at " + std::to_string(pos) + " bytes is truncated.");
                if (type == fourcc("mdat")) report.add("Media data is truncated, the file may not be playable completely.");
                return;
            }
        }
        report.add("Invalid box header found at " + std::to_string(pos) + " bytes, giving up.");
        return;
    }
}

}  // namespace

void check_structure(file_backed_stream& file, structure_report& report, uint64_t& garbage_start) {
    std::map<uint32_t, uint32_t> counts;
    walk_top_level(file, report, garbage_start, counts);
    uint32_t moov = counts[fourcc("moov")];
    if (moov == 0) report.add("No MOOV boxes found, the file is unplayable.");
    if (moov > 1) report.add("Invalid file, multiple MOOV boxes found.");
    if (counts[fourcc("mdat")] == 0) report.add("No MDAT box found, the file does not contain valid media data to play.");
    if (counts[fourcc("ftyp")] == 0) report.add("No FTYP atom found, the file is invalid.");
}

void remove_trailing_garbage(file_backed_stream& file, structure_report& report) {
    uint64_t garbage_start = unknown_size;
    check_structure(file, report, garbage_start);
    if (garbage_start == unknown_size) return;
    uint64_t size = file.size();
    file.truncate(garbage_start);
    report.add("Removed " + std::to_string(size - garbage_start) + " bytes of trailing garbage.");
}

}  // namespace atomkit
