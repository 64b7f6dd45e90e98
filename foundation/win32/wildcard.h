#pragma once
// File-name patterns as given on the command line.
//
//   wildcard_match("Track 01.flac", "*.FLAC", false)    -> true   (characters compare after case folding)
//   wildcard_match("a.mp3", "*.flac;*.mp3", true)       -> false  (only the first pattern of a list)
//   wildcard_match("ab", "a?", false)                   -> true   ('?' is exactly one character)

// '*' matches any run of characters, '?' exactly one, any other character one equal character after case
// folding; the whole text must be used up. With as_list set a ';' ends the pattern.
bool wildcard_match(const char* text, const char* pattern, bool as_list);
// True when the pattern holds '*' or '?'.
bool wildcard_has_wildcards(const char* pattern);
