#include "foundation/services/config_store.h"

#include <windows.h>

#include <cstring>

#include "foundation/fs/file_system.h"
#include "foundation/fs/file_writer.h"
#include "foundation/fs/memory_sink.h"
#include "foundation/fs/stream_forms.h"
#include "foundation/kpl/avl_tree.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/persistent_state.h"
#include "foundation/services/profile_folder.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/window_text.h"

namespace config_file {

const uint8_t salt[16] = {0x5E, 0x91, 0x2C, 0xD7, 0x03, 0xA8, 0x6F, 0x44, 0xB9, 0x1D, 0xE2, 0x70, 0x38, 0xC5, 0x8A, 0x16};

md5_digest digest_of(const void* stream, uint32_t size) {
    md5_hasher hasher;
    hasher.add(salt, sizeof(salt));
    hasher.add(stream, size);
    return hasher.finish();
}

}  // namespace config_file

namespace {

bool g_quiet = false;

// A source over bytes in memory.
class memory_source final : public byte_source {
public:
    memory_source(const uint8_t* data, uint32_t size) : m_data(data), m_size(size) {}

    size_t read(void* buffer, size_t n, const abort_signal& abort) override {
        abort.check();
        size_t left = m_size - m_position;
        if (n > left) n = left;
        if (n) std::memcpy(buffer, m_data + m_position, n);
        m_position += static_cast<uint32_t>(n);
        return n;
    }
    uint64_t skip(uint64_t n, const abort_signal& abort) override {
        abort.check();
        uint64_t left = m_size - m_position;
        if (n > left) n = left;
        m_position += static_cast<uint32_t>(n);
        return n;
    }

private:
    const uint8_t* m_data;
    uint32_t m_size;
    uint32_t m_position = 0;
};

// A source cut at the payload of one record: reads end at the payload's end.
class payload_source final : public byte_source {
public:
    payload_source(byte_source& source, uint32_t size) : m_source(source), m_left(size) {}

    size_t read(void* buffer, size_t n, const abort_signal& abort) override {
        if (n > m_left) n = m_left;
        size_t got = m_source.read(buffer, n, abort);
        m_left -= static_cast<uint32_t>(got);
        return got;
    }
    uint64_t skip(uint64_t n, const abort_signal& abort) override {
        if (n > m_left) n = m_left;
        uint64_t got = m_source.skip(n, abort);
        m_left -= static_cast<uint32_t>(got);
        return got;
    }

