#pragma once
// The interfaces through which a running title script reaches the outside world: field providers answer
// "%name%" references and calls of functions the script language does not know, output sinks carry
// their text to the output through a text filter, and text kinds tag that text for the filter.
//
// A provider answers a field by writing its value through the sink and setting the truth:
//
//     class tag_provider final : public title_field_provider {
//         bool get_field(title_output_sink& sink, const char* name, uint32_t length, bool& truth) override {
//             if (!title_name_equals(name, length, "artist")) return false;    // unknown: the runtime
//             sink.write(text_kind_meta, "Nina Simone");                      // prints "?"
//             truth = true;
//             return true;
//         }
//         bool call_function(title_output_sink&, const char*, uint32_t, const title_evaluated_args&,
//                            bool&) override { return false; }          // "[UNKNOWN FUNCTION]"
//     };
//
// A filter sees only what providers write through the sink; literal text, function output and the "?"
// of an unknown field go to the output directly. title_default_filter() appends and ignores the kind.
//
//     title_filter_no_control_chars hides control characters:  "a\tb" -> "a_b"

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"

// Text kinds of field text on its way to the filter. The runtime passes them on and never reads them.
// {CD839C8E-5C66-4AE1-8DAD-711F86000AE3}: tag values and texts derived from them.
extern const kpl::guid text_kind_meta;
// {673AA1CD-A7A8-40C8-BF9B-34379929163B}: texts computed from the location, the length, play state.
extern const kpl::guid text_kind_computed;

class title_text_filter {
public:
    // Appends `text` (up to `length` bytes, kpl::utf8_string::npos = up to its terminating zero) to
    // `output`, changed as the filter likes.
    virtual void write(const kpl::guid& kind, kpl::utf8_string& output, const char* text, uint32_t length) = 0;

protected:
    ~title_text_filter() = default;
};

// The filter of a run that names none: appends the text unchanged.
title_text_filter& title_default_filter();

// Appends the text with every byte 0x01-0x1F replaced by "_" (stopping at a zero byte or the length).
// The library view and the now-playing line format through it.
class title_filter_no_control_chars final : public title_text_filter {
public:
    void write(const kpl::guid& kind, kpl::utf8_string& output, const char* text, uint32_t length) override;
};

// What a provider writes through: the output of the run and its filter, valid during one provider call.
class title_output_sink {
public:
    static constexpr uint32_t npos = kpl::utf8_string::npos;

    title_output_sink(kpl::utf8_string& output, title_text_filter& filter) : m_output(output), m_filter(filter) {}
    title_output_sink(const title_output_sink&) = delete;
    title_output_sink& operator=(const title_output_sink&) = delete;

    // filter.write(kind, output, text, length).
    void write(const kpl::guid& kind, const char* text, uint32_t length = npos) {
        m_filter.write(kind, m_output, text, length);
    }

private:
    kpl::utf8_string& m_output;
    title_text_filter& m_filter;
};

// The arguments of a call handed to a provider, each already evaluated into its own text (in order, with
// the same run); their truth values are not passed.
class title_evaluated_args {
public:
    virtual uint32_t count() const = 0;
    // Argument `index` (below count()): its text and byte length.
    virtual void get(uint32_t index, const char*& text, uint32_t& length) const = 0;

protected:
    ~title_evaluated_args() = default;
};

// Answers the fields of one run and the calls the function table does not know. Both operations find
// the truth preset to false; they return true ("known") after writing the value through the sink and
// setting the truth, or false to let the runtime print "?" or "[UNKNOWN FUNCTION]". Names are not zero
// terminated: exactly `name_length` bytes, blanks included.
class title_field_provider {
public:
    virtual bool get_field(title_output_sink& sink, const char* name, uint32_t name_length, bool& truth) = 0;
    virtual bool call_function(title_output_sink& sink, const char* name, uint32_t name_length,
                               const title_evaluated_args& args, bool& truth) = 0;

protected:
    ~title_field_provider() = default;
};

// Two providers asked in turn: the first that answers wins. The truth is reset to false before each
// attempt, so a provider that declines cannot leave its truth behind.
//
//     title_provider_chain chain(playback_fields, track_fields);   // playback fields first
class title_provider_chain final : public title_field_provider {
public:
    title_provider_chain(title_field_provider& first, title_field_provider& second) : m_first(first), m_second(second) {}

    bool get_field(title_output_sink& sink, const char* name, uint32_t name_length, bool& truth) override;
    bool call_function(title_output_sink& sink, const char* name, uint32_t name_length,
                       const title_evaluated_args& args, bool& truth) override;

private:
    title_field_provider& m_first;
    title_field_provider& m_second;
};

// A provider that knows nothing: every field prints "?" and every unknown call "[UNKNOWN FUNCTION]".
title_field_provider& title_empty_provider();

// Whether `name` (exactly `length` bytes) equals the zero-terminated `expected`, ignoring the case of
// A-Z. The matching rule of field and function names offered by providers.
bool title_name_equals(const char* name, uint32_t length, const char* expected);

// Writes the decimal text of `value` ("-" first when negative) through the sink as computed text.
//     store_uint64_with_key(sink, 42)  writes "42"
void store_uint64_with_key(title_output_sink& sink, int64_t value);
