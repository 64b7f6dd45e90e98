#include "playback/output/ds_device.h"

#include <dsound.h>
#include <mmreg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "foundation/kpl/win32_errors.h"
#include "metadata/pcm_conversion/sample_kernels.h"
#include "playback/output/ds_output_thread.h"
#include "playback/output/output_errors.h"

ds_device_options ds_device_test_options;

namespace {

constexpr double k_ring_seconds = 0.25;
constexpr double k_min_lead_seconds = 0.05;
constexpr double k_extra_buffer_seconds = 0.2;
constexpr double k_guard_seconds = 1.0 / 15;
constexpr double k_retire_seconds = 0.2;

// KSDATAFORMAT_SUBTYPE_PCM and KSDATAFORMAT_SUBTYPE_IEEE_FLOAT.
const GUID k_subtype_pcm = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID k_subtype_float = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

uint32_t frames_for(uint32_t rate, double seconds) {
    return static_cast<uint32_t>(std::floor(rate * seconds + 0.5));
}

}  // namespace

LONG ds_volume_hundredths(double gain) {
    if (!(gain > 0)) return DSBVOLUME_MIN;
    const double db = 20.0 * std::log10(gain);
    if (db < -100.0) return DSBVOLUME_MIN;
    if (db >= 0) return 0;
    return static_cast<LONG>(std::lround(db * 100.0));
}

ds_device::ds_device(const kpl::guid& device, double buffer_seconds, const ds_stream_format& format)
    : m_format(format), m_device(device), m_buffer_seconds(buffer_seconds) {
    if (m_format.rate && m_format.channels && m_format.bits) {
        m_ring.resize_exact(kpl::checked_multiply(frames_for(m_format.rate, k_ring_seconds), frame_bytes()));
    }
}

ds_device::~ds_device() {
    delete m_buffer;
    delete m_api;
}

uint32_t ds_device::bytes_for(double seconds) const { return frames_for(m_format.rate, seconds) * frame_bytes(); }

HRESULT ds_device::get_error() {
    kpl::critical_section_scope lock(ds_output_lock());
    return m_failed ? m_error : 0;
}

bool ds_device::write_bytes(const void* data, uint32_t size) {
    kpl::critical_section_scope lock(ds_output_lock());
    if (m_failed || m_ring.count() - m_ring_fill < size) return false;
    const uint8_t* source = static_cast<const uint8_t*>(data);
    uint32_t left = size;
    while (left > 0) {
        const uint32_t part = std::min(left, m_ring.count() - m_ring_write);
        uint8_t* target = m_ring.data() + m_ring_write;
        if (m_int32) {
            // Floats and 32-bit integers have the same size; the ring and every part hold whole samples.
            audio_float_to_int32(reinterpret_cast<int32_t*>(target), reinterpret_cast<const float*>(source),
                                 part / 4, 1.0f);
        } else {
            std::memcpy(target, source, part);
        }
        source += part;
        left -= part;
        m_ring_write = (m_ring_write + part) % m_ring.count();
    }
    m_ring_fill += size;
    return true;
}

bool ds_device::is_started() {
    kpl::critical_section_scope lock(ds_output_lock());
    return m_buffer && !m_starting;
}

uint32_t ds_device::buffered_bytes_locked() const {
    int64_t bytes = (m_buffer ? m_queued : 0) + m_ring_fill;
    return bytes > 0 ? static_cast<uint32_t>(bytes) : 0;
}

double ds_device::buffered_seconds_locked() const {
    const uint32_t per_second = frame_bytes() * m_format.rate;
    return per_second ? static_cast<double>(buffered_bytes_locked()) / per_second : 0.0;
}

double ds_device::get_buffered_seconds() {
    kpl::critical_section_scope lock(ds_output_lock());
    return buffered_seconds_locked();
}

uint32_t ds_device::get_buffered_bytes() {
    kpl::critical_section_scope lock(ds_output_lock());
    return buffered_bytes_locked();
}

uint32_t ds_device::get_free_bytes() {
    kpl::critical_section_scope lock(ds_output_lock());
    if (m_failed) return 0;
    const int64_t room = static_cast<int64_t>(m_target) - buffered_bytes_locked();
    const int64_t ring_room = m_ring.count() - m_ring_fill;
    const int64_t free = std::min(room, ring_room);
    return free > 0 ? static_cast<uint32_t>(free) : 0;
}

