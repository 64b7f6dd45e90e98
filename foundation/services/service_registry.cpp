#include "foundation/services/service_registry.h"

#include "foundation/kpl/sort.h"
#include "foundation/services/persistent_state.h"

namespace {

// The trailing-tag service (APEv2/ID3v1) must be registered exactly once; a program without it, or with two,
// is a damaged installation.
constexpr kpl::guid trailing_tag_io_class_guid = {0xAD537D40, 0x499D, 0x4C29, {0x81, 0xD4, 0xC0, 0xFA, 0x49, 0x6D, 0xD5, 0x8C}};

// Constant-initialised, so records of any translation unit can link themselves during static
// initialisation in any order.
service_factory_list g_registration_list;

service_table g_table;

// The factory array sorted by class GUID through the program's quicksort.
class factory_sorter final : public kpl::sort_callback {
public:
    explicit factory_sorter(kpl::array<service_factory*>& factories) : m_factories(factories) {}
    int compare(size_t i, size_t j) override {
        return kpl::guid_compare(m_factories[i]->class_guid(), m_factories[j]->class_guid());
    }
    void swap(size_t i, size_t j) override { std::swap(m_factories[i], m_factories[j]); }

private:
    kpl::array<service_factory*>& m_factories;
};

}  // namespace

service_factory_list& service_registration_list() noexcept { return g_registration_list; }

void service_table::build(const service_factory_list& list) {
    uint32_t count = 0;
    for (service_factory* f = list.head; f; f = f->next()) ++count;

    kpl::array<service_factory*> factories;
    factories.resize_exact(count);
    uint32_t i = 0;
    for (service_factory* f = list.head; f; f = f->next()) factories[i++] = f;

    factory_sorter sorter(factories);
    kpl::sort(count, sorter);

    uint32_t runs = 0;
    for (i = 0; i < count; ++i) {
        if (i == 0 || !kpl::guid_equal(factories[i]->class_guid(), factories[i - 1]->class_guid())) ++runs;
    }

    kpl::array<service_class_entry> classes;
    classes.resize_exact(runs);
    uint32_t row = 0;
    for (i = 0; i < count;) {
        uint32_t end = i + 1;
        while (end < count && kpl::guid_equal(factories[end]->class_guid(), factories[i]->class_guid())) ++end;
        classes[row].class_guid = factories[i]->class_guid();
        classes[row].factories = factories.data() + i;
        classes[row].count = end - i;
        ++row;
        i = end;
    }

    // Moving an array keeps its block, so the rows' factory pointers stay valid.
    m_factories = std::move(factories);
    m_classes = std::move(classes);
}

void service_table::start(const service_factory_list& list) {
    build(list);
    m_running = true;

    const service_class_entry* tag_io = find(trailing_tag_io_class_guid);
    if (!tag_io || tag_io->count != 1) throw exception_installdamaged();

    service_iterator it(find(persistent_state::class_guid));
    service_ref state;
    while (it.next(state)) state.as<persistent_state>()->on_startup();
}

void service_table::notify_shutdown(bool discard) {
    if (m_saving_suppressed) return;
    service_iterator it(find(persistent_state::class_guid));
    service_ref state;
    while (it.next(state)) state.as<persistent_state>()->on_shutdown(discard);
}

void service_table::release() noexcept {
    m_running = false;
    m_classes.clear();
    m_factories.clear();
}

const service_class_entry* service_table::find(const kpl::guid& class_guid) const noexcept {
    uint32_t lo = 0, hi = m_classes.count();
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        int order = kpl::guid_compare(m_classes[mid].class_guid, class_guid);
        if (order < 0) {
            lo = mid + 1;
        } else if (order > 0) {
            hi = mid;
        } else {
            return &m_classes[mid];
        }
    }
    return nullptr;
}

void service_table::get_single(service_ref& out, const kpl::guid& class_guid) const {
    const service_class_entry* entry = find(class_guid);
    if (!entry || entry->count == 0) throw exception_service_not_found();
    if (entry->count > 1) throw exception_service_duplicated();
    entry->factories[0]->create_instance(out);
}

namespace service_class {

const service_class_entry* find(const kpl::guid& class_guid) noexcept { return g_table.find(class_guid); }

bool create_instance(const service_class_entry* entry, uint32_t index, service_ref& out) {
    if (!entry || index >= entry->count) return false;
    entry->factories[index]->create_instance(out);
    return true;
}

void get_single(service_ref& out, const kpl::guid& class_guid) { g_table.get_single(out, class_guid); }

void create_nth(service_ref& out, const service_class_entry* entry, uint32_t index) {
    if (!create_instance(entry, index, out)) throw kpl::exception_bug_check_v2("Bug check");
}

}  // namespace service_class

service_iterator::service_iterator(const kpl::guid& class_guid) noexcept : m_entry(g_table.find(class_guid)) {}

bool service_iterator::next(service_ref& inout) {
    uint32_t index = m_next_index++;
    if (!m_entry || index >= m_entry->count) return false;
    m_entry->factories[index]->create_instance(inout);
    return true;
}

namespace service_registry {

service_table& table() noexcept { return g_table; }
void start() { g_table.start(g_registration_list); }
void notify_shutdown(bool discard) { g_table.notify_shutdown(discard); }
void release_table() noexcept { g_table.release(); }
bool is_running() noexcept { return g_table.is_running(); }
void set_saving_suppressed(bool suppressed) noexcept { g_table.set_saving_suppressed(suppressed); }

}  // namespace service_registry
