// mp4_input_core: opening, decoding and seeking.

#include "compressed_inputs/mp4/mp4_input_core.h"

#include <cmath>
#include <string>

#include "compressed_inputs/mp4/atomkit/atom_exceptions.h"
#include "compressed_inputs/mp4/atomkit/parse_flags.h"
#include "compressed_inputs/mp4/atomkit/structure_check.h"
#include "compressed_inputs/mp4/mp4_exceptions.h"
#include "compressed_inputs/mp4/mp4_stream_adapter.h"
#include "compressed_inputs/system_codecs/system_codecs.h"
#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"

namespace {

// The owners of the sample entries that name an audio codec (AMR and "sawp" have no decoder here).
constexpr kpl::guid owner_amr = {0x40017871, 0x50A9, 0x48B6, {0xBF, 0x60, 0xBD, 0x18, 0x1A, 0x22, 0x7F, 0x9B}};
constexpr kpl::guid owner_sawp = {0x2E729EA0, 0x6BEB, 0x4392, {0xBF, 0x24, 0x75, 0xC6, 0x9B, 0x60, 0x16, 0x6D}};

// Runs f, turning atomkit's errors into exception_io_data_atomkit and overflow into exception_io_data.
template <class F>
auto translated(F f) -> decltype(f()) {
    try {
        return f();
    } catch (const atomkit::exception&) {
        throw exception_io_data_atomkit();
    } catch (const kpl::exception_overflow&) {
        throw ketrel_io::exception_io_data();
    }
}

std::string frame_text(const char* head, uint32_t frame, uint32_t count, const char* tail) {
    return std::string(head) + std::to_string(frame) + " of " + std::to_string(count) + tail;
}

// The channel count an MPEG-4 AudioSpecificConfig gives (channel configurations 1-7), 0 when it names none.
// MP4 files from ffmpeg and others always say 2 channels in the sample entry, mono AAC included.
uint32_t asc_channels(const std::vector<uint8_t>& asc) {
    uint32_t bits = 0, used = 0;
    size_t next = 0;
    auto take = [&](uint32_t n) -> uint32_t {
        uint32_t v = 0;
        while (n--) {
            if (used == 0) {
                if (next >= asc.size()) throw 0;
                bits = asc[next++];
                used = 8;
            }
            v = v << 1 | ((bits >> --used) & 1);
        }
        return v;
    };
    try {
        if (take(5) == 31) take(6);
        if (take(4) == 15) take(24);
        const uint32_t config = take(4);
        return config >= 1 && config <= 6 ? config : config == 7 ? 8 : 0;
    } catch (int) {
        return 0;
    }
}

// Failed packets in a row, none decoded before, that show a decoder unable to decode the track at all.
constexpr uint32_t refused_setup_failures = 8;

uint64_t round_ticks(double v) { return v > 0 ? uint64_t(std::floor(v + 0.5)) : 0; }

}  // namespace

mp4_packet_decoder_opener mp4_packet_decoder_test_opener = nullptr;

mp4_input_core::mp4_input_core() { m_sink.assign(decoder_event_sink::null_sink()); }

void mp4_input_core::set_event_sink(decoder_event_sink* sink) {
    m_sink.assign(sink ? sink : decoder_event_sink::null_sink());
}

file_stats mp4_input_core::get_file_stats(const abort_signal& abort) { return file_stats_read(*m_file, abort); }

void mp4_input_core::open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort) {
    m_path.assign_cstr(path);
    filesystem_open_mode(file, path, static_cast<uint32_t>(reason), abort);
    m_file = file;
    translated([&] { open_model(reason, abort); });
}

