#include "inputs/flac/flac_decoder_core.h"

#include <cmath>
#include <cstring>
#include <new>

#include "foundation/fs/file_stats.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/text_compare.h"
#include "inputs/flac/flac_cuesheet.h"
#include "inputs/flac/flac_metadata.h"
#include "inputs/flac/flac_samples.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"

// Puts the caller's abort signal in place for one libFLAC call and restores the previous one.
class flac_decoder_core::abort_scope {
public:
    abort_scope(flac_decoder_core& core, const abort_signal& abort) : m_core(core), m_saved(core.m_abort) {
        core.m_abort = &abort;
        core.m_callback_error = nullptr;
    }
    ~abort_scope() { m_core.m_abort = m_saved; }
    abort_scope(const abort_scope&) = delete;
    abort_scope& operator=(const abort_scope&) = delete;

private:
    flac_decoder_core& m_core;
    const abort_signal* m_saved;
};

flac_decoder_core::flac_decoder_core() : m_decoder(FLAC__stream_decoder_new()), m_abort(&abort_never) {
    if (!m_decoder) kpl::throw_bad_alloc();
    m_sink = decoder_event_sink::null_sink();
}

flac_decoder_core::~flac_decoder_core() {
    FLAC__stream_decoder_delete(m_decoder);
    for (frame* f : m_queue) delete f;
    for (frame* f : m_free) delete f;
}

void flac_decoder_core::set_event_sink(decoder_event_sink* sink) {
    m_sink_ref.assign(sink);
    m_sink = sink ? sink : decoder_event_sink::null_sink();
}

void flac_decoder_core::fail() {
    if (m_abort->is_set()) throw ketrel_io::exception_aborted();
    if (m_callback_error) {
        std::exception_ptr error = m_callback_error;
        m_callback_error = nullptr;
        std::rethrow_exception(error);
    }
    throw ketrel_io::exception_io_data();
}

size_t flac_decoder_core::read_bytes(uint8_t* out, size_t n) { return m_file->read(out, n, *m_abort); }

void flac_decoder_core::clear_queue() {
    while (m_queue.count() > 0) {
        m_free.append(m_queue[m_queue.count() - 1]);
        m_queue.remove_at(m_queue.count() - 1);
    }
}

void flac_decoder_core::read_metadata(file_stream_ref file, bool seekable, track_info* info,
                                      const abort_signal& abort) {
    abort_scope scope(*this, abort);
    m_error_reported = false;
    m_file = file;
    m_file->rewind(abort);
    m_size = seekable ? m_file->get_size(abort) : file_size_unknown;
    if (FLAC__stream_decoder_get_state(m_decoder) == FLAC__STREAM_DECODER_UNINITIALIZED) {
        FLAC__stream_decoder_set_metadata_respond_all(m_decoder);
    }
    m_info = info;
    m_has_stream_info = false;
    m_metadata_bytes = 0;
    m_channel_mask = 0;
    m_has_cuesheet = false;
    m_cuesheet_text.reset();
    m_at_end = false;
    clear_queue();
    FLAC__StreamDecoderInitStatus status = FLAC__stream_decoder_init_stream(
        m_decoder, &read_callback, seekable ? &seek_callback : nullptr, seekable ? &tell_callback : nullptr,
        seekable ? &length_callback : nullptr, seekable ? &eof_callback : nullptr, &write_callback,
        &metadata_callback, &error_callback, this);
    if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        m_info = nullptr;
        fail();
    }
    FLAC__bool ok = FLAC__stream_decoder_process_until_end_of_metadata(m_decoder);
    m_info = nullptr;
    if (!ok) fail();

    if (info) {
        info->info_set("codec", track_info::npos, "FLAC", track_info::npos);
        info->info_set("encoding", track_info::npos, "lossless", track_info::npos);
        if (!m_cuesheet_text.is_empty() && info->meta_find("cuesheet") < 0) {
            info->meta_set("cuesheet", track_info::npos, m_cuesheet_text.c_str(), m_cuesheet_text.length());
        }
    }
    if (!m_has_stream_info || m_stream_info.sample_rate == 0) throw ketrel_io::exception_io_data();
    if (info && m_stream_info.total_samples > 0) {
        const uint64_t size = m_size;
        if (size != file_size_unknown) {
            uint64_t audio_bytes = size > m_metadata_bytes ? size - m_metadata_bytes : 0;
            double seconds = static_cast<double>(m_stream_info.total_samples) / m_stream_info.sample_rate;
            info->set_bitrate(static_cast<int64_t>(std::floor(audio_bytes * 0.008 / seconds + 0.5)));
        }
    }
}

