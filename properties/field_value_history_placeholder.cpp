// Stand-in for the field value history until the properties dialog exists: values kept in memory per
// key, nothing remembered across runs. The key "" selects the values of every key, in the order they
// were stored.
#include "properties/field_value_history.h"
#include "properties/field_value_history_placeholder.h"

#include <cstring>

#include "foundation/kpl/array.h"
#include "foundation/kpl/string_array.h"
#include "foundation/win32/win_string.h"

namespace {

struct remembered {
    kpl::utf8_string_pow2 key;
    kpl::string_array values;
};

class memory_history final : public field_value_history {
public:
    void load(const char* key) override {
        m_selected.clear();
        for (uint32_t i = 0; i < m_keys.count(); ++i) {
            if (*key && strcmp(m_keys[i].key.c_str(), key) != 0) continue;
            for (uint32_t v = 0; v < m_keys[i].values.count(); ++v) m_selected.append(m_keys[i].values[v]);
        }
    }

    void fill(HWND combo) override {
        for (uint32_t i = 0; i < m_selected.count(); ++i) {
            kpl::array<wchar_t> wide;
            utf8_to_wide(m_selected[i].c_str(), wide);
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.data()));
        }
    }

    void text(kpl::utf8_string& out) override {
        out = "";
        for (uint32_t i = 0; i < m_selected.count(); ++i) {
            if (i) out += "\n";
            out += m_selected[i];
        }
    }

    void store(const char* key, const char* lines) {
        uint32_t slot = m_keys.count();
        for (uint32_t i = 0; i < m_keys.count(); ++i)
            if (strcmp(m_keys[i].key.c_str(), key) == 0) slot = i;
        if (slot == m_keys.count()) {
            remembered entry;
            entry.key = key;
            m_keys.append(std::move(entry));
        }
        kpl::string_array& values = m_keys[slot].values;
        values.clear();
        const char* start = lines;
        for (const char* p = lines;; ++p) {
            if (*p != '\n' && *p != 0) continue;
            if (p > start) values.append(start, static_cast<uint32_t>(p - start));
            if (*p == 0) break;
            start = p + 1;
        }
    }

private:
    kpl::array<remembered> m_keys;
    kpl::string_array m_selected;
};

memory_history g_history;

}  // namespace

field_value_history& field_value_history::get() { return g_history; }

void field_value_history_placeholder_store(const char* key, const char* lines) { g_history.store(key, lines); }