void mp4_input_core::open_model(input_open_reason reason, const abort_signal& abort) {
    m_model.reset();
    m_decoder.release();
    m_cursor_valid = false;
    mp4_stream_adapter stream(*m_file, abort);
    m_model.open(stream, reason == input_open_write ? atomkit::parse_for_tag_writing : atomkit::parse_for_playback,
                 m_file->can_seek());

    bool found = false;
    for (size_t i = 0; i < m_model.tracks.size() && !found; ++i) {
        if (atomkit::is_audio_kind(m_model.tracks[i]->kind)) {
            m_track_index = i;
            found = true;
        }
    }
    if (!found) throw atomkit::exception("cannot find audio track to decode");
    const atomkit::track_record& track = *m_model.tracks[m_track_index];
    const atomkit::track_summary s = atomkit::summary(track);
    m_sample_rate = s.sample_rate;
    m_channels = s.channels;
    m_bits_per_sample = s.bits_per_sample;
    m_time_scale = s.time_scale;
    m_frame_count = s.sample_count;
    m_summary_bitrate = s.bitrate;
    const uint32_t ot = track.object_type;
    m_setup_missing = false;
    m_decoded_any = false;
    m_failures_in_row = 0;
    if (track.kind == atomkit::kind_mp4a && (ot == 64 || (ot >= 102 && ot <= 104))) {
        if (const uint32_t c = asc_channels(track.decoder_setup)) m_channels = c;
        // Without its AudioSpecificConfig an AAC decoder cannot be set up; the system's would give no audio.
        m_setup_missing = track.decoder_setup.empty();
    }
    const char* invalid = m_sample_rate == 0 ? "Invalid sample rate."
                          : m_channels == 0  ? "Invalid channel count."
                          : m_time_scale == 0 ? "Invalid time scale."
                                              : nullptr;
    if (invalid) {
        report(invalid, 2);
        throw ketrel_io::exception_io_data();
    }
    m_tick_seconds = 1.0 / m_time_scale;

    kpl::guid owner = codec_owner_mp4;
    uint32_t parameter = 0;
    if (track.kind == atomkit::kind_mp4a) parameter = track.object_type;
    else if (track.kind == atomkit::kind_alac) owner = codec_owner_alac;
    else if (track.kind == atomkit::kind_amr) owner = owner_amr;
    else owner = owner_sawp;
    if (mp4_packet_decoder_test_opener) {
        mp4_packet_decoder_test_opener(m_decoder, track);
    } else {
        codec_packet_decoder_open(m_decoder, reason == input_open_decode, owner, parameter,
                                  track.decoder_setup.data(), track.decoder_setup.size(), abort);
    }
    if (m_sample_rate) m_decoder->property(codec_property_sample_rate, intptr_t(m_sample_rate), nullptr, 0);
    if (m_bits_per_sample) m_decoder->property(codec_property_bits_per_sample, intptr_t(m_bits_per_sample), nullptr, 0);
    if (m_channels) m_decoder->property(codec_property_channels, intptr_t(m_channels), nullptr, 0);
    m_decoder_info.reset();

    if (m_decoder->needs_first_packet()) {
        try {
            atomkit::cursor_seek(m_cursor, track, 0);
            m_cursor_valid = true;
            const atomkit::sample_info info = atomkit::cursor_info(m_cursor, track);
            if (info.size == 0) throw ketrel_io::exception_io_data();
            try {
                m_file->seek(info.file_offset, abort);
            } catch (const ketrel_io::exception_io_seek_out_of_range&) {
                throw ketrel_io::exception_io_data();
            }
            m_frame_buffer.resize(info.size > m_frame_buffer.size() ? info.size : m_frame_buffer.size());
            m_file->read_exact(m_frame_buffer.data(), info.size, abort);
            m_decoder->set_first_packet(m_frame_buffer.data(), info.size, abort);
        } catch (const std::exception&) {
            report(frame_text("reading from MP4 file failed: frame ", 1, m_frame_count, ".").c_str(), 2);
            throw;
        }
    }

    m_decoder->get_info(m_decoder_info);
    const int64_t channels = m_decoder_info.info_get_int("channels");
    const int64_t rate = m_decoder_info.info_get_int("samplerate");
    const int64_t bits = m_decoder_info.info_get_int("bitspersample");
    if (channels > 0) m_channels = uint32_t(channels);
    if (rate > 0) m_sample_rate = uint32_t(rate);
    if (bits > 0) m_bits_per_sample = uint32_t(bits);
    if (m_channels == 0 || m_sample_rate == 0) {
        m_decoder.release();
        report("Decoder returned invalid info.", 2);
        throw ketrel_io::exception_io_data();
    }
}

