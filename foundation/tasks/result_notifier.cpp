#include "foundation/tasks/result_notifier.h"


namespace {

class owned_notifier final : public service_counted<result_notifier> {
public:
    owned_notifier(notifier_owner* owner, int key) : m_owner(owner), m_key(key) {}

    void notify(int32_t code) override {
        if (m_owner != nullptr) m_owner->on_notify(m_key, code);
    }
    void detach() override { m_owner = nullptr; }

private:
    notifier_owner* m_owner;
    const int m_key;
};

}  // namespace

notifier_owner::~notifier_owner() { detach_all(); }

service_ref notifier_owner::create_notifier(int key) {
    service_ref fresh;
    fresh.attach(static_cast<result_notifier*>(new owned_notifier(this, key)));
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
