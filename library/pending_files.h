#pragma once
// pending_files: the files a directory monitor is to read, each once it has been quiet for its delay, with
// back-off for files that another program keeps locked.
//
//     pending_files pending;
//     pending.add("Rock\\a.flac", 250, now);          // a change: read 250 ms after the last one
//     pending.add("Rock\\a.flac", 250, now + 100);    // changed again: the wait starts anew
//     pending.pass(now + 349, host);                  // not yet due
//     pending.pass(now + 350, host);                  // host.refresh("Rock\\a.flac"): true, the entry goes
//     // refresh answering false (locked): the entry stays, tried again after 375, 562, 843 ... ms
//
// Paths are relative to the watched folder and ordered by their bytes; a pass visits them in that order.
// Times are tick counts in milliseconds (wrapping arithmetic).

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class pending_files {
public:
    class pass_host {
    public:
        // The clock (read before each entry).
        virtual uint32_t now() = 0;
        // Throws when the work is to stop (checked before each entry).
        virtual void check_abort() = 0;
        // Reads the file; false when it is locked and is to be tried later.
        virtual bool refresh(const char* path) = 0;
        // After each successful refresh.
        virtual void after_refresh() {}
        // Before the visits: the paths due at the pass's start, in the order they will be visited (the
        // views last until the call returns).
        virtual void before_pass(const std::vector<std::string_view>& due) { (void)due; }

    protected:
        ~pass_host() = default;
    };

    // Queues a path, or gives a queued one the new time and delay.
    void add(std::string_view path, uint32_t delay_ms, uint32_t now);
    void remove(std::string_view path);
    void clear() { m_entries.clear(); }
    bool empty() const { return m_entries.empty(); }
    uint32_t count() const { return static_cast<uint32_t>(m_entries.size()); }
    // The delay of a queued path into `out`; false when it is not queued.
    bool find(std::string_view path, uint32_t& time, uint32_t& delay) const;

    // Visits the entries in path order; each whose delay has passed is refreshed: it leaves on success,
    // and on failure waits again from now with the next delay. The host hears first which entries are
    // due at the start.
    void pass(pass_host& host);

    // The wait after a failed try that waited `delay`: delay + (delay > 3 ? delay / 2 : 1), kept within
    // 250 .. 666000 ms.
    static uint32_t next_delay(uint32_t delay);

private:
    struct entry {
        uint32_t time;
        uint32_t delay;
    };
    std::map<std::string, entry, std::less<>> m_entries;
};