void mp4_input_core::chapter_range(uint32_t subsong, double& start, double& end) const {
    const size_t n = m_model.chapter_count();
    if (subsong == 0) {
        start = m_model.chapter_start_seconds(0);
        end = m_model.chapter_end_seconds(n - 1);
    } else {
        start = m_model.chapter_start_seconds(subsong - 1);
        end = m_model.chapter_end_seconds(subsong - 1);
    }
}

void mp4_input_core::initialise(uint32_t subsong, uint32_t flags, const abort_signal& abort) {
    translated([&] { init_range(subsong, flags, abort); });
}

void mp4_input_core::init_range(uint32_t subsong, uint32_t flags, const abort_signal& abort) {
    m_skip_samples = 0;
    chapter_range(subsong, m_range_start, m_range_end);
    if (!(m_range_start < m_range_end)) throw atomkit::exception("invalid decode range");
    if ((flags & decoder_flag_fail_on_damage) && m_file->can_seek()) {
        mp4_stream_adapter stream(*m_file, abort);
        atomkit::structure_report r;
        uint64_t garbage = atomkit::unknown_size;
        atomkit::check_structure(stream, r, garbage);
        for (const std::string& m : r.messages) report(m.c_str(), 2);
    }
    atomkit::cursor_seek(m_cursor, *m_model.tracks[m_track_index], 0);
    m_cursor_valid = true;
    seek_to(0);
}

void mp4_input_core::seek_seconds(double seconds, const abort_signal&) {
    translated([&] { seek_to(seconds); });
}

void mp4_input_core::seek_to(double seconds) {
    const double x = m_range_start + seconds;
    if (!(x < m_range_end)) {
        // At or past the end: nothing more plays, and nothing from before the seek comes out of the decoder.
        m_current_frame = m_frame_count;
        m_skip_samples = 0;
        m_remaining_samples = 0;
        m_decoder->reset_after_seek();
        return;
    }
    uint64_t preroll = round_ticks(m_time_scale * m_decoder->preroll_seconds());
    const uint64_t target = round_ticks(m_time_scale * x);
    if (preroll > target) preroll = target;
    uint64_t remainder = 0;
    try {
        m_current_frame = atomkit::time_to_sample(*m_model.tracks[m_track_index], target - preroll, remainder);
    } catch (const atomkit::exception_out_of_range&) {
        m_current_frame = m_frame_count;
        return;
    }
    const double skip = std::floor((double(remainder) + double(preroll)) * m_sample_rate * m_tick_seconds + 0.5);
    if (skip > 4294967295.0) throw kpl::exception_overflow();
    m_skip_samples = uint32_t(skip);
    const double remaining = std::floor(m_sample_rate * (m_range_end - x) + 0.5);
    m_remaining_samples = remaining > 0 ? uint64_t(remaining) : 0;
    m_decoder->reset_after_seek();
}

bool mp4_input_core::decode_chunk(audio_block& block, const abort_signal& abort) {
    return translated([&] { return decode_step(block, abort); });
}

void mp4_input_core::read_sample(const atomkit::sample_info& info, const abort_signal& abort) {
    try {
        const uint64_t size = m_file->get_size(abort);
        if (size != file_size_unknown && size < info.file_offset + info.size) throw ketrel_io::exception_io_data();
        mp4_stream_adapter(*m_file, abort).seek(info.file_offset);  // forward only on a stream
        if (info.size > m_frame_buffer.size()) m_frame_buffer.resize(info.size);
        m_file->read_exact(m_frame_buffer.data(), info.size, abort);
    } catch (const ketrel_io::exception_aborted&) {
        throw;
    } catch (const ketrel_io::exception_io&) {
        report(frame_text("Reading from MP4 file failed: frame ", m_current_frame + 1, m_frame_count, ".").c_str(), 2);
        throw;
    }
}

