#pragma once
// The errors of atomkit. Every one is an atomkit::exception, which derives from std::exception directly, so a
// caller that wraps atomkit catches the whole family with one handler:
//
//     try { atomkit::read_u32(stream); }
//     catch (const atomkit::exception& e) { ... }   // e.what() == "invalid or incomplete data" on short data
//
// exception_truncation      "invalid or incomplete data"   fewer bytes left than a read or skip needs
// exception_out_of_range    "array access out of range"    an index past the end of an atomkit table
// exception_invalid_timescale "invalid time scale value"   a time scale of zero

#include <exception>
#include <string>

namespace atomkit {

class exception : public std::exception {
public:
    explicit exception(std::string text) : m_text(std::move(text)) {}
    const char* what() const noexcept override { return m_text.c_str(); }

private:
    std::string m_text;
};

class exception_truncation : public exception {
public:
    exception_truncation() : exception("invalid or incomplete data") {}
};

class exception_out_of_range : public exception {
public:
    exception_out_of_range() : exception("array access out of range") {}
};

class exception_invalid_timescale : public exception {
public:
    exception_invalid_timescale() : exception("invalid time scale value") {}
};

}  // namespace atomkit
