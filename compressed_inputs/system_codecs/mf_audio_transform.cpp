#include "compressed_inputs/system_codecs/mf_audio_transform.h"

#include <initguid.h>
#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfobjects.h>
#include <mftransform.h>

#include <cstring>
#include <cwchar>

#include "compressed_inputs/system_codecs/system_codecs.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/kpl/string.h"

namespace {

// Attributes of the AAC input type that the headers of the XP target leave out.
const GUID mt_aac_payload_type = {0xBFBABE79, 0x7434, 0x4D1C, {0x94, 0xF0, 0x72, 0xA3, 0xB9, 0xE1, 0x71, 0x88}};
const GUID mt_aac_profile_level = {0x7632F0E6, 0x9538, 0x4D61, {0xAC, 0xDA, 0xEA, 0x29, 0xC8, 0xC1, 0x44, 0x56}};

// mfplat.dll's functions, looked up once.
typedef HRESULT(WINAPI* startup_fn)(ULONG, DWORD);
typedef HRESULT(WINAPI* create_media_type_fn)(IMFMediaType**);
typedef HRESULT(WINAPI* create_sample_fn)(IMFSample**);
typedef HRESULT(WINAPI* create_aligned_buffer_fn)(DWORD, DWORD, IMFMediaBuffer**);
typedef HRESULT(WINAPI* create_buffer_fn)(DWORD, IMFMediaBuffer**);
typedef HRESULT(WINAPI* enum_fn)(GUID, UINT32, MFT_REGISTER_TYPE_INFO*, MFT_REGISTER_TYPE_INFO*, IMFAttributes*,
                                 CLSID**, UINT32*);

struct mf_functions {
    bool loaded = false;
    bool started = false;
    create_media_type_fn create_media_type = nullptr;
    create_sample_fn create_sample = nullptr;
    create_aligned_buffer_fn create_aligned_buffer = nullptr;
    create_buffer_fn create_buffer = nullptr;
    enum_fn enumerate = nullptr;
};

mf_functions g_mf;
volatile LONG g_mf_lock = 0;

template <class F>
F proc(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Loads mfplat.dll and runs MFStartup once per process; false when the system has no Media Foundation.
bool mf_ready() {
    while (InterlockedExchange(&g_mf_lock, 1)) Sleep(0);
    if (!g_mf.loaded) {
        g_mf.loaded = true;
        wchar_t path[MAX_PATH + 16];
        UINT n = GetSystemDirectoryW(path, MAX_PATH);
        HMODULE module = nullptr;
        if (n > 0 && n < MAX_PATH) {
            wcscpy(path + n, L"\\mfplat.dll");
            module = LoadLibraryW(path);
        }
        if (module) {
            startup_fn startup = proc<startup_fn>(module, "MFStartup");
            g_mf.create_media_type = proc<create_media_type_fn>(module, "MFCreateMediaType");
            g_mf.create_sample = proc<create_sample_fn>(module, "MFCreateSample");
            g_mf.create_aligned_buffer = proc<create_aligned_buffer_fn>(module, "MFCreateAlignedMemoryBuffer");
            g_mf.create_buffer = proc<create_buffer_fn>(module, "MFCreateMemoryBuffer");
            g_mf.enumerate = proc<enum_fn>(module, "MFTEnum");
            if (startup && g_mf.create_media_type && g_mf.create_sample && g_mf.create_buffer && g_mf.enumerate) {
                const ULONG version = system_codec_version() >= 0x0601 ? 0x00020070 : 0x00010070;
                g_mf.started = SUCCEEDED(startup(version, MFSTARTUP_LITE));
            }
        }
    }
    const bool ready = g_mf.started;
    InterlockedExchange(&g_mf_lock, 0);
    return ready;
}

GUID to_guid(const kpl::guid& g) {
    GUID out;
    std::memcpy(&out, &g, sizeof out);
    return out;
}

template <class T>
void release_com(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

[[noreturn]] void setup_failed(const char* what, HRESULT hr) {
    kpl::utf8_string_pow2 text(what);
    text << " (0x";
    text.append_hex_code(static_cast<uint32_t>(hr));
    text << ")";
    throw exception_codec_setup(text.c_str());
}

[[noreturn]] void failed(HRESULT hr) {
    kpl::utf8_string_pow2 text("Media Foundation decoding failed (0x");
    text.append_hex_code(static_cast<uint32_t>(hr));
    text << ")";
    throw ketrel_io::exception_io_data(text.c_str());
}

// Appends the samples of `more` to `block` (of the same format).
void append_block(audio_block& block, const audio_block& more) {
    if (block.get_sample_count() == 0) {
        block.set_data(more.get_data(), more.get_sample_count(), more.get_channels(), more.get_sample_rate(),
                       more.get_channel_mask());
        return;
    }
    if (block.get_sample_rate() != more.get_sample_rate() || block.get_channels() != more.get_channels()) {
        throw ketrel_io::exception_io_data("Media Foundation output changed format within a packet");
    }
    const uint32_t old_values = block.get_sample_count() * block.get_channels();
    const uint32_t new_values = more.get_sample_count() * more.get_channels();
    block.set_data_size(old_values + new_values);
    audio_samples_copy(block.get_data_writable() + old_values, more.get_data(), new_values);
    block.set_sample_count(block.get_sample_count() + more.get_sample_count());
}

}  // namespace

kpl::guid mf_wave_subtype(uint16_t tag) {
    return kpl::guid{tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

bool mf_find_audio_decoder(const kpl::guid& input_subtype, kpl::guid& clsid) {
    if (!mf_ready()) return false;
    for (uint16_t output_tag : {uint16_t(3), uint16_t(1)}) {
        MFT_REGISTER_TYPE_INFO in = {MFMediaType_Audio, to_guid(input_subtype)};
        MFT_REGISTER_TYPE_INFO out = {MFMediaType_Audio, to_guid(mf_wave_subtype(output_tag))};
        CLSID* list = nullptr;
        UINT32 count = 0;
        if (FAILED(g_mf.enumerate(MFT_CATEGORY_AUDIO_DECODER, 0, &in, &out, nullptr, &list, &count))) return false;
        const bool found = list && count > 0;
        if (found) std::memcpy(&clsid, &list[0], sizeof clsid);
        if (list) CoTaskMemFree(list);
        if (found) return true;
    }
    return false;
}

void mf_audio_transform::create(const kpl::guid& clsid, const kpl::guid& subtype, uint32_t rate, uint32_t channels,
                                const uint8_t* user_data, size_t user_size, bool aac) {
    release();
    if (!mf_ready()) throw exception_codec_setup("Media Foundation is not available");
    const GUID id = to_guid(clsid);
    HRESULT hr = CoCreateInstance(id, nullptr, CLSCTX_ALL, IID_IMFTransform, reinterpret_cast<void**>(&m_transform));
    if (FAILED(hr) || !m_transform) {
        m_transform = nullptr;
        setup_failed("The system has no usable decoder transform", hr);
    }
    IMFMediaType* type = nullptr;
    try {
        DWORD inputs = 0, outputs = 0;
        hr = m_transform->GetStreamCount(&inputs, &outputs);
        if (FAILED(hr) || inputs != 1 || outputs != 1) setup_failed("Unexpected decoder transform streams", hr);
        hr = m_transform->GetStreamIDs(1, &m_input_id, 1, &m_output_id);
        if (hr == E_NOTIMPL) {
            m_input_id = m_output_id = 0;
        } else if (FAILED(hr)) {
            setup_failed("Decoder transform stream ids", hr);
        }
        hr = g_mf.create_media_type(&type);
        if (FAILED(hr)) setup_failed("MFCreateMediaType", hr);
        type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
        type->SetGUID(MF_MT_SUBTYPE, to_guid(subtype));
        type->SetUINT32(MF_MT_COMPRESSED, 1);
        type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels);
        type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, rate);
        if (aac) {
            type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
            type->SetUINT32(mt_aac_payload_type, 0);
            type->SetUINT32(mt_aac_profile_level, 0x2A);
        }
        if (user_size) type->SetBlob(MF_MT_USER_DATA, user_data, static_cast<UINT32>(user_size));
        hr = m_transform->SetInputType(m_input_id, type, 0);
        if (FAILED(hr)) setup_failed("The decoder transform refused the input type", hr);
        release_com(type);
        m_rate = rate;
        m_channels = channels;
        choose_output_type(false);
    } catch (...) {
        release_com(type);
        release();
        throw;
    }
}

void mf_audio_transform::adopt(IMFTransform* transform, uint32_t rate, uint32_t channels) {
    release();
    if (!mf_ready()) {
        transform->Release();
        throw exception_codec_setup("Media Foundation is not available");
    }
    m_transform = transform;
    m_input_id = m_output_id = 0;
    m_rate = rate;
    m_channels = channels;
    try {
        choose_output_type(false);
    } catch (...) {
        release();
        throw;
    }
}

// The output type: 32-bit float, else 16-bit PCM; built from the stream's rate and channels, or (after a stream
// change) taken from the types the transform offers.
void mf_audio_transform::choose_output_type(bool offered) {
    for (uint16_t tag : {uint16_t(3), uint16_t(1)}) {
        const GUID subtype = to_guid(mf_wave_subtype(tag));
        HRESULT hr;
        if (offered) {
            for (DWORD i = 0;; ++i) {
                IMFMediaType* type = nullptr;
                hr = m_transform->GetOutputAvailableType(m_output_id, i, &type);
                if (FAILED(hr)) break;
                GUID got;
                const bool match = SUCCEEDED(type->GetGUID(MF_MT_SUBTYPE, &got)) && IsEqualGUID(got, subtype);
                if (match) hr = m_transform->SetOutputType(m_output_id, type, 0);
                type->Release();
                if (match && SUCCEEDED(hr)) return;
            }
            continue;
        }
        const uint32_t bytes = tag == 3 ? 4 : 2;
        IMFMediaType* type = nullptr;
        hr = g_mf.create_media_type(&type);
        if (FAILED(hr)) setup_failed("MFCreateMediaType", hr);
        type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
        type->SetGUID(MF_MT_SUBTYPE, subtype);
        type->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, bytes * 8);
        type->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, m_channels);
        type->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, m_rate);
        type->SetUINT32(MF_MT_AUDIO_BLOCK_ALIGNMENT, bytes * m_channels);
        type->SetUINT32(MF_MT_AUDIO_AVG_BYTES_PER_SECOND, bytes * m_rate * m_channels);
        hr = m_transform->SetOutputType(m_output_id, type, 0);
        type->Release();
        if (SUCCEEDED(hr)) return;
        if (hr != MF_E_INVALIDMEDIATYPE) setup_failed("The decoder transform refused the output type", hr);
    }
    setup_failed("The decoder transform offers no float or PCM output", MF_E_INVALIDMEDIATYPE);
}

