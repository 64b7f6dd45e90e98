// The navigation state variable: its stored form, the portable rewrite around the program folder, and
// damaged records, which are refused before any allocation so that the albums view stays.
#include <doctest/doctest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/config_store.h"
#include "foundation/tasks/abort_signal.h"
#include "tests/support/le_bytes.h"
#include "ui/navigation_state.h"

namespace {

using bytes = std::vector<uint8_t>;

class vector_source final : public byte_source {
public:
    explicit vector_source(const bytes& data) : m_data(data) {}
    size_t read(void* buffer, size_t n, const abort_signal&) override {
        const size_t count = std::min(n, m_data.size() - m_at);
        if (count) std::memcpy(buffer, m_data.data() + m_at, count);
        m_at += count;
        return count;
    }

private:
    bytes m_data;
    size_t m_at = 0;
};

class vector_sink final : public byte_sink {
public:
    void write(const void* buffer, size_t n, const abort_signal&) override {
        const uint8_t* b = static_cast<const uint8_t*>(buffer);
        data.insert(data.end(), b, b + n);
    }
    bytes data;
};

// "E:|Apps,x|" -> [["E:"], ["Apps", "x"], []]: levels split at '|', keys at ','.
node_path path_of(const std::wstring& text) {
    node_path out;
    if (text.empty()) return out;
    size_t at = 0;
    for (;;) {
        const size_t bar = text.find(L'|', at);
        const std::wstring level = text.substr(at, bar == std::wstring::npos ? std::wstring::npos : bar - at);
        key_list keys;
        size_t k = 0;
        while (!level.empty()) {
            const size_t comma = level.find(L',', k);
            keys.append(list_text(level.substr(k, comma == std::wstring::npos ? std::wstring::npos : comma - k)));
            if (comma == std::wstring::npos) break;
            k = comma + 1;
        }
        out.push_back(keys);
        if (bar == std::wstring::npos) break;
        at = bar + 1;
    }
    return out;
}

view_path where(int kind, const std::wstring& text) {
    view_path out;
    out.kind = kind;
    out.path = path_of(text);
    return out;
}

bytes stored(const view_path& value, const navigation_state::portable_environment& env) {
    vector_sink sink;
    navigation_state::write(sink, value, env, abort_never);
    return sink.data;
}

view_path restored(const bytes& data, const navigation_state::portable_environment& env) {
    vector_source source(data);
    return navigation_state::read(source, static_cast<uint32_t>(data.size()), env, abort_never);
}

// The stored form of one key per level.
bytes record(uint32_t kind, const std::vector<std::vector<std::string>>& levels) {
    bytes out;
    le_bytes::put32(out, kind);
    le_bytes::put32(out, static_cast<uint32_t>(levels.size()));
    for (const auto& level : levels) {
        le_bytes::put32(out, static_cast<uint32_t>(level.size()));
        for (const std::string& key : level) {
            le_bytes::put32(out, static_cast<uint32_t>(key.size()));
            out.insert(out.end(), key.begin(), key.end());
        }
    }
    return out;
}

navigation_state::portable_environment portable(const std::vector<std::wstring>& folder) {
    navigation_state::portable_environment env;
    env.portable = true;
    env.program_folder = folder;
    return env;
}

const navigation_state::portable_environment k_plain;

}  // namespace

TEST_CASE("navigation state: stored form of each kind, byte for byte, and back") {
    struct row {
        view_path value;
        bytes form;
    };
    const row rows[] = {
        {where(0, L"|"), record(0, {{}, {}})},
        {where(0, L""), record(0, {})},
        {where(0, L"Rock,Pop|A|Abbey Road [1969]"), record(0, {{"Rock", "Pop"}, {"A"}, {"Abbey Road [1969]"}})},
        {where(1, L"C:|Musik \u00e9t\u00e9"), record(1, {{"C:"}, {"Musik \xc3\xa9t\xc3\xa9"}})},
        {where(2, L"{7644CAF4-800E-4771-B16D-D161B8B08887}"), record(2, {{"{7644CAF4-800E-4771-B16D-D161B8B08887}"}})},
        {where(0, L"[all genres]|"), record(0, {{"[all genres]"}, {}})},
    };
    for (const row& r : rows) {
        CHECK(stored(r.value, k_plain) == r.form);
        CHECK(restored(r.form, k_plain) == r.value);
    }
    // An empty key keeps its place.
    view_path empty_key = where(0, L"");
    empty_key.path.resize(1);
    empty_key.path[0].append(list_text(L""));
    CHECK(restored(stored(empty_key, k_plain), k_plain) == empty_key);
}

