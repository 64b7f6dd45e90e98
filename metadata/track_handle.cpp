#include "metadata/track_handle.h"

#include <vector>

#include "foundation/kpl/avl_tree.h"
#include "foundation/kpl/bit_array.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/critical_section.h"
#include "metadata/text_crc.h"

namespace {

// A handle's identity: its path (letter case counts), its CRC-32 and its subsong.
struct handle_key {
    const char* path;
    uint32_t crc;
    uint32_t subsong;

    bool operator==(const handle_key& other) const {
        return crc == other.crc && subsong == other.subsong && kpl::strcmp(path, other.path) == 0;
    }
};

handle_key key_of(const track_location& location) {
    return handle_key{location.get_path(), utf8_crc32(location.get_path()), location.get_subsong()};
}

}  // namespace

// A handle as the map keeps it: the handle with its key (which points at the handle's own path text) and
// the next handle of its bucket.
class track_handle_node final : public track_handle {
public:
    track_handle_node(const track_location& location, const handle_key& key) : track_handle(location) {
        this->key = handle_key{get_location().get_path(), key.crc, key.subsong};
    }
    ~track_handle_node() = default;

    handle_key key;
    track_handle_node* next = nullptr;
};

namespace {

// The handles by key: a table of buckets chained through the handles, indexed by the path's CRC-32 (which
// spreads paths well), doubled when it holds more handles than buckets. A library of 100,000 tracks makes
// that many handles at start-up, so finding a key costs one bucket and its few handles, not a walk
// through a tree of scattered nodes.
class handle_table {
public:
    ~handle_table() { clear(); }

    // The handle of `key`, made by `make` when there is none.
    template <class Make>
    track_handle_node* find_or_insert(const handle_key& key, Make make) {
        if (!m_buckets.empty())
            for (track_handle_node* node = m_buckets[key.crc & m_mask]; node; node = node->next)
                if (node->key == key) return node;
        if (m_count >= m_buckets.size()) grow();
        track_handle_node* node = make();
        track_handle_node*& head = m_buckets[node->key.crc & m_mask];
        node->next = head;
        head = node;
        ++m_count;
        return node;
    }

    // Unlinks `node`, which the table holds.
    void remove(track_handle_node* node) {
        for (track_handle_node** link = &m_buckets[node->key.crc & m_mask]; *link; link = &(*link)->next)
            if (*link == node) {
                *link = node->next;
                node->next = nullptr;
                --m_count;
                return;
            }
    }

    void clear() {
        for (track_handle_node*& head : m_buckets)
            while (track_handle_node* node = head) {
                head = node->next;
                delete node;
            }
        m_count = 0;
    }

    uint32_t count() const { return m_count; }

private:
    // Doubles the buckets (256 at first) and moves every handle to its new bucket. Throws only before
    // anything moved.
    void grow() {
        std::vector<track_handle_node*> buckets(m_buckets.empty() ? 256 : m_buckets.size() * 2, nullptr);
        const uint32_t mask = static_cast<uint32_t>(buckets.size() - 1);
        for (track_handle_node* head : m_buckets)
            while (track_handle_node* node = head) {
                head = node->next;
                node->next = buckets[node->key.crc & mask];
                buckets[node->key.crc & mask] = node;
            }
        m_buckets.swap(buckets);
        m_mask = mask;
    }

    std::vector<track_handle_node*> m_buckets;
    uint32_t m_mask = 0;
    uint32_t m_count = 0;
};

}  // namespace

// The map and the two locks of all handles.
class track_handle_map final : public track_handle_registry {
public:
    track_handle_map() = default;
    ~track_handle_map() {
        kpl::critical_section_scope lock(m_map_lock);
        m_table.clear();
    }

    uint32_t release() override { return 1; }
    uint32_t add_ref() override { return 1; }
    bool query(service_ref& out, const kpl::guid& interface_guid) override {
        if (interface_guid != class_guid) return false;
        out.assign(this);
        return true;
    }

    void lock_info() override { m_info_lock.enter(); }
    void unlock_info() override { m_info_lock.leave(); }

    void get_handle(track_handle_ref& out, const track_location& location) override {
        const handle_key key = key_of(location);
        track_handle_node* handle;
        {
            kpl::critical_section_scope lock(m_map_lock);
            handle = m_table.find_or_insert(key, [&]() { return new track_handle_node(location, key); });
            ++handle->m_count;
        }
        out = track_handle_ref::adopt(handle);  // releases what `out` held, outside the map lock
    }

    // track_handle::release: under the map lock the count goes down; the last release unlinks the
    // handle, which is then destroyed outside the lock.
    uint32_t release_handle(track_handle& handle) {
        track_handle_node* doomed = nullptr;
        uint32_t left;
        {
            kpl::critical_section_scope lock(m_map_lock);
            left = --handle.m_count;
            if (left == 0) {
                doomed = static_cast<track_handle_node*>(&handle);
                m_table.remove(doomed);
            }
        }
        delete doomed;
        return left;
    }

    uint32_t add_ref_handle(track_handle& handle) {
        kpl::critical_section_scope lock(m_map_lock);
        return ++handle.m_count;
    }

    uint32_t reference_count(const track_handle& handle) {
        kpl::critical_section_scope lock(m_map_lock);
        return handle.m_count;
    }

