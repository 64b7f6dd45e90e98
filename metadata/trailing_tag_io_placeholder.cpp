// Placeholder registration of the trailing-tag service (APEv2/ID3v1) until the tag formats exist: the
// registry's start-up requires exactly one implementation of the class. It offers no tag operations yet;
// nothing looks it up before they exist.
#include "foundation/kpl/guid.h"
#include "foundation/services/service_registry.h"

namespace {

class trailing_tag_io_placeholder_class : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xAD537D40, 0x499D, 0x4C29, {0x81, 0xD4, 0xC0, 0xFA, 0x49, 0x6D, 0xD5, 0x8C}};
};

class trailing_tag_io_placeholder final : public service_static<trailing_tag_io_placeholder_class> {};

service_factory_single<trailing_tag_io_placeholder, trailing_tag_io_placeholder_class> g_trailing_tag_io;

}  // namespace
