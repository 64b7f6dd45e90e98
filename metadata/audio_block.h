#pragma once
// audio_block: one block of decoded audio, interleaved 32-bit float samples with their sample rate, channel
// count and channel mask.
//
// Full scale is -1.0 .. +1.0; an n-bit integer sample s stands for s x 2^-(n-1) (a 16-bit -32768 is -1.0).
// The samples of one sample frame (one value per channel) lie next to each other, so a block holds
// sample count x channels floats. Decoders fill blocks, ranged decoding trims them, and playback consumes
// them:
//
//     audio_block_store block;
//     const int16_t pcm[4] = {-32768, 0, 16384, 32767};            // two stereo frames
//     block.set_wave_pcm(pcm, sizeof pcm, 44100, 2, channel_mask_default(2), 16);
//     // block.get_sample_count() == 2, block.get_data()[0] == -1.0f, block.get_data()[2] == 0.5f
//     block.skip_front(1);                                         // one frame left: {0.5, 32767/32768}
//
// A block belongs to one thread at a time and has no locks. The two implementations differ only in how
// set_data_size treats the storage: audio_block_store keeps it exactly at the requested size,
// audio_block_store_pow2 grows it by doubling and never shrinks it (for blocks that are refilled many times).

#include "foundation/kpl/array.h"

#include <cstdint>

class audio_block {
public:
    // Integer PCM layout flags of set_data_int. Only big_endian and is_signed are read: without big_endian
    // the data is little-endian, without is_signed it is unsigned. Callers also pass little_endian and
    // is_unsigned to say so; WAVE data is little_endian | is_unsigned (9) for 8-bit samples and
    // little_endian | is_signed (5) for every other width.
    enum : uint32_t { little_endian = 0x1, big_endian = 0x2, is_signed = 0x4, is_unsigned = 0x8 };

    // Sample rates and channel counts a valid block may have (inclusive).
    static constexpr uint32_t min_sample_rate = 1000, max_sample_rate = 2822400;
    static constexpr uint32_t max_channels = 256;

    // The samples, for reading and for writing (the same storage).
    virtual const float* get_data() const = 0;
    virtual float* get_data_writable() = 0;
    // The number of floats the storage holds.
    virtual uint32_t get_data_size() const = 0;
    // Resizes the storage to `floats` values, keeping the contents up to the smaller size (new values 0.0).
    virtual void set_data_size(uint32_t floats) = 0;
    virtual uint32_t get_sample_rate() const = 0;
    virtual void set_sample_rate(uint32_t hz) = 0;
    virtual uint32_t get_channels() const = 0;
    virtual uint32_t get_channel_mask() const = 0;
    virtual void set_channels(uint32_t channels, uint32_t mask) = 0;
    // Sample frames in the block.
    virtual uint32_t get_sample_count() const = 0;
    virtual void set_sample_count(uint32_t frames) = 0;
    virtual ~audio_block() = default;

    // Sets the data size to frames x channels, copies `samples` in (or fills with 0.0 when null), then sets the
    // sample count, channels with mask, and rate. A size that overflows 32 bits throws std::bad_alloc.
    void set_data(const float* samples, uint32_t frames, uint32_t channels, uint32_t rate, uint32_t mask);

    // Integer PCM of 8, 16, 24 or 32 bits to float. n = byte_count / (bits / 8) values (all channels
    // together) are read; the sample count becomes n / channels. Unsigned samples have their top bit
    // inverted, big-endian ones their bytes reversed. Another width of at least 8 bits gives n values of
    // silence. Fewer than 8 bits or no channels throw kpl::exception_invalid_params.
    //
    //     const uint8_t be[2] = {0x80, 0x00};
    //     block.set_data_int(be, 2, 48000, 1, audio_block::big_endian | audio_block::is_signed, 0x4, 16);
    //     // one sample, -1.0
    void set_data_int(const void* data, uint32_t byte_count, uint32_t rate, uint32_t channels, uint32_t flags,
                      uint32_t mask, uint32_t bits);

    // set_data_int with the WAVE layout: little-endian, 8-bit samples unsigned, wider samples signed.
    void set_wave_pcm(const void* data, uint32_t byte_count, uint32_t rate, uint32_t channels, uint32_t mask,
                      uint32_t bits);

