#include "foundation/kpl/shared_string.h"

namespace kpl {

namespace {

// The read-only empty string: every changing operation throws.
class utf8_string_readonly_empty : public utf8_string {
public:
    void append(const char*, uint32_t) override { throw exception_not_implemented(); }
    const char* c_str() const override { return ""; }
    void assign(const char*, uint32_t) override { throw exception_not_implemented(); }
    void truncate(uint32_t) override { throw exception_not_implemented(); }
    uint32_t length() const override { return 0; }
    char* begin_write(uint32_t) override { throw exception_not_implemented(); }
    void end_write() override { throw exception_not_implemented(); }
};

template <class S, class... Args>
shared_string make_block(Args&&... args) {
    auto* block = new (std::nothrow) counted_object_block<S>(std::forward<Args>(args)...);
    if (!block) throw_bad_alloc();
    return shared_string(shared_ref<utf8_string>(block, &block->object));
}

}  // namespace

shared_string shared_string::make(const char* text) { return make_block<utf8_string_tight>(text); }

shared_string shared_string::make(const char* text, uint32_t max) { return make_block<utf8_string_tight>(text, max); }

shared_string shared_string::make_empty() { return make_block<utf8_string_readonly_empty>(); }

}  // namespace kpl
