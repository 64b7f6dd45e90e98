#include "shell/main_thread_queue.h"

#include <new>

#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"
#include "shell/app_state.h"

namespace {

struct queue_node {
    queue_node* previous;
    queue_node* next;
    service_ptr<main_thread_callback> callback;
};

class callback_queue final : public service_static<main_thread_queue> {
public:
    callback_queue() noexcept { InitializeCriticalSection(&m_lock); }
    ~callback_queue() {
        // Callbacks that never ran are released without running.
        while (m_head) {
            queue_node* node = m_head;
            m_head = node->next;
            delete node;
        }
        DeleteCriticalSection(&m_lock);
    }

    void add(main_thread_callback* callback) override {
        queue_node* node = new (std::nothrow) queue_node{nullptr, nullptr, {}};
        if (!node) kpl::throw_bad_alloc();
        node->callback.assign(callback);
        EnterCriticalSection(&m_lock);
        node->previous = m_tail;
        if (m_tail) {
            m_tail->next = node;
        } else {
            m_head = node;
        }
        m_tail = node;
        ++m_count;
        LeaveCriticalSection(&m_lock);
        PostMessageW(app_state.hidden_window, main_thread_queue_message, main_thread_queue_wparam,
                     main_thread_queue_lparam);
    }

    void drain(bool all) {
        main_thread::assert_current();
        EnterCriticalSection(&m_lock);
        uint32_t n = m_count;
        LeaveCriticalSection(&m_lock);
        if (n == 0) return;
        for (;;) {
            service_ptr<main_thread_callback> callback;
            EnterCriticalSection(&m_lock);
            queue_node* node = m_head;
            if (node) {
                m_head = node->next;
                if (m_head) {
                    m_head->previous = nullptr;
                } else {
                    m_tail = nullptr;
                }
                --m_count;
            }
            LeaveCriticalSection(&m_lock);
            if (!node) return;
            callback = std::move(node->callback);
            delete node;
            callback->run();
            if (!all && --n == 0) return;
        }
    }

    uint32_t pending() noexcept {
        EnterCriticalSection(&m_lock);
        uint32_t n = m_count;
        LeaveCriticalSection(&m_lock);
        return n;
    }

private:
    CRITICAL_SECTION m_lock;
    queue_node* m_head = nullptr;
    queue_node* m_tail = nullptr;
    uint32_t m_count = 0;
};

service_factory_single<callback_queue, main_thread_queue> g_queue;

}  // namespace

void main_thread_queue::post(main_thread_callback* callback) {
    g_queue.instance().add_ref();
    g_queue.instance().add(callback);
    g_queue.instance().release();
}

void main_thread_queue::drain(bool all) { g_queue.instance().drain(all); }

uint32_t main_thread_queue::pending() noexcept { return g_queue.instance().pending(); }
