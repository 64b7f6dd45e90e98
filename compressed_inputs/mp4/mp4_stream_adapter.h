#pragma once
// mp4_stream_adapter: the atomkit stream over an open file, built per operation with the caller's abort
// signal. Skips over 256 bytes on a seekable file of known size become seeks (so the scan never reads media
// data); a file that cannot seek only moves forward.
//
//     mp4_stream_adapter s(file, abort);
//     model.open(s, atomkit::parse_for_playback, file->can_seek());
//     s.skip(1 << 20);                     // a seek, clamped to the file's end
//     s.check_available(8);                // atomkit::exception_truncation when fewer bytes remain
//
// Short reads throw atomkit::exception_truncation; a skip from beyond the end throws
// ketrel_io::exception_io_data; check_available on a file of unknown size throws
// ketrel_io::exception_io_no_length; a backward seek on a stream throws atomkit::exception "stream seeking
// error".

#include "compressed_inputs/mp4/atomkit/byte_stream.h"
#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"

class mp4_stream_adapter final : public atomkit::file_backed_stream {
public:
    mp4_stream_adapter(file_stream& file, const abort_signal& abort) : m_file(file), m_abort(abort) {}

    size_t read(void* buffer, size_t n) override;
    void read_exact(void* buffer, size_t n) override;
    uint64_t skip(uint64_t n) override;
    void skip_exact(uint64_t n) override;
    void check_available(uint64_t n) override;
    uint64_t position() override;
    void seek(uint64_t offset) override;
    uint64_t size() override;
    void truncate(uint64_t size) override;
    void write(const void* buffer, size_t n) override;

private:
    file_stream& m_file;
    const abort_signal& m_abort;
};
