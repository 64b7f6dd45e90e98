// mpeg_stream's decoder: the packet decoder of the layer, start and end trimming, seeking over the seek table.

#include <cmath>

#include "compressed_inputs/mpeg/mpeg_seek_table.h"
#include "compressed_inputs/mpeg/mpeg_stream.h"
#include "compressed_inputs/system_codecs/system_codecs.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string.h"

namespace {
// Frames before the target frame where a seek starts decoding at most.
constexpr uint64_t seek_lead_frames = 10;
}

void mpeg_stream::initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort) {
    if (subsong != 0) throw ketrel_io::exception_io_data();
    m_crc_mismatch_reported = false;
    analyse(abort);
    m_flags = flags;
    if (m_seekable) m_file->seek(m_audio_start, abort);
    m_decoder.release();
    if (m_layer < 1 || m_layer > 3) throw ketrel_io::exception_io_data();
    if (mpeg_packet_decoder_test_opener) {
        mpeg_packet_decoder_test_opener(m_decoder, m_layer);
    } else {
        static const kpl::guid owners[3] = {codec_owner_mpeg_layer1, codec_owner_mpeg_layer2, codec_owner_mpeg_layer3};
        codec_packet_decoder_open(m_decoder, true, owners[m_layer - 1], 0, nullptr, 0, abort);
    }
    m_decoder->property(codec_property_channels, static_cast<intptr_t>(m_channels), nullptr, 0);
    m_decoder->property(codec_property_sample_rate, static_cast<intptr_t>(m_sample_rate), nullptr, 0);
    m_skip_remaining = m_start_trim;
    m_end_reached = false;
    m_initialised = true;
    seek_to_sample(0, abort);
}

bool mpeg_stream::decode_chunk(audio_block& block, const abort_signal& abort) {
    if (!m_initialised) throw kpl::exception_dynamic_assert();
    for (;;) {
        m_work.reset();
        while (m_work.get_sample_count() == 0) {
            if (m_end_reached) return false;
            abort.check();
            const bool decode_this = m_skip_remaining < mpeg_preroll_samples;
            const uint32_t size = read_frame(decode_this, abort);
            if (size > 0 && !decode_this) {
                // Far before the target: the frame stands for silence that is dropped anyway.
                mpeg_frame_header h;
                if (!mpeg_parse_frame_header(m_frame, h)) throw ketrel_io::exception_io_data();
                m_work.set_data(nullptr, h.samples_per_frame, h.channels, h.sample_rate, channel_mask_default(h.channels));
                break;
            }
            if (size == 0) {
                m_end_reached = true;
                if (!decode_this) return false;
            }
            try {
                m_decoder->decode_packet(size ? m_frame : nullptr, size, m_work, abort);
            } catch (const exception_codec_setup&) {
                throw;  // no codec at all: nothing of the stream can play
            } catch (const ketrel_io::exception_io_data& e) {
                kpl::utf8_string_pow2 text("MP3 decoding failure: ");
                text << e.what();
                m_work.reset();
                report_error(text.c_str());
            }
        }
        if (m_skip_remaining > 0) {
            if (m_skip_remaining < m_work.get_sample_count()) {
                m_skip_remaining -= m_work.skip_front(static_cast<uint32_t>(m_skip_remaining));
            } else {
                m_skip_remaining -= m_work.get_sample_count();
                continue;
            }
        }
        if (m_info.accurate_length) {
            const uint64_t total = m_total_samples > 0 ? uint64_t(m_total_samples) : 0;
            const uint64_t remaining = total > m_decoded_position ? total - m_decoded_position : 0;
            if (remaining < m_work.get_sample_count()) m_work.set_sample_count(static_cast<uint32_t>(remaining));
            if (m_work.get_sample_count() == 0) {
                m_end_reached = true;
                return false;
            }
        }
        m_decoded_position += m_work.get_sample_count();
        block.set_data(m_work.get_data(), m_work.get_sample_count(), m_work.get_channels(), m_work.get_sample_rate(),
                       m_work.get_channel_mask());
        return true;
    }
}

void mpeg_stream::seek_seconds(double seconds, const abort_signal& abort) {
    if (!m_initialised) throw kpl::exception_dynamic_assert();
    if (!m_seekable) throw kpl::exception_not_implemented();
    seek_to_sample(seconds, abort);
}

void mpeg_stream::seek_to_sample(double seconds, const abort_signal& abort) {
    const double t = seconds > 0 ? seconds : 0;
    const uint64_t target = static_cast<uint64_t>(std::floor(t * m_sample_rate + 0.5));
    const uint64_t absolute = target + m_start_trim;
    const uint64_t frame = absolute / m_samples_per_frame;
    m_end_reached = false;
    uint64_t byte_offset = 0, point_frame = 0;
    if (m_seekable) {
        const int handle = seek_table_handle();
        if (frame > seek_lead_frames &&
            !mpeg_seek_table_cache::instance().find_point(handle, frame - seek_lead_frames, byte_offset, point_frame)) {
            byte_offset = 0;
            point_frame = 0;
        }
        m_file->seek(m_audio_start + byte_offset, abort);
    }
    m_frames_read = point_frame;
    if (m_decoder) m_decoder->reset_after_seek();
    m_skip_remaining = (frame - point_frame) * m_samples_per_frame + absolute % m_samples_per_frame;
    m_decoded_position = target;
}
