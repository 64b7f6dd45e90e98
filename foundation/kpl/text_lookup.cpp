#include "foundation/kpl/text_lookup.h"

#include <atomic>

namespace kpl {

namespace {
std::atomic<text_lookup_function> g_text_lookup{nullptr};
}

text_lookup_function set_text_lookup(text_lookup_function source) noexcept {
    return g_text_lookup.exchange(source);
}

bool lookup_text(const char* id, utf8_string& out) noexcept {
    try {
        text_lookup_function source = g_text_lookup.load();
        if (source && source(id, out)) return true;
        out.reset();
    } catch (...) {
        // A text that cannot be fetched reads as empty.
        try {
            out.reset();
        } catch (...) {
        }
    }
    return false;
}

}  // namespace kpl
