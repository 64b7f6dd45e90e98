#include "playback/output/session_volume.h"

#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include <cmath>
#include <cstring>
#include <cwchar>
#include <new>

#include "foundation/kpl/array.h"
#include "foundation/kpl/codepage.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/tasks/critical_section.h"
#include "foundation/win32/system_paths.h"
#include "playback/output/ds_endpoints.h"
#include "playback/output/output_errors.h"
#include "playback/output/session_backend.h"
#include "shell/main_thread_queue.h"

float session_level_to_db(float level) {
    if (!(level > 0)) return -100.0f;
    const double db = 20.0 * std::log10(static_cast<double>(level));
    return db < -100.0 ? -100.0f : static_cast<float>(db);
}

float session_db_to_level(float db) {
    const double level = std::pow(10.0, static_cast<double>(db) * 0.05);
    if (!(level > 0)) return 0.0f;
    return level > 1.0 ? 1.0f : static_cast<float>(level);
}

bool session_volume_is_own_change(const GUID* context) {
    return context && std::memcmp(context, &session_volume_context, sizeof(GUID)) == 0;
}

namespace {

const IID k_iid_session_manager = {0xBFA971F1, 0x4D5E, 0x40BB, {0x93, 0x5E, 0x96, 0x70, 0x39, 0xBF, 0xBE, 0xE4}};
const IID k_iid_session_events = {0x24918ACC, 0x64B3, 0x37C1, {0x8C, 0xA9, 0x74, 0xA6, 0x6E, 0x99, 0x57, 0xA8}};
const IID k_iid_notification_client = {0x7991EEC9, 0x7E89, 0x4D85, {0x83, 0x90, 0x6C, 0x70, 0x3C, 0xEC, 0x60, 0xC0}};

// A zero-terminated copy of a system text.
void copy_text(kpl::wide_array& out, const wchar_t* text) {
    const size_t length = text ? std::wcslen(text) : 0;
    out.set_count(static_cast<uint32_t>(length + 1));
    for (size_t i = 0; i < length; ++i) out[i] = text[i];
    out[static_cast<uint32_t>(length)] = 0;
}

template <class T>
void release_com(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// ---- the system's session objects -------------------------------------------------------------------

class system_endpoint final : public session_endpoint {
public:
    system_endpoint(ISimpleAudioVolume* volume, IAudioSessionControl* session, IAudioSessionEvents* events)
        : m_volume(volume), m_session(session), m_events(events) {}
    ~system_endpoint() override {
        m_session->UnregisterAudioSessionNotification(m_events);
        m_session->Release();
        m_volume->Release();
    }
    HRESULT get_level(float& level) override { return m_volume->GetMasterVolume(&level); }
    HRESULT set_level(float level, const GUID* context) override { return m_volume->SetMasterVolume(level, context); }

private:
    ISimpleAudioVolume* m_volume;
    IAudioSessionControl* m_session;
    IAudioSessionEvents* m_events;
};

// Every call makes its own enumerator, except the default-device registrations, which keep theirs until they
// are undone.
class system_sessions final : public session_backend {
public:
    HRESULT default_endpoint(kpl::wide_array& id) override {
        IMMDeviceEnumerator* enumerator = nullptr;
        HRESULT hr = mm_create_enumerator(enumerator);
        if (FAILED(hr)) return hr;
        IMMDevice* endpoint = nullptr;
        hr = enumerator->GetDefaultAudioEndpoint(eRender, eMultimedia, &endpoint);
        enumerator->Release();
        if (FAILED(hr)) return hr;
        LPWSTR text = nullptr;
        hr = endpoint->GetId(&text);
        endpoint->Release();
        if (FAILED(hr)) return hr;
        copy_text(id, text);
        CoTaskMemFree(text);
        return S_OK;
    }

    HRESULT device_endpoint(const kpl::guid& device, kpl::wide_array& id) override {
        return ds_device_module(device, id);
    }

    HRESULT follow_default(IMMNotificationClient* sink, bool follow) override {
        if (!follow) {
            if (m_registrations.count() == 0) return S_FALSE;
            IMMDeviceEnumerator* enumerator = m_registrations[m_registrations.count() - 1];
            m_registrations.resize_exact(m_registrations.count() - 1);
            const HRESULT hr = enumerator->UnregisterEndpointNotificationCallback(sink);
            enumerator->Release();
            return hr;
        }
        IMMDeviceEnumerator* enumerator = nullptr;
        HRESULT hr = mm_create_enumerator(enumerator);
        if (FAILED(hr)) return hr;
        hr = enumerator->RegisterEndpointNotificationCallback(sink);
        if (FAILED(hr)) {
            enumerator->Release();
            return hr;
        }
        try {
            m_registrations.append(enumerator);
        } catch (...) {
            enumerator->UnregisterEndpointNotificationCallback(sink);
            enumerator->Release();
            return E_OUTOFMEMORY;
        }
        return hr;
    }

    HRESULT open(const wchar_t* id, IAudioSessionEvents* events, session_endpoint*& out) override {
        out = nullptr;
        IMMDeviceEnumerator* enumerator = nullptr;
        HRESULT hr = mm_create_enumerator(enumerator);
        if (FAILED(hr)) return hr;
        IMMDevice* endpoint = nullptr;
        hr = enumerator->GetDevice(id, &endpoint);
        enumerator->Release();
        if (FAILED(hr)) return hr;
        IAudioSessionManager* manager = nullptr;
        hr = endpoint->Activate(k_iid_session_manager, CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&manager));
        endpoint->Release();
        if (FAILED(hr)) return hr;
        ISimpleAudioVolume* volume = nullptr;
        IAudioSessionControl* session = nullptr;
        hr = manager->GetSimpleAudioVolume(nullptr, 0, &volume);
        if (SUCCEEDED(hr)) hr = manager->GetAudioSessionControl(nullptr, 0, &session);
        if (SUCCEEDED(hr)) hr = session->RegisterAudioSessionNotification(events);
        manager->Release();
        if (SUCCEEDED(hr)) out = new (std::nothrow) system_endpoint(volume, session, events);
        if (!out) {
            if (SUCCEEDED(hr)) {
                session->UnregisterAudioSessionNotification(events);
                hr = E_OUTOFMEMORY;
            }
            release_com(session);
            release_com(volume);
        }
        return hr;
    }

private:
    kpl::array<IMMDeviceEnumerator*> m_registrations;
};

system_sessions g_system_sessions;
session_backend* g_backend = nullptr;

// ---- the control -------------------------------------------------------------------------------------

class session_control;

// Calls the control's callbacks on the main thread.
class volume_changed_call final : public service_counted<main_thread_callback> {
public:
    volume_changed_call(session_control* control, float db);
    void run() override;

private:
    service_ptr<output_volume_control> m_control;
    float m_db;
};

// Moves every control that follows the default device to the new one, on the main thread.
class default_changed_call final : public service_counted<main_thread_callback> {
public:
    explicit default_changed_call(const wchar_t* id) { copy_text(m_id, id); }
    void run() override;

private:
    kpl::wide_array m_id;
};

// The session notification sink: a weak link back to its control, cut when the control goes.
class session_events final : public IAudioSessionEvents {
public:
    explicit session_events(session_control* owner) : m_owner(owner) {}