void ds_device::start_now() {
    kpl::critical_section_scope lock(ds_output_lock());
    m_start_now = true;
}

void ds_device::set_paused(bool paused) {
    kpl::critical_section_scope lock(ds_output_lock());
    m_pause_requested = paused;
}

void ds_device::start_fade(double from, double to, double seconds) {
    m_gain = from;
    m_fade = fade_state();
    m_fade.active = true;
    m_fade.start = m_played;
    m_fade.end = m_played + std::max(seconds, 0.0);
    m_fade.from = from;
    m_fade.to = to;
}

void ds_device::fade(double from, double to, double seconds) {
    kpl::critical_section_scope lock(ds_output_lock());
    start_fade(from, to, seconds);
}

void ds_device::ramp_gain(double gain, double seconds) {
    kpl::critical_section_scope lock(ds_output_lock());
    if (m_pause_requested || m_closing || (m_fade.active && m_fade.pause_when_done)) return;
    start_fade(m_gain, gain, seconds);
}

void ds_device::pause_with_fade(double seconds, double gain, bool paused) {
    kpl::critical_section_scope lock(ds_output_lock());
    const bool fading_to_pause = m_fade.active && m_fade.pause_when_done;
    if (paused) {
        if (fading_to_pause || m_pause_requested) return;
        start_fade(m_gain, 0.0, std::min(seconds, buffered_seconds_locked()));
        m_fade.pause_when_done = true;
        return;
    }
    if (!m_pause_requested && !fading_to_pause) return;
    m_pause_requested = false;
    if (fading_to_pause) {
        const double span = m_fade.end - m_fade.start;
        const double progress = span > 0 ? std::min(std::max((m_played - m_fade.start) / span, 0.0), 1.0) : 1.0;
        start_fade(m_gain, gain, seconds * progress);
    } else {
        start_fade(0.0, gain, seconds);
    }
}

void ds_device::close() {
    kpl::critical_section_scope lock(ds_output_lock());
    m_closed = true;
}

void ds_device::close_with_fade(double seconds) {
    kpl::critical_section_scope lock(ds_output_lock());
    if (m_failed || seconds == 0 || m_pause_requested || m_pause_applied) {
        m_closed = true;
        return;
    }
    m_start_now = true;
    start_fade(m_gain, 0.0, std::min(seconds, buffered_seconds_locked()));
    m_fade.close_when_done = true;
    m_closing = true;
}

void ds_device::set_gain(double gain) {
    kpl::critical_section_scope lock(ds_output_lock());
    if (!m_fade.active) {
        m_gain = gain;
        return;
    }
    m_fade.from = m_gain;
    m_fade.start = m_played;
    m_fade.to = gain;
}

void ds_device::fail(HRESULT hr) {
    m_failed = true;
    m_error = hr < 0 ? hr : E_FAIL;
    if (m_buffer) m_buffer->stop();
    delete m_buffer;
    m_buffer = nullptr;
    delete m_api;
    m_api = nullptr;
}

bool ds_device::begin_retiring() {
    if (!m_buffer || m_failed || m_last_playing < 0) return false;
    const double now = ds_backend_current().now_seconds();
    const bool playing = !m_starting && !m_pause_applied;
    if (playing) {
        try {
            write_silence(0, m_size);
        } catch (...) {
            return false;
        }
        m_last_playing = now;
    }
    m_retire_end = m_last_playing + k_retire_seconds;
    if (now >= m_retire_end) return false;
    m_closed = true;
    m_retiring = true;
    return true;
}

bool ds_device::service_retiring() { return ds_backend_current().now_seconds() < m_retire_end; }

bool ds_device::service() {
    if (m_retiring) return service_retiring();
    if (m_closed) return begin_retiring();
    if (m_failed) return true;
    if (!m_format.rate || !m_format.channels || !m_format.bits) return true;
    try {
        if (service_steps()) return true;
        return begin_retiring();
    } catch (const exception_com& e) {
        fail(e.code());
    } catch (const std::bad_alloc&) {
        fail(E_OUTOFMEMORY);
    } catch (...) {
        fail(E_FAIL);
    }
    return true;
}