bool flac_decoder_core::decode(audio_block& block, const abort_signal& abort) {
    if (m_at_end) return false;
    if (m_queue.count() == 0) {
        abort_scope scope(*this, abort);
        m_direct = &block;
        m_direct_filled = false;
        try {
            while (!m_direct_filled && m_queue.count() == 0) {
                abort.check();
                if (FLAC__stream_decoder_get_state(m_decoder) == FLAC__STREAM_DECODER_END_OF_STREAM) {
                    m_at_end = true;
                    break;
                }
                if (!FLAC__stream_decoder_process_single(m_decoder)) fail();
            }
        } catch (...) {
            m_direct = nullptr;
            throw;
        }
        m_direct = nullptr;
        if (m_direct_filled) return true;
        if (m_at_end) return false;
    }
    frame* f = m_queue[0];
    m_queue.remove_at(0);
    block.set_data(f->samples.data(), f->count, f->channels, f->rate, f->mask);
    if (m_keep_integers) m_integers.swap(f->integers);
    m_free.append(f);
    return true;
}

void flac_decoder_core::seek_sample(uint64_t sample, const abort_signal& abort) {
    clear_queue();
    if (m_stream_info.total_samples > 0 && sample >= m_stream_info.total_samples) {
        m_at_end = true;
        return;
    }
    abort_scope scope(*this, abort);
    m_error_reported = false;
    if (!FLAC__stream_decoder_seek_absolute(m_decoder, sample)) {
        // A failed seek leaves libFLAC needing a flush before it can decode again.
        FLAC__stream_decoder_flush(m_decoder);
        clear_queue();
        fail();
    }
    m_at_end = false;
}

void flac_decoder_core::flush(const abort_signal& abort) {
    m_error_reported = false;
    resume(abort);
}

void flac_decoder_core::resume(const abort_signal& abort) {
    abort_scope scope(*this, abort);
    clear_queue();
    m_at_end = false;
    if (!FLAC__stream_decoder_flush(m_decoder)) fail();
}

