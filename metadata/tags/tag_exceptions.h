#pragma once
// exception_tag_not_found: a file has no tag of the kind asked for. A kind of
// ketrel_io::exception_io_data, with that class's text, so code that treats malformed data as "no tag"
// catches both.
//
//     try { trailing_tags_read(file, info, abort); } catch (const ketrel_io::exception_io_data&) { ... }

#include <string>

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

// A field whose name a tag format cannot hold (or would read back as another field): the write is refused
// before anything is written, so that no field vanishes silently.
//     "Field name \"bad=name\" cannot be written to a Vorbis comment"
class exception_tag_field_name : public ketrel_io::exception_io_data {
public:
    exception_tag_field_name(const char* name, const char* format) noexcept
        : ketrel_io::exception_io_data(text(name, format).c_str()) {}

private:
    static std::string text(const char* name, const char* format) noexcept {
        try {
            return std::string("Field name \"") + name + "\" cannot be written to " + format;
        } catch (...) {
            return std::string();
        }
    }
};
