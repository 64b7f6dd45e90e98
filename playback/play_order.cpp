#include "playback/play_order.h"

#include "foundation/services/service_registry.h"

namespace {

class play_order final : public service_static<play_order_manager_ext> {
public:
    play_order() : m_list(item_enumerator::create_from_list()) {}

    void get_list(item_enumerator_ref& out) override { out = m_list; }
    void set_list(item_enumerator* list) override {
        if (list)
            m_list.assign(list);
        else
            m_list = item_enumerator::create_from_list();
    }
    void get_current(item_cursor_ref& out) override { out = m_current; }
    void set_current(item_cursor* cursor) override { m_current.assign(cursor); }
    bool get_repeat() override { return m_repeat; }
    void set_repeat(bool repeat) override { m_repeat = repeat; }

    bool next(int command, item_cursor_ref& out) override {
        item_cursor_ref p;
        switch (command) {
            case play_order_continue: {
                item_cursor_ref from = m_pending ? m_pending : m_current;
                if (!from) m_list->first(from);
                if (from) from->next(p);
                if (!p && m_repeat) m_list->first(p);
                break;
            }
            case play_order_current:
                p = m_current;
                if (!p) m_list->first(p);
                break;
            case play_order_next:
                if (!m_current) {
                    m_list->first(p);
                } else {
                    m_current->next(p);
                    if (!p && m_repeat) m_list->first(p);
                }
                break;
            case play_order_previous:
                if (!m_current) {
                    m_list->last(p);
                } else {
                    m_current->previous(p);
                    if (!p && m_repeat) m_list->last(p);
                }
                break;
            default:
                out.release();
                return false;
        }
        m_pending = p;
        out = std::move(p);
        return static_cast<bool>(out);
    }

    void set_playing(item_cursor* cursor) override { m_current.assign(cursor); }
    void shut_down() override {
        m_list = item_enumerator::create_from_list();
        m_current.release();
        m_pending.release();
    }

private:
    item_enumerator_ref m_list;  // never null
    item_cursor_ref m_current;
    item_cursor_ref m_pending;
    bool m_repeat = false;
};

service_factory_single<play_order, play_order_manager> g_play_order;

}  // namespace
