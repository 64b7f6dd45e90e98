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
#include <type_traits>
#include <utility>

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

// service_ptr<T>: a counted reference typed as the interface T (T derives from service_object).
//
//     service_ptr<ui_module> ui;
//     service_class::get_single(ui);
//     ui->show();
template <class T>
class service_ptr {
public:
    service_ptr() noexcept = default;
    explicit service_ptr(T* object) : m_ref(static_cast<service_object*>(object)) {}

    T* get() const noexcept { return static_cast<T*>(m_ref.get()); }
    T* operator->() const noexcept { return get(); }
    T& operator*() const noexcept { return *get(); }
    explicit operator bool() const noexcept { return !m_ref.is_empty(); }
    bool is_empty() const noexcept { return m_ref.is_empty(); }

    // add_ref on the new object, then release of the old one.
    void assign(T* object) { m_ref.assign(static_cast<service_object*>(object)); }
    void release() noexcept { m_ref.release(); }
    // Takes over a reference that is known to point at a T (a query or lookup for T's GUID).
    void attach_ref(service_ref&& ref) noexcept { m_ref = std::move(ref); }
    // Gives up the pointer without releasing it.
    T* detach() noexcept { return static_cast<T*>(m_ref.detach()); }
    const service_ref& ref() const noexcept { return m_ref; }

private:
    service_ref m_ref;
};

// Asks `object` for the interface T (T::class_guid) and answers whether it has it. On success `out` holds
// the object as a T; otherwise `out` is left alone.
//
//     service_ptr<playback_controller_ext> ext;
//     if (!service_query(controller.get(), ext)) throw exception_service_extension_not_found();
template <class T>
bool service_query(service_object* object, service_ptr<T>& out) {
    service_ref r;
    if (!object || !object->query(r, T::class_guid)) return false;
    out.attach_ref(std::move(r));
    return true;
}

namespace service_detail {

// An interface may name the interface it extends as `parent_interface`; query then answers the parent's
// GUID too (persistent_state_flush answers persistent_state as well).
template <class T, class = void>
struct parent_of {
    using type = void;
};
template <class T>
struct parent_of<T, std::void_t<typename T::parent_interface>> {
    using type = typename T::parent_interface;
};

template <class I>
service_object* match_chain(I* self, const kpl::guid& guid) noexcept {
    if (guid == I::class_guid) return static_cast<service_object*>(self);
    using parent = typename parent_of<I>::type;
    if constexpr (!std::is_void<parent>::value) {
        return match_chain<parent>(static_cast<parent*>(self), guid);
    } else {
        return nullptr;
    }
}

template <class Self, class... Interfaces>
service_object* match_interfaces(Self* self, const kpl::guid& guid) noexcept {
    service_object* found = nullptr;
    ((found = found ? found : match_chain<Interfaces>(static_cast<Interfaces*>(self), guid)), ...);
    return found;
}

}  // namespace service_detail

// Base of a static singleton implementing `Interfaces` (each with a static `class_guid`): release and
// add_ref do nothing and answer 1; query answers the GUID of each interface (and of the interfaces they
// extend) with the object seen as that interface.
//
//     class controller : public service_static<playback_controller, playback_controller_ext> { ... };
template <class... Interfaces>
class service_static : public Interfaces... {
public:
    uint32_t release() override { return 1; }
    uint32_t add_ref() override { return 1; }
    bool query(service_ref& out, const kpl::guid& interface_guid) override {
        service_object* found = service_detail::match_interfaces<service_static, Interfaces...>(this, interface_guid);
        if (!found) return false;
        out.assign(found);
        return true;
    }
};

// Base of a per-request object implementing `Interfaces`: a 32-bit count changed with interlocked
// operations, 1 when created; the release that brings it to 0 deletes the object. query as service_static.
template <class... Interfaces>
class service_counted : public Interfaces... {
public:
    uint32_t release() override {
        uint32_t count = static_cast<uint32_t>(__atomic_sub_fetch(&m_count, 1, __ATOMIC_ACQ_REL));
        if (count == 0) delete this;
        return count;
    }
    uint32_t add_ref() override { return static_cast<uint32_t>(__atomic_add_fetch(&m_count, 1, __ATOMIC_ACQ_REL)); }
    bool query(service_ref& out, const kpl::guid& interface_guid) override {
        service_object* found = service_detail::match_interfaces<service_counted, Interfaces...>(this, interface_guid);
        if (!found) return false;
        out.assign(found);
        return true;
    }

protected:
    service_counted() noexcept = default;
    virtual ~service_counted() = default;

private:
    volatile long m_count = 1;
};
