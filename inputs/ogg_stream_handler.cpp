#include "inputs/ogg_stream_handler.h"

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "metadata/tag_space.h"
#include "metadata/vorbis_comment_block.h"

void ogg_stream_handler_find(service_ptr<ogg_header_rewriter>& out, const uint8_t* first_packet, size_t size) {
    service_iterator it(ogg_stream_handler_service::class_guid);
    service_ref each;
    while (it.next(each)) {
        auto* handler = each.as<ogg_stream_handler_service>();
        if (handler->accepts_first_packet(first_packet, size)) {
            handler->create(out);
            return;
        }
    }
    throw ketrel_io::exception_io_data();
}

uint32_t ogg_default_rewrite_header_packet(ogg_stream_handler& handler, const track_info& info,
                                           int64_t packet_number, int64_t granule, kpl::byte_array& packet) {
    uint32_t role = handler.packet_role(packet_number, granule, packet.data(), packet.count());
    if (role & ogg_rewrite_comment) {
        ogg_comment_magic magic = handler.comment_magic();
        kpl::byte_array rebuilt;
        vorbis_comment_rewrite(packet.data(), packet.count(), magic.bytes, magic.length, magic.framing, info,
                               rebuilt);
        byte_buffer_pad_tag_space(packet.count(), rebuilt);
        packet = std::move(rebuilt);
    }
    return role & (ogg_rewrite_last | ogg_rewrite_flush_page);
}
