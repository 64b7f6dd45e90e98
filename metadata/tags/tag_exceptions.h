#pragma once
// exception_tag_not_found: a file has no tag of the kind asked for. A kind of
// ketrel_io::exception_io_data, with that class's text, so code that treats malformed data as "no tag"
// catches both.
//
//     try { trailing_tags_read(file, info, abort); } catch (const ketrel_io::exception_io_data&) { ... }

#include "foundation/kpl/io_exceptions.h"

class exception_tag_not_found : public ketrel_io::exception_io_data {
public:
    exception_tag_not_found() noexcept : ketrel_io::exception_io_data() {}
};

// A file format whose tags this program cannot write: "Tagging of this file format is not supported".
class exception_tagging_unsupported : public ketrel_io::exception_io_data {
public:
    exception_tagging_unsupported() noexcept
        : ketrel_io::exception_io_data("Tagging of this file format is not supported") {}
};
