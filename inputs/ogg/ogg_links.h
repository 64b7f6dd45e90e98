#pragma once
// Links: the chained logical streams of an Ogg file, one subsong each.
//
// ogg_find_links bisects the file by serial numbers: the first page's serial starts link 0, and wherever
// the serial of the data changes between two pages a new link starts. For three chained files:
//
//     [A A A A][B B B][C C C C C]    -> links {0, a}, {a, b}, {a + b, rest}
//
// The file must tell its size (ketrel_io::exception_io_no_length); a file without a first page, or whose
// first page runs past its end, is ketrel_io::exception_io_data. Streams multiplexed side by side are not
// told apart here (their second beginning-of-stream packet fails when the link is opened).

#include <cstdint>

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/array.h"
#include "foundation/tasks/abort_signal.h"

struct ogg_link {
    uint64_t start = 0;
    uint64_t length = ~uint64_t(0);  // all ones: up to the end of the file
    uint64_t end() const { return length == ~uint64_t(0) ? ~uint64_t(0) : start + length; }
};

void ogg_find_links(file_stream_ref file, kpl::array<ogg_link>& out, const abort_signal& abort);
