#pragma once
// Detachable notifiers: how work finished elsewhere reports back to an owner on the main thread without
// outliving it.
//
// An owner hands out a result_notifier per key; the worker keeps a reference and, when done, has its
// notify(code) run on the main thread. Before the owner goes (or when it no longer wants an answer) it
// detaches its notifiers, and a notify that arrives later does nothing:
//
//   class tag_loader : public notifier_owner {
//       void on_notify(int key, int32_t code) override { show_result(key, code); }
//   };
//   service_ref n = loader.create_notifier(7);     // a second notifier for key 7 detaches the first
//   start_work(n);                                 // later, on the main thread: n->notify(0)
//   loader.detach_all();                           // from now on n->notify(...) does nothing
//
// Notifiers, their owners and create_notifier / detach_all belong to the main thread; only the counts
// (add_ref and release) may change on other threads.

#include <cstdint>
#include <map>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class notifier_owner;

class result_notifier : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xDF26D586, 0xF7EC, 0x40C3, {0x9F, 0xE8, 0x2E, 0xA0, 0x72, 0x5D, 0x76, 0xC0}};

    // Calls the owner's on_notify(key, code) while attached; nothing after detach.
    virtual void notify(int32_t code) = 0;
    // Cuts the notifier from its owner, for good.
    virtual void detach() = 0;
};

class notifier_owner {
public:
    notifier_owner() = default;
    virtual ~notifier_owner();
    notifier_owner(const notifier_owner&) = delete;
    notifier_owner& operator=(const notifier_owner&) = delete;

    // Called on the main thread by an attached notifier of this owner.
    virtual void on_notify(int key, int32_t code) = 0;

    // A new notifier for the key (a result_notifier, with a reference for the caller); one registered
    // under the key before is detached.
    service_ref create_notifier(int key);
    // Detaches and drops every notifier of this owner, in key order.
    void detach_all();

private:
    std::map<int, service_ref> m_notifiers;
};
