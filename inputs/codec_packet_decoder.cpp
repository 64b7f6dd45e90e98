#include "inputs/codec_packet_decoder.h"

#include <ogg/ogg.h>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"

static_assert(sizeof(void*) != 4 || sizeof(ogg_packet) == 32, "the Ogg setup record is libogg's 32-byte packet");

void codec_packet_decoder_open(service_ptr<codec_packet_decoder>& out, bool decoding, const kpl::guid& owner,
                               uint32_t parameter, const void* record, size_t size, const abort_signal& abort) {
    service_iterator it(codec_packet_decoder_service::class_guid);
    service_ref each;
    while (it.next(each)) {
        auto* codec = each.as<codec_packet_decoder_service>();
        if (codec->accepts_setup(owner, parameter, record, size)) {
            codec->create(out, decoding, owner, parameter, record, size, abort);
            return;
        }
    }
    throw ketrel_io::exception_io_data();
}
