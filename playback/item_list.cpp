#include "playback/item_list.h"

namespace {

// The plain list: a copy of the handle array, never changed after creation.
class plain_list final : public service_counted<item_enumerator> {
public:
    explicit plain_list(const kpl::ref_array& handles) { m_handles.assign_from(handles); }

    void first(item_cursor_ref& out) override { cursor_at(0, out); }
    void last(item_cursor_ref& out) override {
        const uint32_t n = m_handles.count();
        if (n == 0) {
            out.release();
            return;
        }
        cursor_at(n - 1, out);
    }
    void find(item_cursor_ref& out, const track_handle* handle) override {
        if (handle != nullptr) {
            const uint32_t n = m_handles.count();
            for (uint32_t i = 0; i < n; ++i) {
                if (m_handles[i].get() == static_cast<const service_object*>(handle)) {
                    cursor_at(i, out);
                    return;
                }
            }
        }
        out.release();
    }

    uint32_t count() const { return m_handles.count(); }
    track_handle* handle_at(uint32_t index) const { return m_handles[index].as<track_handle>(); }

    // A new cursor on `index` into `out`; null when the index is past the end.
    void cursor_at(uint32_t index, item_cursor_ref& out);

private:
    kpl::ref_array m_handles;
};

class plain_cursor final : public service_counted<item_cursor> {
public:
    plain_cursor(plain_list* list, uint32_t index) : m_list(list), m_index(index) { m_list->add_ref(); }
    ~plain_cursor() override { m_list->release(); }

    void get_handle(track_handle_ref& out) override { out = m_list->handle_at(m_index); }
    void previous(item_cursor_ref& out) override {
        if (m_index == 0) {
            out.release();
            return;
        }
        m_list->cursor_at(m_index - 1, out);
    }
    void next(item_cursor_ref& out) override {
        if (m_index + 1 >= m_list->count()) {
            out.release();
            return;
        }
        m_list->cursor_at(m_index + 1, out);
    }

private:
    plain_list* m_list;  // counted
    uint32_t m_index;
};

void plain_list::cursor_at(uint32_t index, item_cursor_ref& out) {
    if (index >= m_handles.count()) {
        out.release();
        return;
    }
    item_cursor* made = new plain_cursor(this, index);
    out.assign(made);
    made->release();
}

}  // namespace

void item_enumerator::find(item_cursor_ref& out, const track_handle* handle) {
    item_cursor_ref at;
    if (handle != nullptr) first(at);
    while (at) {
        track_handle_ref held;
        at->get_handle(held);
        if (held.get() == handle) {
            out = std::move(at);
            return;
        }
        item_cursor_ref after;
        at->next(after);
        at = std::move(after);
    }
    out.release();
}

item_enumerator_ref item_enumerator::create(const kpl::ref_array& handles) {
    item_enumerator* made = new plain_list(handles);
    item_enumerator_ref out(made);
    made->release();
    return out;
}

item_enumerator_ref item_enumerator::create_from_list() { return create(kpl::ref_array()); }
