#pragma once
// The named map instances over kpl::avl_tree.
//
//     kpl::string_map<int> counts;            // UTF-8 keys in byte order (bytes as unsigned)
//     counts.set("rock", 3);
//     int* n = counts.find_value("rock");     // 3; null for a missing key
//
//     kpl::guid_map<config_variable*> vars;   // GUID keys in kpl::guid_compare order (memory bytes)
//     kpl::pointer_map<timer_entry> timers;   // keys are addresses

#include "foundation/kpl/avl_tree.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/kpl/text_compare.h"

namespace kpl {

struct guid_key_compare {
    int operator()(const guid& a, const guid& b) const { return guid_compare(a, b); }
};

template <class Value>
using string_map = avl_map<utf8_string_tight, Value, string_compare>;

template <class Value>
using guid_map = avl_map<guid, Value, guid_key_compare>;

template <class Value>
using pointer_map = avl_map<const void*, Value, avl_pointer_compare>;

}  // namespace kpl
