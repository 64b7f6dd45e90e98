#include "playback/output/ds_audio_output.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "foundation/kpl/array.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/advanced_setting_entries.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/system_paths.h"
#include "metadata/audio_block.h"
#include "metadata/pcm_conversion/pcm_converter.h"
#include "playback/output/ds_output_thread.h"
#include "playback/output/output_errors.h"

namespace {

constexpr double k_volume_ramp_seconds = 0.05;

double fade_seconds(advanced_integer_entry& entry) { return static_cast<double>(entry->get_value()) * 0.001; }

class ds_audio_output final : public service_counted<audio_output> {
public:
    ds_audio_output(const kpl::guid& device, double buffer_seconds, bool float_samples)
        : m_device_guid(device), m_buffer_seconds(std::max(buffer_seconds, 0.1)), m_float(float_samples) {}

    ~ds_audio_output() override {
        if (m_device) m_device->close_with_fade(fade_seconds(advanced_settings::fade_out_ms));
    }

    double get_latency() override {
        double latency = 0;
        if (m_rate && m_channels) latency += static_cast<double>(m_staged.count() - m_passed) / m_channels / m_rate;
        if (m_device && device_format_valid()) {
            latency += static_cast<double>(get_buffered_frames()) / m_device_rate;
        }
        return latency;
    }

    void write(const audio_block& block) override {
        if (m_passed != m_staged.count()) throw kpl::exception_bug_check();
        const uint32_t rate = block.get_sample_rate();
        const uint32_t channels = block.get_channels();
        const uint32_t mask = block.get_channel_mask();
        if (rate == 0 || channels == 0 || channels != channel_mask_count(mask)) {
            throw ketrel_io::exception_io_data("Invalid audio stream specifications");
        }
        const uint32_t count = kpl::checked_multiply(block.get_sample_count(), channels);
        if (block.get_data_size() < count) throw ketrel_io::exception_io_data("Invalid audio stream specifications");
        m_staged.resize_pow2(count);
        audio_samples_copy(m_staged.data(), block.get_data(), count);
        m_passed = 0;
        m_rate = rate;
        m_channels = channels;
        m_mask = mask;
    }

    void process(bool& ready) override {
        check();
        ready = m_passed == m_staged.count();
        if (m_rate == 0) return;
        if (m_rate != m_device_rate || m_channels != m_device_channels || m_mask != m_device_mask) {
            if (m_device && m_device->get_buffered_bytes() > 0) {
                if (!m_draining) {
                    m_draining = true;
                    m_device->start_now();
                    if (ds_device_test_options.format_drain) ds_device_test_options.format_drain();
                }
            } else {
                m_draining = false;
                set_format_and_open(m_rate, m_channels, m_mask);
            }
        } else if (!ready) {
            const uint32_t remaining = m_staged.count() - m_passed;
            const uint32_t n = std::min<uint64_t>(remaining, static_cast<uint64_t>(m_channels) * get_free_frames());
            if (n > 0) {
                write_samples(m_staged.data() + m_passed, n);
                m_passed += n;
            }
        }
        ready = m_passed == m_staged.count();
    }

    void pause(bool paused) override {
        if (paused == m_paused) return;
        m_paused = paused;
        if (m_device) {
            m_device->pause_with_fade(fade_seconds(advanced_settings::fade_on_pause_ms), output_volume_gain(m_volume),
                                      paused);
        }
    }

    void flush() override {
        m_staged.resize_exact(0);
        m_passed = 0;
        reopen_device();
    }

    void drain() override {
        if (m_device) m_device->start_now();
    }

    void set_volume(double db) override {
        m_volume = db;
        if (m_device) m_device->ramp_gain(output_volume_gain(db), k_volume_ramp_seconds);
    }

    void check() override {
        if (!m_device) return;
        const HRESULT hr = m_device->get_error();
        if (hr == 0) return;
        if (hr == ds_error_no_driver) throw exception_output_device_not_found();
        throw ds_exception(hr);
    }

private:
    bool device_format_valid() const { return m_device_rate && m_device_channels && m_device_bits; }

