#include "library/pending_files.h"

void pending_files::add(std::string_view path, uint32_t delay_ms, uint32_t now) {
    auto it = m_entries.find(path);
    if (it == m_entries.end()) {
        m_entries.emplace(std::string(path), entry{now, delay_ms});
    } else {
        it->second.time = now;
        it->second.delay = delay_ms;
    }
}

void pending_files::remove(std::string_view path) {
    auto it = m_entries.find(path);
    if (it != m_entries.end()) m_entries.erase(it);
}

bool pending_files::find(std::string_view path, uint32_t& time, uint32_t& delay) const {
    auto it = m_entries.find(path);
    if (it == m_entries.end()) return false;
    time = it->second.time;
    delay = it->second.delay;
    return true;
}

uint32_t pending_files::next_delay(uint32_t delay) {
    uint64_t next = static_cast<uint64_t>(delay) + (delay > 3 ? delay / 2 : 1);
    if (next < 250) next = 250;
    if (next > 666000) next = 666000;
    return static_cast<uint32_t>(next);
}

void pending_files::pass(pass_host& host) {
    {
        std::vector<std::string_view> due;
        const uint32_t now = host.now();
        for (const auto& e : m_entries)
            if (now - e.second.time >= e.second.delay) due.push_back(e.first);
        if (!due.empty()) host.before_pass(due);
    }
    // Walked by key, so that a refresh that changes the map never leaves a dangling position.
    std::string key;
    bool first = true;
    for (;;) {
        auto it = first ? m_entries.begin() : m_entries.upper_bound(key);
        first = false;
        if (it == m_entries.end()) break;
        key = it->first;
        host.check_abort();
        const uint32_t now = host.now();
        if (now - it->second.time < it->second.delay) continue;
        if (host.refresh(key.c_str())) {
            m_entries.erase(key);
            host.after_refresh();
        } else {
            auto again = m_entries.find(key);
            if (again != m_entries.end()) {
                again->second.time = host.now();
                again->second.delay = next_delay(again->second.delay);
            }
        }
    }
}
