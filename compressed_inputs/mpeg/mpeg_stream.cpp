#include "compressed_inputs/mpeg/mpeg_stream.h"

#include <cmath>
#include <cstring>

#include "compressed_inputs/mpeg/mpeg_seek_table.h"
#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "inputs/abortable_file.h"
#include "metadata/tags/id3v2_tag_io.h"
#include "metadata/tags/leading_id3v2.h"
#include "metadata/tags/tag_file_ops.h"

mpeg_packet_decoder_opener mpeg_packet_decoder_test_opener = nullptr;

namespace {
constexpr uint32_t block_size = 16384;
constexpr uint32_t frame_capacity = 16384;
}  // namespace

mpeg_stream::mpeg_stream() { m_sink.assign(decoder_event_sink::null_sink()); }

mpeg_stream::~mpeg_stream() = default;

void mpeg_stream::open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort) {
    m_decoder.release();
    m_seek_table_handle = -1;
    m_path.assign_cstr(path);
    m_opened_by_input = !file;
    filesystem_open_mode(file, path, static_cast<uint32_t>(reason), abort);
    if (reason == input_open_decode && !file->is_in_memory() && !file->is_remote() && !file_system_is_remote(path) &&
        file->can_seek()) {
        abortable_file::wrap(file, abort_never, block_size);
    }
    m_file = file;
    m_timestamp = m_file->get_timestamp(abort);
    m_seekable = m_file->can_seek();
}

file_stats mpeg_stream::get_file_stats(const abort_signal& abort) { return file_stats_read(*m_file, abort); }

void mpeg_stream::message(const char* text, uint32_t level) { m_sink->report(text, level); }

void mpeg_stream::report_error(const char* text) {
    if ((m_flags & decoder_flag_fail_on_damage) && !m_has_sink) throw ketrel_io::exception_io_data(text);
    m_sink->report(text, 2);
}

void mpeg_stream::set_event_sink(decoder_event_sink* sink) {
    m_has_sink = sink != nullptr;
    m_sink.assign(sink ? sink : decoder_event_sink::null_sink());
}

size_t mpeg_stream::read_stream(uint8_t* out, size_t n, const abort_signal& abort) {
    size_t got = 0;
    if (!m_pushback.empty()) {
        got = n < m_pushback.size() ? n : m_pushback.size();
        std::memcpy(out, m_pushback.data(), got);
        m_pushback.erase(m_pushback.begin(), m_pushback.begin() + static_cast<ptrdiff_t>(got));
    }
    while (got < n) {
        const size_t r = m_file->read(out + got, n - got, abort);
        if (r == 0) break;
        got += r;
    }
    return got;
}

void mpeg_stream::unread(const uint8_t* bytes, size_t n) { m_pushback.insert(m_pushback.begin(), bytes, bytes + n); }

uint64_t mpeg_stream::stream_position(const abort_signal& abort) {
    return m_file->get_position(abort) - m_pushback.size();
}

int mpeg_stream::seek_table_handle() {
    if (m_seek_table_handle < 0) {
        m_seek_table_handle = mpeg_seek_table_cache::instance().get_handle(m_path.c_str(), m_timestamp);
    }
    return m_seek_table_handle;
}

