#pragma once
// wma_fields: how Windows Media attributes become track fields and back, the codec table and the seek
// arithmetic. No COM here: attributes arrive as (name, type, bytes) tuples, from the runtime's header
// info or from the program's own ASF header reader (asf_header.h).
//
//     std::vector<wma_attribute> attrs = ...;      // "Author" "A", DWORD "WM/Track" 4, QWORD "Duration"
//     track_info_store info;
//     wma_info_from_attributes(attrs, info);       // artist=A, tracknumber=5
//     wma_keep_first_numbers(info);
//
//     std::vector<wma_string_attribute> out;
//     wma_attributes_from_info(info, out);         // ("Author","A"), ("WM/TrackNumber","5")
//
// Fields map to attributes through a fixed table of 32 pairs ("artist" <-> "Author", "date" <-> "WM/Year",
// ...), matched without regard to ASCII case; other fields are stored as "ketrel/" + the field name. The
// names of the multi-value set get one attribute per value, other names one attribute with the values
// joined by "; ". Only the DWORD forms of "WM/TrackNumber" (value) and "WM/Track" (value + 1) are read.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/kpl/guid.h"

class track_info;

// The runtime's attribute types (WMT_ATTR_DATATYPE).
enum wma_attribute_type : uint16_t {
    wma_type_dword = 0,
    wma_type_string = 1,
    wma_type_binary = 2,
    wma_type_bool = 3,
    wma_type_qword = 4,
    wma_type_word = 5,
    wma_type_guid = 6,
};

// One attribute as the runtime hands it out: numbers little-endian, text as UTF-16LE with its zero.
struct wma_attribute {
    std::string name;   // UTF-8
    uint16_t type = wma_type_string;
    uint16_t stream = 0;
    std::vector<uint8_t> value;
};

// A text attribute to add to stream 0.
struct wma_string_attribute {
    std::string name;
    std::string value;   // UTF-8
};

extern const char* const wma_field_prefix;   // "ketrel/"

// The attribute name that stores a field: the table's, else "ketrel/" + field.
std::string wma_attribute_for_field(const char* field);
// The field an attribute name is read into (table or prefix); "" when it is none of ours.
std::string wma_field_for_attribute(const char* attribute);
// Whether a rewrite deletes the attribute first: a table name (either table), a ReplayGain name or a
// "ketrel/" name.
bool wma_attribute_is_managed(const char* attribute);
// Whether the name is written as one attribute per value.
bool wma_attribute_is_multi_value(const char* attribute);

// UTF-16LE bytes (up to the first zero unit) as UTF-8, and back with the terminating zero.
std::string wma_text_from_utf16(const uint8_t* data, size_t size);
std::vector<uint8_t> wma_utf16_from_text(const std::string& text);

// Adds what the attributes say to the info: DWORD "Bitrate" as "bitrate", the track numbers, the text
// attributes of the table, the ReplayGain names and the "ketrel/" names. Others are ignored; a DWORD or
// QWORD of the wrong size is ketrel_io::exception_io_data.
void wma_info_from_attributes(const std::vector<wma_attribute>& attributes, track_info& info);
// "tracknumber", "totaltracks", "discnumber" and "totaldiscs" keep their first value only.
void wma_keep_first_numbers(track_info& info);
// The attributes that store the info's fields and ReplayGain, in field order.
void wma_attributes_from_info(const track_info& info, std::vector<wma_string_attribute>& out);

// The QWORD "Duration" attribute of stream 0 in seconds; false without one (a wrong size throws).
bool wma_duration_seconds(const std::vector<wma_attribute>& attributes, double& seconds);

// The codec fields of a stream: the subtype is the audio subtype GUID whose first 32 bits are the format
// tag. Sets "codec", "codec_profile", "encoding" and for lossless rows "bitspersample" (bits given).
// Answers false and sets nothing for an unknown subtype.
bool wma_codec_fields(const kpl::guid& subtype, uint32_t bits_per_sample, track_info& info);
// The audio subtype GUID of a WAVE format tag.
kpl::guid wma_subtype_of_format_tag(uint16_t format_tag);

// The runtime's seek start in 100-ns units: floor(1e7 * floor(seconds * rate) / rate).
//     wma_seek_start(1.5, 44100) == 15000000
uint64_t wma_seek_start(double seconds, uint32_t sample_rate);
