#include "inputs/musepack/musepack_input.h"

#include <mpc/mpcdec.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "inputs/input_facets.h"
#include "inputs/musepack/musepack_gain.h"
#include "inputs/musepack/musepack_packets.h"
#include "inputs/musepack/musepack_writer.h"
#include "metadata/audio_block.h"
#include "metadata/tags/ape_tag.h"
#include "metadata/tags/leading_id3v2.h"
#include "metadata/tags/tag_file_ops.h"
#include "metadata/track_info.h"

namespace {

// libmpcdec's reader over a file_stream.
struct mpc_file_reader {
    mpc_reader reader;
    file_stream* file = nullptr;
    const abort_signal* abort = nullptr;
};

mpc_file_reader* reader_of(mpc_reader* r) { return static_cast<mpc_file_reader*>(r->data); }

mpc_int32_t reader_read(mpc_reader* r, void* ptr, mpc_int32_t size) {
    try {
        mpc_file_reader* f = reader_of(r);
        return size > 0 ? static_cast<mpc_int32_t>(f->file->read(ptr, static_cast<size_t>(size), *f->abort)) : 0;
    } catch (...) {
        return 0;
    }
}
mpc_bool_t reader_seek(mpc_reader* r, mpc_int32_t offset) {
    try {
        mpc_file_reader* f = reader_of(r);
        if (offset < 0) return MPC_FALSE;
        f->file->seek(static_cast<uint64_t>(offset), *f->abort);
        return MPC_TRUE;
    } catch (...) {
        return MPC_FALSE;
    }
}
mpc_int32_t reader_tell(mpc_reader* r) {
    try {
        mpc_file_reader* f = reader_of(r);
        return static_cast<mpc_int32_t>(f->file->get_position(*f->abort));
    } catch (...) {
        return 0;
    }
}
mpc_int32_t reader_size(mpc_reader* r) {
    try {
        mpc_file_reader* f = reader_of(r);
        return static_cast<mpc_int32_t>(f->file->get_size(*f->abort));
    } catch (...) {
        return 0;
    }
}
mpc_bool_t reader_can_seek(mpc_reader*) { return MPC_TRUE; }

struct chapter {
    uint64_t start = 0;
    uint16_t gain = 0, peak = 0;
    std::vector<uint8_t> tag;
};

// What the facets share.
class musepack_file {
public:
    ~musepack_file() { drop_demux(); }

    void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort) {
        filesystem_open_mode(file, path, reason, abort);
        if (!file->can_seek()) throw ketrel_io::exception_io_object_not_seekable();
        m_file = file;
        m_path = path;
        make_demux(abort);
    }

    uint32_t subsong_count() const { return m_chapters.empty() ? 1 : static_cast<uint32_t>(m_chapters.size()); }
    uint32_t subsong_id(uint32_t index) const { return m_chapters.empty() ? 0 : index + 1; }

    void get_info(uint32_t subsong, track_info& info, const abort_signal& abort) {
        file_info(info, abort);
        if (subsong == 0) return;
        uint32_t c = subsong - 1;
        uint64_t start, end;
        chapter_range(c, start, end);
        info.set_length(static_cast<double>(end - start) / m_info.sample_freq);
        replaygain_values rg = info.get_replaygain();
        if (m_chapters[c].gain) rg.track_gain = musepack_sv8_gain_value(m_chapters[c].gain);
        if (m_chapters[c].peak) rg.track_peak = musepack_sv8_peak_value(m_chapters[c].peak);
        info.set_replaygain(rg);
        if (!m_chapters[c].tag.empty()) {
            ape_item_list items;
            ape_body_parse(m_chapters[c].tag.data(), static_cast<uint32_t>(m_chapters[c].tag.size()), items);
            track_info_store scratch;
            ape_items_to_info(items, ape_version_2, scratch);
            for (uint32_t i = 0; i < scratch.meta_count(); ++i) {
                int32_t old = info.meta_find(scratch.meta_name(i));
                if (old >= 0) info.meta_remove_mask(kpl::bit_mask_one(static_cast<uint32_t>(old)));
                info.copy_meta_field(scratch, i);
            }
        }
    }

    file_stats get_file_stats(const abort_signal& abort) { return file_stats_read(*m_file, abort); }

    void initialise(uint32_t subsong, const abort_signal& abort) {
        if (!m_demux) make_demux(abort);
        m_start = 0;
        m_end = -1;
        if (subsong != 0) {
            uint32_t c = subsong - 1;
            if (c >= m_chapters.size()) throw kpl::exception_invalid_params();
            uint64_t start, end;
            chapter_range(c, start, end);
            m_start = start;
            m_end = c + 1 < m_chapters.size() ? static_cast<int64_t>(end) : -1;
        }
        m_pending_seek = static_cast<double>(m_start) / m_info.sample_freq;
        m_given = 0;
        m_ready = true;
    }