void ds_device::create_buffer() {
    if (!m_sized) {
        m_start_threshold = bytes_for(std::min(m_buffer_seconds * 0.5, 1.0));
        m_min_lead = bytes_for(k_min_lead_seconds);
        m_target = bytes_for(m_buffer_seconds);
        m_size = bytes_for(m_buffer_seconds + k_extra_buffer_seconds);
        m_guard = bytes_for(k_guard_seconds);
        m_sized = true;
    }
    ds_check(ds_backend_current().open_device(m_device, m_api));

    WAVEFORMATEXTENSIBLE format;
    std::memset(&format, 0, sizeof format);
    const bool plain_layout = (m_format.channels == 1 && m_format.speakers == 0x4) ||
                              (m_format.channels == 2 && m_format.speakers == 0x3);
    auto describe = [&](bool as_float) {
        std::memset(&format, 0, sizeof format);
        WAVEFORMATEX& head = format.Format;
        head.nChannels = static_cast<WORD>(m_format.channels);
        head.nSamplesPerSec = m_format.rate;
        head.wBitsPerSample = static_cast<WORD>(m_format.bits);
        head.nBlockAlign = static_cast<WORD>(frame_bytes());
        head.nAvgBytesPerSec = m_format.rate * frame_bytes();
        if (!as_float && m_format.bits <= 16 && plain_layout) {
            head.wFormatTag = WAVE_FORMAT_PCM;
            head.cbSize = 0;
            return;
        }
        head.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        head.cbSize = 22;
        format.Samples.wValidBitsPerSample = static_cast<WORD>(m_format.bits);
        format.dwChannelMask = m_format.speakers;
        format.SubFormat = as_float ? k_subtype_float : k_subtype_pcm;
    };

    ds_buffer* buffer = nullptr;
    HRESULT hr = E_FAIL;
    bool int32 = false;
    if (m_format.is_float && !ds_device_test_options.refuse_float) {
        describe(true);
        hr = m_api->create_buffer(&format.Format, m_size, buffer);
    }
    if (m_format.is_float && (ds_device_test_options.refuse_float || hr == E_NOTIMPL || hr == E_FAIL ||
                              hr == ds_error_bad_format)) {
        describe(false);
        hr = m_api->create_buffer(&format.Format, m_size, buffer);
        int32 = true;
    } else if (!m_format.is_float) {
        describe(false);
        hr = m_api->create_buffer(&format.Format, m_size, buffer);
    }
    ds_check(hr);
    m_buffer = buffer;
    m_int32 = int32;
    if (m_int32 && m_ring_fill > 0) {
        // Floats that came before the buffer existed become integers now.
        kpl::array<uint8_t> copy;
        copy.resize_exact(m_ring_fill);
        for (uint32_t i = 0; i < m_ring_fill; ++i) copy[i] = m_ring[(m_ring_read + i) % m_ring.count()];
        m_ring_read = m_ring_write = m_ring_fill = 0;
        const uint32_t size = copy.count();
        m_ring_fill = 0;
        audio_float_to_int32(reinterpret_cast<int32_t*>(m_ring.data()), reinterpret_cast<const float*>(copy.data()),
                             size / 4, 1.0f);
        m_ring_write = size % m_ring.count();
        m_ring_fill = size;
    }
    silence_whole_buffer();
    if (ds_device_test_options.buffer_created) ds_device_test_options.buffer_created(m_format, m_int32);
}

void ds_device::write_silence(uint32_t offset, uint32_t bytes) {
    ds_check(m_buffer->write(offset, nullptr, bytes, m_format.bits == 8 ? 0x80 : 0));
}

void ds_device::silence_whole_buffer() {
    write_silence(0, m_size);
    m_write_pos = 0;
    m_queued = 0;
    m_zero_ahead = m_size;
    m_last_cursor = 0;
    m_starting = true;
}

void ds_device::reset_to_starting() {
    ds_check(m_buffer->stop());
    m_last_playing = ds_backend_current().now_seconds();
    ds_check(m_buffer->set_position(0));
    silence_whole_buffer();
    m_start_now = false;
    m_played = 0;
    m_fade = fade_state();
    m_ring_read = m_ring_write = m_ring_fill = 0;
}

