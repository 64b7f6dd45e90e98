#include "inputs/wavpack/wavpack_packet_decoder.h"

#include <wavpack/wavpack.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/codec_packet_decoder.h"
#include "metadata/audio_block.h"
#include "metadata/pcm_conversion/sample_kernels.h"
#include "metadata/track_info.h"

namespace {

// The block being decoded, read by libwavpack through the table below.
struct memory_block {
    std::vector<uint8_t> bytes;
    size_t position = 0;
};

int32_t mem_read(void* id, void* data, int32_t count) {
    auto* b = static_cast<memory_block*>(id);
    if (count <= 0) return 0;
    size_t n = b->bytes.size() - b->position;
    if (n > static_cast<size_t>(count)) n = static_cast<size_t>(count);
    std::memcpy(data, b->bytes.data() + b->position, n);
    b->position += n;
    return static_cast<int32_t>(n);
}
int64_t mem_get_pos(void* id) { return static_cast<int64_t>(static_cast<memory_block*>(id)->position); }
int mem_set_pos_abs(void*, int64_t) { return -1; }
int mem_set_pos_rel(void*, int64_t, int) { return -1; }
int mem_push_back(void* id, int c) {
    auto* b = static_cast<memory_block*>(id);
    if (b->position == 0) return EOF;
    --b->position;
    return c;
}
int64_t mem_length(void*) { return 0; }
int mem_can_seek(void*) { return 0; }

WavpackStreamReader64 g_memory_reader = {mem_read,   nullptr,     mem_get_pos, mem_set_pos_abs, mem_set_pos_rel,
                                         mem_push_back, mem_length, mem_can_seek, nullptr,     nullptr};

const matroska_setup_record* matroska_record(const kpl::guid& owner, const void* record, size_t size) {
    if (owner != codec_owner_matroska || size != sizeof(matroska_setup_record) || !record) return nullptr;
    return static_cast<const matroska_setup_record*>(record);
}

bool accepted(const kpl::guid& owner, const void* record, size_t size, uint16_t& version) {
    const matroska_setup_record* r = matroska_record(owner, record, size);
    if (!r || !r->codec_id || std::strcmp(r->codec_id, "A_WAVPACK4") != 0) return false;
    return wavpack_matroska_version(r->codec_private, r->codec_private_size, version);
}

class wavpack_packet_decoder final : public service_counted<codec_packet_decoder> {
public:
    explicit wavpack_packet_decoder(uint16_t version) : m_version(version) {}
    ~wavpack_packet_decoder() override { close(); }

    void get_info(track_info& info) override {
        info.info_set("codec", track_info::npos, "WavPack", track_info::npos);
        if (!m_context) return;
        info.info_set_int("samplerate", WavpackGetSampleRate(m_context));
        info.info_set_int("channels", WavpackGetNumChannels(m_context));
        info.info_set_int("bitspersample", WavpackGetBitsPerSample(m_context));
        kpl::utf8_string_tight profile(m_mode & MODE_HIGH ? "high" : m_mode & MODE_FAST ? "fast" : "normal");
        if (m_mode & MODE_HYBRID) profile.append_cstr(", hybrid");
        info.info_set("codec_profile", track_info::npos, profile.c_str(), track_info::npos);
        info.info_set("encoding", track_info::npos, m_mode & MODE_HYBRID ? "hybrid" : "lossless", track_info::npos);
        unsigned char md5[16];
        if (WavpackGetMD5Sum(m_context, md5)) {
            char hex[33];
            kpl::format_hex_bytes(md5, hex);
            info.info_set("md5", track_info::npos, hex, track_info::npos);
        }
    }

    void reset_after_seek() override { m_reset = true; }

    bool needs_first_packet() override { return true; }
    void set_first_packet(const void* data, size_t size, const abort_signal&) override {
        if (m_context) return;
        rebuild(data, size);
        open_context();
    }

