#pragma once
// The ID3v1 genre list: the published names 0-79 with the common extension up to 147.
//
//     id3v1_genre_name(17)          "Rock"
//     id3v1_genre_name(148)         nullptr
//     id3v1_genre_find("rock")      17      (letter case ignored, any character)
//     id3v1_genre_find("Polka?")    -1
//
// The ID3v2 genre references "(n)" use only the names 0-125 (id3v1_genre_v2_limit).

#include <cstdint>

constexpr uint32_t id3v1_genre_count = 148;
constexpr uint32_t id3v1_genre_v2_limit = 126;

// The name of a genre number, or null for 148 and above.
const char* id3v1_genre_name(uint32_t number);

// The number of the first name equal to the text (case-insensitive UTF-8 comparison), or -1.
int32_t id3v1_genre_find(const char* name);