    uint32_t count() {
        kpl::critical_section_scope lock(m_map_lock);
        return m_table.count();
    }

    kpl::critical_section& info_lock() { return m_info_lock; }

private:
    kpl::critical_section m_map_lock;
    kpl::critical_section m_info_lock;
    handle_table m_table;
};

namespace {

track_handle_map& the_map() {
    static track_handle_map map;
    return map;
}

// Built during static initialisation, before any thread but the main one runs.
const bool g_map_ready = (the_map(), true);

// Registers the map as the service of its class.
class registry_factory final : public service_factory {
public:
    registry_factory() noexcept : service_factory(track_handle_registry::class_guid, service_registration_list()) {}
    void create_instance(service_ref& out) override { out.assign(&the_map()); }
};
registry_factory g_registry_factory;

}  // namespace

track_handle_registry& track_handle_registry::get() { return the_map(); }

uint32_t track_handle_registry::handle_count() { return the_map().count(); }

// ---- track_handle -------------------------------------------------------------------------------------

track_handle::track_handle(const track_location& location) : m_location(location) {}

uint32_t track_handle::release() { return the_map().release_handle(*this); }

uint32_t track_handle::add_ref() { return the_map().add_ref_handle(*this); }

bool track_handle::query(service_ref& out, const kpl::guid& guid) {
    if (guid != interface_guid && guid != interface_guid_v2) return false;
    out.assign(this);
    return true;
}

void track_handle::lock_info() { the_map().lock_info(); }

void track_handle::unlock_info() { the_map().unlock_info(); }

bool track_handle::has_info() const {
    kpl::critical_section_scope lock(the_map().info_lock());
    return m_has_info;
}

bool track_handle::copy_browse_fields(browse_fields& out) const {
    kpl::critical_section_scope lock(the_map().info_lock());
    if (!m_has_info) return false;
    if (&out != &m_record) {
        out.copy_from(m_record);
        out.length = m_record.length;
    }
    return true;
}

bool track_handle::get_browse_fields(const browse_fields_packed*& out) const {
    if (!m_has_info) return false;
    out = &m_record;
    return true;
}

bool track_handle::replace_rule(uint64_t stored_stamp, uint64_t new_stamp, uint64_t override_time) {
    if (new_stamp == 0) return false;
    if (stored_stamp == 0 || new_stamp > stored_stamp) return true;
    return new_stamp < stored_stamp && override_time != 0 && override_time > stored_stamp;
}

bool track_handle::set_info(const browse_fields& record, uint64_t new_stamp, uint64_t override_time, bool force) {
    kpl::critical_section_scope lock(the_map().info_lock());
    if (m_has_info && !force && !replace_rule(m_file_stamp, new_stamp, override_time)) return false;
    if (&record != &m_record) {
        m_record.copy_from(record);  // all or nothing: a failure leaves the old record and stamp
        m_record.length = record.length;
    }
    if (new_stamp != 0) m_file_stamp = new_stamp;
    m_has_info = true;
    return true;
}

bool track_handle::load_info(uint64_t new_stamp, byte_source& source, const abort_signal& abort) {
    if (m_has_info && !replace_rule(m_file_stamp, new_stamp, 0)) {
        browse_fields::skip(source, abort);
        return false;
    }
    // Read aside: a malformed or cut record must not wipe the texts of a handle that keeps counting as
    // having info.
    browse_fields_packed fresh;
    fresh.read(source, abort);
    kpl::critical_section_scope lock(the_map().info_lock());
    m_record.swap(fresh);
    m_file_stamp = new_stamp;
    m_has_info = true;
    return true;
}

bool track_handle::is_sole_reference() const { return the_map().reference_count(*this) == 1; }

float track_handle::get_length(const track_handle& handle) {
    kpl::critical_section_scope lock(the_map().info_lock());
    return handle.m_has_info ? handle.m_record.length : 0.0f;
}

bool track_handle::info_is_stale(const track_handle& handle, uint64_t file_stamp, bool exact) {
    kpl::critical_section_scope lock(the_map().info_lock());
    if (!handle.m_has_info) return true;
    if (file_stamp == 0) return exact;
    return exact ? handle.m_file_stamp != file_stamp : handle.m_file_stamp < file_stamp;
}

void track_handle::location_text(const track_handle* handle, kpl::utf8_string& out) {
    if (!handle) {
        out.assign("[invalid location]");
        return;
    }
    format_location_text(handle->get_location(), out);
}

// ---- lists --------------------------------------------------------------------------------------------

void handle_list_remove_duplicates(kpl::ref_list<track_handle_ref>& list) {
    const uint32_t n = list.count();
    if (n < 2) return;
    list.sort([](const track_handle_ref& a, const track_handle_ref& b) { return kpl::compare_pointers(a.get(), b.get()); });
    track_handle_ref previous = list.get_item(0);
    kpl::bit_array keep(n);
    keep.set(0, true);
    bool repeated = false;
    for (uint32_t i = 1; i < n; ++i) {
        track_handle_ref item = list.get_item(i);
        if (item == previous) {
            repeated = true;
        } else {
            keep.set(i, true);
        }
        previous = item;
    }
    if (repeated) list.filter_by_mask(keep);
}
