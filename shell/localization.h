#pragma once
// The language table: every text the user sees, looked up by a text id.
//
//     load_language_table(0);                         // start-up: the user's file or the system's language
//     localization_table::get_text("menu_exit");      // "Exit" (English); "" for an id the table lacks
//     localized_string title("dialog_warning");       // the same lookup, held as a text
//
//     text_params params;
//     params.set("code", "5");
//     kpl::utf8_string_pow2 out;
//     localization_table::format("exception_io_with_code", params, out);   // "I/O error #5"
//
// The table maps ids to texts (both UTF-8; ids compared byte by byte, so they are case-sensitive). It is
// loaded once at start-up on the main thread and only read afterwards, from any thread, without a lock.
// Loading it also makes it the source of the base library's texts (kpl::set_text_lookup), so I/O
// exceptions take their texts from it by class name ("exception_io_denied" -> "Access denied").

#include <cstdint>
#include <memory>

#include "foundation/kpl/maps.h"
#include "foundation/kpl/string.h"

// Placeholder values for localization_table::format, by placeholder name (byte order).
class text_params {
public:
    void set(const char* name, const char* value);
    // The value of a name, or null.
    const char* find(const char* name, uint32_t name_length) const;

private:
    kpl::string_map<kpl::utf8_string_tight> m_values;
};

// id -> text, the form in which a language file is loaded and the table is published.
using localization_map = kpl::string_map<kpl::utf8_string_tight>;

namespace localization_table {

// The text of an id in the published table, or null when the id is missing.
const char* find(const char* id) noexcept;
// The text of an id; "" when it is missing (never null).
const char* get_text(const char* id) noexcept;
// The id's text with every "{name}" replaced by the value `params` gives the name; the result replaces
// `out`. False, with `out` untouched, when the id is missing, a "{" has no later "}", or a name is not in
// `params`. A "}" without an opening "{" is copied as it is.
//     "I/O error #{code}" with code=5  -> "I/O error #5"
//     "Broken {" -> false;   "a } b" -> "a } b"
bool format(const char* id, const text_params& params, kpl::utf8_string& out);
// format over a given text instead of an id's.
bool format_text(const char* text, const text_params& params, kpl::utf8_string& out);

// Makes `map` the process-wide table (the previous one is released) and the base library's text source.
// Main thread, at start-up (tests: between runs).
void publish(std::unique_ptr<localization_map> map);
// Number of ids in the published table.
uint32_t count() noexcept;

}  // namespace localization_table

// A looked-up text kept as a string: localized_string("menu_exit").c_str() == "Exit".
class localized_string {
public:
    explicit localized_string(const char* id) : m_text(localization_table::get_text(id)) {}
    const char* c_str() const noexcept { return m_text.c_str(); }
    operator const char*() const noexcept { return m_text.c_str(); }

private:
    kpl::utf8_string_tight m_text;
};

// The translators' credit line of the loaded language file ("" when it has none); shown by the about box.
const char* localization_credits() noexcept;
void set_localization_credits(const char* text);

// Loads the process-wide table, once, on the main thread at start-up:
//   language_id 0: the user's "vorn-language.xml" in the profile folder when it exists, otherwise the
//   built-in language of the user's interface language; any other id: the built-in language for it (the
//   user's file is not read).
// Ten error ids the file lacks get the system's message text for their Win32 code.
// A broken file (or a user file over 1 MiB): a message box "Broken or incomplete language file." (not with
// "/quiet"), then exception_shutdownrequest, which ends the start-up quietly.
// A user file that exists but cannot be read (in use, access denied, no size): a message box naming the
// file and the reason (not with "/quiet") and the debugger line, then the built-in language is loaded.
void load_language_table(uint32_t language_id);
