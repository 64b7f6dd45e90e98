#include "inputs/wavpack/wavpack_stream.h"

#include <wavpack/wavpack.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "foundation/fs/file_stats.h"
#include "foundation/fs/file_system.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/path_names.h"
#include "foundation/services/advanced_setting_entries.h"
#include "metadata/pcm_conversion/sample_kernels.h"
#include "metadata/tags/tag_file_ops.h"
#include "metadata/tags/trailing_tag_io.h"

namespace {

constexpr uint32_t samples_per_block = 4096;

using reader_id = wavpack_reader_id;

// The stream-reader table: every failure becomes the return value libwavpack expects.
int32_t read_bytes(void* id, void* data, int32_t count) {
    auto* r = static_cast<reader_id*>(id);
    try {
        return count > 0 ? static_cast<int32_t>(r->file->read(data, static_cast<size_t>(count), *r->abort)) : 0;
    } catch (...) {
        return 0;
    }
}
int64_t get_pos(void* id) {
    auto* r = static_cast<reader_id*>(id);
    try {
        return static_cast<int64_t>(r->file->get_position(*r->abort));
    } catch (...) {
        return -1;
    }
}
int set_pos_abs(void* id, int64_t pos) {
    auto* r = static_cast<reader_id*>(id);
    try {
        if (pos < 0) return 1;
        r->file->seek(static_cast<uint64_t>(pos), *r->abort);
        return 0;
    } catch (...) {
        return 1;
    }
}
int set_pos_rel(void* id, int64_t delta, int origin) {
    auto* r = static_cast<reader_id*>(id);
    try {
        r->file->seek_from(delta, origin, *r->abort);
        return 0;
    } catch (...) {
        return 1;
    }
}
int push_back_byte(void* id, int c) {
    auto* r = static_cast<reader_id*>(id);
    try {
        r->file->seek_from(-1, seek_origin_current, *r->abort);
        return c;
    } catch (...) {
        return EOF;
    }
}
int64_t get_length(void* id) {
    auto* r = static_cast<reader_id*>(id);
    try {
        uint64_t size = r->file->get_size(*r->abort);
        return size == file_size_unknown ? -1 : static_cast<int64_t>(size);
    } catch (...) {
        return -1;
    }
}
int can_seek(void* id) {
    auto* r = static_cast<reader_id*>(id);
    try {
        return r->file->can_seek() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

WavpackStreamReader64 g_reader = {read_bytes, nullptr, get_pos,  set_pos_abs, set_pos_rel,
                                  push_back_byte, get_length, can_seek, nullptr, nullptr};

bool try_open(const char* location, file_stream_ref& out, const abort_signal& abort) {
    file_system_open_read(out, location, abort);
    return true;
}

}  // namespace

std::vector<std::string> wavpack_correction_candidates(const char* path, const char* setting_text) {
    std::vector<std::string> out;
    kpl::utf8_string_tight candidate(path);
    candidate.append_cstr("c");
    kpl::utf8_string_tight name = kpl::filename_with_extension(candidate.c_str());
    const char* p = setting_text;
    while (*p) {
        const char* q = p;
        while (*q && *q != ';') ++q;
        if (q > p) {
            kpl::utf8_string_pow2 folder;
            folder.append(p, static_cast<size_t>(q - p));
            kpl::path_add_trailing_backslash(folder);
            folder.append_cstr(name.c_str());
            out.push_back(folder.c_str());
        }
        p = *q ? q + 1 : q;
    }
    return out;
}

bool wavpack_correction_search(const char* path, file_stream_ref& out, const abort_signal& abort) {
    kpl::utf8_string_tight candidate(path);
    candidate.append_cstr("c");
    try {
        try {
            return try_open(candidate.c_str(), out, abort);
        } catch (const ketrel_io::exception_io_not_found&) {
        }
        kpl::utf8_string_pow2 folders;
        advanced_settings::correction_file_folders.setting().get_text_value(folders);
        for (const std::string& place : wavpack_correction_candidates(path, folders.c_str())) {
            try {
                return try_open(place.c_str(), out, abort);
            } catch (const ketrel_io::exception_io_not_found&) {
            }
        }
    } catch (...) {
        // Any other failure ends the search: the stream plays without its correction data.
    }
    out.reset();
    return false;
}

wavpack_stream::wavpack_stream() { m_sink.assign(decoder_event_sink::null_sink()); }

wavpack_stream::~wavpack_stream() { close(); }

void wavpack_stream::close() {
    if (m_context) WavpackCloseFile(m_context);
    m_context = nullptr;
}

void wavpack_stream::open_context(bool with_correction, const abort_signal& abort) {
    close();
    m_main_id = {m_main.get(), &abort};
    m_correction_id = {m_correction.get(), &abort};
    m_main->seek(0, abort);
    if (with_correction) m_correction->seek(0, abort);
    char error[128] = {};
    m_context = WavpackOpenFileInputEx64(&g_reader, &m_main_id, with_correction ? &m_correction_id : nullptr, error,
                                         OPEN_NORMALIZE, 0);
    abort.check();
    if (!m_context) throw ketrel_io::exception_io_data();
}

void wavpack_stream::open(const file_stream_ref& main, const char* path, const abort_signal& abort) {
    if (!main->can_seek()) throw ketrel_io::exception_io_object_not_seekable();
    abort.check();
    m_main = main;
    m_path = path;
    m_correction.reset();
    open_context(false, abort);
    if (WavpackGetMode(m_context) & MODE_HYBRID) {
        if (wavpack_correction_search(path, m_correction, abort)) {
            try {
                open_context(true, abort);
            } catch (const ketrel_io::exception_io_data&) {
                // A correction file libwavpack cannot use: the main file alone.
                m_correction.reset();
                open_context(false, abort);
            }
        }
    }
    m_mode = static_cast<uint32_t>(WavpackGetMode(m_context));
    m_rate = WavpackGetSampleRate(m_context);
    m_channels = static_cast<uint32_t>(WavpackGetNumChannels(m_context));
    if (m_rate < 1000 || m_rate > 2822400 || m_channels < 1 || m_channels > 256) throw ketrel_io::exception_io_data();
    int64_t total = WavpackGetNumSamples64(m_context);
    // A stream of unknown length (-1) has no length rather than a made-up one.
    m_length = total > 0 ? static_cast<double>(total) / m_rate : 0.0;
    m_end = false;
    m_report_correction = (m_mode & wavpack_mode_correction) != 0;
}

uint32_t wavpack_stream::bits_per_sample() const {
    return m_context ? static_cast<uint32_t>(WavpackGetBitsPerSample(m_context)) : 16;
}

kpl::utf8_string_tight wavpack_stream::profile() const {
    kpl::utf8_string_tight out(m_mode & wavpack_mode_high ? "high" : m_mode & wavpack_mode_fast ? "fast" : "normal");
    if (m_mode & wavpack_mode_hybrid) out.append_cstr(", hybrid");
    return out;
}

void wavpack_stream::read_full_info(track_info& info, const abort_signal& abort) {
    info.set_length(m_length);
    info.info_set("codec", track_info::npos, "WavPack", track_info::npos);
    info.info_set_int("samplerate", m_rate);
    info.info_set_int("channels", m_channels);
    info.info_set_int("bitspersample", bits_per_sample());
    kpl::utf8_string_tight profile_text = profile();
    info.info_set("codec_profile", track_info::npos, profile_text.c_str(), track_info::npos);
    info.info_set("encoding", track_info::npos, m_mode & wavpack_mode_hybrid ? "hybrid" : "lossless", track_info::npos);
    unsigned char md5[16];
    if (WavpackGetMD5Sum(m_context, md5) && !m_main->is_remote()) {
        char hex[33];
        kpl::format_hex_bytes(md5, hex);
        info.info_set("md5", track_info::npos, hex, track_info::npos);
    }
    const uint64_t position = m_main->get_position(abort);
    uint64_t audio_end = m_main->get_size(abort);
    try {
        audio_end = trailing_tags_locate(*m_main, nullptr, abort);
        trailing_tags_read(*m_main, info, abort);
    } catch (const ketrel_io::exception_io_data&) {
        // No trailing tags, or broken ones: the file counts as untagged.
    }
    info.set_bitrate_from_size(audio_end, m_length);
    m_main->seek(position, abort);
}

void wavpack_stream::set_event_sink(decoder_event_sink* sink) {
    m_sink.assign(sink ? sink : decoder_event_sink::null_sink());
}

bool wavpack_stream::decode(audio_block& block, const abort_signal& abort) {
    if (m_end || !m_context) return false;
    m_main_id.abort = &abort;
    m_correction_id.abort = &abort;
    const int errors = WavpackGetNumErrors(m_context);
    m_buffer.resize_pow2(samples_per_block * m_channels);
    uint32_t got = WavpackUnpackSamples(m_context, m_buffer.data(), samples_per_block);
    abort.check();
    const bool damaged = WavpackGetNumErrors(m_context) > errors;
    if (got == 0) {
        // Checked before the end is taken as such: a block that gave nothing because it is broken, or blocks
        // the library skipped as unreadable before the stream's stated length was reached.
        const int64_t total = WavpackGetNumSamples64(m_context);
        const bool short_of_length = total > 0 && WavpackGetSampleIndex64(m_context) < total;
        if (damaged || short_of_length) throw ketrel_io::exception_io_data("File is corrupted");
        return false;
    }
    uint32_t mask = channel_mask_from_windows(static_cast<uint32_t>(WavpackGetChannelMask(m_context)));
    if (channel_mask_count(mask) != m_channels) mask = channel_mask_default(m_channels);
    const uint32_t count = got * m_channels;
    if (m_mode & wavpack_mode_float) {
        block.set_data(reinterpret_cast<const float*>(m_buffer.data()), got, m_channels, m_rate, mask);
    } else {
        block.set_data_size(count);
        block.set_sample_count(got);
        block.set_channels(m_channels, mask);
        block.set_sample_rate(m_rate);
        float* out = block.get_data_writable();
        // value x 2^-(bits - 1) through the conversion kernel: the factor 2^(32 - bits) makes its scale exactly
        // that power of two, so every value is the one a plain loop gives.
        const int bytes = WavpackGetBytesPerSample(m_context);
        if (bytes < 1 || bytes > 4) throw ketrel_io::exception_io_data();
        audio_int32_to_float(out, m_buffer.data(), count, static_cast<float>(uint64_t(1) << (32 - 8 * bytes)));
    }
    if (damaged) {
        m_sink->report("CRC mismatch", 2);
        if ((m_flags & decoder_flag_fail_on_damage) && m_sink.get() == decoder_event_sink::null_sink()) {
            throw ketrel_io::exception_io_data("File is corrupted (CRC mismatch)");
        }
    }
    return true;
}

bool wavpack_stream::decode_raw(audio_block& block, kpl::byte_array& raw, const abort_signal& abort) {
    if (!decode(block, abort)) return false;
    const uint32_t bits = bits_per_sample();
    if (bits == 32 && !(m_mode & wavpack_mode_float) && WavpackGetBytesPerSample(m_context) == 4) {
        // 32-bit integers do not fit a float: the library's samples as they are.
        const uint32_t count = kpl::checked_multiply(block.get_sample_count(), block.get_channels());
        raw.resize_exact(kpl::checked_multiply(count, 4));
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t u = static_cast<uint32_t>(m_buffer[i]);
            raw[4 * i] = static_cast<uint8_t>(u);
            raw[4 * i + 1] = static_cast<uint8_t>(u >> 8);
            raw[4 * i + 2] = static_cast<uint8_t>(u >> 16);
            raw[4 * i + 3] = static_cast<uint8_t>(u >> 24);
        }
        return true;
    }
    if (!block.to_pcm(raw, bits)) throw ketrel_io::exception_io_data();
    if (bits == 8) {
        for (uint32_t i = 0; i < raw.count(); ++i) raw[i] = static_cast<uint8_t>(raw[i] - 128);
    }
    return true;
}

void wavpack_stream::seek(double seconds, const abort_signal& abort) {
    if (seconds >= m_length) {
        m_end = true;
        return;
    }
    m_end = false;
    abort.check();
    if (m_rate < 1000 || m_rate > 2822400) throw ketrel_io::exception_io_data();
    m_main_id.abort = &abort;
    m_correction_id.abort = &abort;
    double target = std::floor(m_rate * seconds + 0.5);
    if (!(target > 0)) target = 0;
    int ok = WavpackSeekSample64(m_context, static_cast<int64_t>(target));
    abort.check();
    if (!ok) throw ketrel_io::exception_io_data();
}

bool wavpack_stream::take_correction_report() {
    bool report = m_report_correction;
    m_report_correction = false;
    return report;
}

void wavpack_stream::on_idle(const abort_signal& abort) {
    if (m_main) m_main->on_idle(abort);
    if (m_correction) m_correction->on_idle(abort);
}