FLAC__StreamDecoderReadStatus flac_decoder_core::read_callback(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                                               size_t* bytes, void* data) {
    flac_decoder_core& core = *static_cast<flac_decoder_core*>(data);
    try {
        size_t got = core.read_bytes(buffer, *bytes);
        *bytes = got;
        return got == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    } catch (...) {
        core.m_callback_error = std::current_exception();
        *bytes = 0;
        return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
}

FLAC__StreamDecoderSeekStatus flac_decoder_core::seek_callback(const FLAC__StreamDecoder*, FLAC__uint64 offset,
                                                               void* data) {
    flac_decoder_core& core = *static_cast<flac_decoder_core*>(data);
    try {
        core.m_file->seek(offset, *core.m_abort);
        return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
    } catch (...) {
        return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
    }
}

FLAC__StreamDecoderTellStatus flac_decoder_core::tell_callback(const FLAC__StreamDecoder*, FLAC__uint64* offset,
                                                               void* data) {
    flac_decoder_core& core = *static_cast<flac_decoder_core*>(data);
    try {
        *offset = core.m_file->get_position(*core.m_abort);
        return FLAC__STREAM_DECODER_TELL_STATUS_OK;
    } catch (...) {
        return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
    }
}

FLAC__StreamDecoderLengthStatus flac_decoder_core::length_callback(const FLAC__StreamDecoder*, FLAC__uint64* length,
                                                                   void* data) {
    flac_decoder_core& core = *static_cast<flac_decoder_core*>(data);
    try {
        if (core.m_size == file_size_unknown) return FLAC__STREAM_DECODER_LENGTH_STATUS_UNSUPPORTED;
        *length = core.m_size;
        return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
    } catch (...) {
        return FLAC__STREAM_DECODER_LENGTH_STATUS_ERROR;
    }
}

FLAC__bool flac_decoder_core::eof_callback(const FLAC__StreamDecoder*, void* data) {
    flac_decoder_core& core = *static_cast<flac_decoder_core*>(data);
    try {
        if (core.m_size == file_size_unknown) return false;
        return core.m_file->get_position(*core.m_abort) >= core.m_size;
    } catch (...) {
        return true;
    }
}

FLAC__StreamDecoderWriteStatus flac_decoder_core::write_callback(const FLAC__StreamDecoder*, const FLAC__Frame* header,
                                                                 const FLAC__int32* const buffer[], void* data) {
    flac_decoder_core& core = *static_cast<flac_decoder_core*>(data);
    try {
        core.on_frame(header, buffer);
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    } catch (...) {
        core.m_callback_error = std::current_exception();
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
}

void flac_decoder_core::metadata_callback(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* data) {
    flac_decoder_core& core = *static_cast<flac_decoder_core*>(data);
    core.m_metadata_bytes += static_cast<uint64_t>(block->length) + 4;
    try {
        core.on_metadata(block);
    } catch (...) {
        // A block that cannot be used only loses itself; libFLAC goes on with the next one.
    }
}

void flac_decoder_core::error_callback(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* data) {
    flac_decoder_core& core = *static_cast<flac_decoder_core*>(data);
    try {
        if (core.m_abort->is_set() || core.m_error_reported) return;
        core.m_error_reported = true;
        core.m_sink->report("Corrupted FLAC stream", 2);
    } catch (...) {
        // A sink that fails must not unwind through libFLAC.
    }
}

void flac_decoder_core::on_metadata(const FLAC__StreamMetadata* block) {
    switch (block->type) {
    case FLAC__METADATA_TYPE_STREAMINFO:
        m_stream_info = block->data.stream_info;
        m_has_stream_info = true;
        if (m_info) flac_streaminfo_to_info(block->data.stream_info, *m_info);
        break;
    case FLAC__METADATA_TYPE_VORBIS_COMMENT: {
        const FLAC__StreamMetadata_VorbisComment& comments = block->data.vorbis_comment;
        if (m_info) flac_comments_to_info(comments, *m_info);
        const size_t name_length = std::strlen(flac_channel_mask_field);
        for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
            const char* entry = reinterpret_cast<const char*>(comments.comments[i].entry);
            const uint32_t length = comments.comments[i].length;
            if (!entry || length <= name_length || entry[name_length] != '=') continue;
            if (kpl::stricmp_ascii_counted(entry, name_length, flac_channel_mask_field, name_length) != 0) continue;
            flac_channel_mask_parse(entry + name_length + 1, length - static_cast<uint32_t>(name_length) - 1,
                                    m_channel_mask);
            break;
        }
        break;
    }
    case FLAC__METADATA_TYPE_CUESHEET:
        m_has_cuesheet = true;
        m_cuesheet_text.reset();
        flac_cuesheet_text(block->data.cue_sheet, m_has_stream_info ? m_stream_info.sample_rate : 0,
                           m_stream_info.total_samples, m_cuesheet_text);
        break;
    default:
        break;
    }
}

void flac_decoder_core::on_frame(const FLAC__Frame* header, const FLAC__int32* const buffer[]) {
    const uint32_t channels = header->header.channels;
    const uint32_t bits = header->header.bits_per_sample;
    const uint32_t count = header->header.blocksize;
    const uint32_t mask = flac_channel_mask(m_channel_mask, channels);
    if (mask == 0 || bits < 8) throw ketrel_io::exception_io_data();

    float* out;
    kpl::array<int32_t>* integers = m_keep_integers ? &m_integers : nullptr;
    if (m_direct && !m_direct_filled && m_queue.count() == 0) {
        m_direct->set_data_size(kpl::checked_multiply(count, channels));
        m_direct->set_sample_count(count);
        m_direct->set_channels(channels, mask);
        m_direct->set_sample_rate(header->header.sample_rate);
        out = m_direct->get_data_writable();
        m_direct_filled = true;
    } else {
        frame* f;
        if (m_free.count() > 0) {
            f = m_free[m_free.count() - 1];
            m_free.remove_at(m_free.count() - 1);
        } else {
            f = new frame;
        }
        try {
            f->samples.resize_pow2(kpl::checked_multiply(count, channels));
        } catch (...) {
            m_free.append(f);
            throw;
        }
        f->count = count;
        f->channels = channels;
        f->mask = mask;
        f->rate = header->header.sample_rate;
        m_queue.append(f);
        out = f->samples.data();
        if (integers) integers = &f->integers;
    }
    flac_samples_to_float(out, reinterpret_cast<const int32_t* const*>(buffer), channels, count, bits);
    if (integers) {
        integers->resize_pow2(kpl::checked_multiply(count, channels));
        int32_t* to = integers->data();
        for (uint32_t i = 0; i < count; ++i)
            for (uint32_t c = 0; c < channels; ++c) *to++ = buffer[c][i];
    }
}