    // 32-bit floats copied as they are, or 64-bit floats narrowed to 32 bits; the sample count is
    // (byte_count / (bits / 8)) / channels. Another width throws ketrel_io::exception_io_data
    // "invalid bit depth"; no channels throws kpl::exception_invalid_params.
    void set_data_float(const void* data, uint32_t byte_count, uint32_t rate, uint32_t channels, uint32_t bits,
                        uint32_t mask);

    // `frames` sample frames of 0.0 at the current channel count.
    void set_silence(uint32_t frames);

    // Drops the first n sample frames and answers how many were dropped: n when n is below the sample count
    // (the rest moves to the front), otherwise the former sample count (the block is emptied).
    uint32_t skip_front(uint32_t n);

    // The test consumers apply: 1..256 channels, a rate of 1000..2822400 Hz, at least one sample frame and
    // below 2 GiB of samples (count < 0x80000000 / (channels x 4)), data for every frame, storage present.
    bool is_valid() const;

    // The samples as PCM of `bits` bits into `out` (resized to the output size); false, with `out` untouched,
    // for a width other than 8, 16, 24 or 32:
    //   8:  signed bytes, round(v x 128) limited to -128..127
    //   16: little-endian, as audio_float_to_int16 with factor 1.0
    //   24: little-endian, round(v x 8388608) limited to -8388608..8388607
    //   32: little-endian, round(v x 2^31) limited to -2^31..2^31-1 (integers, as every width)
    // Throws kpl::exception_overflow when sample count x channels overflows 32 bits, and
    // ketrel_io::exception_io_data when the block holds fewer values than that.
    bool to_pcm(kpl::byte_array& out, uint32_t bits) const;

    // Back to the empty state: sample count 0, rate 0, channels 0 with mask 0, data size 0, in that order.
    void reset();
};

// The storage policies.
namespace audio_block_detail {
template <bool doubling>
class store final : public audio_block {
public:
    const float* get_data() const override { return m_data.data(); }
    float* get_data_writable() override { return m_data.data(); }
    uint32_t get_data_size() const override { return m_data.count(); }
    void set_data_size(uint32_t floats) override {
        if (doubling)
            m_data.resize_pow2(floats);
        else
            m_data.resize_exact(floats);
    }
    uint32_t get_sample_rate() const override { return m_rate; }
    void set_sample_rate(uint32_t hz) override { m_rate = hz; }
    uint32_t get_channels() const override { return m_channels; }
    uint32_t get_channel_mask() const override { return m_mask; }
    void set_channels(uint32_t channels, uint32_t mask) override {
        m_channels = channels;
        m_mask = mask;
    }
    uint32_t get_sample_count() const override { return m_frames; }
    void set_sample_count(uint32_t frames) override { m_frames = frames; }

    // The storage's capacity in floats (for tests of the policies).
    uint32_t capacity() const { return m_data.capacity(); }

private:
    kpl::array<float> m_data;
    uint32_t m_rate = 0;
    uint32_t m_channels = 0;
    uint32_t m_mask = 0;
    uint32_t m_frames = 0;
};
}  // namespace audio_block_detail

// Capacity exactly the data size; reallocates on every change.
using audio_block_store = audio_block_detail::store<false>;
// Capacity grows by doubling from 1 until it holds the data size and never shrinks.
using audio_block_store_pow2 = audio_block_detail::store<true>;

// Copies `count` floats.
void audio_samples_copy(float* destination, const float* source, uint32_t count);

// Channel masks use the bit values of the Windows speaker mask: 0x1 front left, 0x2 front right, 0x4 front
// centre, 0x8 low frequency, 0x10 back left, 0x20 back right, 0x40 front left of centre, 0x80 front right of
// centre, 0x100 back centre, 0x200 side left, 0x400 side right, 0x800 top centre, 0x1000 top front left,
// 0x2000 top front centre, 0x4000 top front right, 0x8000 top back left, 0x10000 top back centre,
// 0x20000 top back right. The conversions map these 18 bits one to one and drop any other bit.
enum : uint32_t { channel_mask_all = 0x3FFFF };

uint32_t channel_mask_to_windows(uint32_t mask);
uint32_t channel_mask_from_windows(uint32_t speakers);

// The mask assumed for a channel count: 1 0x4, 2 0x3, 3 0xB (front left and right, low frequency), 4 0x33,
// 5 0x3B, 6 0x3F, 7 0xFB, 8 0xFF; 0 and 9 or more give 0.
uint32_t channel_mask_default(uint32_t channels);

// The number of set bits.
uint32_t channel_mask_count(uint32_t mask);
