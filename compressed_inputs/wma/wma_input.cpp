#include "compressed_inputs/wma/wma_input.h"

#include <windows.h>
#include <wmsdkidl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "compressed_inputs/wma/asf_header.h"
#include "compressed_inputs/wma/wma_check.h"
#include "compressed_inputs/wma/wma_fields.h"
#include "compressed_inputs/wma/wma_header_info.h"
#include "compressed_inputs/wma/wma_istream.h"
#include "foundation/fs/file_helpers.h"
#include "foundation/fs/file_system.h"
#include "foundation/fs/location_text.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/kpl/utf8.h"
#include "foundation/services/service_registry.h"
#include "inputs/input_facets.h"
#include "inputs/safe_rewrite.h"
#include "metadata/audio_block.h"
#include "metadata/track_info.h"

namespace {

constexpr HRESULT ns_e_no_more_samples = static_cast<HRESULT>(0xC00D0BCF);
constexpr HRESULT ns_e_range_past_end = static_cast<HRESULT>(0xC00D002B);

const GUID g_major_audio = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

template <class T>
class com_ref {
public:
    com_ref() = default;
    com_ref(const com_ref&) = delete;
    com_ref& operator=(const com_ref&) = delete;
    ~com_ref() { reset(); }
    void reset() {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }
    T** put() {
        reset();
        return &m_p;
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

template <class T, class From>
HRESULT query(From* from, com_ref<T>& out) {
    return from->QueryInterface(__uuidof(T), reinterpret_cast<void**>(out.put()));
}

using create_sync_reader_fn = HRESULT(WINAPI*)(IUnknown*, DWORD, IWMSyncReader**);
using create_editor_fn = HRESULT(WINAPI*)(IWMMetadataEditor**);

const char* const g_runtime_missing = "WMA support requires Windows Media runtime libraries installed";
const char* const g_runtime_old = "WMA support requires a newer version of Windows Media runtime libraries installed";

std::wstring wide_of(const char* text) {
    size_t room = kpl::utf16_length_of_utf8(text);
    std::wstring out(room, L'\0');
    out.resize(kpl::utf8_to_utf16(&out[0], room, text));
    return out;
}

// What the facets share: one open file, its runtime, reader and chosen audio stream.
class wma_file {
public:
    wma_file() {
        if (FAILED(CoInitialize(nullptr))) throw ketrel_io::exception_io("CoInitialize() failed");
    }
    ~wma_file() {
        close_reader();
        m_file.reset();
        if (m_runtime) FreeLibrary(m_runtime);
        CoUninitialize();
    }
    wma_file(const wma_file&) = delete;
    wma_file& operator=(const wma_file&) = delete;

    void open(file_stream_ref file, const char* path, input_open_reason reason, const abort_signal& abort) {
        m_path = path;
        m_for_writing = reason == input_open_write;
        if (file.get() ? file->is_remote() : file_system_is_remote(path)) {
            throw ketrel_io::exception_io_object_is_remote();
        }
        load_runtime();
        m_file = file;
        open_reader(abort);
    }

    uint32_t subsong_count() { return 1; }
    uint32_t subsong_id(uint32_t) { return 0; }

    void get_info(uint32_t subsong, track_info& info, const abort_signal& abort) {
        check_subsong(subsong);
        abort.check();
        std::vector<wma_attribute> stream0, audio;
        bool listed = runtime_attributes(0, stream0) && runtime_attributes(m_stream_number, audio);
        if (!listed) {
            stream0.clear();
            audio.clear();
            for (const wma_attribute& a : m_header_attributes) {
                if (a.stream == 0) stream0.push_back(a);
                else if (a.stream == m_stream_number) audio.push_back(a);
            }
        }
        wma_info_from_attributes(stream0, info);
        wma_info_from_attributes(audio, info);
        wma_keep_first_numbers(info);
        info.info_set_int("samplerate", m_sample_rate);
        info.info_set_int("channels", m_channels);
        if (!IsEqualGUID(m_major_type, g_major_audio)) {
            throw ketrel_io::exception_io("Internal error (media type is not audio)");
        }
        kpl::guid subtype;
        std::memcpy(&subtype, &m_subtype, sizeof subtype);
        uint32_t bits = m_bits;
        if (m_audio.present) {
            const kpl::guid own = wma_subtype_of_format_tag(m_audio.format_tag);
            if (!kpl::guid_equal(own, subtype)) {
                // The runtime describes the decoded output, not the stream: take the file's own format.
                subtype = own;
                if (m_audio.bits_per_sample) bits = m_audio.bits_per_sample;
            }
        }
        wma_codec_fields(subtype, bits, info);
        double seconds = 0;
        if (wma_duration_seconds(stream0, seconds)) {
            info.set_length(seconds);
        } else if (listed) {
            // The runtime listed attributes but no duration; the reader still answers it by name.
            seconds = runtime_duration();
            if (seconds > 0) info.set_length(seconds);
        }
    }

    file_stats get_file_stats(const abort_signal& abort) { return file_stats_read(*m_file, abort); }

    void initialise(uint32_t subsong, const abort_signal& abort) {
        check_subsong(subsong);
        seek(0, abort);
    }

    bool decode(audio_block& block, const abort_signal& abort) {
        for (;;) {
            abort.check();
            if (m_end_reached || !m_reader) return false;
            com_ref<INSSBuffer> sample;
            QWORD time = 0, duration = 0;
            DWORD flags = 0, output = 0;
            WORD stream = 0;
            HRESULT hr = m_reader->GetNextSample(m_stream_number, sample.put(), &time, &duration, &flags, &output,
                                                 &stream);
            if (hr == ns_e_no_more_samples) {
                m_end_reached = true;
                return false;
            }
            wma_check(hr, "IWMSyncReader::GetNextSample");
            BYTE* data = nullptr;
            DWORD length = 0;
            wma_check(sample->GetBufferAndLength(&data, &length), "INSSBuffer::GetBufferAndLength");
            const uint32_t frame = m_channels * (m_bits / 8);
            if (frame == 0 || length < frame) continue;
            block.set_wave_pcm(data, length - length % frame, m_sample_rate, m_channels,
                               channel_mask_default(m_channels), m_bits);
            return true;
        }
    }

    void seek(double seconds, const abort_signal& abort) {
        abort.check();
        HRESULT hr = m_reader->SetRange(wma_seek_start(seconds, m_sample_rate), 0);
        if (hr == ns_e_range_past_end) {
            m_end_reached = true;
            return;
        }
        wma_check(hr, "IWMSyncReader::SetRange");
        m_end_reached = false;
    }

    void on_idle(const abort_signal&) {}

    void stage_info(uint32_t subsong, const track_info& info, const abort_signal& abort) {
        check_subsong(subsong);
        std::vector<wma_string_attribute> values;
        wma_attributes_from_info(info, values);
        close_reader();
        try {
            if (!m_file.get()) filesystem_open_mode(m_file, m_path.c_str(), input_open_write, abort);
            if (!write_with_editor(values, abort)) asf_write_tags(m_file, m_path.c_str(), values, abort);
        } catch (...) {
            // The file is as it was; the object stays usable on it when it can.
            try {
                open_reader(abort);
            } catch (...) {
            }
            throw;
        }
        open_reader(abort);
    }

    void commit_info(const abort_signal&) {}

private:
    void check_subsong(uint32_t subsong) {
        if (subsong != 0) throw ketrel_io::exception_io_data();
    }

    void load_runtime() {
        if (m_runtime) FreeLibrary(m_runtime);
        m_runtime = nullptr;
        wchar_t folder[MAX_PATH + 1] = {0};
        UINT n = GetSystemDirectoryW(folder, MAX_PATH);
        if (n == 0 || n > MAX_PATH) throw ketrel_io::exception_io(g_runtime_missing);
        std::wstring path(folder, n);
        if (path.back() != L'\\') path += L'\\';
        path += L"wmvcore.dll";
        m_runtime = LoadLibraryW(path.c_str());
        if (!m_runtime) throw ketrel_io::exception_io(g_runtime_missing);
    }

    FARPROC runtime_entry(const char* name) {
        FARPROC f = GetProcAddress(m_runtime, name);
        if (!f) throw ketrel_io::exception_io(g_runtime_old);
        return f;
    }

    void close_reader() {
        if (m_reader) m_reader->Close();
        m_reader.reset();
    }

    // Open step 3 onwards: the file, the reader over it, the audio stream and the output format.
    void open_reader(const abort_signal& abort) {
        filesystem_open_mode(m_file, m_path.c_str(), m_for_writing ? input_open_write : input_open_info, abort);
        // A file whose header the program cannot read is refused before the runtime sees it: the runtime's
        // failure says little ("Call failed.") and under Wine a cut header can leave its reader hanging.
        read_header(abort);
        m_file->rewind(abort);
        auto create = reinterpret_cast<create_sync_reader_fn>(reinterpret_cast<void (*)()>(runtime_entry("WMCreateSyncReader")));
        wma_check(create(nullptr, 0, m_reader.put()), "WMCreateSyncReader");
        com_ref<IStream> stream;
        *stream.put() = wma_file_istream_create(m_file);
        wma_check(m_reader->OpenStream(stream.get()), "IWMSyncReader::OpenStream");
        find_audio_stream();
        set_output();
        m_end_reached = false;
    }

    // The program's own reading of the header: the attributes for when the runtime cannot list them, and the
    // stream's own format.
    void read_header(const abort_signal& abort) {
        m_header_attributes.clear();
        asf_header h;
        asf_header_read(*m_file, h, abort);
        // The Data Object's own header (50 bytes) and one whole packet follow the header in a file with any
        // sound. Under Wine the runtime's open can wait for ever on a file cut before that.
        const uint64_t size = m_file->get_size(abort);
        if (h.packet_size != 0 && size != file_size_unknown && size < h.bytes.size() + 50 + h.packet_size) {
            throw ketrel_io::exception_io_data("Corrupted ASF file (no complete data packet)");
        }
        m_header_attributes = std::move(h.attributes);
        m_audio = h.audio;
    }

    void find_audio_stream() {
        com_ref<IWMProfile> profile;
        wma_check(query(m_reader.get(), profile), "WMReader::QueryInterface");
        DWORD count = 0;
        wma_check(profile->GetStreamCount(&count), "IWMProfile::GetStreamCount");
        for (DWORD i = 0; i < count; ++i) {
            com_ref<IWMStreamConfig> config;
            wma_check(profile->GetStream(i, config.put()), "IWMProfile::GetStream");
            GUID type;
            wma_check(config->GetStreamType(&type), "IWMStreamConfig::GetStreamType");
            if (!IsEqualGUID(type, g_major_audio)) continue;
            wma_check(config->GetStreamNumber(&m_stream_number));
            com_ref<IWMMediaProps> props;
            wma_check(query(config.get(), props));
            DWORD size = 0;
            wma_check(props->GetMediaType(nullptr, &size));
            if (size < sizeof(WM_MEDIA_TYPE)) throw ketrel_io::exception_io_data();
            std::vector<uint8_t> bytes(size);
            WM_MEDIA_TYPE* mt = reinterpret_cast<WM_MEDIA_TYPE*>(bytes.data());
            wma_check(props->GetMediaType(mt, &size));
            m_major_type = mt->majortype;
            m_subtype = mt->subtype;
            return;
        }
        throw ketrel_io::exception_io_data("Could not find audio stream");
    }

    void set_output() {
        wma_check(m_reader->GetOutputNumberForStream(m_stream_number, &m_output_number));
        BOOL yes = TRUE;
        DWORD zero = 0;
        wma_check(m_reader->SetOutputSetting(m_output_number, L"EnableDiscreteOutput", WMT_TYPE_BOOL,
                                             reinterpret_cast<const BYTE*>(&yes), sizeof yes),
                  "IWMSyncReader::SetOutputSetting");
        wma_check(m_reader->SetOutputSetting(m_output_number, L"SpeakerConfig", WMT_TYPE_DWORD,
                                             reinterpret_cast<const BYTE*>(&zero), sizeof zero),
                  "IWMSyncReader::SetOutputSetting");
        DWORD formats = 0;
        wma_check(m_reader->GetOutputFormatCount(m_output_number, &formats));
        if (formats == 0) throw ketrel_io::exception_io_data();
        com_ref<IWMOutputMediaProps> props;
        wma_check(m_reader->GetOutputFormat(m_output_number, 0, props.put()));
        DWORD size = 0;
        wma_check(props->GetMediaType(nullptr, &size), "IWMOutputMediaProps::GetMediaType");
        if (size < sizeof(WM_MEDIA_TYPE)) throw ketrel_io::exception_io_data();
        std::vector<uint8_t> bytes(size);
        WM_MEDIA_TYPE* mt = reinterpret_cast<WM_MEDIA_TYPE*>(bytes.data());
        wma_check(props->GetMediaType(mt, &size), "IWMOutputMediaProps::GetMediaType");
        if (!mt->pbFormat || mt->cbFormat < sizeof(WAVEFORMATEX) - sizeof(WORD) ||
            static_cast<size_t>(mt->pbFormat - bytes.data()) > size ||
            size - static_cast<size_t>(mt->pbFormat - bytes.data()) < mt->cbFormat) {
            throw ketrel_io::exception_io_data();
        }
        WAVEFORMATEX wf;
        std::memset(&wf, 0, sizeof wf);
        std::memcpy(&wf, mt->pbFormat, std::min<size_t>(sizeof wf, mt->cbFormat));
        m_sample_rate = wf.nSamplesPerSec;
        m_channels = wf.nChannels;
        m_bits = wf.wBitsPerSample;
        if (m_sample_rate < 1000 || m_sample_rate > 2822400 || m_channels == 0 || m_bits == 0 || m_bits % 8) {
            throw ketrel_io::exception_io_data();
        }
        wma_check(m_reader->SetOutputProps(m_output_number, props.get()), "IWMSyncReader::SetOutputProps");
    }

    // The attributes of one stream through the runtime; false when it cannot list them.
    bool runtime_attributes(WORD stream, std::vector<wma_attribute>& out) {
        if (!m_reader) return false;
        com_ref<IWMHeaderInfo3> info;
        if (FAILED(query(m_reader.get(), info))) return false;
        return wma_runtime_attributes(info.get(), stream, out);
    }

    double runtime_duration() {
        com_ref<IWMHeaderInfo> info;
        if (!m_reader || FAILED(query(m_reader.get(), info))) return 0;
        WORD stream = 0, length = 8;
        WMT_ATTR_DATATYPE type;
        QWORD value = 0;
        if (FAILED(info->GetAttributeByName(&stream, L"Duration", &type, reinterpret_cast<BYTE*>(&value), &length)) ||
            type != WMT_TYPE_QWORD || length != 8) {
            return 0;
        }
        return static_cast<double>(value) / 10000000.0;
    }

    // The runtime's metadata editor on a temporary copy beside the file; false when the runtime has no
    // working editor (then nothing was changed).
    bool write_with_editor(const std::vector<wma_string_attribute>& values, const abort_signal& abort) {
        FARPROC entry = GetProcAddress(m_runtime, "WMCreateEditor");
        if (!entry) return false;
        com_ref<IWMMetadataEditor> editor;
        if (FAILED(reinterpret_cast<create_editor_fn>(reinterpret_cast<void (*)()>(entry))(editor.put())) || !editor) return false;
        safe_rewrite rewrite(m_path.c_str());
        try {
            file_stream_ref copy;
            if (!rewrite.begin(copy, abort)) return false;
            m_file->rewind(abort);
            file_copy_whole(*copy, *m_file, abort);
            copy.reset();
            kpl::utf8_string_tight native;
            if (!file_url_to_native(rewrite.temporary_path(), native)) {
                rewrite.cancel();
                return false;
            }
            if (FAILED(editor->Open(wide_of(native.c_str()).c_str()))) {
                rewrite.cancel();
                return false;
            }
            edit_attributes(editor.get(), values);
            abort.check();
            rewrite.commit(m_file, abort);
        } catch (...) {
            editor->Close();
            rewrite.cancel();
            throw;
        }
        return true;
    }

    static void edit_attributes(IWMMetadataEditor* editor, const std::vector<wma_string_attribute>& values) {
        com_ref<IWMHeaderInfo3> info;
        wma_check(query(editor, info), "IWMMetadataEditor::QueryInterface");
        wma_runtime_retag(info.get(), values);
        wma_check(editor->Flush(), "IWMMetadataEditor::Flush");
        wma_check(editor->Close(), "IWMMetadataEditor::Close");
    }

    kpl::utf8_string_tight m_path;
    bool m_for_writing = false;
    HMODULE m_runtime = nullptr;
    file_stream_ref m_file;
    com_ref<IWMSyncReader> m_reader;
    WORD m_stream_number = 0;
    DWORD m_output_number = 0;
    GUID m_major_type = GUID_NULL;
    GUID m_subtype = GUID_NULL;
    uint32_t m_sample_rate = 0, m_channels = 0, m_bits = 0;
    bool m_end_reached = false;
    std::vector<wma_attribute> m_header_attributes;
    asf_audio_format m_audio;
};

class wma_input final
    : public facet_input<file_decoder<wma_file>, file_info_reader<wma_file>, file_info_writer<wma_file>> {
public:
    bool accepts_content_type(const char*) override { return false; }
    bool accepts_extension(const char* path, const char* extension) override {
        if (kpl::stricmp_ascii(extension, "wma") != 0 && kpl::stricmp_ascii(extension, "wmv") != 0 &&
            kpl::stricmp_ascii(extension, "asf") != 0) {
            return false;
        }
        return !file_system_is_remote(path);
    }
};

service_factory_single<wma_input, input_service> g_wma_input;

}  // namespace

input_service& wma_input_service() { return g_wma_input.instance(); }
