#pragma once
// wma_header_info: attributes through the Windows Media runtime's IWMHeaderInfo3, of a reader (listing) or of
// the metadata editor (listing and rewriting).
//
//     std::vector<wma_attribute> attrs;
//     if (!wma_runtime_attributes(info, 0, attrs)) use_own_header_reader();   // Wine: E_NOTIMPL
//
//     wma_runtime_retag(info, {{"Title", "New"}, {"WM/Mood", "a"}, {"WM/Mood", "b"}});
//     editor->Flush();
//
// Listing asks each attribute's sizes first, then its name and value; any failure answers false. A rewrite
// deletes the managed attributes of stream 0 (wma_attribute_is_managed) from the last index down, leaving one
// the runtime cannot delete (0xC00D0BD6) in place, then adds each value to stream 0 as a text attribute;
// AddAttribute's E_INVALIDARG is ignored, other failures throw (wma_check).

#include <windows.h>
#include <wmsdkidl.h>

#include <vector>

#include "compressed_inputs/wma/wma_fields.h"

bool wma_runtime_attributes(IWMHeaderInfo3* info, WORD stream, std::vector<wma_attribute>& out);
void wma_runtime_retag(IWMHeaderInfo3* info, const std::vector<wma_string_attribute>& values);
