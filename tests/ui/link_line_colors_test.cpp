// A SysLink line drawn over white becomes the scheme's colours pixel by pixel.
#include <doctest/doctest.h>

#include "ui/link_line_colors.h"

TEST_CASE("link line colours: paper, text ink, link ink and their blends") {
    // Dark grey paper, light grey text, orange links.
    const link_line_colors::colors scheme = {true, RGB(0x10, 0x10, 0x10), RGB(0xE0, 0xE0, 0xE0), RGB(0xFF, 0x80, 0x00)};
    struct row {
        const char* what;
        uint32_t pixel, expected;  // 0x00RRGGBB
    };
    const row rows[] = {
        {"white paper", 0xFFFFFF, 0x101010},
        {"black text", 0x000000, 0xE0E0E0},
        {"half-covered text edge", 0x808080, 0x787878},
        {"link blue", 0x0066CC, 0xFF8000},
        {"faint link edge", 0xBFD9F2, 0x4C2C0C},  // a quarter of the link ink
        {"faint grey stays text", 0xF0F0F0, 0x1C1C1C},
    };
    for (const row& r : rows) {
        INFO(r.what);
        CHECK(link_line_colors::recolor(r.pixel, scheme) == r.expected);
    }
}
