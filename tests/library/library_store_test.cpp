// "database.dat" byte for byte: the header, records in the order given with their patched lengths, reading
// that steps over the states, and the files it refuses.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/fs/file_system.h"
#include "foundation/fs/memory_file.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "library/library_store.h"
#include "foundation/win32/window_text.h"
#include "tests/shell/shell_fixtures.h"

namespace {

const std::string k_header("\x55\xC7\x65\x9F\xF6\x13\x14\x48\xA9\xB1\xF1\xB6\xF7\xAD\x7F\xFC", 16);

std::string u32(uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(v >> (8 * i));
    return out;
}

std::string record_bytes(const std::string& key, const std::string& state) {
    return u32(static_cast<uint32_t>(key.size())) + key + u32(static_cast<uint32_t>(state.size())) + state;
}

file_stream_ref memory_with(const std::string& bytes) {
    file_stream_ref f = memory_file::create();
    f->write(bytes.data(), bytes.size(), abort_never);
    f->seek(0, abort_never);
    return f;
}

std::string contents(file_stream& f) {
    std::string out(static_cast<size_t>(f.get_size(abort_never)), '\0');
    f.seek(0, abort_never);
    if (!out.empty()) f.read_exact(&out[0], out.size(), abort_never);
    return out;
}

library_store::record state_record(const std::string& key, const std::string& state) {
    return {key, [state](byte_sink& out, const abort_signal& abort) { out.write(state.data(), state.size(), abort); }};
}

}  // namespace

TEST_CASE("library store: written records are the header, the count, then key and patched state length") {
    file_stream_ref f = memory_file::create();
    library_store::write_records(*f, {}, abort_never);
    CHECK(contents(*f) == k_header + u32(0));  // 20 bytes

    // A state larger than the write buffer is patched in place like a small one.
    const std::string big(library_store::write_buffer_size * 2 + 3, 'x');
    f = memory_file::create();
    library_store::write_records(*f, {state_record(".", "ab"), state_record("D:\\M\xC3\xBCsik", big), state_record("e", "")},
                                 abort_never);
    CHECK(contents(*f) == k_header + u32(3) + record_bytes(".", "ab") + record_bytes("D:\\M\xC3\xBCsik", big) +
                              record_bytes("e", ""));
}

TEST_CASE("library store: reading gives each key a window on exactly its state; a repeated key takes the later") {
    file_stream_ref f = memory_with(k_header + u32(3) + record_bytes("a", "first") + record_bytes("b", "") +
                                    record_bytes("a", "second!") + "trailing bytes are never looked at");
    library_stored_states states;
    library_store::read_records(states, *f, abort_never);
    REQUIRE(states.size() == 2);
    CHECK(states["a"]->get_size(abort_never) == 7);
    CHECK(contents(*states["a"]) == "second!");
    CHECK(contents(*states["b"]).empty());
    CHECK(contents(*states["a"]) == "second!");  // read again after another window moved the file
}

TEST_CASE("library store: files the reader refuses, and what it kept before the failure") {
    struct row {
        const char* what;
        std::string bytes;
        size_t kept;
    };
    const std::string bad_guid = std::string("\x56") + k_header.substr(1);
    const row rows[] = {
        {"foreign header", bad_guid + u32(0), 0},
        {"shorter than the header", k_header.substr(0, 10), 0},
        {"no count", k_header, 0},
        {"count beyond the records", k_header + u32(0xFFFFFFFF) + record_bytes("a", "x"), 1},
        {"key length beyond the end", k_header + u32(2) + record_bytes("a", "x") + u32(0x7FFFFFFF) + "abc", 1},
        {"key cut short", k_header + u32(1) + u32(5) + "ab", 0},
        {"state length missing", k_header + u32(1) + u32(1) + "a", 0},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        file_stream_ref f = memory_with(r.bytes);
        library_stored_states states;
        CHECK_THROWS_AS(library_store::read_records(states, *f, abort_never), ketrel_io::exception_io_data);
        CHECK(states.size() == r.kept);
    }
}

TEST_CASE("library store: load and save of the file; a missing file is no failure, a damaged one reports") {
    shell_test::scratch_folder dir("vorn-library-store");
    const std::string location = "file://" + dir.path + "\\database.dat";

    library_stored_states states;
    std::string error;
    CHECK(library_store::load(location.c_str(), states, &error));
    CHECK(states.empty());
    library_store::remove(location.c_str());  // nothing there: fine

    REQUIRE(library_store::save(location.c_str(), {state_record("b", "22"), state_record("a", "1")}));
    CHECK(library_store::load(location.c_str(), states, &error));
    REQUIRE(states.size() == 2);
    CHECK(contents(*states["a"]) == "1");
    CHECK(contents(*states["b"]) == "22");
    states.clear();  // the file is closed with its last window

    // Replaceable as soon as the windows are gone.
    REQUIRE(library_store::save(location.c_str(), {}));
    CHECK(library_store::load(location.c_str(), states, &error));
    CHECK(states.empty());

    dir.file("database.dat", "not a library file at all");
    CHECK_FALSE(library_store::load(location.c_str(), states, &error));
    CHECK(error == "Unsupported format or corrupted file");
    library_store::remove(location.c_str());
    CHECK_FALSE(file_system_exists(location.c_str(), abort_never));
}

namespace {

struct answering_host : message_box_host {
    std::vector<int> answers;
    std::vector<std::string> texts, captions;
    std::vector<UINT> types;
    std::string make_writable;
    int show(HWND, const win_string_param& text, const win_string_param& caption, UINT type) override {
        texts.push_back(text.utf8() ? text.utf8() : "");
        captions.push_back(caption.utf8() ? caption.utf8() : "");
        types.push_back(type);
        if (!make_writable.empty()) SetFileAttributesW(shell_test::wide(make_writable).c_str(), FILE_ATTRIBUTE_NORMAL);
        int answer = answers.empty() ? IDCANCEL : answers.front();
        if (!answers.empty()) answers.erase(answers.begin());
        return answer;
    }
};

}  // namespace

TEST_CASE("library store: a failed write asks Retry or Cancel; Cancel keeps the old file, Retry writes again") {
    shell_test::scratch_folder dir("vorn-library-store-ro");
    const std::string path = dir.file("database.dat", "old");
    const std::string location = "file://" + path;
    SetFileAttributesW(shell_test::wide(path).c_str(), FILE_ATTRIBUTE_READONLY);

    answering_host host;
    {
        message_box_host_override use(host);
        host.answers = {IDRETRY, IDCANCEL};
        CHECK_FALSE(library_store::save(location.c_str(), {state_record("a", "1")}));
    }
    REQUIRE(host.texts.size() == 2);
    CHECK(host.texts[0] ==
          "Library file could not be written (file exists and is read-only).\nIf you choose 'cancel', your recent "
          "library changes will be lost.");
    CHECK(host.captions[0] == "Error writing library file");
    CHECK(host.types[0] == (MB_RETRYCANCEL | MB_ICONWARNING));
    file_stream_ref f;
    file_system_open(f, location.c_str(), open_mode_read, abort_never);
    CHECK(contents(*f) == "old");
    f.reset();

    host.texts.clear();
    host.answers = {IDRETRY};
    host.make_writable = path;
    {
        message_box_host_override use(host);
        CHECK(library_store::save(location.c_str(), {state_record("a", "1")}));
    }
    CHECK(host.texts.size() == 1);
    file_system_open(f, location.c_str(), open_mode_read, abort_never);
    CHECK(contents(*f) == k_header + u32(1) + record_bytes("a", "1"));
}