int64_t mpeg_stream::find_first_frame(uint8_t word[4], const abort_signal& abort) {
    const uint64_t start = stream_position(abort);
    const uint64_t window = m_seekable ? 1048576 : 32768;
    const uint64_t size = m_file->get_size(abort);
    uint64_t block_start = start;
    for (;;) {
        if (m_seekable) m_file->seek(block_start, abort);
        const size_t got = read_stream(m_frame, block_size, abort);
        for (size_t i = 0; i + 4 <= got; ++i) {
            mpeg_frame_header h;
            if (!mpeg_parse_frame_header(m_frame + i, h)) continue;
            const uint64_t p = block_start + i;
            // A frame that would run past the end is no answer; later candidates of the block still are.
            if (size != file_size_unknown && p + h.frame_bytes > size) continue;
            uint8_t next[4];
            size_t next_got;
            if (i + h.frame_bytes + 4 <= got) {
                std::memcpy(next, m_frame + i + h.frame_bytes, 4);
                next_got = 4;
            } else if (m_seekable) {
                m_file->seek(p + h.frame_bytes, abort);
                next_got = m_file->read(next, 4, abort);
                m_file->seek(block_start + got, abort);
            } else {
                continue;
            }
            if (next_got < 4) continue;
            mpeg_frame_header second;
            mpeg_parse_frame_header(next, second);
            if (mpeg_headers_compatible(h, second)) {
                std::memcpy(word, m_frame + i, 4);
                // A stream that cannot seek is put back to the frame by giving the rest of the block back.
                if (!m_seekable) unread(m_frame + i, got - i);
                return static_cast<int64_t>(p);
            }
        }
        if (got < block_size || block_start + got - start > window) return -1;
        block_start += got - 3;
        if (!m_seekable) unread(m_frame + got - 3, 3);
    }
}

int64_t mpeg_stream::find_stream_end(uint64_t first, const mpeg_frame_header& header, const abort_signal& abort) {
    const uint64_t size = m_file->get_size(abort);
    if (size == file_size_unknown || size <= first) return -1;
    uint64_t block_end = size;
    for (;;) {
        const uint64_t block_start = block_end > first + block_size ? block_end - block_size : first;
        const uint32_t length = static_cast<uint32_t>(block_end - block_start);
        m_file->seek(block_start, abort);
        m_file->read_exact(m_frame, length, abort);
        for (uint32_t i = length >= 4 ? length - 4 + 1 : 0; i-- > 0;) {
            mpeg_frame_header h;
            if (!mpeg_parse_frame_header(m_frame + i, h) || h.frame_bytes == 0) continue;
            if (!mpeg_headers_compatible(header, h)) continue;
            const uint64_t p = block_start + i;
            if (p + h.frame_bytes > size) continue;
            return static_cast<int64_t>(p + h.frame_bytes);
        }
        if (block_start <= first) return -1;
        block_end = block_start + 3;
    }
}

bool mpeg_stream::read_itunes_gapless(const abort_signal& abort) {
    uint64_t delay = 0, samples = 0;
    const uint64_t position = m_file->get_position(abort);
    bool found = false;
    try {
        m_file->seek(0, abort);
        found = read_id3v2_gapless_data(*m_file, delay, samples, abort);
    } catch (const ketrel_io::exception_io_data&) {
        found = false;
    }
    m_file->seek(position, abort);
    if (!found || samples == 0 || delay + samples < delay) return false;
    m_start_trim = static_cast<uint32_t>(delay) + mpeg_decoder_delay(m_layer);
    m_total_samples = static_cast<int64_t>(samples);
    m_info.accurate_length = true;
    return true;
}

