// The session volume control over a fake session system: volumes reach the session with the control's own
// context and read back in dB (clamped), changes made outside reach the callbacks on the main thread while its
// own never do, the default device is followed with the volume applied again, a chosen device is found by its
// endpoint, and failures answer false.
#include <doctest/doctest.h>

#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "playback/output/output_errors.h"
#include "playback/output/session_backend.h"
#include "playback/output/session_volume.h"
#include "shell/main_thread_queue.h"

namespace {

class fake_sessions final : public session_backend {
public:
    fake_sessions() : m_before(session_backend_replace(this)) {}
    ~fake_sessions() override { session_backend_replace(m_before); }

    std::wstring default_id = L"{0.0.0.00000000}.{first}";
    kpl::guid listed = {0x11111111, 0x2222, 0x3333, {4, 4, 5, 5, 6, 6, 7, 7}};
    std::map<std::wstring, float> levels;          // level of each endpoint's session
    std::vector<std::wstring> opened;
    std::vector<bool> own_context;                 // per set_level: carried the control's context
    std::vector<std::wstring> refused;             // endpoints that fail to open
    IMMNotificationClient* sink = nullptr;
    IAudioSessionEvents* events = nullptr;
    int open_sessions = 0;

    HRESULT default_endpoint(kpl::wide_array& id) override {
        copy(id, default_id);
        return S_OK;
    }
    HRESULT device_endpoint(const kpl::guid& device, kpl::wide_array& id) override {
        if (device != listed) return ds_error_no_driver;
        copy(id, L"listed-endpoint");
        return S_OK;
    }
    HRESULT follow_default(IMMNotificationClient* s, bool follow) override {
        sink = follow ? s : nullptr;
        return S_OK;
    }
    HRESULT open(const wchar_t* id, IAudioSessionEvents* e, session_endpoint*& out) override {
        out = nullptr;
        for (const std::wstring& r : refused) {
            if (r == id) return E_FAIL;
        }
        opened.push_back(id);
        events = e;
        if (!levels.count(id)) levels[id] = 1.0f;
        out = new endpoint(*this, id);
        return S_OK;
    }

private:
    static void copy(kpl::wide_array& out, const std::wstring& text) {
        out.set_count(static_cast<uint32_t>(text.size() + 1));
        for (size_t i = 0; i < text.size(); ++i) out[static_cast<uint32_t>(i)] = text[i];
        out[static_cast<uint32_t>(text.size())] = 0;
    }

    class endpoint final : public session_endpoint {
    public:
        endpoint(fake_sessions& owner, std::wstring id) : m_owner(owner), m_id(std::move(id)) { ++m_owner.open_sessions; }
        ~endpoint() override { --m_owner.open_sessions; }
        HRESULT get_level(float& level) override {
            level = m_owner.levels[m_id];
            return S_OK;
        }
        HRESULT set_level(float level, const GUID* context) override {
            m_owner.levels[m_id] = level;
            m_owner.own_context.push_back(session_volume_is_own_change(context));
            return S_OK;
        }

    private:
        fake_sessions& m_owner;
        std::wstring m_id;
    };

    session_backend* m_before;
};

struct recorder final : public output_volume_callback {
    std::vector<float> changes;
    void on_volume_changed(float db) override { changes.push_back(db); }
};

}  // namespace

TEST_CASE("session volume: set with the own context, read back in dB, limited to -100..0") {
    fake_sessions fake;
    service_ptr<output_volume_control> control;
    REQUIRE(session_volume_open(kpl::guid_null, control));
    struct row {
        float set, level, read;
    };
    const row rows[] = {{-6.0206f, 0.5f, -6.0206f}, {0.0f, 1.0f, 0.0f}, {5.0f, 1.0f, 0.0f},
                        {-100.0f, 0.00001f, -100.0f}, {-150.0f, 3.1623e-8f, -100.0f}};
    for (const row& r : rows) {
        CAPTURE(r.set);
        control->set_volume(r.set);
        CHECK(fake.levels[fake.default_id] == doctest::Approx(r.level).epsilon(0.001));
        CHECK(fake.own_context.back());
        CHECK(control->get_volume() == doctest::Approx(r.read).epsilon(0.001));
    }
    fake.levels[fake.default_id] = 0.0f;  // the mixer at 0
    CHECK(control->get_volume() == -100.0f);
    control.release();
    CHECK(fake.open_sessions == 0);
    CHECK(fake.sink == nullptr);  // no longer following
}

