#include "metadata/audio_block.h"

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "metadata/pcm_conversion/sample_kernel_paths.h"
#include "metadata/pcm_conversion/sample_kernels.h"

#include <cstdint>
#include <cstring>

void audio_block::set_data(const float* samples, uint32_t frames, uint32_t channels, uint32_t rate,
                           uint32_t mask) {
    const uint32_t count = kpl::checked_multiply(frames, channels);
    set_data_size(count);
    float* out = get_data_writable();
    if (samples)
        std::memmove(out, samples, count * sizeof(float));
    else if (count)
        std::memset(out, 0, count * sizeof(float));
    set_sample_count(frames);
    set_channels(channels, mask);
    set_sample_rate(rate);
}

namespace {

uint32_t swap16(uint32_t v) { return ((v & 0xFF) << 8) | ((v >> 8) & 0xFF); }

uint32_t swap32(uint32_t v) { return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24); }

void convert_int(float* out, const uint8_t* in, uint32_t n, uint32_t flags, uint32_t bits) {
    const bool big = (flags & audio_block::big_endian) != 0;
    const bool is_signed = (flags & audio_block::is_signed) != 0;
    switch (bits) {
    case 8: {
        const uint8_t flip = is_signed ? 0 : 0x80;
        for (uint32_t i = 0; i < n; ++i) out[i] = static_cast<int8_t>(in[i] ^ flip) * (1.0f / 128);
        return;
    }
    case 16:
        if (!big && is_signed) {
            audio_int16_to_float(out, reinterpret_cast<const int16_t*>(in), n);
            return;
        }
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t v = in[2 * i] | (uint32_t(in[2 * i + 1]) << 8);
            if (big) v = swap16(v);
            if (!is_signed) v ^= 0x8000;
            out[i] = static_cast<int16_t>(v) * (1.0f / 32768);
        }
        return;
    case 24:
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* p = in + 3 * i;
            uint32_t v = big ? (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]
                             : p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
            if (!is_signed) v ^= 0x800000;
            const int32_t s = static_cast<int32_t>(v << 8) >> 8;  // sign-extend from bit 23
            out[i] = static_cast<float>(s) * (1.0f / 8388608);   // 24 bits: exact
        }
        return;
    case 32:
        if (!big && is_signed) {
            audio_int32_to_float(out, reinterpret_cast<const int32_t*>(in), n, 1.0f);
            return;
        }
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t v;
            std::memcpy(&v, in + 4 * i, 4);
            if (big) v = swap32(v);
            if (!is_signed) v ^= 0x80000000u;
            // Rounded to single precision first, as the fast path does.
            out[i] = single_precision(static_cast<float>(static_cast<int32_t>(v))) * (1.0f / 2147483648.0f);
        }
        return;
    default:
        if (n) std::memset(out, 0, n * sizeof(float));
        return;
    }
}

}  // namespace

void audio_block::set_data_int(const void* data, uint32_t byte_count, uint32_t rate, uint32_t channels,
                               uint32_t flags, uint32_t mask, uint32_t bits) {
    // Both would divide by zero below.
    if (bits < 8 || channels == 0) throw kpl::exception_invalid_params();
    const uint32_t n = byte_count / (bits / 8);
    set_data_size(n);
    convert_int(get_data_writable(), static_cast<const uint8_t*>(data), n, flags, bits);
    set_sample_count(n / channels);
    set_sample_rate(rate);
    set_channels(channels, mask);
}

void audio_block::set_wave_pcm(const void* data, uint32_t byte_count, uint32_t rate, uint32_t channels,
                               uint32_t mask, uint32_t bits) {
    const uint32_t flags = bits == 8 ? little_endian | is_unsigned : little_endian | is_signed;
    set_data_int(data, byte_count, rate, channels, flags, mask, bits);
}

void audio_block::set_data_float(const void* data, uint32_t byte_count, uint32_t rate, uint32_t channels,
                                 uint32_t bits, uint32_t mask) {
    if (bits != 32 && bits != 64) throw ketrel_io::exception_io_data("invalid bit depth");
    if (channels == 0) throw kpl::exception_invalid_params();
    const uint32_t n = byte_count / (bits / 8);
    set_data_size(n);
    float* out = get_data_writable();
    const uint8_t* in = static_cast<const uint8_t*>(data);
    if (bits == 32) {
        if (n) std::memmove(out, in, n * sizeof(float));
    } else {
        for (uint32_t i = 0; i < n; ++i) {
            double v;
            std::memcpy(&v, in + 8 * i, 8);
            out[i] = static_cast<float>(v);
        }
    }
    set_sample_count(n / channels);
    set_sample_rate(rate);
    set_channels(channels, mask);
}