    uint32_t left() const noexcept { return m_left; }

private:
    byte_source& m_source;
    uint32_t m_left;
};

uint32_t read_uint32_le(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void write_uint32_le(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// Writes the header and the stream into the replacement file.
class config_file_writer final : public file_writer {
public:
    config_file_writer(const md5_digest& digest, const memory_sink& stream) : m_digest(digest), m_stream(stream) {}

    void write(file_stream& file, const abort_signal& abort) override {
        uint8_t header[config_file::header_size];
        std::memcpy(header, &config_file::magic, 16);
        std::memcpy(header + 16, m_digest.bytes, 16);
        write_uint32_le(header + 32, m_stream.size());
        file.write(header, sizeof(header), abort);
        if (m_stream.size()) file.write(m_stream.data(), m_stream.size(), abort);
    }

private:
    const md5_digest& m_digest;
    const memory_sink& m_stream;
};

using variable_map = kpl::avl_tree<kpl::guid, config_variable*>;

// The program's store as the persistent_state service (with persistent_state_flush for preferences apply).
class config_store_service final : public service_static<persistent_state_flush> {
public:
    void on_startup() override {
        kpl::utf8_string_pow2 location = config_store::program_location();
        config_store::program().reset_state();
        if (location.is_empty()) return;
        config_store::program().load(location.c_str(), config_store::quiet());
    }
    void on_shutdown(bool discard) override {
        kpl::utf8_string_pow2 location = config_store::program_location();
        if (location.is_empty()) return;
        config_store::program().save_at_shutdown(location.c_str(), discard);
    }
    void save_now() override {
        kpl::utf8_string_pow2 location = config_store::program_location();
        if (location.is_empty()) return;
        config_store::program().save_now(location.c_str());
    }
};

service_factory_single<config_store_service, persistent_state> g_config_store_service;

}  // namespace

config_store& config_store::program() noexcept {
    static config_store store(config_variable_lists());
    return store;
}

kpl::utf8_string_pow2 config_store::program_location() {
    kpl::utf8_string_pow2 location(profile_folder::c_str());
    if (location.is_empty()) return location;
    kpl::path_add_trailing_backslash(location);
    location << config_file::name;
    return location;
}

void config_store::set_quiet(bool quiet) noexcept { g_quiet = quiet; }
bool config_store::quiet() noexcept { return g_quiet; }

void config_store::read_records(byte_source& source, const abort_signal& abort, const config_variable_list& variables) {
    // Later entries of the read list were registered earlier; inserting them last lets them win.
    variable_map map;
    for (config_variable* v = variables.read_head; v; v = v->next_read()) {
        map.insert(v->read_guid()).node->value = v;
    }

    for (;;) {
        kpl::guid guid;
        if (source.read(&guid, sizeof(guid), abort) < sizeof(guid)) return;
        uint8_t length_bytes[4];
        source.read_exact(length_bytes, 4, abort);
        uint32_t length = read_uint32_le(length_bytes);

        variable_map::node_ptr found = map.find(guid);
        if (!found) {
            source.skip_exact(length, abort);
            continue;
        }
        payload_source payload(source, length);
        try {
            found->value->set_data(payload, length, abort);
        } catch (const ketrel_io::exception_io_data&) {
            // The variable keeps whatever it had set.
        }
        source.skip_exact(payload.left(), abort);
    }
}

void config_store::write_records(byte_sink& sink, const abort_signal& abort, const config_variable_list& variables) {
    memory_sink payload;
    for (config_variable* v = variables.write_head; v; v = v->next_write()) {
        payload.clear();
        v->get_data(payload, abort);
        sink.write_guid(v->write_guid(), abort);
        uint8_t length_bytes[4];
        write_uint32_le(length_bytes, payload.size());
        sink.write(length_bytes, 4, abort);
        if (payload.size()) sink.write(payload.data(), payload.size(), abort);
    }
}

void config_store::read_file(const char* location) {
    const abort_signal& abort = abort_never;
    file_stream_ref file;
    file_system_open_read(file, location, abort);

    uint64_t size = file->get_size(abort);
    if (size == file_size_unknown || size <= 20) throw ketrel_io::exception_io_data();

    kpl::guid magic;
    file->read_exact(&magic, sizeof(magic), abort);
    if (std::memcmp(&magic, &config_file::magic, sizeof(magic)) != 0) throw ketrel_io::exception_io_data();

    md5_digest stored;
    file->read_exact(stored.bytes, sizeof(stored.bytes), abort);
    uint8_t length_bytes[4];
    file->read_exact(length_bytes, 4, abort);
    uint32_t length = read_uint32_le(length_bytes);
    if (size - config_file::header_size < length) throw ketrel_io::exception_io_data();

    kpl::array<uint8_t> stream;
    stream.resize_exact(length);
    if (length) file->read_exact(stream.data(), length, abort);
    file.reset();

    if (config_file::digest_of(stream.data(), length) != stored) {
        throw ketrel_io::exception_io_data("Corrupted configuration file");
    }
    m_state = stored;

    memory_source source(stream.data(), length);
    read_records(source, abort, m_variables);
}

void config_store::write_file(const char* location) {
    if (m_writing_held) return;
    memory_sink stream;
    write_records(stream, abort_never, m_variables);
    md5_digest digest = config_file::digest_of(stream.data(), stream.size());
    if (digest == m_state) return;

    bool empty = stream.size() <= 4;
    for (uint32_t i = 0; empty && i < stream.size(); ++i) empty = stream.data()[i] == 0;
    if (empty) {
        remove_file(location);
    } else {
        config_file_writer writer(digest, stream);
        file_writer::write_replacing(writer, location, abort_never);
    }
    m_state = digest;
}

void config_store::remove_file(const char* location) {
    try {
        file_system_remove(location, abort_never);
    } catch (const ketrel_io::exception_io_not_found&) {
    }
}

void config_store::load(const char* location, bool quiet) {
    reset_state();
    try {
        read_file(location);
    } catch (const ketrel_io::exception_io_not_found&) {
        // No file yet: the defaults stay.
    } catch (const std::exception& e) {
        if (quiet) return;
        kpl::utf8_string_pow2 text("Error reading configuration file (");
        text << e.what() << ")." << "\nContinue?";
        m_writing_held = true;
        if (message_box(nullptr, text, nullptr, MB_OKCANCEL | MB_ICONERROR) != IDOK) {
            throw exception_shutdownrequest();
        }
        m_writing_held = false;
    }
}

void config_store::save_at_shutdown(const char* location, bool discard) {
    if (m_writing_held) return;
    for (uint32_t attempt = 1; attempt <= shutdown_attempts; ++attempt) {
        try {
            if (discard) {
                remove_file(location);
            } else {
                write_file(location);
            }
            return;
        } catch (const ketrel_io::exception_io_sharing_violation&) {
            if (attempt < shutdown_attempts) Sleep(shutdown_wait_ms);
        } catch (...) {
            return;
        }
    }
}

void config_store::save_now(const char* location) {
    try {
        write_file(location);
    } catch (...) {
    }
}
