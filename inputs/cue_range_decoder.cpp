#include "inputs/cue_range_decoder.h"

void cue_range_decoder::open(file_stream_ref file, const char* path, uint32_t flags, double start, double length,
                             const abort_signal& abort) {
    if (file) file->rewind(abort);
    decoder_range_open(m_slot, {file, track_location(path, 0), flags & ~decoder_flag_bit0, abort, start, length});
}

bool cue_range_decoder::decode(audio_block& block, const abort_signal& abort) {
    return decoder_range_decode(block, m_slot, nullptr, abort);
}

bool cue_range_decoder::decode_raw(audio_block& block, kpl::byte_array& raw, const abort_signal& abort) {
    return decoder_range_decode(block, m_slot, &raw, abort);
}

void cue_range_decoder::seek(double seconds, const abort_signal& abort) { decoder_range_seek(m_slot, seconds, abort); }

bool cue_range_decoder::dynamic_info(track_info& info, double& offset) {
    if (!m_slot.dynamic_info_pending) return false;
    m_slot.dynamic_info_pending = false;
    return m_slot.decoder->dynamic_info(info, offset);
}

bool cue_range_decoder::dynamic_track_info(track_info& info, double& offset) {
    if (!m_slot.dynamic_track_info_pending) return false;
    m_slot.dynamic_track_info_pending = false;
    return m_slot.decoder->dynamic_track_info(info, offset);
}

void cue_range_decoder::on_idle(const abort_signal& abort) {
    if (m_slot.decoder) m_slot.decoder->on_idle(abort);
}

void cue_range_decoder::set_event_sink(decoder_event_sink* sink) {
    if (m_slot.decoder) decoder_set_event_sink(m_slot.decoder.get(), sink);
}
