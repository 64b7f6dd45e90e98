#include "inputs/input_service.h"

namespace {

class null_event_sink final : public service_static<decoder_event_sink> {
public:
    void report(const char*, uint32_t) override {}
};

null_event_sink g_null_sink;

}  // namespace

decoder_event_sink* decoder_event_sink::null_sink() { return &g_null_sink; }
