#include "library/library_store.h"

#include <cstring>

#include "foundation/fs/buffered_streams.h"
#include "foundation/fs/file_segment.h"
#include "foundation/fs/file_system.h"
#include "foundation/fs/file_writer.h"
#include "foundation/fs/stream_forms.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string.h"
#include "foundation/services/profile_folder.h"
#include "foundation/win32/window_text.h"
#include "shell/app_state.h"

namespace library_store {

namespace {

void write_u32(file_stream& file, uint32_t value, const abort_signal& abort) {
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                        static_cast<uint8_t>(value >> 24)};
    file.write(bytes, 4, abort);
}

class records_writer final : public file_writer {
public:
    explicit records_writer(const std::vector<record>& records) : m_records(records) {}
    void write(file_stream& file, const abort_signal& abort) override { write_records(file, m_records, abort); }

private:
    const std::vector<record>& m_records;
};

}  // namespace

void read_records(library_stored_states& out, file_stream& file, const abort_signal& abort) {
    stream_reader reader(file, abort);
    if (reader.read_guid() != format_guid) throw ketrel_io::exception_io_data();
    const uint32_t count = reader.read_uint32();
    kpl::utf8_string_pow2 key;
    for (uint32_t i = 0; i < count; ++i) {
        reader.read_string(key);
        const uint32_t length = reader.read_uint32();
        const uint64_t start = file.get_position(abort);
        file_stream_ref window;
        file_segment_open(window, file, start, length, abort);
        out[std::string(key.c_str(), key.length())] = window;
        window->seek(length, abort);
    }
}

void write_records(file_stream& file, const std::vector<record>& records, const abort_signal& abort) {
    file.write_guid(format_guid, abort);
    write_u32(file, static_cast<uint32_t>(records.size()), abort);
    for (const record& r : records) {
        write_u32(file, static_cast<uint32_t>(r.key.size()), abort);
        file.write(r.key.data(), r.key.size(), abort);
        write_u32(file, 0, abort);
        const uint64_t start = file.get_position(abort);
        {
            buffered_writer buffer(file, write_buffer_size);
            if (r.save_state) r.save_state(buffer, abort);
            buffer.flush(abort);
        }
        const uint64_t end = file.get_position(abort);
        if (end - start > 0xFFFFFFFFu) throw kpl::exception_overflow();
        file.seek(start - 4, abort);
        write_u32(file, static_cast<uint32_t>(end - start), abort);
        file.seek(end, abort);
    }
}

std::string location() {
    std::string path(profile_folder::c_str());
    if (!path.empty()) path += "\\database.dat";
    return path;
}

bool load(const char* location, library_stored_states& out, std::string* error) {
    try {
        if (!*location || !file_system_exists(location, abort_never)) return true;
        file_stream_ref file;
        file_system_open(file, location, open_mode_read, abort_never);
        read_records(out, *file, abort_never);
        return true;
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
}

bool save(const char* location, const std::vector<record>& records) {
    if (!*location) return false;
    records_writer writer(records);
    for (;;) {
        kpl::utf8_string_pow2 text("Library file could not be written (");
        try {
            file_writer::write_replacing(writer, location, abort_never);
            return true;
        } catch (const std::exception& e) {
            text << e.what();
        }
        text << ").\nIf you choose 'cancel', your recent library changes will be lost.";
        const int answer = message_box(app_state.main_window, text.c_str(), "Error writing library file",
                                       MB_RETRYCANCEL | MB_ICONWARNING);
        if (answer != IDRETRY) return false;
    }
}

void remove(const char* location) {
    if (!*location) return;
    try {
        file_system_remove(location, abort_never);
    } catch (const ketrel_io::exception_io_not_found&) {
    }
}

}  // namespace library_store
