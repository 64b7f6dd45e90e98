#pragma once
// Language files: the XML form of a language table, the built-in ones and the system's error texts.
//
//     <?xml version="1.0" encoding="utf-8"?>
//     <localization name="English">
//       <entry id="menu_exit" text="Exit"/>
//       <copyright>Translated by ...</copyright>
//     </localization>
//
//     localization_map map;
//     kpl::utf8_string_pow2 credits;
//     parse_language_file(bytes, size, map, credits);    // map: menu_exit -> Exit; credits: "Translated by ..."
//
// Element and attribute names match without regard to A-Z case; ids and texts are taken as written
// (entities decoded). An "entry" without "id" or "text" is skipped; a repeated id takes the later text. The
// "copyright" element's text (comments left out, entities decoded) is cut of bytes up to 0x20 at both ends;
// an empty result leaves `credits` as it was, a later element replaces an earlier one. Other elements are
// ignored. A second "localization" element, and anything the XML reader refuses, throws
// ketrel_io::exception_io_data.

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/string.h"
#include "shell/localization.h"

void parse_language_file(const char* bytes, size_t length, localization_map& out, kpl::utf8_string& credits);

// The resource id (type "TEXT") of the built-in language for a language id, by its primary language (the
// low 10 bits): 0x04 Chinese 301, 0x07 German 296, 0x0B Finnish 299, 0x0C French 308, 0x0D Hebrew 302,
// 0x11 Japanese 303, 0x15 Polish 291, 0x19 Russian 298, 0x1D Swedish 307, any other English 293.
uint16_t builtin_language_resource(uint32_t language_id) noexcept;
constexpr uint16_t builtin_english_resource = 293;

// The ten error ids that get the system's message text for their Win32 code when a file lacks them.
struct system_message_id {
    const char* id;
    uint32_t code;
};
extern const system_message_id system_message_ids[10];

// Adds each system_message_ids entry that `map` lacks with the text `message_for` gives its code (false:
// the system has none, the id stays missing).
void add_system_messages(localization_map& map, bool (*message_for)(uint32_t code, kpl::utf8_string& out));
