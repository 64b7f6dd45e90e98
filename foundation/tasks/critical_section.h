#pragma once
// A Win32 critical section and its scope guard: the program's lock.
//
//   kpl::critical_section g_table_lock;            // may be a static object: usable from construction on
//   void add(int v) {
//       kpl::critical_section_scope lock(g_table_lock);
//       table.append(v);                          // released when `lock` goes, also on an exception
//   }
//
// Re-entrant on one thread, like every Win32 critical section. Never hold one while waiting for another
// thread that may take it.

#include <windows.h>

namespace kpl {

class critical_section {
public:
    critical_section() { InitializeCriticalSection(&m_section); }
    ~critical_section() { DeleteCriticalSection(&m_section); }
    critical_section(const critical_section&) = delete;
    critical_section& operator=(const critical_section&) = delete;

    void enter() { EnterCriticalSection(&m_section); }
    void leave() { LeaveCriticalSection(&m_section); }

private:
    CRITICAL_SECTION m_section;
};

class critical_section_scope {
public:
    explicit critical_section_scope(critical_section& section) : m_section(section) { m_section.enter(); }
    ~critical_section_scope() { m_section.leave(); }
    critical_section_scope(const critical_section_scope&) = delete;
    critical_section_scope& operator=(const critical_section_scope&) = delete;

private:
    critical_section& m_section;
};

}  // namespace kpl
