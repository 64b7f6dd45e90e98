#pragma once
// The table of the 81 built-in title functions, in their fixed order, and the lookup of a function name.
//
// A name is found by its letter-case-blind hash alone (utf8_crc32_nocase of the name): the first record
// whose hash is equal wins and the names themselves are never compared, so "$IF(" and "$If(" both call
// $if. The 81 names hash to 81 different values; a name typed in a script that is not in the table but
// happens to share the hash of one that is would call that function.
//
//     title_function_handler h; bool foldable;
//     title_function_resolve("Upper", 5, h, foldable);   // true, foldable
//     title_function_resolve("get", 3, h, foldable);     // true, not foldable (it reads run variables)
//     title_function_resolve("nope", 4, h, foldable);    // false

#include <cstdint>

#include "metadata/title_formatting/title_nodes.h"

struct title_function_record {
    title_function_handler handler;
    const char* name;  // ASCII, without the '$'
    uint32_t name_hash;  // 0 in the static data, filled at start-up
    uint8_t foldable;  // 0 only for get, put and puts
};

constexpr uint32_t title_function_count = 81;

// The table, its hashes filled (fills them on first use).
const title_function_record* title_function_table();

// Finds a function by name (`length` bytes). False when no record has the name's hash.
bool title_function_resolve(const char* name, uint32_t length, title_function_handler& handler, bool& foldable);
