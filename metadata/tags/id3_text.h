#pragma once
// Text payloads of ID3v2 frames. Every frame whose id starts with "T", and COMM, USLT and WXXX, holds:
//   byte 0        text encoding: 0 ISO-8859-1 by the standard (read here through the system code page),
//                 1 UTF-16 with byte-order mark, 2 UTF-16 big-endian, 3 UTF-8
//   COMM, USLT    3 bytes of language code
//   then strings, each ended by one zero unit (one byte for encodings 0 and 3, two for 1 and 2); the last
//   one may lack its terminator.
// URL frames (W... but WXXX) hold one ISO-8859-1 text without encoding byte or terminator.
//
//     frame f(frameId("TPE1"));
//     setText(f, "A", 3);  appendText(f, "B");        // payload 03 'A' 00 'B' 00
//     valueCount(f) == 2
//     textCursor c;  getValue(f, 0, c, false) == "A"; getValue(f, 1, c, false) == "B"
//
//     frame comm(frameId("COMM"));
//     setText(comm, "", 1);  appendText(comm, "hi");  // 01 'eng' FF FE 00 00 FF FE 'h' 00 'i' 00 00 00
//
// Reading walks from string to string: a zero unit ends a string and further zero units right behind a
// terminator are passed over, so an empty string between two others is not returned at its own index
// (it still counts in valueCount, and the last indices then read as empty strings).
//
// Text is UTF-8 on the program's side. Errors are id3parser::parseError (and writeError for setText with
// an encoding it cannot write).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "metadata/tags/id3_tag.h"

namespace id3parser {

// Where the previous getValue call ended: the string number and the unit position of its start.
struct textCursor {
    uint32_t stringNumber = 0;
    size_t unitPosition = 0;
    bool valid = false;
};

// Number of strings: zero units, plus one when the last unit is not zero. parseError when the payload is
// shorter than its encoding byte (and language), when the encoding is above 3, or when it holds more
// than 1024 zero units. A payload holding only the encoding byte (and language) has no string.
//     03 'a' 00 'b' 00 -> 2;   03 'a' 00 'b' -> 2;   03 'a' 00 00 -> 2 (the second empty)
uint32_t valueCount(const frame& f);

// String number `index`, as UTF-8. Encoding 0: the system code page (strict: bytes of 0x80 and more are
// rejected). Encoding 1: a leading FF FE means little-endian, FE FF big-endian; without a mark strict
// rejects and lenient reads little-endian. Encoding 2: UTF-16 big-endian. Encoding 3: taken as it is
// when valid UTF-8; else strict rejects and lenient decodes through the system code page. Rejections
// are parseErrors. A request for an earlier string than the cursor's restarts from the beginning.
std::string getValue(const frame& f, uint32_t index, textCursor& cursor, bool strict);
std::string getValue(const frame& f, uint32_t index, bool strict = false);

// Replaces the payload by the encoding byte, for COMM and USLT the language "eng", and the text in that
// encoding with its terminator. Encoding 0 writes 7-bit ASCII (other characters become '?'); 1 writes a
// byte-order mark FF FE and UTF-16 little-endian; 3 writes UTF-8. Other encodings: writeError.
void setText(frame& f, const std::string& text, uint8_t encoding);
// Appends one more string with its terminator in the payload's encoding (encoding 1: with its own mark).
// parseError for an empty payload or an encoding other than 0, 1, 3.
void appendText(frame& f, const std::string& text);
// Payload = encoding 0, the text as 7-bit ASCII, one zero byte (numbers and dates).
void setAsciiText(frame& f, const std::string& text);

// The whole payload of a URL frame from ISO-8859-1; parseError for an empty payload.
std::string urlText(const frame& f);
// The URL of a WXXX payload: everything after the description's terminator, from ISO-8859-1.
// parseError for an encoding above 3 or a description without terminator.
std::string userUrl(const frame& f);
// Payload = the text as ISO-8859-1 (other characters become '?'), no encoding byte, no terminator.
void setUrl(frame& f, const std::string& text);

// Whether the id's payload starts with a language code after the encoding byte (COMM, USLT).
bool hasLanguage(uint32_t id);

// Conversions used by the text helpers, exposed for the tag layers above.
std::string utf8FromAnsi(const uint8_t* bytes, size_t length);
std::string utf8FromLatin1(const uint8_t* bytes, size_t length);
std::string utf8FromUtf16(const uint8_t* bytes, size_t units, bool bigEndian);
// Bytes of the text in 7-bit ASCII or ISO-8859-1: each character that does not fit becomes '?'.
std::string asciiFromUtf8(const std::string& text);
std::string latin1FromUtf8(const std::string& text);
// Whether the bytes are valid UTF-8 that converts to UTF-16 and back unchanged.
bool isValidUtf8(const uint8_t* bytes, size_t length);

}  // namespace id3parser