    void unlink() {
        kpl::critical_section_scope lock(m_lock);
        m_owner = nullptr;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, k_iid_session_events)) {
            *out = static_cast<IAudioSessionEvents*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_count); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG count = InterlockedDecrement(&m_count);
        if (count == 0) delete this;
        return count;
    }

    // The mute flag is not looked at.
    HRESULT STDMETHODCALLTYPE OnSimpleVolumeChanged(float level, BOOL, LPCGUID context) override {
        try {
            kpl::critical_section_scope lock(m_lock);
            if (!m_owner || session_volume_is_own_change(context)) return S_OK;
            volume_changed_call* call = new volume_changed_call(m_owner, session_level_to_db(level));
            main_thread_queue::post(call);
            call->release();
        } catch (...) {
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDisplayNameChanged(LPCWSTR, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnIconPathChanged(LPCWSTR, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnChannelVolumeChanged(DWORD, float*, DWORD, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnGroupingParamChanged(LPCGUID, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStateChanged(AudioSessionState) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnSessionDisconnected(AudioSessionDisconnectReason) override { return S_OK; }

private:
    kpl::critical_section m_lock;
    session_control* m_owner;
    volatile LONG m_count = 1;
};

// The default-device sink: one static object for every following control.
class default_device_sink final : public IMMNotificationClient {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, k_iid_notification_client)) {
            *out = static_cast<IMMNotificationClient*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 666; }
    ULONG STDMETHODCALLTYPE Release() override { return 666; }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR id) override {
        if (flow != eRender || role != eMultimedia) return S_OK;
        try {
            default_changed_call* call = new default_changed_call(id);
            main_thread_queue::post(call);
            call->release();
        } catch (...) {
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }
};

default_device_sink g_default_sink;
// Controls following the default device (main thread only).
kpl::array<session_control*> g_following;

class session_control final : public service_counted<output_volume_control> {
public:
    explicit session_control(session_backend& backend) : m_backend(backend), m_events(new session_events(this)) {}

    ~session_control() override {
        m_events->unlink();
        delete m_endpoint;
        if (m_following) {
            m_backend.follow_default(&g_default_sink, false);
            for (uint32_t i = 0; i < g_following.count(); ++i) {
                if (g_following[i] != this) continue;
                for (uint32_t j = i + 1; j < g_following.count(); ++j) g_following[j - 1] = g_following[j];
                g_following.resize_exact(g_following.count() - 1);
                break;
            }
        }
        m_events->Release();
    }

    void open(const kpl::guid& device) {
        kpl::wide_array id;
        if (device == kpl::guid_null) {
            check_hresult(m_backend.default_endpoint(id));
            check_hresult(m_backend.follow_default(&g_default_sink, true));
            m_following = true;
            g_following.append(this);
        } else {
            check_hresult(m_backend.device_endpoint(device, id));
        }
        check_hresult(m_backend.open(id.c_str(), m_events, m_endpoint));
    }

    // Closes the session objects, then opens the endpoint `id` (empty: none) and applies the remembered
    // volume to it; when it cannot be opened the session stays closed.
    void switch_endpoint(const wchar_t* id) {
        delete m_endpoint;
        m_endpoint = nullptr;
        if (!id || !*id) return;
        session_endpoint* endpoint = nullptr;
        if (FAILED(m_backend.open(id, m_events, endpoint))) {
            delete endpoint;
            return;
        }
        m_endpoint = endpoint;
        set_volume(m_volume);
    }

    void call_callbacks(float db) {
        kpl::array<output_volume_callback*> copy = m_callbacks;
        for (output_volume_callback* callback : copy) callback->on_volume_changed(db);
    }

    void register_callback(output_volume_callback* callback) override {
        for (output_volume_callback* c : m_callbacks) {
            if (c == callback) return;
        }
        m_callbacks.append(callback);
    }

    void unregister_callback(output_volume_callback* callback) override {
        for (uint32_t i = 0; i < m_callbacks.count(); ++i) {
            if (m_callbacks[i] != callback) continue;
            for (uint32_t j = i + 1; j < m_callbacks.count(); ++j) m_callbacks[j - 1] = m_callbacks[j];
            m_callbacks.resize_exact(m_callbacks.count() - 1);
            return;
        }
    }

    float get_volume() override {
        float level = 0;
        if (m_endpoint && SUCCEEDED(m_endpoint->get_level(level))) m_volume = session_level_to_db(level);
        return m_volume;
    }

    void set_volume(float db) override {
        m_volume = db;
        if (!m_endpoint) return;
        GUID context;
        std::memcpy(&context, &session_volume_context, sizeof context);
        m_endpoint->set_level(session_db_to_level(db), &context);
    }

private:
    session_backend& m_backend;
    session_events* m_events;
    session_endpoint* m_endpoint = nullptr;
    kpl::array<output_volume_callback*> m_callbacks;
    bool m_following = false;
    float m_volume = 0;
};

volume_changed_call::volume_changed_call(session_control* control, float db) : m_control(control), m_db(db) {}

void volume_changed_call::run() { static_cast<session_control*>(m_control.get())->call_callbacks(m_db); }

void default_changed_call::run() {
    kpl::array<session_control*> copy = g_following;
    for (session_control* control : copy) control->switch_endpoint(m_id.c_str());
}

session_backend& current_backend() { return g_backend ? *g_backend : g_system_sessions; }

}  // namespace

session_backend* session_backend_replace(session_backend* backend) noexcept {
    session_backend* before = g_backend;
    g_backend = backend;
    return before;
}

bool session_volume_open(const kpl::guid& device, service_ptr<output_volume_control>& out) {
    if (!is_windows_vista_or_later()) return false;
    session_control* control = nullptr;
    try {
        control = new session_control(current_backend());
        control->open(device);
    } catch (...) {
        if (control) control->release();
        return false;
    }
    service_ref ref;
    ref.attach(static_cast<output_volume_control*>(control));
    out.attach_ref(std::move(ref));
    return true;
}
