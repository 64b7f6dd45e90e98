// Byte streams: the binary forms of the program's files, exact reads and skips, buffered adapters, the
// memory sink and the copy and truncation helpers.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "foundation/fs/buffered_streams.h"
#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/fs/memory_sink.h"
#include "foundation/fs/stream_forms.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/io_exceptions.h"
#include "fs_test_support.h"

using namespace fs_test;

namespace {

// A source over fixed bytes that records the requests made of it.
class recorded_source : public byte_source {
public:
    explicit recorded_source(std::string bytes) : m_bytes(std::move(bytes)) {}
    size_t read(void* buffer, size_t n, const abort_signal& abort) override {
        abort.check();
        requests.push_back(n);
        size_t take = std::min(n, m_bytes.size() - m_position);
        std::memcpy(buffer, m_bytes.data() + m_position, take);
        m_position += take;
        return take;
    }
    std::vector<size_t> requests;

private:
    std::string m_bytes;
    size_t m_position = 0;
};

// A sink that records each write it gets.
class recorded_sink : public byte_sink {
public:
    void write(const void* buffer, size_t n, const abort_signal&) override {
        writes.push_back(std::string(static_cast<const char*>(buffer), n));
    }
    std::string all() const {
        std::string out;
        for (const auto& w : writes) out += w;
        return out;
    }
    std::vector<std::string> writes;
};

std::string sink_bytes(const memory_sink& sink) {
    return std::string(reinterpret_cast<const char*>(sink.data()), sink.size());
}

std::string le32(uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
}

}  // namespace

TEST_CASE("the binary forms are little-endian and round-trip") {
    const kpl::guid g = kpl::guid_from_text("{B2223DD1-15C4-46F5-8031-96E692BC1E20}");
    const std::string guid_bytes("\xD1\x3D\x22\xB2\xC4\x15\xF5\x46\x80\x31\x96\xE6\x92\xBC\x1E\x20", 16);
    const std::string long_text(70000, 'q');

    struct {
        const char* what;
        std::function<void(stream_writer&)> write;
        std::string bytes;
    } forms[] = {
        {"u32", [](stream_writer& w) { w.write_uint32(0x12345678); }, "\x78\x56\x34\x12"},
        {"empty string", [](stream_writer& w) { w.write_string(""); }, std::string(4, '\0')},
        {"string", [](stream_writer& w) { w.write_string("Gr\xC3\xB6\xC3\x9F" "e"); },
         le32(7) + "Gr\xC3\xB6\xC3\x9F" "e"},
        {"guid", [&](stream_writer& w) { w.write_guid(g); }, guid_bytes},
        {"long string", [&](stream_writer& w) { w.write_string(long_text.c_str()); }, le32(70000) + long_text},
    };
    for (const auto& form : forms) {
        CAPTURE(form.what);
        memory_sink sink;
        stream_writer writer(sink, abort_never);
        form.write(writer);
        CHECK(sink_bytes(sink) == form.bytes);
    }

    memory_sink sink;
    stream_writer w(sink, abort_never);
    w.write_uint32(0xFFFFFFFF);
    w.write_string("");
    w.write_string("Ωmega");
    w.write_guid(g);
    w.write_string(long_text.c_str());
    recorded_source source(sink_bytes(sink));
    stream_reader r(source, abort_never);
    CHECK(r.read_uint32() == 0xFFFFFFFF);
    kpl::utf8_string_pow2 text("previous");
    r.read_string(text);
    CHECK(text == "");
    r.read_string(text);
    CHECK(text == "Ωmega");
    CHECK(r.read_guid() == g);
    r.read_string(text);
    CHECK(text.length() == 70000);
    CHECK_THROWS_AS(r.read_uint32(), ketrel_io::exception_io_data);
}

TEST_CASE("a damaged string length fails at the end of the data before the whole size is claimed") {
    // Claims 100 MB, holds 100 KiB: reads grow 64 KiB, 64 KiB, 128 KiB and stop there.
    std::string bytes = le32(100 * 1000 * 1000) + std::string(100 * 1024, 'x');
    recorded_source source(bytes);
    stream_reader r(source, abort_never);
    kpl::utf8_string_pow2 text;
    CHECK_THROWS_AS(r.read_string(text), ketrel_io::exception_io_data);
    size_t largest = 0;
    for (size_t n : source.requests) largest = std::max(largest, n);
    CHECK(largest <= 131072);

    // A short body within the single-step size fails the same way and leaves a usable string.
    recorded_source short_source(le32(10) + "abc");
    stream_reader short_reader(short_source, abort_never);
    CHECK_THROWS_AS(short_reader.read_string(text), ketrel_io::exception_io_data);
    text = "still usable";
    CHECK(text == "still usable");

    recorded_source exact(std::string(5, 'z'));
    kpl::shared_string shared = read_into_shared_string(exact, 5, abort_never);
    CHECK(std::string(shared.c_str()) == "zzzzz");
    CHECK_THROWS_AS(read_into_shared_string(exact, 1, abort_never), ketrel_io::exception_io_data);
}

