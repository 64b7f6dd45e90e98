#include "tests/inputs/input_test_support.h"

#include <doctest/doctest.h>

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <cstring>

#include "foundation/fs/memory_file.h"
#include "foundation/kpl/codepage.h"
#include "foundation/services/service_registry.h"

namespace input_test {

void services_built() {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
}

int32_t fixture_sample(const flac_spec& spec, uint32_t i, uint32_t c) {
    const int64_t range = int64_t(1) << (spec.bits - 1);
    const int64_t step = 37 + 101 * c;
    return static_cast<int32_t>((int64_t(i) * step) % (2 * range) - range);
}

namespace {

struct encoder_output {
    std::vector<uint8_t> bytes;
    size_t position = 0;
};

FLAC__StreamEncoderWriteStatus write_bytes(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t n, uint32_t,
                                           uint32_t, void* data) {
    encoder_output& out = *static_cast<encoder_output*>(data);
    if (out.position + n > out.bytes.size()) out.bytes.resize(out.position + n);
    std::memcpy(out.bytes.data() + out.position, buffer, n);
    out.position += n;
    return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
}

FLAC__StreamEncoderSeekStatus seek_bytes(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* data) {
    static_cast<encoder_output*>(data)->position = static_cast<size_t>(offset);
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus tell_bytes(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* data) {
    *offset = static_cast<encoder_output*>(data)->position;
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

FLAC__StreamEncoderReadStatus read_bytes(const FLAC__StreamEncoder*, FLAC__byte buffer[], size_t* n, void* data) {
    encoder_output& out = *static_cast<encoder_output*>(data);
    const size_t left = out.bytes.size() - out.position;
    if (*n > left) *n = left;
    if (*n == 0) return FLAC__STREAM_ENCODER_READ_STATUS_END_OF_STREAM;
    std::memcpy(buffer, out.bytes.data() + out.position, *n);
    out.position += *n;
    return FLAC__STREAM_ENCODER_READ_STATUS_CONTINUE;
}

std::vector<uint8_t> encode(const flac_spec& spec, bool ogg);

}  // namespace

std::vector<uint8_t> encode_flac(const flac_spec& spec) { return encode(spec, false); }

std::vector<uint8_t> encode_ogg_flac(const flac_spec& spec) { return encode(spec, true); }

namespace {

std::vector<uint8_t> encode(const flac_spec& spec, bool ogg) {
    FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
    REQUIRE(encoder != nullptr);
    FLAC__stream_encoder_set_channels(encoder, spec.channels);
    FLAC__stream_encoder_set_bits_per_sample(encoder, spec.bits);
    FLAC__stream_encoder_set_sample_rate(encoder, spec.rate);
    FLAC__stream_encoder_set_compression_level(encoder, 5);
    FLAC__stream_encoder_set_blocksize(encoder, spec.block_size);
    FLAC__stream_encoder_set_total_samples_estimate(encoder, spec.frames);

    std::vector<FLAC__StreamMetadata*> blocks;
    if (!spec.comments.empty()) {
        FLAC__StreamMetadata* block = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
        for (const std::string& c : spec.comments) {
            FLAC__StreamMetadata_VorbisComment_Entry e;
            e.length = static_cast<FLAC__uint32>(c.size());
            e.entry = reinterpret_cast<FLAC__byte*>(const_cast<char*>(c.data()));
            REQUIRE(FLAC__metadata_object_vorbiscomment_append_comment(block, e, true));
        }
        blocks.push_back(block);
    }
    if (spec.padding > 0) {
        FLAC__StreamMetadata* block = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING);
        block->length = spec.padding;
        blocks.push_back(block);
    }
    if (!blocks.empty()) {
        FLAC__stream_encoder_set_metadata(encoder, blocks.data(), static_cast<uint32_t>(blocks.size()));
    }

    encoder_output out;
    if (ogg) {
        FLAC__stream_encoder_set_ogg_serial_number(encoder, 4321);
        REQUIRE(FLAC__stream_encoder_init_ogg_stream(encoder, spec.md5 ? &read_bytes : nullptr, &write_bytes,
                                                     spec.md5 ? &seek_bytes : nullptr, spec.md5 ? &tell_bytes : nullptr,
                                                     nullptr, &out) == FLAC__STREAM_ENCODER_INIT_STATUS_OK);
    } else {
        REQUIRE(FLAC__stream_encoder_init_stream(encoder, &write_bytes, spec.md5 ? &seek_bytes : nullptr,
                                                 spec.md5 ? &tell_bytes : nullptr, nullptr,
                                                 &out) == FLAC__STREAM_ENCODER_INIT_STATUS_OK);
    }
    std::vector<FLAC__int32> pcm(size_t(spec.frames) * spec.channels);
    for (uint32_t i = 0; i < spec.frames; ++i) {
        for (uint32_t c = 0; c < spec.channels; ++c) pcm[size_t(i) * spec.channels + c] = fixture_sample(spec, i, c);
    }
    REQUIRE(FLAC__stream_encoder_process_interleaved(encoder, pcm.data(), spec.frames));
    REQUIRE(FLAC__stream_encoder_finish(encoder));
    FLAC__stream_encoder_delete(encoder);
    for (FLAC__StreamMetadata* block : blocks) FLAC__metadata_object_delete(block);
    return out.bytes;
}

}  // namespace

file_stream_ref memory_file_with(const std::vector<uint8_t>& bytes) {
    file_stream_ref file = memory_file::create();
    file->write(bytes.data(), bytes.size(), abort_never);
    file->seek(0, abort_never);
    return file;
}

kpl::rc_ptr<counting_file> counting_file::wrap(file_stream_ref inner, bool seekable) {
    return kpl::rc_ptr<counting_file>::adopt(new counting_file(std::move(inner), seekable));
}

size_t counting_file::read(void* buffer, size_t n, const abort_signal& abort) {
    ++m_reads;
    return m_inner->read(buffer, n, abort);
}
void counting_file::write(const void* buffer, size_t n, const abort_signal& abort) { m_inner->write(buffer, n, abort); }
uint64_t counting_file::get_size(const abort_signal& abort) {
    return m_seekable ? m_inner->get_size(abort) : ~uint64_t(0);
}
uint64_t counting_file::get_position(const abort_signal& abort) { return m_inner->get_position(abort); }
void counting_file::resize(uint64_t size, const abort_signal& abort) { m_inner->resize(size, abort); }
void counting_file::seek(uint64_t position, const abort_signal& abort) {
    REQUIRE(m_seekable);
    ++m_seeks;
    m_inner->seek(position, abort);
}
void counting_file::rewind(const abort_signal& abort) {
    ++m_seeks;
    m_inner->seek(0, abort);
}
bool counting_file::get_content_type(kpl::utf8_string& out) {
    if (content_type.empty()) return false;
    out = content_type.c_str();
    return true;
}

scratch_folder::scratch_folder(const wchar_t* name) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    m_path = std::wstring(base) + name + L"-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(m_path.c_str(), nullptr);
}

scratch_folder::~scratch_folder() {
    for (const std::wstring& name : files()) {
        SetFileAttributesW(path(name.c_str()).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path(name.c_str()).c_str());
    }
    RemoveDirectoryW(m_path.c_str());
}

std::string scratch_folder::location(const wchar_t* name) const {
    return std::string("file://") + kpl::utf8_string_from_utf16(path(name).c_str()).c_str();
}

std::vector<std::wstring> scratch_folder::files() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((m_path + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

void write_file(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    REQUIRE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(h);
    REQUIRE(written == bytes.size());
}

std::vector<uint8_t> read_file(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    REQUIRE(h != INVALID_HANDLE_VALUE);
    std::vector<uint8_t> bytes(GetFileSize(h, nullptr));
    DWORD got = 0;
    if (!bytes.empty()) ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    REQUIRE(got == bytes.size());
    return bytes;
}

}  // namespace input_test
