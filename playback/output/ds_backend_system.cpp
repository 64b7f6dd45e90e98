// The system's DirectSound backend of the device objects: DirectSoundCreate before Windows Vista, the
// MMDevice API's IMMDevice::Activate(IID_IDirectSound) from Vista on.
#include <windows.h>
#include <dsound.h>
#include <mmdeviceapi.h>

#include <cstring>

#include "foundation/win32/system_paths.h"
#include "playback/output/ds_backend.h"
#include "playback/output/ds_endpoints.h"
#include "playback/output/output_errors.h"
#include "shell/app_state.h"

namespace {

class system_buffer final : public ds_buffer {
public:
    explicit system_buffer(IDirectSoundBuffer* buffer) : m_buffer(buffer) {}
    ~system_buffer() override { m_buffer->Release(); }

    HRESULT get_status(DWORD& status) override { return m_buffer->GetStatus(&status); }
    HRESULT restore() override { return m_buffer->Restore(); }
    HRESULT play_looping() override { return m_buffer->Play(0, 0, DSBPLAY_LOOPING); }
    HRESULT stop() override { return m_buffer->Stop(); }
    HRESULT set_volume(LONG hundredths) override { return m_buffer->SetVolume(hundredths); }
    HRESULT get_play_cursor(DWORD& cursor) override {
        DWORD write = 0;
        return m_buffer->GetCurrentPosition(&cursor, &write);
    }
    HRESULT set_position(DWORD offset) override { return m_buffer->SetCurrentPosition(offset); }
    HRESULT write(DWORD offset, const void* data, DWORD size, uint8_t fill) override {
        void* first = nullptr;
        void* second = nullptr;
        DWORD first_size = 0, second_size = 0;
        HRESULT hr = m_buffer->Lock(offset, size, &first, &first_size, &second, &second_size, 0);
        if (hr == DSERR_BUFFERLOST) {
            hr = m_buffer->Restore();
            if (SUCCEEDED(hr)) hr = m_buffer->Lock(offset, size, &first, &first_size, &second, &second_size, 0);
        }
        if (FAILED(hr)) return hr;
        if (data) {
            std::memcpy(first, data, first_size);
            if (second) std::memcpy(second, static_cast<const uint8_t*>(data) + first_size, second_size);
        } else {
            std::memset(first, fill, first_size);
            if (second) std::memset(second, fill, second_size);
        }
        return m_buffer->Unlock(first, first_size, second, second_size);
    }

private:
    IDirectSoundBuffer* m_buffer;
};

class system_device final : public ds_device_api {
public:
    explicit system_device(IDirectSound* sound) : m_sound(sound) {}
    ~system_device() override { m_sound->Release(); }

    HRESULT create_buffer(const WAVEFORMATEX* format, DWORD bytes, ds_buffer*& out) override {
        out = nullptr;
        DSBUFFERDESC description;
        std::memset(&description, 0, sizeof description);
        description.dwSize = sizeof description;  // 36 bytes on 32-bit Windows
        description.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_STICKYFOCUS |
                              DSBCAPS_CTRLVOLUME;
        description.dwBufferBytes = bytes;
        description.lpwfxFormat = const_cast<WAVEFORMATEX*>(format);
        IDirectSoundBuffer* buffer = nullptr;
        const HRESULT hr = m_sound->CreateSoundBuffer(&description, &buffer, nullptr);
        if (FAILED(hr)) return hr;
        out = new (std::nothrow) system_buffer(buffer);
        if (!out) {
            buffer->Release();
            return E_OUTOFMEMORY;
        }
        return hr;
    }

private:
    IDirectSound* m_sound;
};

// IID_IDirectSound.
const IID k_iid_direct_sound = {0x279AFA83, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};

HRESULT activate_direct_sound(const kpl::guid& device, IDirectSound*& out) {
    IMMDevice* endpoint = nullptr;
    HRESULT hr = mm_open_endpoint(device, endpoint);
    if (FAILED(hr)) return hr;
    hr = endpoint->Activate(k_iid_direct_sound, CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&out));
    endpoint->Release();
    return hr;
}

class system_backend final : public ds_backend {
public:
    HRESULT open_device(const kpl::guid& device, ds_device_api*& out) override {
        out = nullptr;
        IDirectSound* sound = nullptr;
        HRESULT hr;
        if (!is_windows_vista_or_later()) {
            GUID chosen;
            std::memcpy(&chosen, &device, sizeof chosen);
            hr = DirectSoundCreate(device == kpl::guid_null ? nullptr : &chosen, &sound, nullptr);
        } else {
            hr = activate_direct_sound(device, sound);
        }
        if (FAILED(hr)) return hr;
        HWND window = app_state.hidden_window ? app_state.hidden_window : GetDesktopWindow();
        hr = sound->SetCooperativeLevel(window, DSSCL_PRIORITY);
        if (FAILED(hr)) {
            sound->Release();
            return hr;
        }
        out = new (std::nothrow) system_device(sound);
        if (!out) {
            sound->Release();
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    double now_seconds() override { return GetTickCount() * 0.001; }
};

system_backend g_system_backend;
ds_backend* g_backend = &g_system_backend;

}  // namespace

ds_backend& ds_backend_current() noexcept { return *g_backend; }

ds_backend* ds_backend_replace(ds_backend* backend) noexcept {
    ds_backend* before = g_backend;
    g_backend = backend ? backend : &g_system_backend;
    return before;
}