TEST_CASE("read_all_text reads 256-byte blocks until one comes back short") {
    struct {
        size_t size;
        size_t reads;
    } cases[] = {{0, 1}, {255, 1}, {256, 2}, {257, 2}, {1000, 4}};
    for (const auto& c : cases) {
        CAPTURE(c.size);
        recorded_source source(std::string(c.size, 'a'));
        kpl::utf8_string_pow2 text("old");
        read_all_text(text, source, abort_never);
        CHECK(text.length() == c.size);
        CHECK(source.requests.size() == c.reads);
    }
}

TEST_CASE("exact reads and skips on plain sources") {
    recorded_source source("0123456789");
    char buffer[4];
    source.read_exact(buffer, 4, abort_never);
    CHECK(std::string(buffer, 4) == "0123");
    CHECK(source.skip(3, abort_never) == 3);
    CHECK_THROWS_AS(source.read_exact(buffer, 4, abort_never), ketrel_io::exception_io_data);

    recorded_source long_source(std::string(600, 'x'));
    CHECK(long_source.skip(1025, abort_never) == 600);  // not seekable: read in 256-byte pieces
    CHECK(long_source.requests == std::vector<size_t>{256, 256, 256});
    recorded_source short_source("abc");
    CHECK_THROWS_AS(short_source.skip_exact(4, abort_never), ketrel_io::exception_io_data);
}

TEST_CASE("buffered adapters pass every byte through in larger pieces") {
    std::string data;
    for (int i = 0; i < 5000; ++i) data.push_back(static_cast<char>('a' + i % 26));
    const size_t pieces[] = {1, 7, 16, 100, 4096};
    for (size_t piece : pieces) {
        CAPTURE(piece);
        recorded_sink sink;
        buffered_writer writer(sink, 16);
        for (size_t at = 0; at < data.size(); at += piece)
            writer.write(data.data() + at, std::min(piece, data.size() - at), abort_never);
        writer.flush(abort_never);
        CHECK(sink.all() == data);
        for (size_t i = 0; i + 1 < sink.writes.size(); ++i) CHECK(sink.writes[i].size() >= 16);

        recorded_source source(data);
        buffered_reader reader(source, 16);
        std::string back;
        std::vector<char> buffer(piece);
        size_t got;
        while ((got = reader.read(buffer.data(), piece, abort_never)) > 0) back.append(buffer.data(), got);
        CHECK(back == data);
        for (size_t n : source.requests) CHECK(n == 16);
    }
    recorded_sink sink;
    buffered_writer writer(sink, 16);
    writer.write("abc", 3, abort_never);
    CHECK(sink.writes.empty());
    abort_after_checks set(0);
    CHECK_THROWS_AS(writer.write("d", 1, set), ketrel_io::exception_aborted);
}

TEST_CASE("copy and truncation helpers") {
    registry_built registry;
    file_stream_ref source, target;
    temp_memory_file_open(source, abort_never);
    temp_file_open(target, abort_never);
    std::string data(3 * 1024 * 1024 + 5, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 253);
    source->write(data.data(), data.size(), abort_never);
    target->write("longer old content that must go", 31, abort_never);

    file_copy_whole(*target, *source, abort_never);
    CHECK(target->get_size(abort_never) == data.size());
    target->seek(0, abort_never);
    std::string back(data.size(), '\0');
    target->read_exact(&back[0], back.size(), abort_never);
    CHECK(back == data);

    // Larger sizes leave a file alone; smaller ones cut it.
    file_truncate_to(*target, data.size() + 10, abort_never);
    CHECK(target->get_size(abort_never) == data.size());
    file_truncate_to(*target, 10, abort_never);
    CHECK(target->get_size(abort_never) == 10);

    target->seek(4, abort_never);
    CHECK(file_remaining(*target, abort_never) == 6);
    CHECK_FALSE(file_is_at_end(*target, abort_never));

    source->seek(data.size() - 3, abort_never);
    memory_sink sink;
    CHECK(stream_copy(*source, sink, 100, abort_never) == 3);
    source->seek(data.size() - 3, abort_never);
    CHECK_THROWS_AS(stream_copy_exact(*source, sink, 4, abort_never), ketrel_io::exception_io_data);
    source->seek(0, abort_never);
    abort_after_checks set(0);
    CHECK_THROWS_AS(stream_copy(*source, sink, 10, set), ketrel_io::exception_aborted);
}