void mpeg_stream::analyse(const abort_signal& abort) {
    if (m_analysed) return;
    m_info = mpeg_stream_info();
    m_pushback.clear();
    // Leading ID3v2 tags, however many.
    m_file->rewind(abort);
    m_id3v2_bytes = 0;
    uint32_t tags = 0;
    for (;;) {
        uint64_t tag = 0;
        if (m_seekable) {
            tag = skip_leading_id3v2(*m_file, m_id3v2_bytes, abort);
        } else {
            // The same test on a stream read once: the header's bytes go back when they are no tag.
            uint8_t h[10];
            const size_t got = read_stream(h, 10, abort);
            if (got == 10 && std::memcmp(h, "ID3", 3) == 0 && (h[5] & 0x0F) == 0 && ((h[6] | h[7] | h[8] | h[9]) & 0x80) == 0) {
                tag = (uint64_t(h[6]) << 21 | uint64_t(h[7]) << 14 | uint64_t(h[8]) << 7 | h[9]) + (h[5] & 0x10 ? 20 : 10);
                for (uint64_t left = tag - 10; left > 0;) {
                    const size_t n = left < frame_capacity ? size_t(left) : frame_capacity;
                    if (read_stream(m_frame, n, abort) < n) throw ketrel_io::exception_io_data("No MPEG audio frames found");
                    left -= n;
                }
            } else {
                unread(h, got);
            }
        }
        if (tag == 0) break;
        m_id3v2_bytes += tag;
        ++tags;
    }
    if (tags >= 2) message("Multiple ID3v2 tags encountered", 1);

    uint8_t word[4];
    const int64_t first = find_first_frame(word, abort);
    if (first < 0) throw ketrel_io::exception_io_data("No MPEG audio frames found");
    mpeg_frame_header h;
    if (!mpeg_parse_frame_header(word, h)) throw ketrel_io::exception_io_data();
    if (m_seekable) m_file->seek(static_cast<uint64_t>(first), abort);
    m_layer = h.layer;
    const uint32_t decoder_delay = mpeg_decoder_delay(m_layer);
    m_sample_rate = h.sample_rate;
    m_samples_per_frame = h.samples_per_frame;
    m_channels = h.channels;
    m_audio_start = static_cast<uint64_t>(first);
    m_start_trim = decoder_delay;
    uint32_t bytes_per_frame = h.frame_bytes;
    m_total_samples = 0;

    if (m_seekable) {
        std::memset(m_frame, 0, sizeof m_frame);
        m_file->read_exact(m_frame, 4, abort);
        if (!mpeg_parse_frame_header(m_frame, h) || h.frame_bytes < 1) throw ketrel_io::exception_io_data();
        const size_t body = m_file->read(m_frame + 4, h.frame_bytes - 4, abort);
        (void)body;
        bool header_frame = false;
        uint64_t end_pad = 0;
        auto stream_end_bytes = [&]() -> int64_t {
            const int64_t end = find_stream_end(static_cast<uint64_t>(first), h, abort);
            if (end <= first) throw ketrel_io::exception_io_data("MPEG stream ends before it starts");
            return end - first;
        };
        xing_header xing;
        vbri_header vbri;
        if (xing_parse(m_frame, h.frame_bytes, xing) && xing.frames >= 1) {
            m_total_frames = xing.frames;
            m_audio_bytes = xing.bytes >= 1 ? int64_t(xing.bytes) : stream_end_bytes();
            if (xing.delay >= 0 && xing.padding >= 0) {
                m_start_trim = static_cast<uint32_t>(xing.delay) + decoder_delay;
                end_pad = static_cast<uint32_t>(xing.padding) > decoder_delay ? xing.padding - decoder_delay : 0;
                m_info.accurate_length = true;
                m_info.enc_delay = xing.delay;
                m_info.enc_padding = xing.padding;
                m_total_samples = m_total_frames * int64_t(m_samples_per_frame) - int64_t(m_start_trim) - int64_t(end_pad);
            }
            m_info.tool = xing.encoder;
            m_info.profile = xing.profile;
            header_frame = true;
        } else if (vbri_parse(m_frame, h.frame_bytes, vbri)) {
            m_total_frames = vbri.frames;
            m_audio_bytes = stream_end_bytes();
            m_info.profile = "VBR";
            header_frame = true;
        } else {
            m_info.profile = "CBR";
            m_audio_bytes = stream_end_bytes();
            m_total_frames = m_audio_bytes / h.frame_bytes;
        }
        if (m_total_frames <= 0 || m_audio_bytes <= 0) throw ketrel_io::exception_io_data();
        if (header_frame) {
            m_audio_start += h.frame_bytes;
            m_audio_bytes -= h.frame_bytes;
            m_file->seek(m_audio_start, abort);
            uint8_t word[4];
            if (m_file->read(word, 4, abort) < 4 || !mpeg_parse_frame_header(word, h)) {
                throw ketrel_io::exception_io_data("No MPEG audio frames after the VBR header");
            }
            if (m_audio_bytes <= 0) throw ketrel_io::exception_io_data();
        }
        if (m_info.accurate_length && m_total_samples <= 0) throw ketrel_io::exception_io_data();
        if (!m_info.accurate_length && m_id3v2_bytes != 0) read_itunes_gapless(abort);
        if (!m_info.accurate_length) {
            m_total_samples = m_total_frames * int64_t(m_samples_per_frame);
        }
        if (m_total_samples <= 0) throw ketrel_io::exception_io_data();
        m_info.length = double(m_total_samples) / m_sample_rate;
        const double seconds = double(m_total_frames) * m_samples_per_frame / m_sample_rate;
        m_info.bitrate = static_cast<int32_t>(double(m_audio_bytes) * 8 / seconds * 0.001 + 0.5);
    } else {
        m_total_frames = -1;
        m_audio_bytes = -1;
        m_info.length = -1;
        m_info.bitrate = static_cast<int32_t>(bytes_per_frame * 8.0 /
                                              (double(m_samples_per_frame) / m_sample_rate * 1000.0) + 0.5);
    }
    m_info.layer = m_layer;
    m_info.channels = static_cast<int32_t>(m_channels);
    m_info.sample_rate = static_cast<int32_t>(m_sample_rate);
    m_info.channel_mode = h.channel_mode;
    m_frames_read = 0;
    m_decoded_position = 0;
    m_analysed = true;
}

