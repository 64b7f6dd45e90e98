#pragma once
// Test helper: small Opus files built in memory with libogg.
//
//     std::string file = ogg_test::make_opus(50, "Title");            // 50 packets of 20 ms silence
//     std::string chain = make_opus(10, "A", 1) + make_opus(10, "B", 2);   // two links
//
// Each file: "OpusHead" (stereo, pre-skip 312) and "OpusTags" with a TITLE on pages of their own, then the
// packets, ten to a page, with granule positions 960 x packets so far (the pre-skip counted in).
// `granule_of` may change the granule position given to a packet (a page takes that of its last packet).

#include <ogg/ogg.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ogg_test {

inline void put_u32(std::vector<uint8_t>& b, uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

inline std::string make_opus(int frames, const std::string& title, int serial = 1234,
                             std::function<int64_t(int, int64_t)> granule_of = nullptr) {
    std::vector<uint8_t> head = {'O', 'p', 'u', 's', 'H', 'e', 'a', 'd', 1, 2, 0x38, 0x01};
    put_u32(head, 48000);
    head.insert(head.end(), {0, 0, 0});
    std::vector<uint8_t> tags = {'O', 'p', 'u', 's', 'T', 'a', 'g', 's'};
    put_u32(tags, 4);
    tags.insert(tags.end(), {'t', 'e', 's', 't'});
    put_u32(tags, 1);
    std::string comment = "TITLE=" + title;
    put_u32(tags, static_cast<uint32_t>(comment.size()));
    tags.insert(tags.end(), comment.begin(), comment.end());

    std::string out;
    ogg_stream_state os;
    ogg_stream_init(&os, serial);
    auto drain = [&](bool flush) {
        ogg_page page;
        while (flush ? ogg_stream_flush(&os, &page) : ogg_stream_pageout(&os, &page)) {
            out.append(reinterpret_cast<const char*>(page.header), size_t(page.header_len));
            out.append(reinterpret_cast<const char*>(page.body), size_t(page.body_len));
        }
    };
    ogg_packet p = {};
    p.packet = head.data();
    p.bytes = long(head.size());
    p.b_o_s = 1;
    ogg_stream_packetin(&os, &p);
    drain(true);
    p = {};
    p.packet = tags.data();
    p.bytes = long(tags.size());
    p.packetno = 1;
    ogg_stream_packetin(&os, &p);
    drain(true);
    unsigned char silence[1] = {0xFC};
    for (int i = 0; i < frames; ++i) {
        p = {};
        p.packet = silence;
        p.bytes = 1;
        p.packetno = 2 + i;
        p.granulepos = int64_t(i + 1) * 960;
        if (granule_of) p.granulepos = granule_of(i, p.granulepos);
        p.e_o_s = i + 1 == frames;
        ogg_stream_packetin(&os, &p);
        if ((i + 1) % 10 == 0) drain(true);
    }
    drain(true);
    ogg_stream_clear(&os);
    return out;
}

}  // namespace ogg_test
