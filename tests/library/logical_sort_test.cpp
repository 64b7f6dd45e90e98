// Sorting browse texts: the order of the logical comparison whether the list is sorted in one part or
// cut into parts sorted side by side and merged.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "library/logical_sort.h"

namespace {

std::vector<std::wstring> texts_of(const std::vector<list_text>& list) {
    std::vector<std::wstring> out;
    for (const list_text& t : list) out.push_back(t.text());
    return out;
}

// Album lines of the kinds a library holds: numbers of different widths, letter case, accents, empty and
// repeated texts, in a scrambled order.
std::vector<list_text> scrambled_lines(size_t count) {
    static const wchar_t* const stems[] = {L"Album ", L"album ", L"Ålbum ", L"", L"Best of ", L"10 Years - ", L"Zebra "};
    std::vector<list_text> out;
    uint32_t state = 2024;  // the same scrambled order every run
    for (size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        std::wstring text = stems[(state >> 8) % 7];
        text += std::to_wstring((state >> 12) % 300);
        if ((state >> 20) % 3 == 0) text += L" [" + std::to_wstring(1960 + (state >> 24) % 60) + L"]";
        out.push_back(list_text(text));
    }
    return out;
}

}  // namespace

TEST_CASE("sort_logical: numbers by value, letter case ties by code units") {
    std::vector<list_text> names = {list_text(L"Track 10"), list_text(L"track 9"), list_text(L"Track 9"),
                                    list_text(L"Track 1"), list_text(L"Track 01")};
    sort_logical(names);
    CHECK(texts_of(names) == std::vector<std::wstring>{L"Track 01", L"Track 1", L"Track 9", L"track 9", L"Track 10"});
}

TEST_CASE("sort_logical: any number of parts gives the one order") {
    // Long enough that up to four parts are used; each split must merge to exactly the one-part order.
    const std::vector<list_text> lines = scrambled_lines(20000);
    std::vector<list_text> whole = lines;
    sort_logical(whole, 1);
    for (size_t i = 1; i < whole.size(); ++i) REQUIRE(list_text_compare_logical(whole[i - 1], whole[i]) <= 0);
    for (unsigned parts : {2u, 3u, 4u, 9u}) {
        CAPTURE(parts);
        std::vector<list_text> split = lines;
        sort_logical(split, parts);
        CHECK(texts_of(split) == texts_of(whole));
    }
    std::vector<list_text> chosen = lines;
    sort_logical(chosen);
    CHECK(texts_of(chosen) == texts_of(whole));
}

TEST_CASE("sort_logical: short and empty lists") {
    for (size_t n : {size_t(0), size_t(1), size_t(2), size_t(4095), size_t(4097)}) {
        CAPTURE(n);
        std::vector<list_text> lines = scrambled_lines(n), expected = lines;
        std::sort(expected.begin(), expected.end(),
                  [](const list_text& a, const list_text& b) { return list_text_compare_logical(a, b) < 0; });
        sort_logical(lines, 4);
        CHECK(texts_of(lines) == texts_of(expected));
    }
}