    bool decode(audio_block& block, const abort_signal& abort) {
        if (!m_ready) throw kpl::exception_dynamic_assert();
        if (m_end >= 0 && m_given >= static_cast<uint64_t>(m_end) - m_start) return false;
        abort.check();
        m_reader.abort = &abort;
        if (m_pending_seek >= 0) {
            if (m_pending_seek >= length()) return false;
            double target = std::floor(m_pending_seek * m_info.sample_freq + 0.5);
            if (mpc_demux_seek_sample(m_demux, static_cast<mpc_uint64_t>(target)) != MPC_STATUS_OK) {
                throw ketrel_io::exception_io_data();
            }
            m_pending_seek = -1;
        }
        const uint32_t channels = m_info.channels;
        size_t room = std::max<size_t>(MPC_DECODER_BUFFER_LENGTH, size_t(channels) * 2304);
        if (m_buffer.size() < room) m_buffer.resize(room);
        for (;;) {
            mpc_frame_info frame;
            frame.buffer = m_buffer.data();
            mpc_status status = mpc_demux_decode(m_demux, &frame);
            if (status != MPC_STATUS_OK) throw ketrel_io::exception_io_data();
            if (frame.bits == -1) return false;
            if (frame.samples == 0) continue;
            uint32_t count = frame.samples;
            if (m_end >= 0) {
                uint64_t left = static_cast<uint64_t>(m_end) - m_start - m_given;
                if (count > left) count = static_cast<uint32_t>(left);
            }
            block.set_data(m_buffer.data(), count, channels, m_info.sample_freq,
                           channels < 9 ? channel_mask_default(channels) : 0);
            m_given += count;
            return true;
        }
    }

    void seek(double seconds, const abort_signal&) {
        if (!m_ready) throw kpl::exception_dynamic_assert();
        double target = std::floor(m_info.sample_freq * seconds + 0.5);
        if (!(target > 0)) target = 0;
        if (m_end >= 0 && target > static_cast<double>(static_cast<uint64_t>(m_end) - m_start)) {
            target = static_cast<double>(static_cast<uint64_t>(m_end) - m_start);
        }
        double pending = (static_cast<double>(m_start) + target) / m_info.sample_freq;
        if (pending < 0) throw ketrel_io::exception_io_data();
        m_pending_seek = pending;
        m_given = static_cast<uint64_t>(target);
    }

    void on_idle(const abort_signal& abort) { m_file->on_idle(abort); }

    void stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort) {
        if (subsong == 0) {
            drop_demux();
            musepack_write_file_info(m_file, m_path.c_str(), info, abort);
            make_demux(abort);
            return;
        }
        if (m_staged.empty()) {
            for (uint32_t i = 0; i < m_chapters.size(); ++i) {
                std::unique_ptr<track_info_store> current(new track_info_store());
                get_info(i + 1, *current, abort);
                m_staged.push_back(std::move(current));
            }
        }
        uint32_t c = subsong - 1;
        if (c >= m_staged.size()) throw ketrel_io::exception_io_data();
        double length = m_staged[c]->get_length();
        m_staged[c]->copy(info);
        m_staged[c]->set_length(length);
    }

    void commit_info(const abort_signal& abort) {
        if (m_staged.empty()) return;
        std::vector<musepack_chapter_write> chapters;
        for (uint32_t i = 0; i < m_staged.size(); ++i) {
            musepack_chapter_write w;
            w.start = m_chapters[i].start;
            w.info = m_staged[i].get();
            chapters.push_back(w);
        }
        drop_demux();
        try {
            musepack_write_chapters(m_file, m_path.c_str(), chapters, m_info.sample_freq, abort);
        } catch (...) {
            m_staged.clear();
            make_demux(abort);
            throw;
        }
        m_staged.clear();
        make_demux(abort);
    }

