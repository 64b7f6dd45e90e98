#include "metadata/decoding/decoder_slot.h"

#include <cmath>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "inputs/input_probe.h"
#include "metadata/audio_block.h"
#include "metadata/tag_operations.h"
#include "metadata/track_info.h"

namespace {

// The new decoder's subsongs become the cached info of the file's handles. A data error while reading
// them means the decoder may be left anywhere in the file: it is opened afresh.
void refresh_handles(service_ptr<track_decoder>& decoder, file_stream_ref& file, const char* path,
                     const abort_signal& abort, bool skip_flagged) {
    service_ptr<tag_operations> ops;
    service_class::get_single(ops);
    service_ptr<tag_operations_ext> ext;
    if (!service_query(ops.get(), ext)) throw exception_service_extension_not_found();
    service_ptr<info_hint_collector> hints;
    ext->create_info_hint_collector(hints);
    try {
        hints->add_hints_from_reader(path, decoder.get(), abort);
    } catch (const ketrel_io::exception_io_data&) {
        decoder.release();
        if (file) file->rewind(abort);
        input_open_decoder(decoder, file, path, abort, skip_flagged);
    }
    hints->commit();
}

void reset_position(decoder_slot& slot, double position) {
    slot.position = position;
    slot.origin = position;
    slot.samples = 0;
    slot.rate = 0;
}

// Counts a decoded block into the position.
void advance(decoder_slot& slot, const audio_block& block) {
    uint32_t rate = block.get_sample_rate();
    if (rate == 0) return;
    if (rate != slot.rate) {
        slot.origin = slot.position;
        slot.samples = 0;
        slot.rate = rate;
    }
    slot.samples += block.get_sample_count();
    slot.position = slot.origin + static_cast<double>(slot.samples) / rate;
}

}  // namespace

bool decoder_open_cached(decoder_slot& slot, file_stream_ref file, const char* path, const abort_signal& abort,
                         bool skip_flagged, bool no_refresh) {
    abort.check();
    if (slot.decoder && slot.path == path) return false;

    // The slot is emptied before anything can fail: from here on it holds either nothing or the new
    // decoder together with its own path.
    slot.decoder.release();
    slot.path.reset();
    service_ptr<track_decoder> decoder;
    input_open_decoder(decoder, file, path, abort, skip_flagged);
    if (!no_refresh) refresh_handles(decoder, file, path, abort, skip_flagged);
    slot.path = path;
    slot.decoder = decoder;
    return true;
}

void decoder_open_location(const track_location& location, decoder_slot& slot, file_stream_ref file, uint32_t flags,
                           const abort_signal& abort, bool skip_flagged, bool no_refresh) {
    decoder_open_cached(slot, file, location.get_path(), abort, skip_flagged, no_refresh);
    slot.decoder->initialise(location.get_subsong(), flags, abort);
}

void decoder_open_for_track(decoder_slot& slot, const decoder_open_params& params) {
    decoder_open_location(params.handle->get_location(), slot, params.file, params.flags, params.abort,
                          params.skip_flagged, params.no_refresh);
}

int32_t decoder_try_extension_call(track_decoder* decoder, int32_t argument) {
    service_ptr<decoder_playback_extension> ext;
    if (!service_query(decoder, ext)) return 0;
    return ext->run(argument);
}

bool decoder_set_event_sink(track_decoder* decoder, decoder_event_sink* sink) {
    service_ptr<track_decoder_v2> v2;
    if (!service_query(decoder, v2)) return false;
    v2->set_event_sink(sink);
    return true;
}

bool decoder_decode_raw(decoder_slot& slot, audio_block& block, kpl::byte_array& raw, const abort_signal& abort) {
    service_ptr<track_decoder_v2> v2;
    if (!service_query(slot.decoder.get(), v2)) throw kpl::exception_not_implemented();
    return v2->decode_chunk_raw(block, raw, abort);
}

bool decoder_decode_any(decoder_slot& slot, audio_block& block, kpl::byte_array* raw, const abort_signal& abort) {
    if (raw) return decoder_decode_raw(slot, block, *raw, abort);
    return slot.decoder->decode_chunk(block, abort);
}

void decoder_range_open(decoder_slot& slot, const decoder_range_params& params) {
    params.abort.check();
    slot.start = params.start;
    slot.end = 0;
    reset_position(slot, 0);
    slot.dynamic_info_pending = false;
    slot.dynamic_track_info_pending = false;

    decoder_open_location(params.location, slot, params.file, params.flags, params.abort, true, true);
    if (!slot.decoder->can_seek()) throw ketrel_io::exception_io_object_not_seekable();
    if (params.start > 0) slot.decoder->seek_seconds(params.start, params.abort);

    if (params.length > 0) {
        slot.end = params.length;
        return;
    }
    track_info_store info;
    slot.decoder->get_info(0, info, params.abort);
    double file_length = info.get_length();
    double end = file_length - params.start + params.length;
    if (!(file_length > 0) || !(end > 0)) throw ketrel_io::exception_io_data();
    slot.end = end;
}

bool decoder_range_decode(audio_block& block, decoder_slot& slot, kpl::byte_array* raw, const abort_signal& abort) {
    abort.check();
    if (slot.end <= 0) {
        if (!decoder_decode_any(slot, block, raw, abort)) return false;
        advance(slot, block);
        return true;
    }
    if (slot.position >= slot.end) return false;
    if (!decoder_decode_any(slot, block, raw, abort)) return false;
    slot.dynamic_info_pending = true;
    slot.dynamic_track_info_pending = true;

    uint32_t rate = block.get_sample_rate();
    uint32_t count = block.get_sample_count();
    // The samples left, counted from the whole samples decoded since the last seek so that rounding of
    // block durations never adds up; a millionth of a sample of slack absorbs the rounding of the end
    // itself (a cue time such as 13653 / 75 s is not exact in binary).
    double base = rate == slot.rate ? slot.origin : slot.position;
    uint64_t done = rate == slot.rate ? slot.samples : 0;
    double left = std::floor(static_cast<double>(rate) * (slot.end - base) - static_cast<double>(done) + 1e-6);
    uint64_t n = left > 0 ? static_cast<uint64_t>(left) : 0;
    if (n == 0) {
        slot.position = slot.end;
        return false;
    }
    if (n < count) {
        if (raw) raw->resize_exact(static_cast<uint32_t>(static_cast<uint64_t>(raw->count()) * n / count));
        block.set_sample_count(static_cast<uint32_t>(n));
        slot.position = slot.end;
        return true;
    }
    advance(slot, block);
    return true;
}

void decoder_range_seek(decoder_slot& slot, double seconds, const abort_signal& abort) {
    slot.dynamic_info_pending = false;
    if (slot.end <= 0 || seconds < slot.end) {
        slot.decoder->seek_seconds(slot.start + seconds, abort);
        reset_position(slot, seconds);
    } else {
        reset_position(slot, slot.end);
    }
}
