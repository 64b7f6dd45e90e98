#pragma once
// The DirectSound calls of the output thread, behind two small interfaces so that the servicing of a device
// object can run against a fake buffer in tests. The program uses the system backend (ds_backend_system.cpp);
// a test installs its own:
//
//     class fake_backend : public ds_backend { ... };       // hands out buffers with a simulated cursor
//     fake_backend fake;
//     ds_backend* before = ds_backend_replace(&fake);
//     ...                                                    // device objects now open fake buffers
//     ds_backend_replace(before);
//
// Every call answers the HRESULT of the DirectSound call it stands for and is made on the output thread only.

#include <windows.h>

#include <cstdint>

#include "foundation/kpl/guid.h"

// One looping secondary buffer (IDirectSoundBuffer). Deleting it releases the buffer.
class ds_buffer {
public:
    virtual ~ds_buffer() = default;
    // GetStatus: DSBSTATUS_* bits.
    virtual HRESULT get_status(DWORD& status) = 0;
    virtual HRESULT restore() = 0;
    // Play(0, 0, DSBPLAY_LOOPING).
    virtual HRESULT play_looping() = 0;
    virtual HRESULT stop() = 0;
    // SetVolume in hundredths of a dB (0 .. -10000).
    virtual HRESULT set_volume(LONG hundredths) = 0;
    // GetCurrentPosition: the play cursor.
    virtual HRESULT get_play_cursor(DWORD& cursor) = 0;
    // SetCurrentPosition.
    virtual HRESULT set_position(DWORD offset) = 0;
    // Lock `size` bytes at `offset` (the region may wrap to the buffer's start), copy `data` into both parts,
    // or fill them with the byte `fill` when data is null, then Unlock.
    virtual HRESULT write(DWORD offset, const void* data, DWORD size, uint8_t fill) = 0;
};

// One DirectSound object. Deleting it releases the object.
class ds_device_api {
public:
    virtual ~ds_device_api() = default;
    // CreateSoundBuffer with flags DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_STICKYFOCUS |
    // DSBCAPS_CTRLVOLUME, `bytes` long, in `format` (a WAVEFORMATEX or the head of a WAVEFORMATEXTENSIBLE).
    virtual HRESULT create_buffer(const WAVEFORMATEX* format, DWORD bytes, ds_buffer*& out) = 0;
};

class ds_backend {
public:
    virtual ~ds_backend() = default;
    // Creates the DirectSound object of a device (the null GUID: the default device) and sets its cooperative
    // level (priority, with the hidden main-thread window). On failure `out` stays null.
    virtual HRESULT open_device(const kpl::guid& device, ds_device_api*& out) = 0;
    // The clock of the objects' waits, in seconds from any fixed point (the system's tick count).
    virtual double now_seconds() = 0;
};

// The backend device objects use (the system's unless replaced).
ds_backend& ds_backend_current() noexcept;
// Installs `backend` (null: the system's again) and answers the one installed before. Only while no device
// object exists.
ds_backend* ds_backend_replace(ds_backend* backend) noexcept;
