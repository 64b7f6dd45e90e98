#pragma once
// Fields on the clipboard between properties dialogs: the private format
// "{9E67E09D-115C-43d1-8359-6A4B0C1DAFE4}", registered once per process. Its data, all integers u32
// little-endian and texts UTF-8 without terminator:
//     N (records), then per record: T (tracks), name length + name, then per track 0..T-1:
//     V (values), then V times length + value.
//
//     OpenClipboard(dialog);  EmptyClipboard();
//     properties_copy_fields(records);                // the private format
//     CloseClipboard();
//     ...
//     OpenClipboard(other_dialog);
//     properties_field_list pasted;
//     if (properties_paste_fields(pasted)) ...        // false: absent or unreadable (pasted then empty)
//     CloseClipboard();
//
// Reading never throws and never trusts a count: records, tracks and values are taken only while the
// block still holds their bytes, so a short or lying block is refused without a large allocation.

#include <windows.h>

#include <cstddef>
#include <string>

#include "properties/field_model.h"

// The registered format (exception_win32 when registration fails).
UINT properties_clipboard_format();

// The block of the records, in order.
std::string properties_serialize_fields(const properties_field_list& records);
// The records of a block; false (and `out` empty) when it cannot be read completely.
bool properties_parse_fields(const void* data, size_t size, properties_field_list& out);

// On a clipboard the caller has opened and emptied: the records under the private format.
void properties_copy_fields(const properties_field_list& records);
// On an opened clipboard.
bool properties_paste_fields(properties_field_list& out);
bool properties_fields_available();

// On a clipboard the caller has opened and emptied: a shareable block of exactly `size` bytes under
// `format` (std::bad_alloc when no block can be had; exception_win32, the block freed, when the system
// refuses it).
void clipboard_put_data(UINT format, const void* bytes, size_t size);
