#include "playback/output/ds_endpoints.h"

#include <dsound.h>
#include <mmdeviceapi.h>

#include <cstring>

#include "foundation/kpl/codepage.h"
#include "playback/output/output_errors.h"

namespace {

const CLSID k_clsid_enumerator = {0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
const IID k_iid_enumerator = {0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};

struct enumeration {
    void (*sink)(const ds_device_entry& entry, void* context);
    void* context;
};

BOOL CALLBACK enumerate_one(LPGUID guid, LPCWSTR description, LPCWSTR module, LPVOID context) {
    try {
        ds_device_entry entry;
        entry.guid = kpl::guid_null;
        if (guid) std::memcpy(&entry.guid, guid, sizeof entry.guid);
        if (description) entry.name = kpl::utf8_string_from_utf16(description);
        if (module) entry.module = kpl::utf8_string_from_utf16(module);
        const enumeration* e = static_cast<const enumeration*>(context);
        e->sink(entry, e->context);
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

void ds_enumerate_devices_into(void (*sink)(const ds_device_entry& entry, void* context), void* context) {
    enumeration e = {sink, context};
    DirectSoundEnumerateW(&enumerate_one, &e);
}

HRESULT mm_create_enumerator(IMMDeviceEnumerator*& out) {
    out = nullptr;
    return CoCreateInstance(k_clsid_enumerator, nullptr, CLSCTX_ALL, k_iid_enumerator, reinterpret_cast<void**>(&out));
}

HRESULT ds_device_module(const kpl::guid& device, kpl::wide_array& module) {
    bool found = false;
    kpl::utf8_string_tight text;
    ds_enumerate_devices([&](const ds_device_entry& entry) {
        if (!found && entry.guid == device) {
            found = true;
            text = entry.module;
        }
    });
    if (!found) return ds_error_no_driver;
    kpl::utf8_to_wide_array(module, text.c_str());
    return S_OK;
}

HRESULT mm_open_endpoint(IMMDeviceEnumerator* enumerator, const kpl::guid& device, IMMDevice*& out) {
    out = nullptr;
    if (device == kpl::guid_null) return enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, &out);
    kpl::wide_array id;
    const HRESULT hr = ds_device_module(device, id);
    if (FAILED(hr)) return hr;
    return enumerator->GetDevice(id.data(), &out);
}

HRESULT mm_open_endpoint(const kpl::guid& device, IMMDevice*& out) {
    out = nullptr;
    IMMDeviceEnumerator* enumerator = nullptr;
    HRESULT hr = mm_create_enumerator(enumerator);
    if (FAILED(hr)) return hr;
    hr = mm_open_endpoint(enumerator, device, out);
    enumerator->Release();
    return hr;
}