bool mp4_input_core::decode_step(audio_block& block, const abort_signal& abort) {
    const atomkit::track_record& track = *m_model.tracks[m_track_index];
    for (;;) {
        if (m_remaining_samples == 0) return false;
        abort.check();
        size_t size = 0;
        if (m_current_frame < m_frame_count) {
            if (m_cursor_valid && uint64_t(m_cursor.sample) + 1 == m_current_frame) {
                if (!atomkit::cursor_next(m_cursor, track)) throw atomkit::exception("error advancing iterator");
            } else if (!m_cursor_valid || m_cursor.sample != m_current_frame) {
                atomkit::cursor_seek(m_cursor, track, m_current_frame);
                m_cursor_valid = true;
            }
            const atomkit::sample_info info = atomkit::cursor_info(m_cursor, track);
            if (info.size == 0 || info.file_offset + info.size < info.file_offset) {
                report(frame_text("Invalid MP4 frame size: frame ", m_current_frame + 1, m_frame_count, ".").c_str(), 2);
                throw ketrel_io::exception_io_data();
            }
            read_sample(info, abort);
            size = info.size;
        } else if (m_current_frame > m_frame_count) {
            return false;
        }
        m_decoded.reset();
        try {
            if (m_setup_missing) throw exception_codec_setup("The AAC track has no decoder configuration");
            m_decoder->decode_packet(size ? m_frame_buffer.data() : nullptr, size, m_decoded, abort);
        } catch (const ketrel_io::exception_aborted&) {
            throw;
        } catch (const exception_codec_setup& e) {
            // No codec at all: nothing of the stream can play.
            report(e.what(), 2);
            throw;
        } catch (const std::exception& e) {
            std::string text;
            if (size == 0) {
                text = std::string("Error flushing the decoder: ") + e.what();
                report(text.c_str(), 1);
            } else {
                text = frame_text((std::string("Decoding error: ") + e.what() + ", frame: ").c_str(),
                                  m_current_frame + 1, m_frame_count, "");
                report(text.c_str(), m_skip_samples != 0 ? 1 : 2);
                // A decoder that has never decoded a packet and fails packet after packet was not set up to
                // decode this track (an unusable "esds" configuration): the track cannot play at all.
                if (!m_decoded_any && ++m_failures_in_row >= refused_setup_failures) throw exception_codec_setup(e.what());
            }
            m_decoded.reset();
        }
        if (size != 0 && m_decoded.get_sample_count() != 0) {
            m_decoded_any = true;
            m_failures_in_row = 0;
        }
        ++m_current_frame;
        uint32_t n = m_decoded.get_sample_count();
        if (n == 0) continue;
        if (!m_decoded.is_valid()) {
            report("Decoder produced invalid chunk.", 2);
            throw ketrel_io::exception_io_data();
        }
        if (m_decoded.get_sample_rate() != m_sample_rate) {
            const std::string text = "Expected sample rate: " + std::to_string(m_sample_rate) +
                                     ", got: " + std::to_string(m_decoded.get_sample_rate());
            report(text.c_str(), 2);
            throw ketrel_io::exception_io_data();
        }
        const uint32_t k = n < m_skip_samples ? n : m_skip_samples;
        m_skip_samples -= k;
        n -= k;
        if (n > m_remaining_samples) n = uint32_t(m_remaining_samples);
        m_remaining_samples -= n;
        if (n > 0) {
            const uint32_t channels = m_decoded.get_channels();
            block.set_data(m_decoded.get_data() + size_t(k) * channels, n, channels, m_decoded.get_sample_rate(),
                           channel_mask_default(channels));
            return true;
        }
    }
}
