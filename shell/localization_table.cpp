#include "shell/localization.h"

#include <cstring>
#include <utility>

#include "foundation/kpl/text_lookup.h"

namespace {

// The published table. Replaced only on the main thread at start-up; read from any thread afterwards.
localization_map* g_table = nullptr;
kpl::utf8_string_tight g_credits;

struct table_owner {
    ~table_owner() {
        kpl::set_text_lookup(nullptr);
        delete g_table;
        g_table = nullptr;
    }
} g_table_owner;

bool lookup_for_base_library(const char* id, kpl::utf8_string& out) {
    const char* text = localization_table::find(id);
    if (!text) return false;
    out.assign(text);
    return true;
}

}  // namespace

void text_params::set(const char* name, const char* value) { m_values.set(name, kpl::utf8_string_tight(value)); }

const char* text_params::find(const char* name, uint32_t name_length) const {
    kpl::utf8_string_pow2 key(name, name_length);
    if (key.length() != name_length) return nullptr;  // a zero byte inside the name
    const kpl::utf8_string_tight* value = m_values.find_value(key.c_str());
    return value ? value->c_str() : nullptr;
}

namespace localization_table {

const char* find(const char* id) noexcept {
    if (!g_table || !id) return nullptr;
    const kpl::utf8_string_tight* text = g_table->find_value(id);
    return text ? text->c_str() : nullptr;
}

const char* get_text(const char* id) noexcept {
    const char* text = find(id);
    return text ? text : "";
}

bool format_text(const char* text, const text_params& params, kpl::utf8_string& out) {
    kpl::utf8_string_pow2 result;
    const char* p = text;
    for (;;) {
        const char* open = std::strchr(p, '{');
        if (!open) {
            result.append_cstr(p);
            break;
        }
        result.append(p, static_cast<uint32_t>(open - p));
        const char* close = std::strchr(open + 1, '}');
        if (!close) return false;
        const char* value = params.find(open + 1, static_cast<uint32_t>(close - open - 1));
        if (!value) return false;
        result.append_cstr(value);
        p = close + 1;
    }
    out.assign(result.c_str(), result.length());
    return true;
}

bool format(const char* id, const text_params& params, kpl::utf8_string& out) {
    const char* text = find(id);
    return text && format_text(text, params, out);
}

void publish(std::unique_ptr<localization_map> map) {
    localization_map* old = g_table;
    g_table = map.release();
    kpl::set_text_lookup(&lookup_for_base_library);
    delete old;
}

uint32_t count() noexcept { return g_table ? static_cast<uint32_t>(g_table->count()) : 0; }

}  // namespace localization_table

const char* localization_credits() noexcept { return g_credits.c_str(); }
void set_localization_credits(const char* text) { g_credits = text; }
