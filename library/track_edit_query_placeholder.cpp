// The library's answer to track_edit_query until the library manager exists: never an assist object.
#include "library/track_edit_query_placeholder.h"

#include "foundation/services/service_registry.h"

namespace {

class edit_query final : public service_static<track_edit_query> {
public:
    bool get_edit_assist(const char*, service_ref&) override { return false; }
};

service_factory_single<edit_query, track_edit_query> g_edit_query;

}  // namespace