void mf_audio_transform::release() {
    if (m_transform) m_transform->Release();
    m_transform = nullptr;
}

void mf_audio_transform::flush() {
    if (m_transform) m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0);
}

void mf_audio_transform::decode(const void* data, size_t size, audio_block& block, const abort_signal& abort) {
    abort.check();
    block.reset();
    if (!m_transform) throw ketrel_io::exception_io_data();
    if (size > 0) {
        IMFSample* sample = nullptr;
        IMFMediaBuffer* buffer = nullptr;
        HRESULT hr = g_mf.create_buffer(static_cast<DWORD>(size), &buffer);
        if (FAILED(hr)) failed(hr);
        BYTE* p = nullptr;
        hr = buffer->Lock(&p, nullptr, nullptr);
        if (SUCCEEDED(hr)) {
            std::memcpy(p, data, size);
            buffer->Unlock();
            buffer->SetCurrentLength(static_cast<DWORD>(size));
            hr = g_mf.create_sample(&sample);
        }
        if (SUCCEEDED(hr)) hr = sample->AddBuffer(buffer);
        if (SUCCEEDED(hr)) {
            hr = m_transform->ProcessInput(m_input_id, sample, 0);
            if (hr == MF_E_NOTACCEPTING) {
                // The transform still holds output: take it, then the packet goes in.
                while (take_output(m_scratch)) {
                    append_block(block, m_scratch);
                    abort.check();
                }
                hr = m_transform->ProcessInput(m_input_id, sample, 0);
            }
        }
        release_com(sample);
        release_com(buffer);
        if (FAILED(hr)) failed(hr);
    } else {
        m_transform->ProcessMessage(MFT_MESSAGE_COMMAND_DRAIN, 0);
    }
    while (take_output(m_scratch)) {
        append_block(block, m_scratch);
        abort.check();
    }
}

