#pragma once
// The system calls of the session volume control (session_volume.h), behind one small interface so that tests
// can drive it with a fake: changes made outside the program and default-device changes, which Wine never
// produces, and the volumes that reach the session.
//
//     class fake_sessions : public session_backend { ... };
//     fake_sessions fake;
//     session_backend* before = session_backend_replace(&fake);   // null: the system's again
//
// Calls are made on the main thread; the notification sinks handed over are called on any thread.

#include <windows.h>

#include "foundation/kpl/array.h"
#include "foundation/kpl/guid.h"

struct IAudioSessionEvents;
struct IMMNotificationClient;

// The session objects of one endpoint (ISimpleAudioVolume, IAudioSessionControl with `events` registered).
// Deleting it unregisters the events and releases them.
class session_endpoint {
public:
    virtual ~session_endpoint() = default;
    virtual HRESULT get_level(float& level) = 0;
    virtual HRESULT set_level(float level, const GUID* context) = 0;
};

class session_backend {
public:
    virtual ~session_backend() = default;
    // The id of the default multimedia render endpoint.
    virtual HRESULT default_endpoint(kpl::wide_array& id) = 0;
    // The endpoint id of a DirectSound device (its module string); DSERR_NODRIVER when it is not listed.
    virtual HRESULT device_endpoint(const kpl::guid& device, kpl::wide_array& id) = 0;
    // Registers (or, with false, unregisters) the default-device sink.
    virtual HRESULT follow_default(IMMNotificationClient* sink, bool follow) = 0;
    // Opens the program's session on the endpoint `id` and registers `events` with it.
    virtual HRESULT open(const wchar_t* id, IAudioSessionEvents* events, session_endpoint*& out) = 0;
};

session_backend* session_backend_replace(session_backend* backend) noexcept;
