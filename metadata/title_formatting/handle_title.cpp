// The title-formatting operations of track handles, the function "rand" and the sort of handle lists.
#include "metadata/title_formatting/handle_title.h"

#include <windows.h>
#include <shlwapi.h>
#include <x86intrin.h>

#include <exception>
#include <new>

#include "foundation/kpl/array.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/number_parse.h"
#include "foundation/kpl/sort.h"
#include "foundation/kpl/utf8.h"
#include "foundation/tasks/random_source.h"
#include "foundation/tasks/thread.h"
#include "metadata/title_formatting/title_field_source.h"

// ---- track handle operations ----

bool track_handle::format_title(title_field_provider* extra, kpl::utf8_string& output, const title_script& script,
                                title_text_filter* filter) const {
    track_info_lock_scope lock;
    return format_title_nolock(extra, output, script, filter);
}

void track_handle::format_title_from(const browse_fields& record, title_field_provider* extra,
                                     kpl::utf8_string& output, const title_script& script,
                                     title_text_filter* filter) const {
    track_info_lock_scope lock;
    format_title_from_nolock(record, extra, output, script, filter);
}

bool track_handle::format_title_nolock(title_field_provider* extra, kpl::utf8_string& output,
                                       const title_script& script, title_text_filter* filter) const {
    const bool has = m_has_info;
    format_title_from_nolock(m_record, extra, output, script, filter);
    return has;
}

void track_handle::format_title_from_nolock(const browse_fields& record, title_field_provider* extra,
                                            kpl::utf8_string& output, const title_script& script,
                                            title_text_filter* filter) const {
    handle_field_provider fields(record, m_location);
    if (extra) {
        title_provider_chain chain(*extra, fields);
        script.run(&chain, output, filter);
    } else {
        script.run(&fields, output, filter);
    }
}

// ---- rand ----

bool title_rand_provider::get_field(title_output_sink&, const char*, uint32_t, bool&) { return false; }

bool title_rand_provider::call_function(title_output_sink& sink, const char* name, uint32_t name_length,
                                        const title_evaluated_args& args, bool& truth) {
    if (!title_name_equals(name, name_length, "rand")) return false;
    uint32_t limit = 0xFFFFFFFF;
    if (args.count() == 1) {
        const char* text;
        uint32_t length;
        args.get(0, text, length);
        limit = kpl::parse_uint_prefix(text, length);
    }
    uint64_t value = 0;
    if (limit != 0) {
        if (m_random.is_empty()) {
            m_random = random_source::create();
            m_random.as<random_source>()->reseed(static_cast<uint32_t>(__rdtsc()));
        }
        value = m_random.as<random_source>()->next(limit);
    }
    store_uint64_with_key(sink, static_cast<int64_t>(value));
    truth = true;
    return true;
}

// ---- sorting ----

uint32_t handle_list_sort_thread_count(uint32_t count, uint32_t processors) {
    if (count < 256) return 1;
    uint32_t threads = count / 128;
    if (processors < threads) threads = processors;
    return threads ? threads : 1;
}

namespace {

// The shared state of one sort: handles and their keys by former position, and the next position to take.
struct sort_job {
    const title_script& script;
    const kpl::array<track_handle_ref>& handles;
    kpl::array<kpl::wide_array>& keys;
    volatile long next;
};

// Formats keys until the positions run out. The record is copied under the track-info lock first: another
// thread may replace (and free) a handle's record at any time, and the script then runs on the copy.
void format_keys(sort_job& job, std::exception_ptr& failure) noexcept {
    const long count = static_cast<long>(job.handles.count());
    try {
        title_rand_provider rand;
        browse_fields_builder record;
        kpl::utf8_string_pow2 text;
        for (;;) {
            const long i = __atomic_fetch_add(&job.next, 1, __ATOMIC_ACQ_REL);
            if (i >= count) break;
            const track_handle& handle = *job.handles[static_cast<uint32_t>(i)];
            if (!handle.copy_browse_fields(record)) {
                record.clear();
                record.length = 0;
            }
            handle.format_title_from_nolock(record, &rand, text, job.script, nullptr);
            kpl::wide_array& key = job.keys[static_cast<uint32_t>(i)];
            const size_t units = kpl::utf16_length_of_utf8_counted(text.c_str(), text.length());
            key.set_count(static_cast<uint32_t>(units + 1));
            key[0] = L' ';
            kpl::utf8_to_utf16_counted(key.data() + 1, units, text.c_str(), text.length());
        }
    } catch (...) {
        failure = std::current_exception();
        // The others stop at their next step.
        __atomic_store_n(&job.next, count, __ATOMIC_RELEASE);
    }
}

class sort_worker final : public kpl::thread {
public:
    explicit sort_worker(sort_job& job) : m_job(job) {}
    ~sort_worker() override { wait_and_close(); }

