#pragma once
// Sorting browse texts the way the views list them: by list_text_compare_logical (StrCmpLogicalW, ties by
// code units, so distinct texts never tie and the order is fully defined).
//
//     std::vector<list_text> names = {list_text(L"Track 10"), list_text(L"track 9"), list_text(L"Track 9")};
//     sort_logical(names);    // "Track 9", "track 9", "Track 10"
//
// The logical comparison is the whole cost of sorting a large level (about a microsecond a call), so a
// long list is cut into parts that worker threads sort side by side and that are then merged. Because the
// order is total, the result is the same for any number of parts; when no worker can be started the list
// is sorted on the calling thread alone.

#include <cstddef>
#include <vector>

#include "library/list_text.h"

void sort_logical(std::vector<list_text>& texts);

// The same with at most `parts` parts (1 sorts on the calling thread), for tests that compare the splits.
void sort_logical(std::vector<list_text>& texts, unsigned parts);
