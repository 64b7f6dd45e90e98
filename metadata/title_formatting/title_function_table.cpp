#include "metadata/title_formatting/title_function_table.h"

#include <windows.h>

#include "metadata/text_crc.h"
#include "metadata/title_formatting/title_functions.h"

using namespace title_functions;

namespace {

// The fixed order is also the order in which hashes are compared.
title_function_record g_table[] = {
    {f_stripprefix, "stripprefix", 0, 1},
    {f_swapprefix, "swapprefix", 0, 1},
    {f_if, "if", 0, 1},
    {f_if2, "if2", 0, 1},
    {f_if3, "if3", 0, 1},
    {f_upper, "upper", 0, 1},
    {f_lower, "lower", 0, 1},
    {f_trim, "trim", 0, 1},
    {f_pad, "pad", 0, 1},
    {f_pad_right, "pad_right", 0, 1},
    {f_cut, "cut", 0, 1},
    {f_padcut, "padcut", 0, 1},
    {f_padcut_right, "padcut_right", 0, 1},
    {f_repeat, "repeat", 0, 1},
    {f_abbr, "abbr", 0, 1},
    {f_caps, "caps", 0, 1},
    {f_caps2, "caps2", 0, 1},
    {f_longest, "longest", 0, 1},
    {f_shortest, "shortest", 0, 1},
    {f_iflonger, "iflonger", 0, 1},
    {f_ifgreater, "ifgreater", 0, 1},
    {f_ifequal, "ifequal", 0, 1},
    {f_num, "num", 0, 1},
    {f_num, "dec", 0, 1},
    {f_hex, "hex", 0, 1},
    {f_strchr, "strchr", 0, 1},
    {f_strchr, "strlchr", 0, 1},
    {f_strrchr, "strrchr", 0, 1},
    {f_strstr, "strstr", 0, 1},
    {f_len, "len", 0, 1},
    {f_len, "len2", 0, 1},
    {f_add, "add", 0, 1},
    {f_sub, "sub", 0, 1},
    {f_mul, "mul", 0, 1},
    {f_div, "div", 0, 1},
    {f_mod, "mod", 0, 1},
    {f_xor, "xor", 0, 1},
    {f_and, "and", 0, 1},
    {f_or, "or", 0, 1},
    {f_not, "not", 0, 1},
    {f_filename, "filename", 0, 1},
    {f_min, "min", 0, 1},
    {f_max, "max", 0, 1},
    {f_get, "get", 0, 0},
    {f_put, "put", 0, 0},
    {f_puts, "puts", 0, 0},
    {f_null, "null", 0, 1},
    {f_replace, "replace", 0, 1},
    {f_ext, "ext", 0, 1},
    {f_strcmp, "strcmp", 0, 1},
    {f_stricmp, "stricmp", 0, 1},
    {f_rot13, "rot13", 0, 1},
    {f_roman, "roman", 0, 1},
    {f_cut, "left", 0, 1},
    {f_right, "right", 0, 1},
    {f_char, "char", 0, 1},
    {f_crlf, "crlf", 0, 1},
    {f_tab, "tab", 0, 1},
    {f_substr, "substr", 0, 1},
    {f_directory, "directory", 0, 1},
    {f_directory_path, "directory_path", 0, 1},
    {f_greater, "greater", 0, 1},
    {f_longer, "longer", 0, 1},
    {f_progress, "progress", 0, 1},
    {f_progress2, "progress2", 0, 1},
    {f_select, "select", 0, 1},
    {f_rgb, "rgb", 0, 1},
    {f_hsl, "hsl", 0, 1},
    {f_blend, "blend", 0, 1},
    {f_transition, "transition", 0, 1},
    {f_insert, "insert", 0, 1},
    {f_muldiv, "muldiv", 0, 1},
    {f_fix_eol, "fix_eol", 0, 1},
    {f_ansi, "ansi", 0, 1},
    {f_ascii, "ascii", 0, 1},
    {f_crc32, "crc32", 0, 1},
    {f_year, "year", 0, 1},
    {f_month, "month", 0, 1},
    {f_day_of_month, "day_of_month", 0, 1},
    {f_date, "date", 0, 1},
    {f_time, "time", 0, 1},
};
static_assert(sizeof(g_table) / sizeof(g_table[0]) == title_function_count, "the table holds 81 functions");

// 0 before the hashes are written, 1 while one thread writes them, 2 once they are there.
volatile long g_hash_state = 0;

void fill_hashes() {
    if (__atomic_load_n(&g_hash_state, __ATOMIC_ACQUIRE) == 2) return;
    long expected = 0;
    if (__atomic_compare_exchange_n(&g_hash_state, &expected, 1, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        for (title_function_record& record : g_table) {
            uint32_t length = 0;
            while (record.name[length]) ++length;
            record.name_hash = utf8_crc32_nocase(length, record.name);
        }
        __atomic_store_n(&g_hash_state, 2, __ATOMIC_RELEASE);
        return;
    }
    // Another thread is writing them: the work is a few microseconds.
    while (__atomic_load_n(&g_hash_state, __ATOMIC_ACQUIRE) != 2) Sleep(0);
}

// The hashes are written during static initialisation; a script compiled even earlier fills them itself.
struct hash_filler {
    hash_filler() { fill_hashes(); }
} g_hash_filler;

}  // namespace

const title_function_record* title_function_table() {
    fill_hashes();
    return g_table;
}

bool title_function_resolve(const char* name, uint32_t length, title_function_handler& handler, bool& foldable) {
    const title_function_record* table = title_function_table();
    const uint32_t hash = utf8_crc32_nocase(length, name);
    for (uint32_t i = 0; i < title_function_count; ++i) {
        if (table[i].name_hash == hash) {
            handler = table[i].handler;
            foldable = table[i].foldable != 0;
            return true;
        }
    }
    return false;
}