bool mf_audio_transform::take_output(audio_block& out) {
    out.reset();
    for (int attempt = 0; attempt < 4; ++attempt) {
        MFT_OUTPUT_STREAM_INFO info = {};
        HRESULT hr = m_transform->GetOutputStreamInfo(m_output_id, &info);
        if (FAILED(hr)) failed(hr);
        IMFSample* sample = nullptr;
        if (!(info.dwFlags & (MFT_OUTPUT_STREAM_PROVIDES_SAMPLES | MFT_OUTPUT_STREAM_CAN_PROVIDE_SAMPLES))) {
            IMFMediaBuffer* buffer = nullptr;
            const DWORD size = info.cbSize ? info.cbSize : 65536;
            const DWORD alignment = info.cbAlignment > 16 ? info.cbAlignment : 16;
            hr = g_mf.create_aligned_buffer ? g_mf.create_aligned_buffer(size, alignment - 1, &buffer)
                                            : g_mf.create_buffer(size, &buffer);
            if (SUCCEEDED(hr)) hr = g_mf.create_sample(&sample);
            if (SUCCEEDED(hr)) hr = sample->AddBuffer(buffer);
            release_com(buffer);
            if (FAILED(hr)) {
                release_com(sample);
                failed(hr);
            }
        }
        MFT_OUTPUT_DATA_BUFFER output = {};
        output.dwStreamID = m_output_id;
        output.pSample = sample;
        DWORD status = 0;
        hr = m_transform->ProcessOutput(0, 1, &output, &status);
        if (output.pEvents) output.pEvents->Release();
        if (hr == MF_E_TRANSFORM_STREAM_CHANGE || (SUCCEEDED(hr) && (output.dwStatus & MFT_OUTPUT_DATA_BUFFER_FORMAT_CHANGE))) {
            // The stream's real format (HE-AAC's doubled rate, say): take the type now offered and go on.
            if (output.pSample && output.pSample != sample) output.pSample->Release();
            release_com(sample);
            choose_output_type(true);
            continue;
        }
        IMFSample* got = output.pSample;
        if (hr == MF_E_TRANSFORM_NEED_MORE_INPUT) {
            if (got && got != sample) got->Release();
            release_com(sample);
            return false;
        }
        if (FAILED(hr) || !got) {
            if (got && got != sample) got->Release();
            release_com(sample);
            failed(FAILED(hr) ? hr : E_POINTER);
        }
        IMFMediaType* type = nullptr;
        IMFMediaBuffer* buffer = nullptr;
        try {
            hr = m_transform->GetOutputCurrentType(m_output_id, &type);
            if (FAILED(hr)) failed(hr);
            UINT32 bits = 0, rate = 0, channels = 0, mask = 0;
            GUID subtype;
            type->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits);
            type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate);
            type->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels);
            if (FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype))) failed(E_FAIL);
            const uint32_t channel_mask = SUCCEEDED(type->GetUINT32(MF_MT_AUDIO_CHANNEL_MASK, &mask))
                                              ? channel_mask_from_windows(mask)
                                              : channel_mask_default(channels);
            if (channels == 0 || channel_mask_count(channel_mask) != channels) {
                throw ketrel_io::exception_io_data("Unsupported channel layout");
            }
            hr = got->ConvertToContiguousBuffer(&buffer);
            if (FAILED(hr)) failed(hr);
            BYTE* p = nullptr;
            DWORD length = 0;
            hr = buffer->Lock(&p, nullptr, &length);
            if (FAILED(hr)) failed(hr);
            try {
                if (IsEqualGUID(subtype, to_guid(mf_wave_subtype(3)))) {
                    if (bits != 32) throw ketrel_io::exception_io_data("invalid bit depth");
                    out.set_data_float(p, length, rate, channels, 32, channel_mask);
                } else if (IsEqualGUID(subtype, to_guid(mf_wave_subtype(1)))) {
                    out.set_wave_pcm(p, length, rate, channels, channel_mask, bits);
                } else {
                    throw ketrel_io::exception_io_data("Unsupported output format");
                }
            } catch (...) {
                buffer->Unlock();
                throw;
            }
            buffer->Unlock();
        } catch (...) {
            release_com(buffer);
            release_com(type);
            if (got != sample) got->Release();
            release_com(sample);
            throw;
        }
        release_com(buffer);
        release_com(type);
        if (got != sample) got->Release();
        release_com(sample);
        return true;
    }
    failed(MF_E_TRANSFORM_STREAM_CHANGE);
}
