#pragma once
// exception_io_data_atomkit: what the MP4 input throws in place of any atomkit::exception that reaches open,
// initialise, decode or seek. A kind of ketrel_io::exception_io_data with that class's text from the language
// table ("Unsupported format or corrupted file" in English), so callers treat it as any malformed file:
//
//     try { ...atomkit parsing... }
//     catch (const atomkit::exception&) { throw exception_io_data_atomkit(); }

#include "foundation/kpl/io_exceptions.h"

class exception_io_data_atomkit : public ketrel_io::exception_io_data {
public:
    exception_io_data_atomkit() noexcept : ketrel_io::exception_io_data() {}
};
