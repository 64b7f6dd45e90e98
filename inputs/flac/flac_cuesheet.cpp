#include "inputs/flac/flac_cuesheet.h"

#include "foundation/kpl/io_exceptions.h"
#include "metadata/cue/cue_sheet.h"

void flac_cuesheet_text(const FLAC__StreamMetadata_CueSheet& block, uint32_t sample_rate, uint64_t total_samples,
                        kpl::utf8_string& out) {
    if (sample_rate == 0 || block.num_tracks == 0 || !block.tracks) throw ketrel_io::exception_io_data();
    const double rate = sample_rate;
    cue_parser::cue_track_list tracks;
    for (uint32_t i = 0; i < block.num_tracks; ++i) {
        const FLAC__StreamMetadata_CueSheet_Track& record = block.tracks[i];
        uint64_t end = i + 1 < block.num_tracks ? block.tracks[i + 1].offset : total_samples;
        if (record.type != 0 || record.number == 0 || record.number >= 100) continue;
        if (end < record.offset) throw ketrel_io::exception_io_data();

        kpl::rc_ptr<cue_parser::cue_track> track = tracks.append();
        track->file_name = "CDImage.wav";
        track->number = record.number;
        track->info.set_length(static_cast<double>(end - record.offset) / rate);
        bool has_00 = false, has_01 = false;
        for (uint32_t k = 0; k < record.num_indices && record.indices; ++k) {
            const FLAC__StreamMetadata_CueSheet_Index& index = record.indices[k];
            if (index.number >= cue_parser::cue_index_count) continue;
            track->index_times[index.number] = static_cast<double>(record.offset + index.offset) / rate;
            has_00 = has_00 || index.number == 0;
            has_01 = has_01 || index.number == 1;
        }
        if (!has_01) track->index_times[1] = static_cast<double>(record.offset) / rate;
        if (!has_00) track->index_times[0] = track->index_times[1];
    }

    kpl::utf8_string_pow2 text;
    cue_parser::cue_write(text, tracks);
    // What the block says must make a sheet the embedded-cue layer accepts; otherwise the file is one
    // subsong rather than a file that cannot be opened.
    try {
        cue_parser::cue_track_list check;
        cue_parser::cue_parse(text.c_str(), check);
        if (check.count() == 0) throw ketrel_io::exception_io_data();
    } catch (const cue_parser::exception_bad_cuesheet&) {
        throw ketrel_io::exception_io_data();
    }
    out.set_string(text);
}
