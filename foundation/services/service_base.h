#pragma once
// service_object and service_ref: the reference-counted base of every service and of most framework
// interfaces, and the one-word counted reference to it.
//
// The first three virtual operations of every service object are, in this order:
//   1. release ()  -> the remaining count; an object that reaches 0 deletes itself
//   2. add_ref ()  -> the new count
//   3. query (out reference, interface GUID) -> bool: when the object implements the interface, it stores
//      itself into `out` (add_ref on itself, release of what `out` held) and answers true; otherwise it
//      answers false and leaves `out` alone.
// Class-specific operations follow. Static singletons answer 1 to both release and add_ref.
//
//     service_ref r;
//     if (some_service->query(r, ext_guid)) static_cast<my_extension*>(r.get())->run();
//
// Every store into a service_ref takes the new reference before releasing the old one, so assigning a
// reference to itself is safe. Counters of shared objects change with interlocked operations.

#include <cstdint>

#include "foundation/kpl/guid.h"

class service_ref;

class service_object {
public:
    virtual uint32_t release() = 0;
    virtual uint32_t add_ref() = 0;
    virtual bool query(service_ref& out, const kpl::guid& interface_guid) = 0;

protected:
    service_object() = default;
    service_object(const service_object&) = default;
    service_object& operator=(const service_object&) = default;
    ~service_object() = default;
};

using service_base = service_object;

class service_ref {
public:
    service_ref() noexcept = default;
    // Takes a new reference on `object` (add_ref).
    explicit service_ref(service_object* object) : m_object(object) {
        if (m_object) m_object->add_ref();
    }
    service_ref(const service_ref& other) : service_ref(other.m_object) {}
    service_ref(service_ref&& other) noexcept : m_object(other.m_object) { other.m_object = nullptr; }
    ~service_ref() { release(); }

    service_ref& operator=(const service_ref& other) {
        assign(other.m_object);
        return *this;
    }
    service_ref& operator=(service_ref&& other) noexcept {
        if (this != &other) {
            service_object* old = m_object;
            m_object = other.m_object;
            other.m_object = nullptr;
            if (old) old->release();
        }
        return *this;
    }

    // add_ref on the new object, then release of the old one.
    void assign(service_object* object) {
        if (object) object->add_ref();
        service_object* old = m_object;
        m_object = object;
        if (old) old->release();
    }
    void copy_assign(const service_ref& other) { assign(other.m_object); }
    void copy_to(service_ref& out) const { out.assign(m_object); }

    // Releases the object and clears the reference.
    void release() noexcept {
        service_object* old = m_object;
        m_object = nullptr;
        if (old) old->release();
    }

    // Takes over a reference already counted for this holder (no add_ref), releasing the old one.
    void attach(service_object* object) noexcept {
        service_object* old = m_object;
        m_object = object;
        if (old) old->release();
    }
    // Gives up the pointer without releasing it.
    service_object* detach() noexcept {
        service_object* object = m_object;
        m_object = nullptr;
        return object;
    }

    service_object* get() const noexcept { return m_object; }
    service_object* operator->() const noexcept { return m_object; }
    explicit operator bool() const noexcept { return m_object != nullptr; }
    bool is_empty() const noexcept { return m_object == nullptr; }

    // The object as the interface type the caller knows it implements (after a successful query or a
    // registry lookup of that class).
    template <class T>
    T* as() const noexcept {
        return static_cast<T*>(m_object);
    }

private:
    service_object* m_object = nullptr;
};

inline bool operator==(const service_ref& a, const service_ref& b) noexcept { return a.get() == b.get(); }
inline bool operator!=(const service_ref& a, const service_ref& b) noexcept { return a.get() != b.get(); }
