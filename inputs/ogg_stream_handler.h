#pragma once
// Ogg stream handlers: what the Ogg retagger needs to know about a codec's header packets.
//
// When tags are written, the Ogg input finds the handler of each stream by its first packet and passes it
// the stream's packets in order, starting with the first, until an answer holds ogg_rewrite_last:
//
//     service_ptr<ogg_header_rewriter> handler;
//     ogg_stream_handler_find(handler, first.packet, first.bytes);
//     kpl::byte_array bytes;  byte_buffer_set(bytes, p.packet, p.bytes);
//     uint32_t answer = handler->rewrite_header_packet(new_info, p.packetno, p.granulepos, bytes);
//     // bytes now holds the packet to write; answer & ogg_rewrite_flush_page ends the page after it
//
// Every handler answers ogg_header_rewriter. Codecs whose tags are a comment packet (Vorbis, Opus) also
// answer ogg_stream_handler, which tells which packet is the comment packet and how it starts; the album
// picture writer needs that.

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/array.h"
#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class track_info;

// Answer bits of rewrite_header_packet and packet_role.
enum : uint32_t {
    ogg_rewrite_last = 0x1,        // the last header packet to rewrite; later packets are copied unchanged
    ogg_rewrite_flush_page = 0x2,  // end the Ogg page after this packet
    ogg_rewrite_comment = 0x4,     // (packet_role only) this is the comment packet: rebuild it
};

class ogg_header_rewriter : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x97372813, 0x7E1C, 0x4DB0, {0x82, 0xE8, 0x44, 0xD7, 0xF8, 0xDD, 0xF3, 0x51}};

    // `packet` holds the packet's bytes and may be replaced by the new bytes. Answers ogg_rewrite_* bits.
    virtual uint32_t rewrite_header_packet(const track_info& info, int64_t packet_number, int64_t granule,
                                           kpl::byte_array& packet) = 0;
};

// The bytes that begin a codec's comment packet, and whether a framing byte (1) ends it.
struct ogg_comment_magic {
    const uint8_t* bytes;
    size_t length;
    bool framing;
};

class ogg_stream_handler : public ogg_header_rewriter {
public:
    static constexpr kpl::guid class_guid = {0x2E8BF6E5, 0x8ADB, 0x4432, {0x96, 0xD0, 0x9F, 0x17, 0x47, 0x6F, 0x3B, 0xB2}};
    using parent_interface = ogg_header_rewriter;

    // ogg_rewrite_* bits for the packet (Vorbis and Opus: comment | last for packet 1, else 0).
    virtual uint32_t packet_role(int64_t packet_number, int64_t granule, const uint8_t* data, size_t size) = 0;
    virtual ogg_comment_magic comment_magic() = 0;
};

// The codec's handler factory, registered as a static service; stateless.
class ogg_stream_handler_service : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x6D3A5003, 0x7BC3, 0x48A6, {0x93, 0xBC, 0x49, 0x63, 0x2D, 0x25, 0x76, 0x62}};

    virtual bool accepts_first_packet(const uint8_t* data, size_t size) = 0;
    virtual void create(service_ptr<ogg_header_rewriter>& out) = 0;
};

// The first registered handler whose accepts_first_packet is true; none: ketrel_io::exception_io_data.
void ogg_stream_handler_find(service_ptr<ogg_header_rewriter>& out, const uint8_t* first_packet, size_t size);

// The default rewrite of comment-based codecs: when packet_role has ogg_rewrite_comment, the packet is
// rebuilt by vorbis_comment_rewrite from the old packet, the comment magic and the info (vendor and
// picture entries carried over), then padded against the old size by byte_buffer_pad_tag_space (grew:
// +2048 zero bytes; shrank by up to 16384: back to the old size). Answers the role without
// ogg_rewrite_comment.
//
//     old comment packet 120 bytes, new one 130  -> 130 + 2048 bytes, answer ogg_rewrite_last
uint32_t ogg_default_rewrite_header_packet(ogg_stream_handler& handler, const track_info& info,
                                           int64_t packet_number, int64_t granule, kpl::byte_array& packet);

// Base of a comment-based handler whose rewrite is the default one.
class ogg_comment_stream_handler : public ogg_stream_handler {
public:
    uint32_t rewrite_header_packet(const track_info& info, int64_t packet_number, int64_t granule,
                                   kpl::byte_array& packet) override {
        return ogg_default_rewrite_header_packet(*this, info, packet_number, granule, packet);
    }
};
