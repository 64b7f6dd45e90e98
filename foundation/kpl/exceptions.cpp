#include "foundation/kpl/exceptions.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kpl {

struct exception_message::block {
    std::atomic<uint32_t> count;
    char text[1];
};

exception_message::exception_message(const char* text) noexcept
    : exception_message(text, text ? static_cast<uint32_t>(std::strlen(text)) : 0) {}

exception_message::exception_message(const char* text, uint32_t length) noexcept {
    if (!text || length == 0) return;  // "" needs no block
    if (length > 0x7FFFFFF0) return;
    void* memory = std::malloc(sizeof(block) + length);
    if (!memory) return;  // building an exception never fails: what() reads ""
    m_block = new (memory) block;
    m_block->count.store(1, std::memory_order_relaxed);
    std::memcpy(m_block->text, text, length);
    m_block->text[length] = 0;
}

exception_message::exception_message(const exception_message& other) noexcept : m_block(other.m_block) {
    if (m_block) m_block->count.fetch_add(1, std::memory_order_relaxed);
}

exception_message& exception_message::operator=(const exception_message& other) noexcept {
    if (other.m_block) other.m_block->count.fetch_add(1, std::memory_order_relaxed);
    block* old = m_block;
    m_block = other.m_block;
    if (old && old->count.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        old->~block();
        std::free(old);
    }
    return *this;
}

exception_message::~exception_message() {
    if (m_block && m_block->count.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        m_block->~block();
        std::free(m_block);
    }
}

const char* exception_message::c_str() const noexcept { return m_block ? m_block->text : ""; }

void throw_overflow() { throw exception_overflow(); }
void throw_bad_alloc() { throw bad_allocation(); }
void bug_check() { throw exception_bug_check(); }

void crash() noexcept {
    RaiseException(crash_exception_code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    // Not reached: a non-continuable exception cannot resume here.
    TerminateProcess(GetCurrentProcess(), crash_exception_code);
    for (;;) Sleep(INFINITE);
}

}  // namespace kpl