private:
    double length() const {
        uint64_t total = m_info.samples > m_info.beg_silence ? m_info.samples - m_info.beg_silence : 0;
        return static_cast<double>(total) / m_info.sample_freq;
    }

    void chapter_range(uint32_t c, uint64_t& start, uint64_t& end) const {
        if (c >= m_chapters.size()) throw ketrel_io::exception_io_data();
        start = m_chapters[c].start;
        end = c + 1 < m_chapters.size() ? m_chapters[c + 1].start
                                        : (m_info.samples > m_info.beg_silence ? m_info.samples - m_info.beg_silence : 0);
        if (end <= start) throw ketrel_io::exception_io_data();
    }

    void file_info(track_info& info, const abort_signal& abort) {
        info.set_length(length());
        info.info_set_int("bitrate", static_cast<int64_t>(std::floor(m_info.average_bitrate / 1000 + 0.5)));
        info.info_set_int("samplerate", m_info.sample_freq);
        info.info_set_int("channels", m_info.channels);
        if (m_info.profile_name && *m_info.profile_name) {
            info.info_set("codec_profile", track_info::npos, m_info.profile_name, track_info::npos);
        }
        info.info_set_int("streamversion", m_info.stream_version);
        if (m_info.encoder[0]) {
            kpl::utf8_string_pow2 tool("mppenc ");
            tool.append_cstr(m_info.encoder);
            info.info_set("tool", track_info::npos, tool.c_str(), track_info::npos);
        }
        info.info_set("codec", track_info::npos, "Musepack", track_info::npos);
        info.info_set("encoding", track_info::npos, "lossy", track_info::npos);
        replaygain_values rg;
        if (m_info.gain_title) rg.track_gain = musepack_sv8_gain_value(m_info.gain_title);
        if (m_info.gain_album) rg.album_gain = musepack_sv8_gain_value(m_info.gain_album);
        if (m_info.peak_title) rg.track_peak = musepack_sv8_peak_value(m_info.peak_title);
        if (m_info.peak_album) rg.album_peak = musepack_sv8_peak_value(m_info.peak_album);
        info.set_replaygain(rg);
        const uint64_t position = m_file->get_position(abort);
        try {
            trailing_tags_read(*m_file, info, abort);
        } catch (const ketrel_io::exception_io_data&) {
            // No trailing tags, or broken ones.
        }
        m_file->seek(position, abort);
    }

    void make_demux(const abort_signal& abort) {
        drop_demux();
        // libmpcdec keeps file positions in signed 32-bit numbers.
        const uint64_t size = m_file->get_size(abort);
        if (size != file_size_unknown && size > musepack_largest_file) {
            throw ketrel_io::exception_io_unsupported_format(musepack_too_large);
        }
        std::memset(&m_reader.reader, 0, sizeof m_reader.reader);
        m_reader.reader.read = reader_read;
        m_reader.reader.seek = reader_seek;
        m_reader.reader.tell = reader_tell;
        m_reader.reader.get_size = reader_size;
        m_reader.reader.canseek = reader_can_seek;
        m_reader.reader.data = &m_reader;
        m_reader.file = m_file.get();
        m_reader.abort = &abort;
        // A version-8 seek table of no entries would make the library read before its table when seeking,
        // and a chapter packet too short for its fields would make it copy a negative length.
        const uint64_t stream_start = skip_leading_id3v2(*m_file, 0, abort);
        if (sv8_stream_refused(*m_file, stream_start, abort)) {
            throw ketrel_io::exception_io_data();
        }
        m_file->seek(0, abort);
        m_demux = mpc_demux_init(&m_reader.reader);
        abort.check();
        if (!m_demux) throw ketrel_io::exception_io_data();
        mpc_demux_get_info(m_demux, &m_info);
        if (m_info.sample_freq == 0 || m_info.channels == 0) throw ketrel_io::exception_io_data();
        // The library sizes its seek table from the stated length and fills it while decoding without a bound:
        // a stream that states none (or 0) would be written past that table.
        if (m_info.samples == 0) throw ketrel_io::exception_io_data();
        m_chapters.clear();
        int count = m_info.stream_version >= 8 ? mpc_demux_chap_nb(m_demux) : 0;
        for (int i = 0; i < count; ++i) {
            const mpc_chap_info* info = mpc_demux_chap(m_demux, i);
            if (!info) break;
            chapter c;
            c.start = info->sample;
            c.gain = info->gain;
            c.peak = info->peak;
            if (info->tag && info->tag_size) c.tag.assign(info->tag, info->tag + info->tag_size);
            m_chapters.push_back(std::move(c));
        }
        m_ready = false;
    }

    void drop_demux() {
        if (m_demux) mpc_demux_exit(m_demux);
        m_demux = nullptr;
        m_ready = false;
    }

    file_stream_ref m_file;
    kpl::utf8_string_tight m_path;
    mpc_file_reader m_reader;
    mpc_demux* m_demux = nullptr;
    mpc_streaminfo m_info{};
    std::vector<chapter> m_chapters;
    bool m_ready = false;
    uint64_t m_start = 0, m_given = 0;
    int64_t m_end = -1;
    double m_pending_seek = -1;
    std::vector<MPC_SAMPLE_FORMAT> m_buffer;
    std::vector<std::unique_ptr<track_info_store>> m_staged;
};

class musepack_input final
    : public facet_input<file_decoder<musepack_file>, file_info_reader<musepack_file>,
                         file_info_writer<musepack_file>> {
public:
    bool accepts_content_type(const char* content_type) override {
        return std::strcmp(content_type, "audio/musepack") == 0 || std::strcmp(content_type, "audio/x-musepack") == 0;
    }
    bool accepts_extension(const char*, const char* extension) override {
        return utf8_compare_nocase_fast(extension, "mpc") == 0 || utf8_compare_nocase_fast(extension, "mp+") == 0 ||
               utf8_compare_nocase_fast(extension, "mpp") == 0;
    }
};

service_factory_single<musepack_input, input_service> g_musepack_input;

}  // namespace

input_service& musepack_input_service() { return g_musepack_input.instance(); }
