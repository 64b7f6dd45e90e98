#pragma once
// mime_type_matches: the content-type test of the inputs that compare types this way (Ogg, FLAC).
//
// The content type counts up to its first ';' with the blanks before the ';' dropped, and is compared with
// the whole candidate, ASCII letters without regard to case:
//
//     mime_type_matches("Audio/FLAC ; rate=44100", "audio/flac")   -> true
//     mime_type_matches("audio/flacx", "audio/flac")                -> false
//     mime_type_matches("audio/flac", "audio/flac; x=1")            -> false (the candidate is taken whole)
//
// mime_type_matches_any asks the same of each entry of a table of candidates:
//
//     const char* const types[] = {"audio/ogg", "application/ogg"};
//     mime_type_matches_any("Application/Ogg", types)               -> true

#include <cstddef>

bool mime_type_matches(const char* content_type, const char* candidate);

template <std::size_t N>
bool mime_type_matches_any(const char* content_type, const char* const (&candidates)[N]) {
    for (const char* candidate : candidates) {
        if (mime_type_matches(content_type, candidate)) return true;
    }
    return false;
}
