#pragma once
// Fixtures of the input tests: FLAC streams encoded in memory, a file wrapper that counts what is done to
// it (and can play a stream that cannot seek), a scratch folder, and abort signals that trip on cue.

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "foundation/fs/file_stream.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_service.h"
#include "tests/support/abort_after_checks.h"

namespace input_test {

// The program's class table (file systems, inputs, converters), built once for the test program.
void services_built();

struct flac_fixture {
    uint32_t rate = 44100;
    uint32_t channels = 2;
    uint32_t bits = 16;
    uint32_t frames = 44100;
    uint32_t block_size = 4096;
    // Without it the MD5 in STREAMINFO stays all zero.
    bool md5 = true;
    // "NAME=value" entries of a VORBIS_COMMENT block (none: no block); the vendor is libFLAC's.
    std::vector<std::string> comments;
    // Bytes of PADDING (0: no block).
    uint32_t padding = 0;
};

// The sample of channel c at frame i that encode_flac writes: a ramp with a different step per channel,
// within the bit depth.
int32_t fixture_sample(const flac_fixture& fixture, uint32_t i, uint32_t c);

// The FLAC stream of the fixture, made by libFLAC's encoder.
std::vector<uint8_t> encode_flac(const flac_fixture& fixture);
// The same stream as FLAC in Ogg (libFLAC's Ogg encoder, serial number 4321).
std::vector<uint8_t> encode_ogg_flac(const flac_fixture& fixture);

// A new memory file holding the bytes.
file_stream_ref memory_file_with(const std::vector<uint8_t>& bytes);

// Wraps a file and counts the reads and seeks it passes on; `seekable` false makes it a stream that
// cannot seek (rewind is still allowed, as for a stream that can be opened again).
class counting_file final : public service_counted<file_stream> {
public:
    static kpl::rc_ptr<counting_file> wrap(file_stream_ref inner, bool seekable);

    size_t read(void* buffer, size_t n, const abort_signal& abort) override;
    void write(const void* buffer, size_t n, const abort_signal& abort) override;
    uint64_t get_size(const abort_signal& abort) override;
    uint64_t get_position(const abort_signal& abort) override;
    void resize(uint64_t size, const abort_signal& abort) override;
    void seek(uint64_t position, const abort_signal& abort) override;
    void rewind(const abort_signal& abort) override;
    bool can_seek() override { return m_seekable; }
    bool get_content_type(kpl::utf8_string& out) override;
    bool is_in_memory() override { return true; }
    void on_idle(const abort_signal&) override {}
    uint64_t get_timestamp(const abort_signal&) override { return 0; }
    bool is_remote() override { return false; }

    // Reads, seeks and size requests so far.
    uint32_t activity() const { return m_reads + m_seeks; }
    std::string content_type;

private:
    counting_file(file_stream_ref inner, bool seekable) : m_inner(std::move(inner)), m_seekable(seekable) {}
    ~counting_file() override = default;

    file_stream_ref m_inner;
    bool m_seekable;
    uint32_t m_reads = 0;
    uint32_t m_seeks = 0;
};

// A fresh folder under the temporary folder, removed with its files at the end.
class scratch_folder {
public:
    explicit scratch_folder(const wchar_t* name);
    ~scratch_folder();
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;

    std::wstring path(const wchar_t* name) const { return m_path + L"\\" + name; }
    // "file://" and the UTF-8 path.
    std::string location(const wchar_t* name) const;
    // The names of the files in the folder.
    std::vector<std::wstring> files() const;

private:
    std::wstring m_path;
};

void write_file(const std::wstring& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_file(const std::wstring& path);

using ::abort_after_checks;  // tests/support/abort_after_checks.h

// Keeps the reports it gets.
class recording_sink final : public service_counted<decoder_event_sink> {
public:
    void report(const char* message, uint32_t severity) override { reports.emplace_back(message, severity); }
    std::vector<std::pair<std::string, uint32_t>> reports;
};

}  // namespace input_test
