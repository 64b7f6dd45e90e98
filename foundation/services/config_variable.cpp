#include "foundation/services/config_variable.h"

#include <cstring>

#include "foundation/fs/stream_forms.h"

namespace {

config_variable_list g_lists;

void put_uint32(uint8_t* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t get_uint32(const uint8_t* in) {
    return uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
}

}  // namespace

config_variable_list& config_variable_lists() noexcept { return g_lists; }

void config_variable::register_variable(const kpl::guid& guid, config_variable_list& list) noexcept {
    m_read.guid = guid;
    m_read.next = list.read_head;
    list.read_head = this;
    m_write.guid = guid;
    m_write.next = list.write_head;
    list.write_head = this;
}

// ---- text ------------------------------------------------------------------------------------------------

void config_text::set_data(byte_source& source, uint32_t, const abort_signal& abort) {
    read_all_text(m_value, source, abort);
}

void config_text::get_data(byte_sink& sink, const abort_signal& abort) {
    sink.write(m_value.c_str(), m_value.length(), abort);
}

// ---- fixed-size values -----------------------------------------------------------------------------------

namespace config_payload {

void read(byte_source& source, bool& out, const abort_signal& abort) {
    uint8_t byte;
    source.read_exact(&byte, 1, abort);
    out = byte != 0;
}

void read(byte_source& source, int32_t& out, const abort_signal& abort) {
    uint8_t bytes[4];
    source.read_exact(bytes, 4, abort);
    out = static_cast<int32_t>(get_uint32(bytes));
}

void read(byte_source& source, float& out, const abort_signal& abort) {
    uint8_t bytes[4];
    source.read_exact(bytes, 4, abort);
    uint32_t bits = get_uint32(bytes);
    std::memcpy(&out, &bits, 4);
}

void read(byte_source& source, kpl::guid& out, const abort_signal& abort) {
    stream_reader reader(source, abort);
    out = reader.read_guid();
}

void write(byte_sink& sink, bool value, const abort_signal& abort) {
    uint8_t byte = value ? 1 : 0;
    sink.write(&byte, 1, abort);
}

void write(byte_sink& sink, int32_t value, const abort_signal& abort) {
    uint8_t bytes[4];
    put_uint32(bytes, static_cast<uint32_t>(value));
    sink.write(bytes, 4, abort);
}

void write(byte_sink& sink, float value, const abort_signal& abort) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    uint8_t bytes[4];
    put_uint32(bytes, bits);
    sink.write(bytes, 4, abort);
}

void write(byte_sink& sink, const kpl::guid& value, const abort_signal& abort) { sink.write_guid(value, abort); }

}  // namespace config_payload

// ---- string lists ----------------------------------------------------------------------------------------

void config_string_list::set_data(byte_source& source, uint32_t, const abort_signal& abort) {
    stream_reader reader(source, abort);
    uint32_t count = reader.read_uint32();
    kpl::string_array values;
    kpl::utf8_string_pow2 text;
    for (uint32_t i = 0; i < count; ++i) {
        reader.read_string(text);
        values.append(text);
    }
    m_value = std::move(values);
}

void config_string_list::get_data(byte_sink& sink, const abort_signal& abort) {
    stream_writer writer(sink, abort);
    writer.write_uint32(m_value.count());
    for (const kpl::utf8_string_tight& text : m_value) {
        writer.write_uint32(text.length());
        writer.write(text.c_str(), text.length());
    }
}
