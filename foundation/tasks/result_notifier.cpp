#include "foundation/tasks/result_notifier.h"

#include <windows.h>

const kpl::guid result_notifier::class_guid = {
    0xDF26D586, 0xF7EC, 0x40C3, {0x9F, 0xE8, 0x2E, 0xA0, 0x72, 0x5D, 0x76, 0xC0}};

namespace {

class owned_notifier final : public result_notifier {
public:
    owned_notifier(notifier_owner* owner, int key) : m_owner(owner), m_key(key) {}

    uint32_t add_ref() override { return uint32_t(InterlockedIncrement(&m_count)); }
    uint32_t release() override {
        const LONG count = InterlockedDecrement(&m_count);
        if (count == 0) delete this;
        return uint32_t(count);
    }
    bool query(service_ref& out, const kpl::guid& interface_guid) override {
        if (interface_guid != result_notifier::class_guid) return false;
        out.assign(this);
        return true;
    }

    void notify(int32_t code) override {
        if (m_owner != nullptr) m_owner->on_notify(m_key, code);
    }
    void detach() override { m_owner = nullptr; }

private:
    volatile LONG m_count = 1;
    notifier_owner* m_owner;
    const int m_key;
};

}  // namespace

notifier_owner::~notifier_owner() { detach_all(); }

service_ref notifier_owner::create_notifier(int key) {
    service_ref fresh;
    fresh.attach(new owned_notifier(this, key));
    service_ref& slot = m_notifiers[key];
    if (slot) slot.as<result_notifier>()->detach();
    slot = fresh;
    return fresh;
}

void notifier_owner::detach_all() {
    std::map<int, service_ref> notifiers;
    notifiers.swap(m_notifiers);
    for (auto& entry : notifiers) entry.second.as<result_notifier>()->detach();
}
