#pragma once
// mime_type_matches: the content-type test of the inputs that compare types this way (Ogg, FLAC).
//
// The content type counts up to its first ';' with the blanks before the ';' dropped, and is compared with
// the whole candidate, ASCII letters without regard to case:
//
//     mime_type_matches("Audio/FLAC ; rate=44100", "audio/flac")   -> true
//     mime_type_matches("audio/flacx", "audio/flac")                -> false
//     mime_type_matches("audio/flac", "audio/flac; x=1")            -> false (the candidate is taken whole)

bool mime_type_matches(const char* content_type, const char* candidate);
