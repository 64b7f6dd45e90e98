#include "properties/field_value_history.h"

namespace {

kpl::critical_section g_history_lock;

}  // namespace

kpl::critical_section& field_value_history::lock() { return g_history_lock; }
