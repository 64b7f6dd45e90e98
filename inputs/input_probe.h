#pragma once
// Probing: finding the input that opens a location, the only way the rest of the program reaches a format.
//
//     service_ptr<track_info_reader> reader;
//     input_open_info_reader(reader, file_stream_ref(), "file://C:\\Music\\a.flac", abort, false);
//     track_info_store info;
//     reader->get_info(reader->subsong_id(0), info, abort);
//
// The candidates:
//   1. Without a file passed in, the location's file system may ask for the file to be opened before
//      probing (filesystem_provider::open_before_probe; none of the program's file systems does).
//   2. A held file that reports a content type: every input whose accepts_content_type is true, in
//      class-table order. When there is one, these are the candidates and the extension is never looked at.
//   3. Otherwise every input whose accepts_extension is true for kpl::extension_of (path).
//   4. None: ketrel_io::exception_io_unsupported_format ("Unsupported file format").
// Trying them:
//   - one candidate: whatever it throws reaches the caller unchanged;
//   - several, in order until one opens: ketrel_io::exception_io_unsupported_format is passed over
//     silently; ketrel_io::exception_io_data (or a kind of it) is passed over and its text kept; any other
//     exception (not found, denied, sharing violation, aborted) ends probing and reaches the caller. When
//     all failed: two or more data errors give ketrel_io::exception_io_data with its default text, one
//     gives ketrel_io::exception_io_data with that error's text, none gives the unsupported format.
//
// `skip_flagged` leaves out the inputs whose get_input_flags has input_service::flag_skippable.

#include "foundation/fs/file_stream.h"
#include "foundation/services/service_base.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_service.h"

// The probing algorithm over one set of inputs: the program's input_service class by default, or a
// class-table row of a test's own table.
class input_probe {
public:
    input_probe();
    explicit input_probe(const service_class_entry* inputs) : m_inputs(inputs) {}

    void open_decoder(service_ptr<track_decoder>& out, file_stream_ref file, const char* path,
                      const abort_signal& abort, bool skip_flagged) const;
    void open_info_reader(service_ptr<track_info_reader>& out, file_stream_ref file, const char* path,
                          const abort_signal& abort, bool skip_flagged) const;
    void open_info_writer(service_ptr<track_info_writer>& out, file_stream_ref file, const char* path,
                          const abort_signal& abort, bool skip_flagged) const;

    // The inputs that take the content type / the path's extension, in class-table order.
    void probe_content_type(kpl::array<service_ptr<input_service>>& out, const char* content_type,
                            bool skip_flagged) const;
    void probe_path(kpl::array<service_ptr<input_service>>& out, const char* path, bool skip_flagged) const;

private:
    // One open operation of input_service, the same for every candidate.
    class opener {
    public:
        virtual void open(input_service& input, file_stream_ref file, const char* path,
                          const abort_signal& abort) = 0;

    protected:
        ~opener() = default;
    };
    template <class Facet>
    class facet_opener;

    void probe(opener& open, file_stream_ref file, const char* path, uint32_t reason, const abort_signal& abort,
               bool skip_flagged) const;
    static void try_candidates(const kpl::array<service_ptr<input_service>>& candidates, opener& open,
                               file_stream_ref file, const char* path, const abort_signal& abort);

    const service_class_entry* m_inputs;
};

// The entry points over the program's inputs.
void input_open_decoder(service_ptr<track_decoder>& out, file_stream_ref file, const char* path,
                        const abort_signal& abort, bool skip_flagged);
void input_open_info_reader(service_ptr<track_info_reader>& out, file_stream_ref file, const char* path,
                            const abort_signal& abort, bool skip_flagged);
void input_open_info_writer(service_ptr<track_info_writer>& out, file_stream_ref file, const char* path,
                            const abort_signal& abort, bool skip_flagged);

// input_open_info_writer, retried every 0.01 s while the file is in use
// (ketrel_io::exception_io_sharing_violation) until more than `timeout_seconds` have passed since the
// first try; then the sharing violation reaches the caller. An abort during a wait throws
// ketrel_io::exception_aborted; other exceptions pass at once.
//     input_open_info_writer_ex(writer, file_stream_ref(), path, abort, 0.5, false);
void input_open_info_writer_ex(service_ptr<track_info_writer>& out, file_stream_ref file, const char* path,
                               const abort_signal& abort, double timeout_seconds, bool skip_flagged);
// The same over a given set of inputs (tests).
void input_open_info_writer_ex(const input_probe& probe, service_ptr<track_info_writer>& out, file_stream_ref file,
                               const char* path, const abort_signal& abort, double timeout_seconds,
                               bool skip_flagged);
