#pragma once
// The handlers of the built-in title functions (one per table record; cut/left, num/dec, strchr/strlchr
// and len/len2 share theirs) and the text helpers they share.
//
// Conventions every handler keeps unless its comment says otherwise:
//   - an argument count it does not accept writes nothing and returns false (only the $if family writes
//     a message);
//   - numbers are read with title_eval_arg_number; "32-bit" means the low 32 bits of that value;
//   - lengths and positions count UTF-8 characters;
//   - 64-bit arithmetic wraps (two's complement), without undefined behaviour at the limits.

#include <cstdint>

#include "foundation/kpl/string.h"
#include "metadata/title_formatting/title_nodes.h"

namespace title_functions {

// Control flow and logic.
bool f_if(const title_call& call);
bool f_if2(const title_call& call);
bool f_if3(const title_call& call);
bool f_iflonger(const title_call& call);
bool f_ifgreater(const title_call& call);
bool f_ifequal(const title_call& call);
bool f_select(const title_call& call);
bool f_and(const title_call& call);
bool f_or(const title_call& call);
bool f_xor(const title_call& call);
bool f_not(const title_call& call);
bool f_greater(const title_call& call);
bool f_longer(const title_call& call);
bool f_strcmp(const title_call& call);
bool f_stricmp(const title_call& call);

// Variables.
bool f_get(const title_call& call);
bool f_put(const title_call& call);
bool f_puts(const title_call& call);
bool f_null(const title_call& call);

// Arithmetic.
bool f_add(const title_call& call);
bool f_sub(const title_call& call);
bool f_mul(const title_call& call);
bool f_div(const title_call& call);
bool f_mod(const title_call& call);
bool f_min(const title_call& call);
bool f_max(const title_call& call);
bool f_muldiv(const title_call& call);
bool f_num(const title_call& call);
bool f_hex(const title_call& call);
bool f_roman(const title_call& call);

// Case and characters.
bool f_upper(const title_call& call);
bool f_lower(const title_call& call);
bool f_caps(const title_call& call);
bool f_caps2(const title_call& call);
bool f_abbr(const title_call& call);
bool f_rot13(const title_call& call);
bool f_ansi(const title_call& call);
bool f_ascii(const title_call& call);
bool f_crc32(const title_call& call);
bool f_char(const title_call& call);
bool f_crlf(const title_call& call);
bool f_tab(const title_call& call);
bool f_fix_eol(const title_call& call);
bool f_stripprefix(const title_call& call);
bool f_swapprefix(const title_call& call);

// Length, filling, cutting and searching.
bool f_len(const title_call& call);
bool f_pad(const title_call& call);
bool f_pad_right(const title_call& call);
bool f_padcut(const title_call& call);
bool f_padcut_right(const title_call& call);
bool f_cut(const title_call& call);
bool f_right(const title_call& call);
bool f_substr(const title_call& call);
bool f_insert(const title_call& call);
bool f_repeat(const title_call& call);
bool f_trim(const title_call& call);
bool f_longest(const title_call& call);
bool f_shortest(const title_call& call);
bool f_replace(const title_call& call);
bool f_strchr(const title_call& call);
bool f_strrchr(const title_call& call);
bool f_strstr(const title_call& call);

// Paths.
bool f_filename(const title_call& call);
bool f_ext(const title_call& call);
bool f_directory_path(const title_call& call);
bool f_directory(const title_call& call);

// Colour codes and progress bars.
bool f_rgb(const title_call& call);
bool f_hsl(const title_call& call);
bool f_blend(const title_call& call);
bool f_transition(const title_call& call);
bool f_progress(const title_call& call);
bool f_progress2(const title_call& call);

// Dates and times.
bool f_year(const title_call& call);
bool f_month(const title_call& call);
bool f_day_of_month(const title_call& call);
bool f_date(const title_call& call);
bool f_time(const title_call& call);

// ---- shared helpers ----

// The low 32 bits of a number, signed or unsigned.
inline int32_t low32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
inline uint32_t low32u(int64_t v) { return static_cast<uint32_t>(static_cast<uint64_t>(v)); }

// Byte length of the character at `text` within `length` bytes: its UTF-8 length, or 1 for a byte
// that starts no valid sequence (so walking never stalls).
uint32_t char_bytes(const char* text, uint32_t length);
// Characters in `length` bytes, counting stops at the first invalid UTF-8 sequence.
uint32_t char_count(const char* text, uint32_t length);
// Byte offset of character `n` (the end when the text is shorter; stops at an invalid sequence).
uint32_t char_offset(const char* text, uint32_t length, uint32_t n);
// The byte length of the first character of a text (0 when the text is empty).
uint32_t first_char(const char* text, uint32_t length);
// Appends `text` `n` times.
void append_repeated(kpl::utf8_string& out, const char* text, uint32_t length, uint32_t n);

}  // namespace title_functions
