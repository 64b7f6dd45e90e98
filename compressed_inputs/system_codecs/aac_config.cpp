#include "compressed_inputs/system_codecs/aac_config.h"

#include <cstring>

#include "foundation/kpl/io_exceptions.h"

uint32_t aac_sampling_index(uint32_t rate) {
    static const uint32_t bounds[] = {92017, 75132, 55426, 46009, 37566, 27713, 23004, 18783, 13856, 11502, 9391};
    for (uint32_t i = 0; i < sizeof bounds / sizeof bounds[0]; ++i) {
        if (rate >= bounds[i]) return i;
    }
    return 11;
}

void aac_config_from_codec_id(const char* codec_id, uint32_t rate, uint32_t output_rate, uint32_t channels,
                              std::vector<uint8_t>& out) {
    static const char prefix[] = "A_AAC/";
    if (std::strncmp(codec_id, prefix, sizeof prefix - 1) != 0) throw ketrel_io::exception_io_data();
    const char* rest = codec_id + sizeof prefix - 1;
    struct profile {
        const char* text;
        uint32_t object_type;
        bool sbr;
    };
    static const profile profiles[] = {{"/MAIN", 1, false}, {"/SBR", 2, true}, {"/LC", 2, false},
                                       {"/SSR", 3, false},  {"/LTP", 4, false}};
    const profile* found = nullptr;
    for (const profile& p : profiles) {
        if (std::strstr(rest, p.text)) {
            found = &p;
            break;
        }
    }
    if (!found) throw ketrel_io::exception_io_data();
    const uint32_t index = aac_sampling_index(rate);
    out.clear();
    out.push_back(static_cast<uint8_t>(found->object_type << 3 | index >> 1));
    out.push_back(static_cast<uint8_t>((index & 1) << 7 | (channels & 0x0F) << 3));
    if (found->sbr) {
        out.push_back(0x56);
        out.push_back(0xE5);
        out.push_back(static_cast<uint8_t>(0x80 | aac_sampling_index(output_rate) << 3));
    }
}

void aac_user_data(const uint8_t* config, size_t size, std::vector<uint8_t>& out) {
    static const uint8_t head[12] = {0x00, 0x00, 0x2A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    out.assign(head, head + sizeof head);
    if (size) out.insert(out.end(), config, config + size);
}
