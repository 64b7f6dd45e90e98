#pragma once
// Channel order of Vorbis and of Opus mapping family 1, and the masks of the reordered audio.
//
// Both codecs deliver channels in their own order (5.1 is L C R RL RR LFE); audio blocks hold them in
// WAVE order (L R C LFE RL RR). Output channel i takes source channel xiph_channel_order[n - 1][i]; the
// mask says which speakers the reordered channels are:
//
//     n  order             speakers after reordering          mask
//     1  0                 C                                  0x4
//     2  0 1               L R                                0x3
//     3  0 2 1             L R C                              0x7
//     4  0 1 2 3           L R RL RR                          0x33
//     5  0 2 1 3 4         L R C RL RR                        0x37
//     6  0 2 1 5 3 4       L R C LFE RL RR                    0x3F
//     7  0 2 1 6 5 3 4     L R C LFE RC SL SR                 0x70F
//     8  0 2 1 7 5 6 3 4   L R C LFE RL RR SL SR              0x63F
//
// The masks follow the delivered order, so a centre channel is never labelled as LFE (0xB) and the side
// pair of 7.1 is not labelled as the front pair beside the centre (0xFF).

#include <cstdint>

constexpr uint8_t xiph_channel_order[8][8] = {
    {0},
    {0, 1},
    {0, 2, 1},
    {0, 1, 2, 3},
    {0, 2, 1, 3, 4},
    {0, 2, 1, 5, 3, 4},
    {0, 2, 1, 6, 5, 3, 4},
    {0, 2, 1, 7, 5, 6, 3, 4},
};

constexpr uint32_t xiph_channel_mask[8] = {0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x70F, 0x63F};