    uint32_t frame_bytes() const { return m_device_bits / 8 * m_device_channels; }

    uint32_t get_free_frames() {
        if (m_paused || !m_device || !device_format_valid()) return 0;
        return m_device->get_free_bytes() / frame_bytes();
    }

    uint32_t get_buffered_frames() {
        if (!m_device || !device_format_valid()) return 0;
        return m_device->get_buffered_bytes() / frame_bytes();
    }

    void write_samples(const float* samples, uint32_t count) {
        bool written;
        if (m_float) {
            written = m_device->write_bytes(samples, kpl::checked_multiply(count, 4));
        } else {
            if (!m_converter) service_class::get_single(m_converter);
            m_block.set_data(samples, count / m_device_channels, m_device_channels, m_device_rate, m_device_mask);
            m_converter->convert(m_block, m_bytes, 16, 16, 0, 1.0f);
            written = m_device->write_bytes(m_bytes.data(), m_bytes.count());
        }
        if (!written) throw ketrel_io::exception_io();
    }

    void reopen_device() {
        if (m_device) {
            m_device->close_with_fade(fade_seconds(advanced_settings::fade_on_seek_ms));
            m_device = nullptr;
            m_reopened = true;
        }
        if (device_format_valid()) open_device();
    }

    void set_format_and_open(uint32_t rate, uint32_t channels, uint32_t mask) {
        m_device_rate = rate;
        m_device_channels = channels;
        m_device_mask = mask;
        m_device_bits = m_float ? 32 : 16;
        open_device();
    }

    void open_device() {
        if (m_device) {
            m_device->close();
            m_device = nullptr;
        }
        ds_stream_format format;
        format.rate = m_device_rate;
        format.channels = m_device_channels;
        format.bits = m_device_bits;
        format.is_float = m_float;
        format.speakers = channel_mask_to_windows(m_device_mask);
        m_device = ds_output_register(m_device_guid, m_buffer_seconds, format);
        const double gain = output_volume_gain(m_volume);
        m_device->set_gain(gain);
        if (m_paused) {
            m_device->set_paused(true);
        } else if (m_reopened) {
            m_device->fade(0.0, gain, fade_seconds(advanced_settings::fade_on_seek_ms));
        }
        m_reopened = false;
    }

    kpl::guid m_device_guid;
    double m_buffer_seconds;
    bool m_float;

    kpl::array<float> m_staged;
    uint32_t m_passed = 0;
    uint32_t m_rate = 0, m_channels = 0, m_mask = 0;

    uint32_t m_device_rate = 0, m_device_channels = 0, m_device_mask = 0, m_device_bits = 0;
    ds_device* m_device = nullptr;

    service_ptr<pcm_converter> m_converter;
    audio_block_store_pow2 m_block;
    kpl::byte_array m_bytes;

    double m_volume = 0;
    bool m_paused = false;
    bool m_reopened = false;
    bool m_draining = false;
};

}  // namespace

double output_volume_gain(double db) {
    const double gain = std::pow(10.0, db * 0.05);
    if (!(gain > 0)) return 0.0;
    return gain > 1.0 ? 1.0 : gain;
}

void ds_audio_output_create(service_ptr<audio_output>& out, const kpl::guid& device, double buffer_seconds,
                            bool float_samples) {
    ds_audio_output* output = new (std::nothrow) ds_audio_output(device, buffer_seconds, float_samples);
    if (!output) kpl::throw_bad_alloc();
    out.release();
    service_ref ref;
    ref.attach(static_cast<audio_output*>(output));
    out.attach_ref(std::move(ref));
}

void ds_audio_output_create(service_ptr<audio_output>& out, const kpl::guid& device, double buffer_seconds) {
    ds_audio_output_create(out, device, buffer_seconds, is_windows_vista_or_later());
}
