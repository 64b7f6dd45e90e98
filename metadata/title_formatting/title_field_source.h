#pragma once
// title_field_source: the fields of one track for title scripts, answered from its location, its length
// and the eight browse texts its handle caches (metadata/browse_fields.h).
//
// Built-in fields, searched first (names in any A-Z letter case):
//
//     field            text for "file://C:\Music\Rock\a.b.flac", subsong 3, 59.5 s      no value ("?")
//     filename         a.b
//     filename_ext     a.b.flac
//     filename_sort    a.b|0000000003
//     path             C:\Music\Rock\a.b.flac            ("n/a" for an empty path)
//     path_sort        C:\Music\Rock\a.b.flac|0000000003
//     directory        Rock                              ("" for a file in a drive root)      a bare name
//     subsong          3
//     length           1:00                               (1:00:00 from an hour on)           length <= 0
//     length_ex        0:59.500                                                                length <= 0
//     length_seconds   60                                                                      length <= 0
//     title            the browse title, else "a.b", else the path
//     tracknumber      the browse track number, "5" written "05"                              empty
//
// The browse fields "artist", "album artist", "genre", "album", "discnumber" and "date" write their text
// with ", " between values ("A; B" is written "A, B"); "artist" falls back to the album artist and "album
// artist" to the artist; "track artist" is the artist when both are set and differ. A browse field without
// a value is unknown (the runtime prints "?"). Paths are shown as the file system owning them presents
// them (metadata/track_location.h).
//
//     handle_field_provider fields(record, location);
//     script->run(&fields, line, nullptr);

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "metadata/browse_fields.h"
#include "metadata/title_formatting/title_provider.h"
#include "metadata/track_location.h"

class title_field_source : public service_object {
public:
    // {432FE059-F087-4785-A518-CBC18B849AC1}
    static const kpl::guid class_guid;

    // Writes the field's text through the sink and sets the truth; false for a name it does not know
    // (and for a browse field without a value). A built-in field without a value writes "?", is false and
    // is known.
    virtual bool get_field(const browse_fields& record, const track_location& location, title_output_sink& sink,
                           const char* name, uint32_t name_length, bool& truth) = 0;
    // Offers no functions: always false.
    virtual bool call_function(const browse_fields& record, const track_location& location,
                               title_output_sink& sink, const char* name, uint32_t name_length,
                               const title_evaluated_args& args, bool& truth) = 0;
    // The browse index answering a field name, after the artist / album artist fallbacks and "track
    // artist"; false when none has a value.
    virtual bool resolve_field(const browse_fields& record, uint32_t& index, const char* name,
                               uint32_t name_length) = 0;

    // The program's field source (a static object).
    static title_field_source& get();

protected:
    title_field_source() = default;
    ~title_field_source() = default;
};

// The fields of one track: its browse record and location through title_field_source. Valid while both
// are.
class handle_field_provider final : public title_field_provider {
public:
    handle_field_provider(const browse_fields& record, const track_location& location)
        : m_record(record), m_location(location) {}

    bool get_field(title_output_sink& sink, const char* name, uint32_t name_length, bool& truth) override;
    bool call_function(title_output_sink& sink, const char* name, uint32_t name_length,
                       const title_evaluated_args& args, bool& truth) override;

private:
    const browse_fields& m_record;
    const track_location& m_location;
};