    std::exception_ptr failure;

private:
    void body() override { format_keys(m_job, failure); }

    sort_job& m_job;
};

}  // namespace

void handle_list_sort_on_threads(kpl::ref_list<track_handle_ref>& list, const title_script& script,
                                 uint32_t threads) {
    const uint32_t count = list.count();
    if (count < 2) return;
    kpl::array<track_handle_ref> handles;
    handles.resize_exact(count);
    for (uint32_t i = 0; i < count; ++i) list.get_item(i, handles[i]);
    kpl::array<kpl::wide_array> keys;
    keys.resize_exact(count);

    sort_job job{script, handles, keys, 0};

    kpl::array<sort_worker*> workers;
    std::exception_ptr failure;
    {
        struct worker_cleanup {
            sort_job& job;
            kpl::array<sort_worker*>& workers;
            ~worker_cleanup() {
                // Leaving early (a failure while starting threads) stops the workers at their next step.
                __atomic_store_n(&job.next, static_cast<long>(job.handles.count()), __ATOMIC_RELEASE);
                for (sort_worker* w : workers) delete w;  // each waits for its thread
            }
        } cleanup{job, workers};

        const int priority = GetThreadPriority(GetCurrentThread());
        for (uint32_t t = 1; t < threads; ++t) {
            workers.append(nullptr);
            sort_worker* worker = new (std::nothrow) sort_worker(job);
            if (!worker) break;
            workers[workers.count() - 1] = worker;
            try {
                worker->start(priority == THREAD_PRIORITY_ERROR_RETURN ? THREAD_PRIORITY_NORMAL : priority);
            } catch (const kpl::thread::exception_creation&) {
                // Fewer threads: the calling thread takes the rest.
                break;
            }
        }
        format_keys(job, failure);
        for (sort_worker* w : workers) {
            w->wait_and_close();
            if (!failure && w->failure) failure = w->failure;
        }
    }
    if (failure) std::rethrow_exception(failure);

    kpl::array<uint32_t> order;
    order.resize_exact(count);
    for (uint32_t i = 0; i < count; ++i) order[i] = i;
    kpl::sort_with(
        count,
        [&](size_t a, size_t b) {
            const uint32_t x = order[static_cast<uint32_t>(a)], y = order[static_cast<uint32_t>(b)];
            const int c = StrCmpLogicalW(keys[x].c_str(), keys[y].c_str());
            if (c != 0) return c < 0 ? -1 : 1;
            return kpl::compare_values(x, y);
        },
        [&](size_t a, size_t b) {
            const uint32_t t = order[static_cast<uint32_t>(a)];
            order[static_cast<uint32_t>(a)] = order[static_cast<uint32_t>(b)];
            order[static_cast<uint32_t>(b)] = t;
        });
    keys.clear();
    for (uint32_t i = 0; i < count; ++i) list.set_item(i, handles[order[i]]);
}

void handle_list_sort(kpl::ref_list<track_handle_ref>& list, const title_script& script) {
    handle_list_sort_on_threads(list, script, handle_list_sort_thread_count(list.count(), kpl::cpu_count()));
}