uint32_t mpeg_stream::read_frame(bool want_body, const abort_signal& abort) {
    if (m_info.accurate_length) {
        if (m_total_frames >= 0 && m_frames_read >= static_cast<uint64_t>(m_total_frames)) return 0;
    } else if (m_audio_bytes > 0 && stream_position(abort) >= m_audio_start + uint64_t(m_audio_bytes)) {
        return 0;
    }
    const uint64_t audio_end = m_audio_bytes > 0 ? m_audio_start + uint64_t(m_audio_bytes) : 0;
    uint64_t position = stream_position(abort);
    if (read_stream(m_frame, 4, abort) < 4) return 0;
    int64_t first_tag = -1;
    while (std::memcmp(m_frame, "TAG", 3) == 0) {
        if (first_tag < 0) first_tag = static_cast<int64_t>(position);
        if (m_audio_bytes > 0 && position + 128 >= audio_end) return 0;
        position += 128;
        if (m_seekable) {
            const uint64_t size = m_file->get_size(abort);
            if (size != file_size_unknown && position > size) return 0;
            m_file->seek(position, abort);
        } else if (read_stream(m_frame + 4, 124, abort) < 124) {
            return 0;
        }
        if (read_stream(m_frame, 4, abort) < 4) return 0;
    }
    mpeg_frame_header h;
    uint32_t size = mpeg_parse_frame_header(m_frame, h) ? h.frame_bytes : 0;
    if (size < 5 || size > frame_capacity) {
        if ((std::memcmp(m_frame, "APET", 4) == 0 || std::memcmp(m_frame, "TAG", 3) == 0) && m_seekable) return 0;
        kpl::utf8_string_pow2 text("MPEG stream error at ");
        text << static_cast<unsigned long long>(position) << " bytes";
        report_error(text.c_str());
        if (m_seekable)
            m_file->seek(position + 1, abort);
        else
            unread(m_frame + 1, 3);
        uint8_t word[4];
        const int64_t found = find_first_frame(word, abort);
        if (found < 0) {
            message("MPEG stream resync failed", 0);
            return 0;
        }
        if (m_seekable) m_file->seek(static_cast<uint64_t>(found), abort);
        if (read_stream(m_frame, 4, abort) < 4 || !mpeg_parse_frame_header(m_frame, h)) {
            message("MPEG stream parser internal error", 1);
            return 0;
        }
        if (m_decoder) m_decoder->reset_after_seek();
        position = static_cast<uint64_t>(found);
        size = h.frame_bytes;
        text = "MPEG stream resync successful at ";
        text << static_cast<unsigned long long>(position);
        message(text.c_str(), 0);
    } else if (first_tag >= 0) {
        kpl::utf8_string_pow2 text("ID3 tag garbage inside MPEG stream at ");
        text << static_cast<unsigned long long>(first_tag) << " bytes";
        report_error(text.c_str());
    }
    if (m_seekable && position >= m_audio_start) {
        mpeg_seek_table_cache::instance().add_point(seek_table_handle(), position - m_audio_start, m_frames_read);
    }
    const bool strict = (m_flags & decoder_flag_fail_on_damage) != 0;
    if (want_body || strict || !m_seekable) {
        // A frame cut by the end of the file ends the stream after the frames before it.
        if (read_stream(m_frame + 4, size - 4, abort) < size - 4) return 0;
        if (strict) {
            mpeg_frame_header again;
            if (!mpeg_parse_frame_header(m_frame, again) || size < again.frame_bytes) {
                throw ketrel_io::exception_io_data("MPEG frame header changed");
            }
            if (!mpeg_frame_crc_ok(m_frame, size, again) && !m_crc_mismatch_reported) {
                m_crc_mismatch_reported = true;
                report_error("MPEG frame checksum mismatch.");
            }
        }
    } else {
        const uint64_t file_size = m_file->get_size(abort);
        if (file_size != file_size_unknown && position + size > file_size) return 0;
        m_file->seek(position + size, abort);
    }
    ++m_frames_read;
    return size;
}

