#include "tests/metadata/decoding/fake_input.h"

#include <cmath>

#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "inputs/input_service.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"

namespace {

std::map<std::string, fake_input::state>& table() {
    static std::map<std::string, fake_input::state> t;
    return t;
}
std::string g_last_opened;

template <class Interface>
class fake_decoder_base : public service_counted<Interface> {
public:
    explicit fake_decoder_base(const std::string& path) : m_path(path) {}

    uint32_t subsong_count() override { return state().s.subsongs; }
    uint32_t subsong_id(uint32_t index) override { return state().s.subsongs > 1 ? index + 1 : 0; }
    void get_info(uint32_t subsong, track_info& info, const abort_signal& abort) override {
        abort.check();
        fake_input::file_setup& s = state().s;
        if (s.info_failure && s.failures > 0) {
            --s.failures;
            if (s.info_failure == 1) throw ketrel_io::exception_io_data();
            throw ketrel_io::exception_io_denied();
        }
        info.set_length(static_cast<double>(s.total) / s.rate);
        std::string title = m_path + " #" + std::to_string(subsong);
        info.meta_set("title", track_info::npos, title.c_str(), track_info::npos);
    }
    file_stats get_file_stats(const abort_signal&) override {
        file_stats st;
        st.size = 1234;
        st.timestamp = 5678;
        return st;
    }
    void initialise(uint32_t subsong, uint32_t flags, const abort_signal&) override {
        state().initialised.push_back(subsong);
        state().flags.push_back(flags);
        m_position = 0;
    }
    bool decode_chunk(audio_block& block, const abort_signal& abort) override {
        abort.check();
        const fake_input::file_setup& s = state().s;
        if (m_position >= s.total) return false;
        uint64_t left = s.total - m_position;
        uint32_t n = left < s.block ? static_cast<uint32_t>(left) : s.block;
        std::vector<float> samples(n);
        for (uint32_t i = 0; i < n; ++i) samples[i] = static_cast<float>((m_position + i) % fake_input::frame_modulo);
        block.set_data(samples.data(), n, 1, s.rate, 0x4);
        m_position += n;
        return true;
    }
    void seek_seconds(double seconds, const abort_signal&) override {
        uint64_t target = static_cast<uint64_t>(std::floor(seconds * state().s.rate + 0.5));
        state().seeks.push_back(target);
        m_position = target;
    }
    bool can_seek() override { return state().s.seekable; }
    bool dynamic_info(track_info&, double&) override { return false; }
    bool dynamic_track_info(track_info&, double&) override { return false; }
    void on_idle(const abort_signal&) override {}

protected:
    fake_input::state& state() { return table()[m_path]; }

    std::string m_path;
    uint64_t m_position = 0;
};

class fake_plain_decoder final : public fake_decoder_base<track_decoder> {
public:
    using fake_decoder_base::fake_decoder_base;
};

class fake_v2_decoder final : public fake_decoder_base<track_decoder_v2> {
public:
    using fake_decoder_base::fake_decoder_base;
    // Four bytes per frame: the frame number.
    bool decode_chunk_raw(audio_block& block, kpl::byte_array& raw, const abort_signal& abort) override {
        uint64_t first = m_position;
        if (!decode_chunk(block, abort)) return false;
        raw.resize_exact(block.get_sample_count() * 4);
        for (uint32_t i = 0; i < block.get_sample_count(); ++i) {
            uint32_t v = static_cast<uint32_t>(first + i);
            for (int k = 0; k < 4; ++k) raw[i * 4 + k] = static_cast<uint8_t>(v >> (8 * k));
        }
        return true;
    }
    void set_event_sink(decoder_event_sink*) override {}
};

class fake_input_service final : public service_static<input_service> {
public:
    bool accepts_content_type(const char*) override { return false; }
    bool accepts_extension(const char*, const char* extension) override {
        return utf8_compare_nocase_fast(extension, "fakedec") == 0;
    }
    void open_decoder(service_ptr<track_decoder>& out, file_stream_ref, const char* path,
                      const abort_signal& abort) override {
        abort.check();
        fake_input::state& st = table()[path];
        ++st.opens;
        g_last_opened = path;
        service_ref r;
        if (st.s.v2) r.attach(static_cast<track_decoder*>(new fake_v2_decoder(path)));
        else r.attach(static_cast<track_decoder*>(new fake_plain_decoder(path)));
        out.attach_ref(std::move(r));
    }
    void open_info_reader(service_ptr<track_info_reader>& out, file_stream_ref file, const char* path,
                          const abort_signal& abort) override {
        service_ptr<track_decoder> d;
        open_decoder(d, file, path, abort);
        out.assign(d.get());
    }
    void open_info_writer(service_ptr<track_info_writer>&, file_stream_ref, const char*, const abort_signal&) override {
        throw ketrel_io::exception_io_unsupported_format();
    }
    uint32_t get_input_flags() override { return 0; }
};

service_factory_single<fake_input_service, input_service> g_fake_input;

}  // namespace

void fake_input::reset() {
    table().clear();
    g_last_opened.clear();
}

void fake_input::set(const std::string& path, const file_setup& s) { table()[path].s = s; }

fake_input::state& fake_input::get(const std::string& path) { return table()[path]; }

std::string fake_input::last_opened() { return g_last_opened; }

void fake_input_ensure_services() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
}
