#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "inputs/wavpack/wavpack_stream.h"

TEST_CASE("WavPack correction files: folders of the setting, in order") {
    struct search_case {
        const char* path;
        const char* setting;
        std::vector<std::string> expected;
    };
    const search_case cases[] = {
        {"file://C:\\m\\a.wv", "", {}},
        {"file://C:\\m\\a.wv", "D:\\x;E:\\y\\", {"D:\\x\\a.wvc", "E:\\y\\a.wvc"}},
        {"file://C:\\m\\a.wv", ";;D:\\x;;", {"D:\\x\\a.wvc"}},
        {"file://C:\\m\\a.wv", " D:\\x", {" D:\\x\\a.wvc"}},   // no trimming
        {"C:\\m\\Song.WV", "E:\\c", {"E:\\c\\Song.WVc"}},
    };
    for (const search_case& c : cases) {
        CAPTURE(std::string(c.setting));
        CHECK(wavpack_correction_candidates(c.path, c.setting) == c.expected);
    }
}