TEST_CASE("navigation state: the default is the albums view, and the variable keeps it for a refused record") {
    CHECK(navigation_state::default_location() == where(0, L"|"));

    config_variable_list list;
    navigation_state_var variable(navigation_state::variable_guid, list, [] { return navigation_state::portable_environment(); });
    CHECK(variable.get() == where(0, L"|"));

    // A record stream as config.dat holds it: the variable's record with a damaged payload, then a valid one
    // of another place; the damaged one leaves the default, the good one is read.
    struct row {
        const char* name;
        bytes payload;
        view_path expected;
    };
    bytes huge_levels = record(0, {});
    huge_levels[4] = huge_levels[5] = huge_levels[6] = huge_levels[7] = 0xFF;
    bytes huge_key_count;
    le_bytes::put32(huge_key_count, 0);
    le_bytes::put32(huge_key_count, 1);
    le_bytes::put32(huge_key_count, 0x40000000);
    bytes huge_length;
    le_bytes::put32(huge_length, 1);
    le_bytes::put32(huge_length, 1);
    le_bytes::put32(huge_length, 1);
    le_bytes::put32(huge_length, 0xFFFFFFF0);
    le_bytes::put32(huge_length, 0);
    bytes cut_short = record(1, {{"C:"}, {"Music"}});
    cut_short.resize(cut_short.size() - 2);
    const row rows[] = {
        {"kind 3", record(3, {{}, {}}), where(0, L"|")},
        {"kind 0xFFFFFFFF", record(0xFFFFFFFF, {}), where(0, L"|")},
        {"level count beyond the record", huge_levels, where(0, L"|")},
        {"key count beyond the record", huge_key_count, where(0, L"|")},
        {"key length beyond the record", huge_length, where(0, L"|")},
        {"text cut short", cut_short, where(0, L"|")},
        {"only the kind", bytes{1, 0, 0, 0}, where(0, L"|")},
        {"good", record(1, {{"C:"}, {"Music"}}), where(1, L"C:|Music")},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        variable.set(navigation_state::default_location());
        if (std::strcmp(r.name, "good") != 0) {
            vector_source direct(r.payload);
            CHECK_THROWS_AS(variable.set_data(direct, static_cast<uint32_t>(r.payload.size()), abort_never),
                            ketrel_io::exception_io_data);
        }
        bytes stream;
        const uint8_t* g = reinterpret_cast<const uint8_t*>(&navigation_state::variable_guid);
        stream.insert(stream.end(), g, g + 16);
        le_bytes::put32(stream, static_cast<uint32_t>(r.payload.size()));
        stream.insert(stream.end(), r.payload.begin(), r.payload.end());
        variable.set(navigation_state::default_location());
        vector_source source(stream);
        config_store::read_records(source, abort_never, list);
        CHECK(variable.get() == r.expected);
    }
}

TEST_CASE("navigation state: portable mode stores folder-tree places inside the program folder relative to it") {
    const auto home = portable({L"E:", L"Apps", L"Vorn"});
    struct row {
        const char* name;
        view_path value;
        navigation_state::portable_environment env;
        bytes form;
    };
    const row rows[] = {
        {"inside", where(1, L"E:|Apps|Vorn|Music|Live"), home, record(1, {{"<application folder>"}, {"Music"}, {"Live"}})},
        {"the folder itself", where(1, L"E:|Apps|Vorn"), home, record(1, {{"<application folder>"}})},
        {"beside it", where(1, L"E:|Apps|Other"), home, record(1, {{"E:"}, {"Apps"}, {"Other"}})},
        {"above it", where(1, L"E:|Apps"), home, record(1, {{"E:"}, {"Apps"}})},
        {"letter case differs", where(1, L"e:|apps|vorn|Music"), home, record(1, {{"e:"}, {"apps"}, {"vorn"}, {"Music"}})},
        {"two keys on a level", where(1, L"E:|Apps,X|Vorn"), home, record(1, {{"E:"}, {"Apps", "X"}, {"Vorn"}})},
        {"library view", where(0, L"E:|Apps|Vorn"), home, record(0, {{"E:"}, {"Apps"}, {"Vorn"}})},
        {"not portable", where(1, L"E:|Apps|Vorn|Music"), k_plain, record(1, {{"E:"}, {"Apps"}, {"Vorn"}, {"Music"}})},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        CHECK(stored(r.value, r.env) == r.form);
        CHECK(restored(r.form, r.env) == r.value);
    }
}

TEST_CASE("navigation state: a portable place comes back under the program folder after it moved") {
    const bytes form = record(1, {{"<application folder>"}, {"Music"}});
    struct row {
        const char* name;
        bytes form;
        navigation_state::portable_environment env;
        view_path expected;
    };
    const row rows[] = {
        {"moved", form, portable({L"F:", L"Vorn"}), where(1, L"F:|Vorn|Music")},
        {"share", form, portable({L"\\\\server", L"share"}), where(1, L"\\\\server|share|Music")},
        {"not portable any more", form, k_plain, where(1, L"<application folder>|Music")},
        {"the key with another beside it", record(1, {{"<application folder>", "x"}}), portable({L"F:"}),
         where(1, L"<application folder>,x")},
        {"the key in another case", record(1, {{"<Application Folder>"}}), portable({L"F:"}), where(1, L"<Application Folder>")},
        {"the key deeper down", record(1, {{"C:"}, {"<application folder>"}}), portable({L"F:"}),
         where(1, L"C:|<application folder>")},
        {"another kind", record(2, {{"<application folder>"}}), portable({L"F:"}), where(2, L"<application folder>")},
    };
    for (const row& r : rows) {
        CAPTURE(r.name);
        CHECK(restored(r.form, r.env) == r.expected);
    }
}

TEST_CASE("navigation state: the program folder splits into the folder tree's components") {
    CHECK(navigation_state::folder_components(L"E:\\Apps\\Vorn") == std::vector<std::wstring>{L"E:", L"Apps", L"Vorn"});
    CHECK(navigation_state::folder_components(L"\\\\server\\share\\Vorn") ==
          std::vector<std::wstring>{L"\\\\server", L"share", L"Vorn"});
    CHECK(navigation_state::folder_components(L"E:") == std::vector<std::wstring>{L"E:"});
}