TEST_CASE("session volume: outside changes reach the callbacks on the main thread, its own never") {
    fake_sessions fake;
    service_ptr<output_volume_control> control;
    REQUIRE(session_volume_open(kpl::guid_null, control));
    recorder a, b;
    control->register_callback(&a);
    control->register_callback(&b);
    control->register_callback(&a);  // once only
    REQUIRE(fake.events);
    GUID own, other;
    std::memcpy(&own, &session_volume_context, sizeof own);
    other = own;
    other.Data4[7] ^= 0x40;
    fake.events->OnSimpleVolumeChanged(0.25f, FALSE, &own);
    fake.events->OnSimpleVolumeChanged(0.25f, TRUE, &other);  // muted: the flag is not looked at
    fake.events->OnSimpleVolumeChanged(0.0f, FALSE, nullptr);
    CHECK(a.changes.empty());  // nothing until the main thread runs the queue
    main_thread_queue::drain(true);
    REQUIRE(a.changes.size() == 2);
    CHECK(a.changes[0] == doctest::Approx(-12.0412f));
    CHECK(a.changes[1] == -100.0f);
    CHECK(b.changes == a.changes);
    control->unregister_callback(&a);
    fake.events->OnSimpleVolumeChanged(0.5f, FALSE, nullptr);
    main_thread_queue::drain(true);
    CHECK(a.changes.size() == 2);
    CHECK(b.changes.size() == 3);
    control.release();
}

TEST_CASE("session volume: following the default device, and a chosen device") {
    fake_sessions fake;
    service_ptr<output_volume_control> control;
    REQUIRE(session_volume_open(kpl::guid_null, control));
    REQUIRE(fake.sink);
    control->set_volume(-20.0f);

    // Only render/multimedia changes count; the new endpoint opens and gets the remembered volume.
    fake.sink->OnDefaultDeviceChanged(eCapture, eMultimedia, L"mic");
    fake.sink->OnDefaultDeviceChanged(eRender, eCommunications, L"phone");
    main_thread_queue::drain(true);
    CHECK(fake.opened.size() == 1);
    fake.sink->OnDefaultDeviceChanged(eRender, eMultimedia, L"second");
    main_thread_queue::drain(true);
    REQUIRE(fake.opened.size() == 2);
    CHECK(fake.opened[1] == L"second");
    CHECK(fake.levels[L"second"] == doctest::Approx(0.1f));
    CHECK(fake.open_sessions == 1);

    // A new default that cannot be opened leaves the session closed; the volume is still remembered.
    fake.refused.push_back(L"broken");
    fake.sink->OnDefaultDeviceChanged(eRender, eMultimedia, L"broken");
    main_thread_queue::drain(true);
    CHECK(fake.open_sessions == 0);
    CHECK(control->get_volume() == doctest::Approx(-20.0f));
    control->set_volume(-10.0f);
    CHECK(control->get_volume() == doctest::Approx(-10.0f));
    fake.sink->OnDefaultDeviceChanged(eRender, eMultimedia, L"third");
    main_thread_queue::drain(true);
    CHECK(fake.levels[L"third"] == doctest::Approx(0.316228f));
    control.release();

    // A chosen device is found by its endpoint and not followed; an unlisted one opens nothing.
    REQUIRE(session_volume_open(fake.listed, control));
    CHECK(fake.opened.back() == L"listed-endpoint");
    CHECK(fake.sink == nullptr);
    control.release();
    const kpl::guid unlisted = {0x99999999, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    CHECK_FALSE(session_volume_open(unlisted, control));
    fake.refused.push_back(fake.default_id);
    CHECK_FALSE(session_volume_open(kpl::guid_null, control));
    CHECK(fake.open_sessions == 0);
}
