#pragma once
// Escaping '&' for texts that Windows shows with mnemonics (static controls, menu items), where a single
// '&' underlines the next letter and "&&" shows one ampersand.
//
//   escape_ampersands("Rock & Roll")            -> "Rock && Roll"
//   escape_ampersands("a&&b")                   -> "a&&&&b"
//   escape_ampersands_for_label("a&&b")         -> "a&&&&&b"   (first of a run "&&&", each further "&&")

#include "foundation/kpl/string.h"

// Appends the text to out with every '&' doubled.
void escape_ampersands(const char* text, kpl::utf8_string& out);
// Appends the text to out for the owner-drawn list's labels: in each run of '&' the first becomes "&&&" and
// every further one "&&".
void escape_ampersands_for_label(const char* text, kpl::utf8_string& out);
