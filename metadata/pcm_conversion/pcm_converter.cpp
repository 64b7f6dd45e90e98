#include "metadata/pcm_conversion/pcm_converter.h"

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "metadata/audio_block.h"
#include "metadata/pcm_conversion/fpu_mode.h"
#include "metadata/pcm_conversion/pcm_pack.h"

namespace {

class pcm_converter_impl final : public service_counted<pcm_converter> {
public:
    void convert(const audio_block& block, kpl::byte_array& out, uint32_t valid_bits, uint32_t container_bits,
                 uint32_t /*flag*/, float scale) override {
        if (container_bits != 8 && container_bits != 16 && container_bits != 24 && container_bits != 32)
            throw ketrel_io::exception_io_data();
        if (valid_bits < 2 || valid_bits > container_bits) throw ketrel_io::exception_io_data();
        const uint32_t channels = block.get_channels();
        if (channels == 0) throw ketrel_io::exception_io_data();
        // A block that holds fewer values than it claims would be read past its end.
        const uint64_t len = uint64_t(block.get_sample_count()) * channels;
        if (len > block.get_data_size()) throw ketrel_io::exception_io_data();

        fpu_mode_scope mode;
        const uint32_t count = static_cast<uint32_t>(len);
        out.resize_exact(kpl::checked_multiply(count, container_bits / 8));
        pcm_pack(out.data(), block.get_data(), count, valid_bits, container_bits, scale);
    }
};

service_factory_per_request<pcm_converter_impl, pcm_converter> g_pcm_converter;

}  // namespace
