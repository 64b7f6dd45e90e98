#pragma once
// The service registry: every pluggable piece of the program is a service implementation registered under a
// 128-bit class GUID by a static registration record, before the program's main code runs.
//
// Registering (at static initialisation; no allocation, records are never unlinked):
//
//     class my_store : public service_static<persistent_state> {
//         void on_startup() override { ... }
//         void on_shutdown(bool discard) override { ... }
//     };
//     static service_factory_single<my_store, persistent_state> g_my_store;   // a static singleton
//     static service_factory_per_request<my_random, random_source> g_random;  // a new object per request
//
// Looking up (after service_registry::start):
//
//     service_ptr<ui_module> ui;
//     service_class::get_single(ui);          // the one implementation, or "Service not found" /
//                                             // "Service duplicated"
//     service_iterator it(persistent_state::class_guid);
//     service_ref each;
//     while (it.next(each)) each.as<persistent_state>()->on_startup();
//
// service_registry::start builds the class table from the registration list: the records are sorted by
// class GUID (memory-byte order) with the program's randomised quicksort, so the order of the
// implementations of one class differs between runs and nothing may depend on it. Before start and after
// release_table every lookup finds nothing.
//
// The table is written only by start and teardown on the main thread and read without locking in between.

#include <cstdint>
#include <new>
#include <utility>

#include "foundation/kpl/array.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class service_factory;

// The head of a registration list. The program's list is service_registration_list(); a test may keep a
// private one and build a private service_table from it.
struct service_factory_list {
    service_factory* head = nullptr;
};

// The program's registration list (in reverse order of static initialisation).
service_factory_list& service_registration_list() noexcept;

// The registration record: {factory table (the one operation create_instance), next, class GUID}, then the
// embedded instance of a singleton.
class service_factory {
public:
    // Stores a reference to an instance into `out`, releasing what it held. A singleton stores the address
    // of its embedded instance; a per-request factory allocates and initialises a new object.
    virtual void create_instance(service_ref& out) = 0;

    service_factory* next() const noexcept { return m_next; }
    const kpl::guid& class_guid() const noexcept { return *m_class_guid; }

protected:
    // Links the record at the head of `list`.
    service_factory(const kpl::guid& class_guid, service_factory_list& list) noexcept
        : m_next(list.head), m_class_guid(&class_guid) {
        list.head = this;
    }
    ~service_factory() = default;
    service_factory(const service_factory&) = delete;
    service_factory& operator=(const service_factory&) = delete;

private:
    service_factory* m_next;
    const kpl::guid* m_class_guid;
};

// A static singleton of `Impl` registered under the class `Class` (an interface that Impl implements and
// that has a static `class_guid`). Constructor arguments after the optional list go to the instance.
//
//     static service_factory_single<my_branch, preferences_group> g_branch(own_guid, parent_guid, "Input");
template <class Impl, class Class>
class service_factory_single final : public service_factory {
public:
    template <class... Args>
    explicit service_factory_single(Args&&... args)
        : service_factory(Class::class_guid, service_registration_list()), m_instance(std::forward<Args>(args)...) {}
    template <class... Args>
    explicit service_factory_single(service_factory_list& list, Args&&... args)
        : service_factory(Class::class_guid, list), m_instance(std::forward<Args>(args)...) {}

    void create_instance(service_ref& out) override { out.assign(static_cast<Class*>(&m_instance)); }

    Impl& instance() noexcept { return m_instance; }

private:
    Impl m_instance;
};

// A per-request object: every create_instance allocates a new `Impl` (default-constructed) and hands it out
// with the count at 1; its last release deletes it. Allocation failure throws "bad allocation".
template <class Impl, class Class>
class service_factory_per_request final : public service_factory {
public:
    service_factory_per_request() noexcept : service_factory(Class::class_guid, service_registration_list()) {}
    explicit service_factory_per_request(service_factory_list& list) noexcept
        : service_factory(Class::class_guid, list) {}

    void create_instance(service_ref& out) override {
        Impl* object = new (std::nothrow) Impl();
        if (!object) kpl::throw_bad_alloc();
        out.attach(static_cast<Class*>(object));
    }
};

// One row of the class table: the class GUID, its first factory in the sorted factory array and the number
// of factories of the class.
struct service_class_entry {
    kpl::guid class_guid;
    service_factory* const* factories;
    uint32_t count;
};

// A class table built from a registration list, with the flags that start-up and shut-down set on it. The
// program uses one (service_registry::table()); tests build their own from private lists.
class service_table {
public:
    service_table() noexcept = default;
    service_table(const service_table&) = delete;
    service_table& operator=(const service_table&) = delete;

