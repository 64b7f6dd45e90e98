// The configuration store over private variable lists and scratch folders: every payload form through
// "config.dat" and its byte layout; record parsing with unknown, short, over-long and duplicate records;
// every way a file can be unreadable and the question it gives (answered through the message-box seam),
// with the file left alone while the answer is pending and after Cancel; the rules of saving, deleting
// and discarding; and saves that fail are not taken for saved.
#include <doctest/doctest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../fs/fs_test_support.h"
#include "foundation/fs/memory_sink.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/config_store.h"
#include "foundation/services/persistent_state.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/window_text.h"

using namespace fs_test;

namespace {

constexpr kpl::guid g_text = {0x10000001, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr kpl::guid g_empty_text = {0x10000002, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr kpl::guid g_bool = {0x10000003, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr kpl::guid g_int = {0x10000004, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr kpl::guid g_float = {0x10000005, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr kpl::guid g_guid = {0x10000006, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr kpl::guid g_list = {0x10000007, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr kpl::guid g_unknown = {0x1000FFFF, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr kpl::guid k_value_guid = {0xCAFEBABE, 0xBEEF, 0xF00D, {9, 8, 7, 6, 5, 4, 3, 2}};

// A long text crossing the 256-byte reading pieces, with non-ASCII characters.
std::string long_text() {
    std::string text;
    while (text.size() < 700) text += "Größe ♫ ";
    return text;
}

// One variable of every payload form on a private list, at its defaults.
struct variable_set {
    config_variable_list list;
    config_text text{g_text, "default text", list};
    config_text empty_text{g_empty_text, "not empty", list};
    config_bool flag{g_bool, true, list};
    config_int32 number{g_int, 7, list};
    config_float ratio{g_float, 0.5f, list};
    config_guid id{g_guid, kpl::guid_null, list};
    config_string_list names{g_list, list};

    void change() {
        text = long_text().c_str();
        empty_text = "";
        flag = false;
        number = -123456789;
        ratio = -1.25f;
        id = k_value_guid;
        names.get().clear();
        names.get().append("Rock");
        names.get().append("");
        names.get().append("Électro");
    }
    void check_changed() const {
        CHECK(std::string(text.c_str()) == long_text());
        CHECK(std::string(empty_text.c_str()) == "");
        CHECK(flag.get() == false);
        CHECK(number.get() == -123456789);
        CHECK(ratio.get() == -1.25f);
        CHECK(id.get() == k_value_guid);
        REQUIRE(names.get().count() == 3);
        CHECK(names.get()[0] == "Rock");
        CHECK(names.get()[1] == "");
        CHECK(names.get()[2] == "Électro");
    }
    void check_defaults() const {
        CHECK(std::string(text.c_str()) == "default text");
        CHECK(std::string(empty_text.c_str()) == "not empty");
        CHECK(flag.get() == true);
        CHECK(number.get() == 7);
        CHECK(ratio.get() == 0.5f);
        CHECK(id.get() == kpl::guid_null);
        CHECK(names.get().count() == 0);
    }
};

std::string guid_bytes(const kpl::guid& g) { return std::string(reinterpret_cast<const char*>(&g), 16); }

std::string le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

std::string record(const kpl::guid& g, const std::string& payload) { return guid_bytes(g) + le32(uint32_t(payload.size())) + payload; }

// A complete file around a record stream, with the right digest.
std::string file_around(const std::string& stream) {
    md5_digest d = config_file::digest_of(stream.data(), uint32_t(stream.size()));
    return guid_bytes(config_file::magic) + std::string(reinterpret_cast<const char*>(d.bytes), 16) +
           le32(uint32_t(stream.size())) + stream;
}

struct message_box_call {
    std::string text;
    bool caption_null = false;
    UINT type = 0;
};

// Answers the load question; while the question is up it tries to save through the store, to show that
// nothing reaches the file before the answer.
class answering_host final : public message_box_host {
public:
    int answer = IDOK;
    std::vector<message_box_call> calls;
    config_store* store = nullptr;
    std::string location;
    std::string file_during_question;
    bool file_existed_during_question = false;

    int show(HWND, const win_string_param& text, const win_string_param& caption, UINT type) override {
        message_box_call call;
        call.text = text.utf8() ? text.utf8() : "";
        call.caption_null = caption.get() == nullptr;
        call.type = type;
        calls.push_back(call);
        if (store) {
            store->save_now(location.c_str());
            store->save_at_shutdown(location.c_str(), false);
            store->save_at_shutdown(location.c_str(), true);
            std::string native = location.substr(7);
            file_existed_during_question = exists(native);
            if (file_existed_during_question) file_during_question = read_file(native);
        }
        return answer;
    }
};

struct store_fixture {
    registry_built registry;
    english_io_texts texts;
    scratch_folder dir;
    std::string native = dir / "config.dat";
    std::string location = "file://" + native;
    variable_set vars;
    config_store store{vars.list};
    answering_host host;
    message_box_host_override use_host{host};
};

}  // namespace

TEST_CASE("config store: every payload form round-trips through config.dat, laid out as records behind the digest") {
    store_fixture f;
    f.vars.change();
    f.store.write_file(f.location.c_str());
    REQUIRE(exists(f.native));
    CHECK_FALSE(exists(f.native + ".tmp"));

    const std::string bytes = read_file(f.native);
    REQUIRE(bytes.size() > config_file::header_size);
    // Magic {B2223DD1-15C4-46F5-8031-96E692BC1E20} in memory form.
    const unsigned char magic[16] = {0xD1, 0x3D, 0x22, 0xB2, 0xC4, 0x15, 0xF5, 0x46,
                                     0x80, 0x31, 0x96, 0xE6, 0x92, 0xBC, 0x1E, 0x20};
    CHECK(bytes.compare(0, 16, std::string(reinterpret_cast<const char*>(magic), 16)) == 0);
    const std::string stream = bytes.substr(config_file::header_size);
    CHECK(bytes.substr(32, 4) == le32(uint32_t(stream.size())));
    md5_digest digest = config_file::digest_of(stream.data(), uint32_t(stream.size()));
    CHECK(bytes.substr(16, 16) == std::string(reinterpret_cast<const char*>(digest.bytes), 16));
    CHECK(f.store.state() == digest);

    // The write list runs newest first: the list variable, registered last, leads.
    std::string list_payload = le32(3) + le32(4) + "Rock" + le32(0) + le32(8) + "Électro";
    const std::string expected = record(g_list, list_payload) + record(g_guid, guid_bytes(k_value_guid)) +
                                 record(g_float, std::string("\x00\x00\xA0\xBF", 4)) +
                                 record(g_int, std::string("\xEB\x32\xA4\xF8", 4)) + record(g_bool, std::string(1, '\0')) +
                                 record(g_empty_text, "") + record(g_text, long_text());
    CHECK(stream == expected);

    // A second set of the same variables, at their defaults, reads them all back.
    variable_set fresh;
    fresh.check_defaults();
    config_store reader(fresh.list);
    reader.read_file(f.location.c_str());
    fresh.check_changed();
    CHECK(reader.state() == digest);
}

namespace {

// Reads a given number of bytes of its payload and remembers them and the size it was told.
class probe_variable final : public config_variable {
public:
    probe_variable(const kpl::guid& g, size_t reads, config_variable_list& list) : config_variable(g, list), m_reads(reads) {}
    void set_data(byte_source& source, uint32_t size, const abort_signal& abort) override {
        told_size = size;
        calls++;
        got.assign(m_reads, '\0');
        if (m_reads) source.read_exact(&got[0], m_reads, abort);
    }
    void get_data(byte_sink&, const abort_signal&) override {}

    size_t m_reads;
    uint32_t told_size = 0;
    int calls = 0;
    std::string got;
};

void parse(const std::string& stream, const config_variable_list& list) {
    struct string_source final : byte_source {
        const std::string& s;
        size_t pos = 0;
        explicit string_source(const std::string& text) : s(text) {}
        size_t read(void* buffer, size_t n, const abort_signal&) override {
            if (n > s.size() - pos) n = s.size() - pos;
            std::memcpy(buffer, s.data() + pos, n);
            pos += n;
            return n;
        }
    } source(stream);
    config_store::read_records(source, abort_never, list);
}

}  // namespace

TEST_CASE("config store: record parsing skips what it does not know and isolates each variable's payload") {
    english_io_texts texts;
    const kpl::guid g_a = {0xA, 0, 0, {0}}, g_b = {0xB, 0, 0, {0}}, g_c = {0xC, 0, 0, {0}};

    SUBCASE("an unknown record is skipped and the records after it apply") {
        config_variable_list list;
        config_int32 number(g_int, 1, list);
        config_text text(g_text, "x", list);
        parse(record(g_unknown, std::string(300, 'u')) + record(g_int, le32(42)) + record(g_unknown, "") +
                  record(g_text, "after"),
              list);
        CHECK(number.get() == 42);
        CHECK(std::string(text.c_str()) == "after");
    }
    SUBCASE("a variable reading less than its payload: the rest is skipped, the next record is read") {
        config_variable_list list;
        probe_variable shy(g_a, 2, list);
        config_int32 number(g_int, 1, list);
        parse(record(g_a, "abcdef") + record(g_int, le32(5)), list);
        CHECK(shy.told_size == 6);
        CHECK(shy.got == "ab");
        CHECK(number.get() == 5);
    }
    SUBCASE("a variable reading more than its payload gets a data error that is ignored") {
        config_variable_list list;
        config_int32 number(g_int, 1, list);
        probe_variable greedy(g_a, 10, list);
        config_bool flag(g_bool, true, list);
        parse(record(g_int, std::string("\x02\x00", 2)) + record(g_a, "abc") + record(g_bool, std::string(1, '\0')), list);
        CHECK(number.get() == 1);  // two bytes are not an int32: the old value stays
        CHECK(greedy.calls == 1);
        CHECK(flag.get() == false);
    }
    SUBCASE("a string list whose payload ends inside an entry keeps its old entries") {
        config_variable_list list;
        config_string_list names(g_list, list);
        names.get().append("kept");
        config_int32 number(g_int, 1, list);
        parse(record(g_list, le32(2) + le32(3) + "abc" + le32(10) + "short") + record(g_int, le32(9)), list);
        REQUIRE(names.get().count() == 1);
        CHECK(names.get()[0] == "kept");
        CHECK(number.get() == 9);
    }
    SUBCASE("fewer than 16 bytes after the last record are ignored") {
        config_variable_list list;
        config_int32 number(g_int, 1, list);
        parse(record(g_int, le32(77)) + std::string(15, '\xFF'), list);
        CHECK(number.get() == 77);
    }
    SUBCASE("an empty payload is a record of its own") {
        config_variable_list list;
        config_text text(g_text, "default", list);
        config_int32 number(g_int, 1, list);
        parse(record(g_text, "") + record(g_int, le32(3)), list);
        CHECK(std::string(text.c_str()) == "");
        CHECK(number.get() == 3);
    }
    SUBCASE("two variables with one GUID: the one registered first receives the record") {
        config_variable_list list;
        config_int32 first(g_int, 1, list);
        config_int32 second(g_int, 2, list);
        parse(record(g_int, le32(99)), list);
        CHECK(first.get() == 99);
        CHECK(second.get() == 2);
    }
    SUBCASE("a stream ending inside a record header or an unknown payload is a data error") {
        struct row {
            const char* what;
            std::string stream;
        };
        const row rows[] = {
            {"length cut", record(g_int, le32(4)) + guid_bytes(g_b) + std::string("\x01\x00", 2)},
            {"unknown payload cut", record(g_int, le32(4)) + guid_bytes(g_c) + le32(100) + "only this"},
        };
        for (const row& r : rows) {
            CAPTURE(r.what);
            config_variable_list list;
            config_int32 number(g_int, 1, list);
            CHECK_THROWS_AS(parse(r.stream, list), ketrel_io::exception_io_data);
            CHECK(number.get() == 4);  // loaded before the damage: kept
        }
    }
}

TEST_CASE("config store: an unreadable file is refused with the reason; a missing one is not found") {
    store_fixture f;
    f.vars.change();
    f.store.write_file(f.location.c_str());
    const std::string good = read_file(f.native);
    const std::string data_text = ketrel_io::exception_io_data().what();
    REQUIRE_FALSE(data_text.empty());

    struct row {
        const char* what;
        std::string bytes;
        const char* text;  // null: the language text of exception_io_data
    };
    std::string flipped = good;
    flipped[flipped.size() - 5] ^= 0x01;
    std::string wrong_digest = good;
    wrong_digest[20] ^= 0x80;
    std::string foreign = good;
    foreign[0] ^= 0xFF;
    std::string long_length = good.substr(0, 32) + le32(uint32_t(good.size())) + good.substr(36);
    const row rows[] = {
        {"empty", "", nullptr},
        {"exactly 20 bytes", good.substr(0, 20), nullptr},
        {"21 bytes", good.substr(0, 21), nullptr},
        {"header only", good.substr(0, 36), nullptr},
        {"cut inside the stream", good.substr(0, good.size() - 1), nullptr},
        {"foreign magic", foreign, nullptr},
        {"stream length beyond the end", long_length, nullptr},
        {"one byte of the stream altered", flipped, "Corrupted configuration file"},
        {"digest altered", wrong_digest, "Corrupted configuration file"},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        write_file(f.native, r.bytes);
        variable_set fresh;
        config_store reader(fresh.list);
        std::string message;
        try {
            reader.read_file(f.location.c_str());
        } catch (const ketrel_io::exception_io_data& e) {
            message = e.what();
        }
        CHECK(message == (r.text ? r.text : data_text));
        if (r.text == nullptr) fresh.check_defaults();  // refused before any record applied
    }

    // Bytes after the stream are ignored.
    write_file(f.native, good + "trailing bytes");
    variable_set fresh;
    config_store reader(fresh.list);
    reader.read_file(f.location.c_str());
    fresh.check_changed();

    // A file written elsewhere with a record this build does not know: the known records still apply.
    write_file(f.native, file_around(record(g_unknown, "from another build") + record(g_int, le32(31))));
    variable_set other;
    config_store other_reader(other.list);
    other_reader.read_file(f.location.c_str());
    CHECK(other.number.get() == 31);
    CHECK(std::string(other.text.c_str()) == "default text");

    DeleteFileW(widen(f.native).c_str());
    CHECK_THROWS_AS(reader.read_file(f.location.c_str()), ketrel_io::exception_io_not_found);
}

TEST_CASE("config store: a damaged file asks whether to continue, and the file stays until the answer and after Cancel") {
    registry_built registry;
    english_io_texts texts;
    const std::string data_text = ketrel_io::exception_io_data().what();

    struct row {
        const char* damage;
        const char* reason;  // null: exception_io_data's language text
        int answer;          // IDOK, IDCANCEL, or 0 for quiet
    };
    const row rows[] = {
        {"truncated", nullptr, IDOK},       {"truncated", nullptr, IDCANCEL},
        {"foreign", nullptr, IDOK},         {"foreign", nullptr, IDCANCEL},
        {"flipped", "Corrupted configuration file", IDOK}, {"flipped", "Corrupted configuration file", IDCANCEL},
        {"truncated", nullptr, 0},          {"foreign", nullptr, 0},
        {"flipped", nullptr, 0},
    };
    for (const row& r : rows) {
        CAPTURE(r.damage);
        CAPTURE(r.answer);
        store_fixture f;
        f.vars.change();
        f.store.write_file(f.location.c_str());
        std::string bytes = read_file(f.native);
        if (std::string(r.damage) == "truncated") bytes = bytes.substr(0, 20);
        if (std::string(r.damage) == "foreign") bytes.replace(0, 16, guid_bytes(g_unknown));
        if (std::string(r.damage) == "flipped") bytes[40] ^= 0x04;
        write_file(f.native, bytes);

        variable_set fresh;
        config_store loader(fresh.list);
        f.host.answer = r.answer;
        f.host.store = &loader;
        f.host.location = f.location;
        fresh.text = "changed before the question";

        bool quiet = r.answer == 0;
        bool shutdown = false;
        try {
            loader.load(f.location.c_str(), quiet);
        } catch (const exception_shutdownrequest& e) {
            shutdown = true;
            CHECK(std::string(e.what()) == "Shutdown Request");
        }

        if (quiet) {
            CHECK(f.host.calls.empty());
            CHECK_FALSE(shutdown);
            CHECK_FALSE(loader.writing_held());
        } else {
            REQUIRE(f.host.calls.size() == 1);
            const message_box_call& call = f.host.calls[0];
            std::string reason = r.reason ? r.reason : data_text;
            CHECK(call.text == "Error reading configuration file (" + reason + ").\nContinue?");
            CHECK(call.caption_null);
            CHECK(call.type == UINT(MB_OKCANCEL | MB_ICONERROR));
            // Saves and discards tried while the question was up changed nothing.
            CHECK(f.host.file_existed_during_question);
            CHECK(f.host.file_during_question == bytes);
            CHECK(shutdown == (r.answer == IDCANCEL));
            CHECK(loader.writing_held() == (r.answer == IDCANCEL));
        }
        CHECK(std::string(fresh.text.c_str()) == "changed before the question");  // nothing loaded

        // After Cancel no save touches the file; after OK or in quiet mode the next save replaces it.
        loader.save_now(f.location.c_str());
        loader.save_at_shutdown(f.location.c_str(), false);
        loader.save_at_shutdown(f.location.c_str(), true);
        if (r.answer == IDCANCEL) {
            CHECK(read_file(f.native) == bytes);
        } else {
            CHECK_FALSE(exists(f.native));  // saved, then discarded
        }
        CHECK_FALSE(exists(f.native + ".tmp"));
    }

    SUBCASE("a missing file asks nothing and keeps the defaults") {
        store_fixture f;
        f.vars.text = "set before load";
        f.store.load(f.location.c_str(), false);
        CHECK(f.host.calls.empty());
        CHECK(std::string(f.vars.text.c_str()) == "set before load");
    }
}

TEST_CASE("config store: saving writes only changes, deletes for an empty configuration and discards on request") {
    store_fixture f;

    SUBCASE("no file: the first save writes one, because the zero digest never matches") {
        f.store.load(f.location.c_str(), false);
        f.store.save_now(f.location.c_str());
        CHECK(exists(f.native));
    }
    SUBCASE("loading and saving without a change writes nothing") {
        f.vars.change();
        f.store.write_file(f.location.c_str());
        variable_set again;
        config_store second(again.list);
        second.load(f.location.c_str(), false);
        again.check_changed();
        DeleteFileW(widen(f.native).c_str());
        second.save_now(f.location.c_str());
        second.save_at_shutdown(f.location.c_str(), false);
        CHECK_FALSE(exists(f.native));  // an unchanged configuration never touches the disk

        again.number = again.number.get() + 1;
        second.save_at_shutdown(f.location.c_str(), false);
        REQUIRE(exists(f.native));
        variable_set third;
        config_store reader(third.list);
        reader.read_file(f.location.c_str());
        CHECK(third.number.get() == -123456788);
    }
    SUBCASE("without variables nothing is created, and an old file goes") {
        config_variable_list none;
        config_store empty(none);
        empty.save_now(f.location.c_str());
        CHECK_FALSE(exists(f.native));
        write_file(f.native, "old");
        empty.reset_state();
        empty.save_now(f.location.c_str());
        CHECK_FALSE(exists(f.native));
    }
    SUBCASE("discarding deletes the file; a missing file is fine") {
        f.store.save_now(f.location.c_str());
        REQUIRE(exists(f.native));
        f.store.save_at_shutdown(f.location.c_str(), true);
        CHECK_FALSE(exists(f.native));
        f.store.save_at_shutdown(f.location.c_str(), true);
        CHECK_FALSE(exists(f.native));
    }
}

TEST_CASE("config store: a save that fails leaves the old file and is not taken for saved") {
    store_fixture f;
    f.store.shutdown_attempts = 3;
    f.store.shutdown_wait_ms = 10;
    f.store.write_file(f.location.c_str());
    const std::string old_bytes = read_file(f.native);
    const md5_digest old_state = f.store.state();
    f.vars.change();

    SUBCASE("the file is read-only") {
        REQUIRE(SetFileAttributesW(widen(f.native).c_str(), FILE_ATTRIBUTE_READONLY));
        f.store.save_now(f.location.c_str());
        f.store.save_at_shutdown(f.location.c_str(), false);
        CHECK(f.store.state() == old_state);
        REQUIRE(SetFileAttributesW(widen(f.native).c_str(), FILE_ATTRIBUTE_NORMAL));
        CHECK(read_file(f.native) == old_bytes);
    }
    SUBCASE("another handle holds the file without sharing") {
        HANDLE held = CreateFileW(widen(f.native).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        REQUIRE(held != INVALID_HANDLE_VALUE);
        f.store.save_at_shutdown(f.location.c_str(), false);  // gives up silently
        f.store.save_now(f.location.c_str());
        CHECK(f.store.state() == old_state);
        CloseHandle(held);
        CHECK(read_file(f.native) == old_bytes);
    }
    CHECK_FALSE(exists(f.native + ".tmp"));

    // Once the obstacle is gone the next save writes the change, since it was never recorded as saved.
    f.store.save_now(f.location.c_str());
    CHECK(f.store.state() != old_state);
    variable_set fresh;
    config_store reader(fresh.list);
    reader.read_file(f.location.c_str());
    fresh.check_changed();
}

TEST_CASE("config store: the program's store is the persistent_state service and saves on request") {
    service_table table;
    table.build(service_registration_list());
    const service_class_entry* states = table.find(persistent_state::class_guid);
    REQUIRE(states != nullptr);
    int flushers = 0;
    service_iterator it(states);
    service_ref each;
    while (it.next(each)) {
        service_ref flush;
        if (each->query(flush, persistent_state_flush::class_guid)) ++flushers;
    }
    CHECK(flushers >= 1);

    CHECK(config_store::program_location().is_empty());  // no profile folder in this process
}

namespace {

// A variable whose get_data fails the first `failures` times with the given kind of error.
class failing_variable final : public config_variable {
public:
    enum error_kind { sharing, denied };
    failing_variable(const kpl::guid& g, int failures, error_kind kind, config_variable_list& list)
        : config_variable(g, list), m_failures(failures), m_kind(kind) {}
    void set_data(byte_source&, uint32_t, const abort_signal&) override {}
    void get_data(byte_sink& sink, const abort_signal& abort) override {
        ++calls;
        if (calls <= m_failures) {
            if (m_kind == sharing) throw ketrel_io::exception_io_sharing_violation();
            throw ketrel_io::exception_io_denied();
        }
        sink.write("ok", 2, abort);
    }
    int calls = 0;

private:
    int m_failures;
    error_kind m_kind;
};

}  // namespace

TEST_CASE("config store: shut-down retries only sharing violations, at most ten times, and never reports failure") {
    registry_built registry;
    english_io_texts texts;
    struct row {
        const char* what;
        int failures;
        failing_variable::error_kind kind;
        bool discard;
        int attempts;
        bool saved;
    };
    const row rows[] = {
        {"two sharing violations, then success", 2, failing_variable::sharing, false, 3, true},
        {"sharing violations every time", 1000, failing_variable::sharing, false, 10, false},
        {"another failure: no retry", 1000, failing_variable::denied, false, 1, false},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        scratch_folder dir;
        const std::string native = dir / "config.dat";
        const std::string location = "file://" + native;
        config_variable_list list;
        failing_variable v(g_int, r.failures, r.kind, list);
        config_store store(list);
        store.shutdown_wait_ms = 1;
        CHECK(store.shutdown_attempts == 10);
        store.save_at_shutdown(location.c_str(), false);
        CHECK(v.calls == r.attempts);
        CHECK(exists(native) == r.saved);
        CHECK((store.state() != md5_digest{}) == r.saved);
    }

    // A save on request tries once and swallows the failure.
    scratch_folder dir;
    config_variable_list list;
    failing_variable v(g_int, 1000, failing_variable::sharing, list);
    config_store store(list);
    store.save_now(("file://" + (dir / "config.dat")).c_str());
    CHECK(v.calls == 1);
    CHECK_FALSE(exists(dir / "config.dat"));
}