    void decode_packet(const void* data, size_t size, audio_block& block, const abort_signal& abort) override {
        if (m_reset) {
            close();
            m_reset = false;
        }
        rebuild(data, size);
        if (!m_context) open_context();
        const uint8_t* stored = static_cast<const uint8_t*>(data);
        const uint32_t samples = stored[0] | stored[1] << 8 | stored[2] << 16 | static_cast<uint32_t>(stored[3]) << 24;
        const uint32_t channels = static_cast<uint32_t>(WavpackGetNumChannels(m_context));
        const uint32_t rate = WavpackGetSampleRate(m_context);
        if (channels == 0 || samples > (1u << 24) / channels) throw ketrel_io::exception_io_data();
        m_samples.resize(size_t(samples) * channels + channels);
        uint32_t got = samples ? WavpackUnpackSamples(m_context, m_samples.data(), samples) : 0;
        abort.check();
        if (got == 0) throw ketrel_io::exception_io_data();
        uint32_t mask = channel_mask_from_windows(static_cast<uint32_t>(WavpackGetChannelMask(m_context)));
        if (channel_mask_count(mask) != channels) mask = channel_mask_default(channels);
        if (m_mode & MODE_FLOAT) {
            block.set_data(reinterpret_cast<const float*>(m_samples.data()), got, channels, rate, mask);
        } else {
            const int bytes = WavpackGetBytesPerSample(m_context);
            if (bytes < 1 || bytes > 4) throw ketrel_io::exception_io_data();
            block.set_data_size(got * channels);
            block.set_sample_count(got);
            block.set_channels(channels, mask);
            block.set_sample_rate(rate);
            // value x 2^-(bits - 1) through the conversion kernel, as the WavPack file input converts: the
            // factor 2^(32 - bits) makes the kernel's scale exactly that power of two.
            audio_int32_to_float(block.get_data_writable(), m_samples.data(), got * channels,
                                 static_cast<float>(uint64_t(1) << (32 - 8 * bytes)));
        }
    }

private:
    // The 32-byte block header in front of the stored frame.
    void rebuild(const void* data, size_t size) {
        if (size < 12 || size > 0x7FFFFFF0u) throw ketrel_io::exception_io_data();
        std::vector<uint8_t>& b = m_block.bytes;
        b.assign(20, 0);
        std::memcpy(b.data(), "wvpk", 4);
        b[8] = static_cast<uint8_t>(m_version);
        b[9] = static_cast<uint8_t>(m_version >> 8);
        std::memset(b.data() + 12, 0xFF, 4);   // total samples unknown
        const uint8_t* p = static_cast<const uint8_t*>(data);
        b.insert(b.end(), p, p + size);
        const uint32_t block_size = static_cast<uint32_t>(b.size() - 8);
        for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(block_size >> (8 * i));
        // A block checksum covers the header too, whose fields Matroska does not keep: it is computed again
        // over the rebuilt header. Sub-blocks: id, size in 16-bit words (one byte, three with id bit 0x80).
        size_t pos = 32;
        while (pos + 2 <= b.size()) {
            const uint8_t id = b[pos];
            const size_t header = (id & 0x80) ? 4 : 2;
            if (pos + header > b.size()) break;
            size_t words = b[pos + 1];
            if (id & 0x80) words |= size_t(b[pos + 2]) << 8 | size_t(b[pos + 3]) << 16;
            const size_t data_size = words * 2 - ((id & 0x40) ? 1 : 0);
            if ((id & 0x3F) == 0x2F && (data_size == 2 || data_size == 4) && pos + header + data_size <= b.size()) {
                uint32_t sum = 0xFFFFFFFF;
                for (size_t i = 0; i + 1 < pos; i += 2) sum = sum * 3 + b[i] + (uint32_t(b[i + 1]) << 8);
                if (data_size == 2) sum = (sum ^ (sum >> 16)) & 0xFFFF;
                for (size_t i = 0; i < data_size; ++i) b[pos + header + i] = static_cast<uint8_t>(sum >> (8 * i));
            }
            pos += header + words * 2;
        }
        m_block.position = 0;
    }

    void open_context() {
        char error[128] = {};
        m_context = WavpackOpenFileInputEx64(&g_memory_reader, &m_block, nullptr, error, OPEN_NORMALIZE | OPEN_STREAMING, 0);
        if (!m_context) throw ketrel_io::exception_io_data();
        if (!m_have_mode) {
            m_mode = static_cast<uint32_t>(WavpackGetMode(m_context));
            m_have_mode = true;
        }
    }

    void close() {
        if (m_context) WavpackCloseFile(m_context);
        m_context = nullptr;
    }

    uint16_t m_version;
    WavpackContext* m_context = nullptr;
    uint32_t m_mode = 0;
    bool m_have_mode = false, m_reset = false;
    memory_block m_block;
    std::vector<int32_t> m_samples;
};

class wavpack_packet_decoder_service final : public service_static<codec_packet_decoder_service> {
public:
    bool accepts_setup(const kpl::guid& owner, uint32_t, const void* record, size_t size) override {
        uint16_t version;
        return accepted(owner, record, size, version);
    }
    void create(service_ptr<codec_packet_decoder>& out, bool, const kpl::guid& owner, uint32_t, const void* record,
                size_t size, const abort_signal&) override {
        uint16_t version;
        if (!accepted(owner, record, size, version)) throw ketrel_io::exception_io_data();
        service_ref holder;
        holder.attach(static_cast<codec_packet_decoder*>(new wavpack_packet_decoder(version)));
        out.attach_ref(std::move(holder));
    }
};

service_factory_single<wavpack_packet_decoder_service, codec_packet_decoder_service> g_wavpack_packet_decoder;

}  // namespace

bool wavpack_matroska_version(const void* codec_private, size_t size, uint16_t& version) {
    if (size != 2 || !codec_private) return false;
    const uint8_t* p = static_cast<const uint8_t*>(codec_private);
    if (p[1] != 4) return false;
    version = static_cast<uint16_t>(p[1] << 8 | p[0]);
    return true;
}
