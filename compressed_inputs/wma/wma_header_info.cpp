#include "compressed_inputs/wma/wma_header_info.h"

#include <string>

#include "compressed_inputs/wma/wma_check.h"
#include "foundation/kpl/utf8.h"

namespace {

constexpr HRESULT ns_e_cannot_delete = static_cast<HRESULT>(0xC00D0BD6);

// The text before the first zero of a buffer that may lack one.
std::string utf8_of(const std::vector<wchar_t>& text) {
    size_t n = 0;
    while (n < text.size() && text[n]) ++n;
    if (n == 0) return std::string();
    size_t room = kpl::utf8_length_of_utf16(text.data(), n);
    std::string out(room, '\0');
    out.resize(kpl::utf16_to_utf8_counted(&out[0], room, text.data(), n));
    return out;
}

std::wstring wide_of(const std::string& text) {
    size_t room = kpl::utf16_length_of_utf8(text.c_str());
    std::wstring out(room, L'\0');
    out.resize(kpl::utf8_to_utf16(&out[0], room, text.c_str()));
    return out;
}

// The name of attribute `index` of the stream; false when the runtime does not give it.
bool attribute_name(IWMHeaderInfo3* info, WORD stream, WORD index, std::string& out) {
    WORD name_length = 0, language = 0;
    DWORD value_length = 0;
    WMT_ATTR_DATATYPE type;
    if (FAILED(info->GetAttributeByIndexEx(stream, index, nullptr, &name_length, &type, &language, nullptr,
                                           &value_length))) {
        return false;
    }
    std::vector<wchar_t> name(name_length + 1u, 0);
    if (FAILED(info->GetAttributeByIndexEx(stream, index, name.data(), &name_length, &type, &language, nullptr,
                                           &value_length))) {
        return false;
    }
    out = utf8_of(name);
    return true;
}

}  // namespace

bool wma_runtime_attributes(IWMHeaderInfo3* info, WORD stream, std::vector<wma_attribute>& out) {
    WORD count = 0;
    if (FAILED(info->GetAttributeCountEx(stream, &count))) return false;
    for (WORD i = 0; i < count; ++i) {
        WORD name_length = 0, language = 0;
        DWORD value_length = 0;
        WMT_ATTR_DATATYPE type;
        if (FAILED(info->GetAttributeByIndexEx(stream, i, nullptr, &name_length, &type, &language, nullptr,
                                               &value_length))) {
            return false;
        }
        std::vector<wchar_t> name(name_length + 1u, 0);
        wma_attribute a;
        a.value.resize(value_length);
        if (FAILED(info->GetAttributeByIndexEx(stream, i, name.data(), &name_length, &type, &language,
                                               a.value.empty() ? nullptr : a.value.data(), &value_length))) {
            return false;
        }
        if (value_length < a.value.size()) a.value.resize(value_length);
        a.name = utf8_of(name);
        a.type = static_cast<uint16_t>(type);
        a.stream = stream;
        out.push_back(std::move(a));
    }
    return true;
}

void wma_runtime_retag(IWMHeaderInfo3* info, const std::vector<wma_string_attribute>& values) {
    WORD count = 0;
    wma_check(info->GetAttributeCountEx(0, &count), "IWMHeaderInfo3::GetAttributeCount");
    for (WORD i = count; i-- > 0;) {
        std::string name;
        if (!attribute_name(info, 0, i, name) || !wma_attribute_is_managed(name.c_str())) continue;
        HRESULT hr = info->DeleteAttribute(0, i);
        if (hr != ns_e_cannot_delete) wma_check(hr, "IWMHeaderInfo3::DeleteAttribute");
    }
    for (const wma_string_attribute& v : values) {
        const std::wstring name = wide_of(v.name);
        const std::vector<uint8_t> value = wma_utf16_from_text(v.value);
        WORD index = 0;
        HRESULT hr = info->AddAttribute(0, name.c_str(), &index, WMT_TYPE_STRING, 0, value.data(),
                                        static_cast<DWORD>(value.size()));
        if (hr != E_INVALIDARG) wma_check(hr, "IWMHeaderInfo::AddAttribute");
    }
}
