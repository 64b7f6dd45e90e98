#pragma once
// The DirectSound device list and the MMDevice endpoint of a DirectSound device GUID.
//
//     ds_enumerate_devices([](const ds_device_entry& e) { print(e.guid, e.name); });   // null GUID first
//     IMMDevice* endpoint = nullptr;
//     if (SUCCEEDED(mm_open_endpoint(guid, endpoint))) ... endpoint->Release();
//
// The endpoint of a chosen device is found by its module string in the DirectSound list, which Windows from
// Vista on sets to the endpoint id. A GUID missing from the list gives DSERR_NODRIVER. (Under Wine every
// module string is "winemm.vxd", so only the default device is found there.)

#include <windows.h>

#include "foundation/kpl/array.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"

struct IMMDevice;
struct IMMDeviceEnumerator;

struct ds_device_entry {
    kpl::guid guid;                 // the null GUID for the primary driver entry
    kpl::utf8_string_tight name;    // the description
    kpl::utf8_string_tight module;  // the module string
};

// DirectSoundEnumerateW; `sink` gets every entry in the system's order. A failing enumeration is ignored.
template <class Sink>
void ds_enumerate_devices(Sink&& sink);
void ds_enumerate_devices_into(void (*sink)(const ds_device_entry& entry, void* context), void* context);

template <class Sink>
void ds_enumerate_devices(Sink&& sink) {
    ds_enumerate_devices_into(
        [](const ds_device_entry& entry, void* context) { (*static_cast<Sink*>(context))(entry); }, &sink);
}

// The module string of the listed device `device`, as UTF-16 with its terminator (from Vista on the id of
// its endpoint); DSERR_NODRIVER when the GUID is not listed.
HRESULT ds_device_module(const kpl::guid& device, kpl::wide_array& module);

// CoCreateInstance of the MMDevice enumerator (COM must be initialised on the calling thread).
HRESULT mm_create_enumerator(IMMDeviceEnumerator*& out);
// The render endpoint of a DirectSound device: the default multimedia endpoint for the null GUID; else the
// endpoint whose id is the device's module string (DSERR_NODRIVER when the GUID is not listed).
HRESULT mm_open_endpoint(const kpl::guid& device, IMMDevice*& out);
HRESULT mm_open_endpoint(IMMDeviceEnumerator* enumerator, const kpl::guid& device, IMMDevice*& out);
