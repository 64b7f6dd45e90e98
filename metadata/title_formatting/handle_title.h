#pragma once
// Title scripts over track handles: the function "rand" offered to sorts, and sorting lists of handles by
// the text a script makes for each.
//
//     title_script_ref key = title_compile("%album%|%tracknumber%|%title%");
//     handle_list_sort(list, *key);        // ordered by StrCmpLogicalW over " " + each handle's text
//
//     title_script_ref shuffle = title_compile("$rand()");
//     handle_list_sort(list, *shuffle);    // a random order
//
// Ties keep their former order (equal keys are ordered by position), so the result is the same whatever
// the number of threads. Lists of 256 handles or more are formatted on min(count / 128, processors)
// threads; the calling thread is one of them.
//
// Each handle's record is copied under the track-info lock before its script runs, so a handle whose info
// is replaced on another thread (set_info, load_info) while the sort runs is read whole, old or new.

#include <cstdint>

#include "foundation/kpl/ref_list.h"
#include "foundation/services/service_base.h"
#include "metadata/title_formatting/title_provider.h"
#include "metadata/title_formatting/title_script.h"
#include "metadata/track_handle.h"

// Offers the function "rand" (any letter case) and no fields. $rand(n) is a random number below n (0 for
// n = 0; n is the argument's leading decimal digits); $rand() and calls with several arguments a random
// number below 4294967295. The numbers come from the random_source service, made on first use.
class title_rand_provider final : public title_field_provider {
public:
    title_rand_provider() = default;
    title_rand_provider(const title_rand_provider&) = delete;
    title_rand_provider& operator=(const title_rand_provider&) = delete;

    bool get_field(title_output_sink& sink, const char* name, uint32_t name_length, bool& truth) override;
    bool call_function(title_output_sink& sink, const char* name, uint32_t name_length,
                       const title_evaluated_args& args, bool& truth) override;

private:
    service_ref m_random;
};

// Sorts the list by the text `script` makes for each handle (with title_rand_provider asked first, no
// text filter), compared with StrCmpLogicalW after a leading blank; equal texts keep their order.
void handle_list_sort(kpl::ref_list<track_handle_ref>& list, const title_script& script);

// The number of threads that format the keys of a list of `count` handles on `processors` processors:
// 1 below 256 handles, else min(count / 128, processors).
//     handle_list_sort_thread_count(255, 4) == 1;  handle_list_sort_thread_count(256, 4) == 2
uint32_t handle_list_sort_thread_count(uint32_t count, uint32_t processors);

// handle_list_sort with the number of formatting threads given (at least 1; the calling thread is one of
// them). handle_list_sort calls it with handle_list_sort_thread_count(count, kpl::cpu_count()).
void handle_list_sort_on_threads(kpl::ref_list<track_handle_ref>& list, const title_script& script,
                                 uint32_t threads);
