// Sorting browse texts by logical comparison, large lists in parts on worker threads.
#include "library/logical_sort.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <memory>

#include "foundation/tasks/thread.h"

namespace {

// Below this many texts a list is sorted on the calling thread: starting a worker costs more.
constexpr size_t k_part_minimum = 2048;
constexpr unsigned k_parts_maximum = 4;

struct logical_less {
    bool operator()(const list_text& a, const list_text& b) const { return list_text_compare_logical(a, b) < 0; }
};

using iterator = std::vector<list_text>::iterator;

// Merges the sorted ranges [first, middle) and [middle, last) in place, through `scratch`, which holds
// room for them all already (so that nothing here can throw on a worker thread).
void merge_runs(iterator first, iterator middle, iterator last, std::vector<list_text>& scratch) {
    scratch.clear();
    std::merge(std::make_move_iterator(first), std::make_move_iterator(middle), std::make_move_iterator(middle),
               std::make_move_iterator(last), std::back_inserter(scratch), logical_less());
    std::move(scratch.begin(), scratch.end(), first);
}

// A worker compares as the thread that started it does: the logical comparison follows the thread's locale.
class comparing_thread : public kpl::thread {
protected:
    comparing_thread() : m_locale(GetThreadLocale()) {}
    void body() override {
        SetThreadLocale(m_locale);
        run();
    }
    virtual void run() = 0;

private:
    LCID m_locale;
};

// One part of the list, sorted on a worker thread.
class part_sorter final : public comparing_thread {
public:
    part_sorter(iterator first, iterator last) : m_first(first), m_last(last) {}
    ~part_sorter() override { wait_and_close(); }
    void run() override { std::sort(m_first, m_last, logical_less()); }

private:
    iterator m_first, m_last;
};

// Two neighbouring sorted runs, merged on a worker thread.
class pair_merger final : public comparing_thread {
public:
    pair_merger(iterator first, iterator middle, iterator last) : m_first(first), m_middle(middle), m_last(last) {
        m_scratch.reserve(static_cast<size_t>(last - first));
    }
    ~pair_merger() override { wait_and_close(); }
    void run() override { merge_runs(m_first, m_middle, m_last, m_scratch); }

private:
    iterator m_first, m_middle, m_last;
    std::vector<list_text> m_scratch;
};

unsigned processor_count() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
}

}  // namespace

void sort_logical(std::vector<list_text>& texts) {
    sort_logical(texts, std::min(processor_count(), k_parts_maximum));
}

void sort_logical(std::vector<list_text>& texts, unsigned parts) {
    const size_t n = texts.size();
    parts = static_cast<unsigned>(std::min<size_t>(std::max(parts, 1u), std::max<size_t>(n / k_part_minimum, 1)));
    if (parts <= 1) {
        std::sort(texts.begin(), texts.end(), logical_less());
        return;
    }
    std::vector<iterator> bounds;
    for (unsigned i = 0; i <= parts; ++i) bounds.push_back(texts.begin() + static_cast<std::ptrdiff_t>(n * i / parts));

    // Parts 1.. on workers, part 0 here. A worker that cannot be started leaves its part to this thread.
    std::vector<std::unique_ptr<part_sorter>> sorters;
    std::vector<size_t> left_here;
    for (unsigned i = 1; i < parts; ++i) {
        std::unique_ptr<part_sorter> sorter(new part_sorter(bounds[i], bounds[i + 1]));
        try {
            sorter->start();
            sorters.push_back(std::move(sorter));
        } catch (const kpl::thread::exception_creation&) {
            left_here.push_back(i);
        }
    }
    std::sort(bounds[0], bounds[1], logical_less());
    for (size_t i : left_here) std::sort(bounds[i], bounds[i + 1], logical_less());
    for (auto& sorter : sorters) sorter->wait_and_close();

    // Neighbouring runs merged pairwise, the pairs of a round side by side, until one run is left.
    std::vector<list_text> scratch;
    scratch.reserve(n);
    while (bounds.size() > 2) {
        std::vector<iterator> next;
        std::vector<std::unique_ptr<pair_merger>> mergers;
        size_t i = 0;
        for (; i + 2 < bounds.size(); i += 2) {
            next.push_back(bounds[i]);
            if (i == 0) continue;  // the first pair of a round is merged here, below
            std::unique_ptr<pair_merger> merger(new pair_merger(bounds[i], bounds[i + 1], bounds[i + 2]));
            try {
                merger->start();
            } catch (const kpl::thread::exception_creation&) {
                merger->run();
                continue;
            }
            mergers.push_back(std::move(merger));
        }
        merge_runs(bounds[0], bounds[1], bounds[2], scratch);
        if (i + 1 < bounds.size()) next.push_back(bounds[i]);  // an odd run left over goes on as it is
        next.push_back(bounds.back());
        for (auto& merger : mergers) merger->wait_and_close();
        bounds.swap(next);
    }
}
