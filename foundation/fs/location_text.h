#pragma once
// Text helpers for locations: the "file://" scheme, native and long paths, and the name of the
// temporary file beside a file that is being rewritten.
//
//   const char* p = "file://C:\\a.flac";
//   strip_file_scheme(p);                                      // true, p == "C:\\a.flac"
//   file_url_to_long_path("file://C:\\a.flac", out);           // true, "\\?\C:\a.flac"
//   file_url_to_long_path("file://\\\\srv\\share\\a", out);     // true, "\\srv\share\a" (kept)
//   temp_file_name_for(out, "file://C:\\Music\\a.flac");
//       // "file://C:\Music\temp-<32 upper-case hex digits>.tmp", the same every time for one target

#include <cstdint>

#include "foundation/kpl/string.h"

// Advances text past a leading "file://"; false (text unchanged) when it has none.
bool strip_file_scheme(const char*& text);
// The native path of a "file://" location; false when the prefix is absent.
bool file_url_to_native(const char* location, kpl::utf8_string& out);
// The native path with "\\?\" in front (a path beginning with "\\" is copied unchanged); false when the
// "file://" prefix is absent.
bool file_url_to_long_path(const char* location, kpl::utf8_string& out);

// The temporary file used when rewriting a target: the target's folder part + "temp-" + MD5 (target
// bytes, "tmp", "retagging temporary file") as 32 upper-case hex digits + ".tmp".
void temp_file_name_for(kpl::utf8_string& out, const char* target);

// The current UTC time as a FILETIME.
uint64_t current_filetime();