void audio_block::set_silence(uint32_t frames) {
    const uint32_t count = kpl::checked_multiply(frames, get_channels());
    set_data_size(count);
    if (count) std::memset(get_data_writable(), 0, count * sizeof(float));
    set_sample_count(frames);
}

uint32_t audio_block::skip_front(uint32_t n) {
    const uint32_t frames = get_sample_count();
    if (n < frames) {
        if (n == 0) return 0;
        const uint32_t channels = get_channels();
        const uint32_t rest = (frames - n) * channels;
        float* data = get_data_writable();
        std::memmove(data, data + n * channels, rest * sizeof(float));
        set_sample_count(frames - n);
        set_data_size(rest);
        return n;
    }
    set_sample_count(0);
    set_data_size(0);
    return frames;
}

bool audio_block::is_valid() const {
    const uint32_t channels = get_channels();
    if (channels < 1 || channels > max_channels) return false;
    const uint32_t rate = get_sample_rate();
    if (rate < min_sample_rate || rate > max_sample_rate) return false;
    const uint32_t frames = get_sample_count();
    if (frames < 1 || frames >= 0x80000000u / (channels * 4)) return false;
    if (get_data_size() < channels * frames) return false;  // cannot wrap: frames x channels < 2^29
    return get_data() != nullptr;
}

bool audio_block::to_pcm(kpl::byte_array& out, uint32_t bits) const {
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    const uint64_t wide = uint64_t(get_sample_count()) * get_channels();
    if (wide > UINT32_MAX) throw kpl::exception_overflow();
    const uint32_t len = static_cast<uint32_t>(wide);
    if (get_data_size() < len) throw ketrel_io::exception_io_data();
    out.resize_exact(kpl::checked_multiply(len, bits / 8));
    const float* in = get_data();
    uint8_t* bytes = out.data();
    switch (bits) {
    case 8:
        for (uint32_t i = 0; i < len; ++i) {
            const float v = in[i] * 128.0f;  // a power of two: exact
            const int32_t s = !(v >= -128.0f) ? -128 : v >= 127.0f ? 127 : round_to_int32(v);
            bytes[i] = static_cast<uint8_t>(s);
        }
        break;
    case 16:
        audio_float_to_int16(reinterpret_cast<int16_t*>(bytes), in, len, 1.0f);
        break;
    case 24:
        for (uint32_t i = 0; i < len; ++i) {
            const float v = in[i] * 8388608.0f;  // exact
            const int32_t s = !(v >= -8388608.0f) ? -8388608 : v >= 8388607.0f ? 8388607 : round_to_int32(v);
            bytes[3 * i] = static_cast<uint8_t>(s);
            bytes[3 * i + 1] = static_cast<uint8_t>(s >> 8);
            bytes[3 * i + 2] = static_cast<uint8_t>(s >> 16);
        }
        break;
    case 32:
        for (uint32_t i = 0; i < len; ++i) {
            const float v = in[i] * 2147483648.0f;  // exact
            const int32_t s = !(v >= -2147483648.0f) ? INT32_MIN : v >= 2147483648.0f ? INT32_MAX : round_to_int32(v);
            const uint32_t u = static_cast<uint32_t>(s);
            bytes[4 * i] = static_cast<uint8_t>(u);
            bytes[4 * i + 1] = static_cast<uint8_t>(u >> 8);
            bytes[4 * i + 2] = static_cast<uint8_t>(u >> 16);
            bytes[4 * i + 3] = static_cast<uint8_t>(u >> 24);
        }
        break;
    }
    return true;
}

void audio_block::reset() {
    set_sample_count(0);
    set_sample_rate(0);
    set_channels(0, 0);
    set_data_size(0);
}

void audio_samples_copy(float* destination, const float* source, uint32_t count) {
    if (count) std::memcpy(destination, source, count * sizeof(float));
}

uint32_t channel_mask_to_windows(uint32_t mask) { return mask & channel_mask_all; }

uint32_t channel_mask_from_windows(uint32_t speakers) { return speakers & channel_mask_all; }

uint32_t channel_mask_default(uint32_t channels) {
    static const uint32_t masks[] = {0, 0x4, 0x3, 0xB, 0x33, 0x3B, 0x3F, 0xFB, 0xFF};
    return channels < sizeof masks / sizeof masks[0] ? masks[channels] : 0;
}

uint32_t channel_mask_count(uint32_t mask) { return static_cast<uint32_t>(__builtin_popcount(mask)); }
