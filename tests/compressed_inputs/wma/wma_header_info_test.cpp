#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "compressed_inputs/wma/wma_header_info.h"
#include "foundation/kpl/io_exceptions.h"

namespace {

// A stand-in for the runtime's header info: a list of attributes, and failures on cue.
class fake_header_info final : public IWMHeaderInfo3 {
public:
    struct attribute {
        WORD stream;
        std::wstring name;
        WMT_ATTR_DATATYPE type;
        std::vector<BYTE> value;
    };
    std::vector<attribute> list;
    HRESULT count_result = S_OK;
    std::wstring undeletable;       // DeleteAttribute answers 0xC00D0BD6 for it
    std::wstring refused;           // AddAttribute answers E_INVALIDARG for it
    std::wstring broken;            // AddAttribute answers E_FAIL for it
    std::vector<std::wstring> deleted;

    void add_text(WORD stream, const wchar_t* name, const wchar_t* text) {
        const BYTE* p = reinterpret_cast<const BYTE*>(text);
        list.push_back({stream, name, WMT_TYPE_STRING, std::vector<BYTE>(p, p + 2 * (wcslen(text) + 1))});
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE GetAttributeCountEx(WORD stream, WORD* count) override {
        if (FAILED(count_result)) return count_result;
        *count = 0;
        for (const attribute& a : list) *count = static_cast<WORD>(*count + (a.stream == stream));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndexEx(WORD stream, WORD index, LPWSTR name, WORD* name_len,
                                                    WMT_ATTR_DATATYPE* type, WORD* lang, BYTE* value,
                                                    DWORD* data_len) override {
        attribute* a = find(stream, index);
        if (!a) return E_INVALIDARG;
        const WORD need = static_cast<WORD>(a->name.size() + 1);
        if (name) {
            if (*name_len < need) return E_INVALIDARG;
            std::memcpy(name, a->name.c_str(), need * sizeof(wchar_t));
        }
        *name_len = need;
        if (value) {
            if (*data_len < a->value.size()) return E_INVALIDARG;
            std::memcpy(value, a->value.data(), a->value.size());
        }
        *data_len = static_cast<DWORD>(a->value.size());
        *type = a->type;
        *lang = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DeleteAttribute(WORD stream, WORD index) override {
        attribute* a = find(stream, index);
        if (!a) return E_INVALIDARG;
        if (a->name == undeletable) return static_cast<HRESULT>(0xC00D0BD6);
        deleted.push_back(a->name);
        list.erase(list.begin() + (a - list.data()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddAttribute(WORD stream, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type, WORD,
                                           const BYTE* value, DWORD length) override {
        if (name == refused) return E_INVALIDARG;
        if (name == broken) return E_FAIL;
        list.push_back({stream, name, type, std::vector<BYTE>(value, value + length)});
        *index = 0;
        return S_OK;
    }

    // Not used by the code under test.
    HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD, WORD*, WCHAR*, WORD*, WMT_ATTR_DATATYPE*, BYTE*, WORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD*, LPCWSTR, WMT_ATTR_DATATYPE*, BYTE*, WORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetAttribute(WORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE*, WORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMarker(WORD, WCHAR*, WORD*, QWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveMarker(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScriptCount(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetScript(WORD, WCHAR*, WORD*, WCHAR*, WORD*, QWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE, QWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RemoveScript(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCodecInfoCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCodecInfo(DWORD, WORD*, WCHAR*, WORD*, WCHAR*, WMT_CODEC_INFO_TYPE*, WORD*,
                                           BYTE*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeIndices(WORD, LPCWSTR, WORD*, WORD*, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ModifyAttribute(WORD, WORD, WMT_ATTR_DATATYPE, WORD, const BYTE*, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AddCodecInfo(LPCWSTR_WMSDK_TYPE_SAFE, LPCWSTR_WMSDK_TYPE_SAFE, WMT_CODEC_INFO_TYPE,
                                           WORD, BYTE*) override {
        return E_NOTIMPL;
    }

private:
    attribute* find(WORD stream, WORD index) {
        WORD k = 0;
        for (attribute& a : list) {
            if (a.stream != stream) continue;
            if (k++ == index) return &a;
        }
        return nullptr;
    }
};

std::string names_of(const fake_header_info& info) {
    std::string out;
    for (const fake_header_info::attribute& a : info.list) {
        if (!out.empty()) out += ", ";
        out += std::to_string(a.stream) + ":";
        for (wchar_t c : a.name) out += static_cast<char>(c);
        if (a.type == WMT_TYPE_STRING) out += "=" + wma_text_from_utf16(a.value.data(), a.value.size());
    }
    return out;
}

}  // namespace

TEST_CASE("WMA runtime header info: listing by index, sizes first") {
    fake_header_info info;
    info.add_text(0, L"Title", L"Caf\u00e9");
    info.list.push_back({0, L"Bitrate", WMT_TYPE_DWORD, {0x00, 0xF4, 0x01, 0x00}});
    info.add_text(1, L"WM/Mood", L"calm");
    std::vector<wma_attribute> out;
    REQUIRE(wma_runtime_attributes(&info, 0, out));
    REQUIRE(out.size() == 2);
    CHECK(out[0].name == "Title");
    CHECK(out[0].type == wma_type_string);
    CHECK(wma_text_from_utf16(out[0].value.data(), out[0].value.size()) == "Caf\xC3\xA9");
    CHECK(out[1].name == "Bitrate");
    CHECK(out[1].type == wma_type_dword);
    CHECK(out[1].value == std::vector<uint8_t>{0x00, 0xF4, 0x01, 0x00});
    CHECK(wma_runtime_attributes(&info, 1, out));
    CHECK(out.back().stream == 1);

    info.count_result = E_NOTIMPL;   // as Wine's reader answers
    std::vector<wma_attribute> none;
    CHECK_FALSE(wma_runtime_attributes(&info, 0, none));
    CHECK(none.empty());
}

TEST_CASE("WMA runtime retag: managed attributes of stream 0 deleted from the end, the values added") {
    fake_header_info info;
    info.add_text(0, L"Title", L"Old");
    info.add_text(0, L"WM/Picture", L"(picture)");
    info.add_text(0, L"WM/Track", L"3");
    info.add_text(0, L"ketrel/x", L"y");
    info.add_text(0, L"Unknown", L"kept");
    info.add_text(0, L"replaygain_track_gain", L"-1.00 dB");
    info.add_text(1, L"Title", L"stream 1 keeps its own");
    info.add_text(0, L"WM/Genre", L"Stuck");
    info.undeletable = L"WM/Genre";
    info.refused = L"WM/Composer";
    wma_runtime_retag(&info, {{"Title", "New"}, {"WM/Mood", "a"}, {"WM/Mood", "b"}, {"WM/Composer", "refused"}});
    CHECK(names_of(info) ==
          "0:WM/Picture=(picture), 0:Unknown=kept, 1:Title=stream 1 keeps its own, 0:WM/Genre=Stuck, 0:Title=New, "
          "0:WM/Mood=a, 0:WM/Mood=b");
    std::string order;
    for (const std::wstring& d : info.deleted) order += std::string(d.begin(), d.end()) + " ";
    CHECK(order == "replaygain_track_gain ketrel/x WM/Track Title ");

    info.broken = L"Title";
    try {
        wma_runtime_retag(&info, {{"Title", "x"}});
        FAIL("no exception");
    } catch (const ketrel_io::exception_io& e) {
        CHECK(std::string(e.what()).rfind("IWMHeaderInfo::AddAttribute failed : ", 0) == 0);
    }
    info.count_result = E_NOTIMPL;
    CHECK_THROWS_AS(wma_runtime_retag(&info, {}), ketrel_io::exception_io);
}