void mpeg_stream::get_info(uint32_t subsong, track_info& info, const abort_signal& abort) {
    if (subsong != 0) throw ketrel_io::exception_io_data();
    analyse(abort);
    if (m_info.enc_delay != -1) info.info_set_int("enc_delay", m_info.enc_delay);
    if (m_info.enc_padding != -1) info.info_set_int("enc_padding", m_info.enc_padding);
    if (m_info.accurate_length) info.info_set("mp3_accurate_length", track_info::npos, "yes", track_info::npos);
    if (m_info.bitrate != -1) info.info_set_int("bitrate", m_info.bitrate);
    info.set_length(m_info.length > 0 ? m_info.length : -1);
    static const char* const codecs[] = {"", "MP1", "MP2", "MP3"};
    info.info_set("codec", track_info::npos, codecs[m_layer], track_info::npos);
    info.info_set("encoding", track_info::npos, "lossy", track_info::npos);
    if (m_info.channels != -1) info.info_set_int("channels", m_info.channels);
    if (m_info.sample_rate != -1) info.info_set_int("samplerate", m_info.sample_rate);
    static const char* const modes[] = {"stereo", "joint stereo", "dual channel", "mono"};
    if (m_info.channel_mode >= 0) info.info_set("mp3_stereo_mode", track_info::npos, modes[m_info.channel_mode], track_info::npos);
    if (!m_info.tool.is_empty()) info.info_set("tool", track_info::npos, m_info.tool.c_str(), track_info::npos);
    if (!m_info.profile.is_empty()) {
        info.info_set("codec_profile", track_info::npos, m_info.profile.c_str(), track_info::npos);
    }
    if (m_seekable) {
        const uint64_t position = m_file->get_position(abort);
        try {
            read_id3v2_and_trailing_tags(*m_file, info, abort);
        } catch (const ketrel_io::exception_io_data&) {
            // No tags, or broken ones: the info stays without them.
        }
        m_file->seek(position, abort);
    }
}

bool mpeg_stream::can_seek() {
    if (!m_initialised) throw kpl::exception_dynamic_assert();
    return m_seekable;
}

void mpeg_stream::on_idle(const abort_signal& abort) {
    if (!m_initialised) throw kpl::exception_dynamic_assert();
    m_file->on_idle(abort);
}