    // Builds the table (sorted factory array, one row per class) from `list`. On failure ("bad
    // allocation") the previous table stays as it was.
    void build(const service_factory_list& list);
    // Builds the table, sets the ready flag, requires exactly one trailing_tag_io implementation
    // (exception_installdamaged otherwise, before any load) and calls on_startup of every persistent_state
    // implementation in enumeration order. Exceptions of on_startup propagate.
    void start(const service_factory_list& list);
    // Calls on_shutdown(discard) of every persistent_state implementation in enumeration order; nothing
    // while saving is suppressed.
    void notify_shutdown(bool discard);
    // Clears the ready flag and frees the table and the factory array; every lookup then finds nothing.
    void release() noexcept;

    // The services-ready flag: set by start, cleared by release.
    bool is_running() const noexcept { return m_running; }
    // Suppressed saving (a read-only profile): notify_shutdown then calls nothing.
    void set_saving_suppressed(bool suppressed) noexcept { m_saving_suppressed = suppressed; }
    bool saving_suppressed() const noexcept { return m_saving_suppressed; }

    // Binary search by class GUID; null when the class has no implementation (or the table is empty).
    const service_class_entry* find(const kpl::guid& class_guid) const noexcept;
    // The one implementation of a class: "Service not found" for none, "Service duplicated" for more.
    void get_single(service_ref& out, const kpl::guid& class_guid) const;

    // The rows in table order (sorted by class GUID).
    uint32_t class_count() const noexcept { return m_classes.count(); }
    const service_class_entry& class_at(uint32_t index) const noexcept { return m_classes[index]; }
    uint32_t factory_count() const noexcept { return m_factories.count(); }

private:
    kpl::array<service_factory*> m_factories;
    kpl::array<service_class_entry> m_classes;
    bool m_running = false;
    bool m_saving_suppressed = false;
};

// Lookups in the program's table.
namespace service_class {

// Null when the class has no implementation (also before start-up).
const service_class_entry* find(const kpl::guid& class_guid) noexcept;

// False when `entry` is null or `index` >= its count; otherwise instance `index` into `out` and true.
bool create_instance(const service_class_entry* entry, uint32_t index, service_ref& out);

// The one implementation of a class into `out`. Throws exception_service_not_found ("Service not found")
// when there is none and exception_service_duplicated ("Service duplicated") when there are several.
void get_single(service_ref& out, const kpl::guid& class_guid);

// Instance `index` of `entry`; an index out of range (or a null entry) throws kpl::exception_bug_check_v2
// ("Bug check"). For callers that read the count first and then walk the implementations by index.
void create_nth(service_ref& out, const service_class_entry* entry, uint32_t index);

// Typed forms: the class is T::class_guid.
template <class T>
void get_single(service_ptr<T>& out) {
    service_ref r;
    get_single(r, T::class_guid);
    out.attach_ref(std::move(r));
}

}  // namespace service_class

// Enumeration of the implementations of one class, in class-table order.
//
//     service_iterator it(startup_shutdown_hook::class_guid);
//     service_ref hook;
//     while (it.next(hook)) hook.as<startup_shutdown_hook>()->on_start();
class service_iterator {
public:
    // The program's implementations of `class_guid` (none before start-up).
    explicit service_iterator(const kpl::guid& class_guid) noexcept;
    // The implementations of a row (null: none).
    explicit service_iterator(const service_class_entry* entry) noexcept : m_entry(entry) {}

    // Takes the next index; when an instance with that index exists it replaces `inout` (releasing the
    // previous object) and answers true. After the last one it answers false and leaves `inout` as it was.
    bool next(service_ref& inout);

private:
    uint32_t m_next_index = 0;
    const service_class_entry* m_entry = nullptr;
};

// Start-up and shut-down of the program's table, driven by the application shell.
namespace service_registry {

service_table& table() noexcept;

// service_table::start over the program's registration list. Called once, after the profile folder and the
// language table exist and before the hidden main-thread window is created.
void start();
// service_table::notify_shutdown: every persistent_state saves (discard false) or discards its data.
void notify_shutdown(bool discard);
// service_table::release.
void release_table() noexcept;
// The services-ready flag; window procedures test it and ignore service-dependent work until it is set.
bool is_running() noexcept;
// Set by the shell for a read-only profile: notify_shutdown then saves nothing.
void set_saving_suppressed(bool suppressed) noexcept;

}  // namespace service_registry
