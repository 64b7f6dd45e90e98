#include "properties/text_history.h"

#include <memory>

#include "foundation/services/config_variable.h"
#include "foundation/win32/win_string.h"
#include "foundation/win32/window_text.h"
#include "properties/field_value_history.h"

namespace {

class scope {
public:
    explicit scope(kpl::critical_section* lock) : m_lock(lock) {
        if (m_lock) m_lock->enter();
    }
    ~scope() {
        if (m_lock) m_lock->leave();
    }

private:
    kpl::critical_section* m_lock;
};

}  // namespace

// The stored text, loaded and saved under the history's lock.
class text_history::variable final : public config_text {
public:
    variable(const kpl::guid& guid, const char* default_text, kpl::critical_section* lock)
        : config_text(guid, default_text), m_lock(lock) {}
    void set_data(byte_source& source, uint32_t size, const abort_signal& abort) override {
        scope hold(m_lock);
        config_text::set_data(source, size, abort);
    }
    void get_data(byte_sink& sink, const abort_signal& abort) override {
        scope hold(m_lock);
        config_text::get_data(sink, abort);
    }

private:
    kpl::critical_section* m_lock;
};

text_history::text_history(const kpl::guid& guid, const char* default_text, uint32_t limit,
                           kpl::critical_section* lock)
    : m_variable(new variable(guid, default_text, lock)), m_limit(limit), m_lock(lock) {}

// The variable stays linked into the configuration lists until the process ends.
text_history::~text_history() = default;

std::string text_history::get_text() const {
    scope hold(m_lock);
    return m_variable->c_str();
}

void text_history::set_text(const char* text) {
    scope hold(m_lock);
    m_variable->set(text);
}

std::vector<std::string> text_history::read() const {
    const std::string text = get_text();
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

void text_history::write(const std::vector<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries) text += entry + "\n";
    set_text(text.c_str());
}

bool text_history::add(const char* text) {
    if (!text || !*text) return false;
    std::string entry(text);
    for (char& c : entry)
        if (c == '\n') c = '|';
    std::vector<std::string> entries = read();
    bool present = false;
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == entry) {
            entries.erase(entries.begin() + static_cast<ptrdiff_t>(i));
            present = true;
            break;
        }
    if (!present)
        while (entries.size() > m_limit) entries.pop_back();
    entries.insert(entries.begin(), entry);
    write(entries);
    return present;
}

void text_history::load_into_combo(HWND combo) const {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& entry : read()) {
        kpl::array<wchar_t> wide;
        utf8_to_wide(entry.c_str(), wide);
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.data()));
    }
}

bool text_history::run_menu_command(HWND combo, int command) {
    kpl::utf8_string_pow2 typed;
    window_get_text(combo, typed);
    if (command == 1) {
        set_text("");
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        window_set_text(combo, typed.c_str());
        return true;
    }
    if (command == 2) {
        std::vector<std::string> entries = read();
        bool removed = false;
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i] == typed.c_str()) {
                entries.erase(entries.begin() + static_cast<ptrdiff_t>(i));
                removed = true;
                break;
            }
        if (removed) write(entries);
        load_into_combo(combo);
        window_set_text(combo, typed.c_str());
        return removed;
    }
    return false;
}

bool text_history::show_history_menu(HWND combo, POINT point) {
    try {
        if (point.x == -1 && point.y == -1) {
            RECT rect;
            GetWindowRect(combo, &rect);
            point.x = (rect.left + rect.right) / 2;
            point.y = (rect.top + rect.bottom) / 2;
        }
        kpl::utf8_string_pow2 typed;
        window_get_text(combo, typed);
        HMENU menu = CreatePopupMenu();
        if (!menu) return false;
        AppendMenuW(menu, MF_STRING, 1, L"Wipe history");
        if (!typed.is_empty()) AppendMenuW(menu, MF_STRING, 2, L"Remove this history item");
        const int command = static_cast<int>(TrackPopupMenu(
            menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, point.x, point.y, 0, combo, nullptr));
        DestroyMenu(menu);
        return run_menu_command(combo, command);
    } catch (...) {
        return false;
    }
}

namespace {

constexpr kpl::guid k_field_names = {0x77B22631, 0xD660, 0x4A99, {0xBD, 0xE6, 0xBB, 0x19, 0xBE, 0xAA, 0x66, 0x3F}};
constexpr kpl::guid k_patterns = {0xF402A43D, 0xB1F6, 0x451A, {0x8E, 0x42, 0x03, 0xE4, 0x60, 0x70, 0x30, 0xE8}};

text_history g_field_names(k_field_names, "ARTIST\nTITLE\nALBUM\nGENRE\nTRACKNUMBER\nCOMPOSER\nDATE\nCOMMENT\nPERFORMER",
                           64, &field_value_history::lock());
text_history g_patterns(k_patterns, "%title%", 10, nullptr);

// The history drop-downs' one store of remembered texts is the field name history (any key).
class field_name_values final : public field_value_history {
public:
    void load(const char*) override { m_entries = g_field_names.read(); }
    void fill(HWND combo) override {
        for (const std::string& entry : m_entries) {
            kpl::array<wchar_t> wide;
            utf8_to_wide(entry.c_str(), wide);
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.data()));
        }
    }
    void text(kpl::utf8_string& out) override {
        out = "";
        for (size_t i = 0; i < m_entries.size(); ++i) {
            if (i) out += "\n";
            out += m_entries[i].c_str();
        }
    }

private:
    std::vector<std::string> m_entries;
};

field_name_values g_values;

}  // namespace

text_history& field_name_history() { return g_field_names; }
text_history& autofill_pattern_history() { return g_patterns; }

field_value_history& field_value_history::get() { return g_values; }
