#include "inputs/input_probe.h"

#include "foundation/fs/file_system.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/path_names.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/tick_timer.h"

template <class Facet>
class input_probe::facet_opener final : public input_probe::opener {
public:
    using method = void (input_service::*)(service_ptr<Facet>&, file_stream_ref, const char*, const abort_signal&);
    facet_opener(service_ptr<Facet>& out, method m) : m_out(out), m_method(m) {}

    void open(input_service& input, file_stream_ref file, const char* path, const abort_signal& abort) override {
        (input.*m_method)(m_out, file, path, abort);
    }

private:
    service_ptr<Facet>& m_out;
    method m_method;
};

input_probe::input_probe() : m_inputs(service_class::find(input_service::class_guid)) {}

namespace {

template <class Test>
void collect(const service_class_entry* inputs, kpl::array<service_ptr<input_service>>& out, bool skip_flagged,
             Test test) {
    out.clear();
    service_iterator it(inputs);
    service_ref each;
    while (it.next(each)) {
        input_service* input = each.as<input_service>();
        if (skip_flagged && (input->get_input_flags() & input_service::flag_skippable)) continue;
        if (test(*input)) out.append(service_ptr<input_service>(input));
    }
}

}  // namespace

void input_probe::probe_content_type(kpl::array<service_ptr<input_service>>& out, const char* content_type,
                                     bool skip_flagged) const {
    collect(m_inputs, out, skip_flagged,
            [content_type](input_service& input) { return input.accepts_content_type(content_type); });
}

void input_probe::probe_path(kpl::array<service_ptr<input_service>>& out, const char* path,
                             bool skip_flagged) const {
    char extension[32];
    kpl::extension_of(path, extension);
    collect(m_inputs, out, skip_flagged,
            [path, &extension](input_service& input) { return input.accepts_extension(path, extension); });
}

void input_probe::try_candidates(const kpl::array<service_ptr<input_service>>& candidates, opener& open,
                                 file_stream_ref file, const char* path, const abort_signal& abort) {
    if (candidates.count() == 1) {
        open.open(*candidates[0], file, path, abort);
        return;
    }
    kpl::utf8_string_tight first_message;
    uint32_t data_errors = 0;
    for (const service_ptr<input_service>& candidate : candidates) {
        try {
            open.open(*candidate, file, path, abort);
            return;
        } catch (const ketrel_io::exception_io_unsupported_format&) {
            // Not this input's file after all: the next one may take it.
        } catch (const ketrel_io::exception_io_data& e) {
            if (data_errors++ == 0) first_message = e.what();
        }
    }
    if (data_errors >= 2) throw ketrel_io::exception_io_data();
    if (data_errors == 1) throw ketrel_io::exception_io_data(first_message.c_str());
    throw ketrel_io::exception_io_unsupported_format();
}

void input_probe::probe(opener& open, file_stream_ref file, const char* path, uint32_t reason,
                        const abort_signal& abort, bool skip_flagged) const {
    if (!file) {
        filesystem_provider_ref provider;
        if (file_system_try_find(path, provider) && provider->open_before_probe()) {
            file_system_open(file, path, reason == input_open_write ? open_mode_modify : open_mode_read, abort);
        }
    }
    kpl::array<service_ptr<input_service>> candidates;
    if (file) {
        kpl::utf8_string_tight content_type;
        if (file->get_content_type(content_type)) {
            probe_content_type(candidates, content_type.c_str(), skip_flagged);
            if (candidates.count() > 0) {
                try_candidates(candidates, open, file, path, abort);
                return;
            }
        }
    }
    probe_path(candidates, path, skip_flagged);
    if (candidates.count() == 0) throw ketrel_io::exception_io_unsupported_format();
    try_candidates(candidates, open, file, path, abort);
}

void input_probe::open_decoder(service_ptr<track_decoder>& out, file_stream_ref file, const char* path,
                               const abort_signal& abort, bool skip_flagged) const {
    facet_opener<track_decoder> open(out, &input_service::open_decoder);
    probe(open, file, path, input_open_decode, abort, skip_flagged);
}

void input_probe::open_info_reader(service_ptr<track_info_reader>& out, file_stream_ref file, const char* path,
                                   const abort_signal& abort, bool skip_flagged) const {
    facet_opener<track_info_reader> open(out, &input_service::open_info_reader);
    probe(open, file, path, input_open_info, abort, skip_flagged);
}

void input_probe::open_info_writer(service_ptr<track_info_writer>& out, file_stream_ref file, const char* path,
                                   const abort_signal& abort, bool skip_flagged) const {
    facet_opener<track_info_writer> open(out, &input_service::open_info_writer);
    probe(open, file, path, input_open_write, abort, skip_flagged);
}

void input_open_decoder(service_ptr<track_decoder>& out, file_stream_ref file, const char* path,
                        const abort_signal& abort, bool skip_flagged) {
    input_probe().open_decoder(out, file, path, abort, skip_flagged);
}

void input_open_info_reader(service_ptr<track_info_reader>& out, file_stream_ref file, const char* path,
                            const abort_signal& abort, bool skip_flagged) {
    input_probe().open_info_reader(out, file, path, abort, skip_flagged);
}

void input_open_info_writer(service_ptr<track_info_writer>& out, file_stream_ref file, const char* path,
                            const abort_signal& abort, bool skip_flagged) {
    input_probe().open_info_writer(out, file, path, abort, skip_flagged);
}

void input_open_info_writer_ex(const input_probe& probe, service_ptr<track_info_writer>& out, file_stream_ref file,
                               const char* path, const abort_signal& abort, double timeout_seconds,
                               bool skip_flagged) {
    tick_timer timer;
    timer.start();
    for (;;) {
        try {
            probe.open_info_writer(out, file, path, abort, skip_flagged);
            return;
        } catch (const ketrel_io::exception_io_sharing_violation&) {
            if (timer.query_seconds() > timeout_seconds) throw;
        }
        abort.sleep(0.01);
    }
}

void input_open_info_writer_ex(service_ptr<track_info_writer>& out, file_stream_ref file, const char* path,
                               const abort_signal& abort, double timeout_seconds, bool skip_flagged) {
    input_open_info_writer_ex(input_probe(), out, file, path, abort, timeout_seconds, skip_flagged);
}