bool ds_device::advance_fade() {
    if (!m_fade.active) return false;
    if (m_played >= m_fade.end || m_fade.end <= m_fade.start) {
        m_gain = m_fade.to;
        const fade_state done = m_fade;
        m_fade = fade_state();
        if (done.pause_when_done) m_pause_requested = true;
        return done.close_when_done;
    }
    m_gain = m_fade.from + (m_played - m_fade.start) / (m_fade.end - m_fade.start) * (m_fade.to - m_fade.from);
    return false;
}

void ds_device::write_from_ring(uint32_t bytes) {
    while (bytes > 0) {
        const uint32_t part = std::min(bytes, m_ring.count() - m_ring_read);
        ds_check(m_buffer->write(m_write_pos, m_ring.data() + m_ring_read, part, 0));
        m_ring_read = (m_ring_read + part) % m_ring.count();
        m_ring_fill -= part;
        m_write_pos = (m_write_pos + part) % m_size;
        m_queued += part;
        m_zero_ahead = m_zero_ahead > part ? m_zero_ahead - part : 0;
        bytes -= part;
    }
}

bool ds_device::service_steps() {
    if (!m_buffer) create_buffer();

    DWORD status = 0;
    HRESULT hr = m_buffer->get_status(status);
    if (hr == DSERR_BUFFERLOST) {
        status = DSBSTATUS_BUFFERLOST;
    } else {
        ds_check(hr);
    }
    if (status & DSBSTATUS_BUFFERLOST) {
        ds_check(m_buffer->restore());
        ds_check(m_buffer->get_status(status));
    }

    if (!m_pause_applied) {
        const DWORD playing = DSBSTATUS_PLAYING | DSBSTATUS_LOOPING;
        if (!m_starting && (status & playing) != playing) ds_check(m_buffer->play_looping());
        DWORD cursor = 0;
        ds_check(m_buffer->get_play_cursor(cursor));
        cursor %= m_size;
        const uint32_t consumed = (cursor + m_size - m_last_cursor) % m_size;
        m_last_cursor = cursor;
        m_played += static_cast<double>(consumed) / (static_cast<double>(frame_bytes()) * m_format.rate);
        int64_t queued = (m_write_pos + m_size - cursor) % m_size;
        if (queued > m_size - (m_size - m_target) / 2) queued -= m_size;
        m_queued = queued;
        if (advance_fade()) return false;
    }

    if (m_gain != m_applied_gain) {
        ds_check(m_buffer->set_volume(ds_volume_hundredths(m_gain)));
        m_applied_gain = m_gain;
    }

    if (m_pause_requested != m_pause_applied) {
        if (!m_starting) {
            ds_check(m_pause_requested ? m_buffer->stop() : m_buffer->play_looping());
            m_last_playing = ds_backend_current().now_seconds();
        }
        m_pause_applied = m_pause_requested;
    }

    if (m_pause_applied && m_closing && !m_fade.active) return false;

    if (m_ring_fill == 0) {
        if (!m_pause_applied && !m_starting && m_queued <= 0) {
            if (m_closing) return false;
            reset_to_starting();
        }
    } else if (!m_pause_applied) {
        int64_t room = static_cast<int64_t>(m_target) - m_queued;
        if (!m_starting && m_queued < m_min_lead) {
            const uint32_t jump = static_cast<uint32_t>(m_min_lead - m_queued);
            // The gap is silent where the guard covers it; a thread that was held up long enough to be overtaken
            // by more than the guard would leave older audio there, so it is made silent.
            if (jump > m_zero_ahead) write_silence(m_write_pos, jump);
            m_write_pos = (m_write_pos + jump) % m_size;
            m_queued += jump;
            m_zero_ahead = m_zero_ahead > jump ? m_zero_ahead - jump : 0;
            room -= jump;
        }
        if (room >= frame_bytes()) {
            uint32_t n = static_cast<uint32_t>(std::min<int64_t>(m_ring_fill, room));
            n -= n % frame_bytes();
            write_from_ring(n);
            if (m_zero_ahead < m_guard) {
                write_silence(m_write_pos, m_guard);
                m_zero_ahead = m_guard;
            }
        }
    }

    if (m_starting && !m_pause_applied &&
        (m_write_pos >= m_start_threshold || (m_start_now && m_queued > 0))) {
        ds_check(m_buffer->play_looping());
        m_starting = false;
    }
    if (!m_starting && !m_pause_applied) m_last_playing = ds_backend_current().now_seconds();
    return true;
}
