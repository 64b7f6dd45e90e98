// Feeding and draining a Media Foundation transform, over a stand-in transform that refuses input while it
// holds output and that changes its output format at the first output, as real decoders do.

#include <doctest/doctest.h>

#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfobjects.h>
#include <mftransform.h>

#include <deque>
#include <vector>

#include "compressed_inputs/system_codecs/mf_audio_transform.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/audio_block.h"

namespace {

typedef HRESULT(WINAPI* create_media_type_fn)(IMFMediaType**);

create_media_type_fn media_type_maker() {
    HMODULE module = LoadLibraryW(L"mfplat.dll");
    return module ? reinterpret_cast<create_media_type_fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "MFCreateMediaType")))
                  : nullptr;
}

const GUID pcm_subtype = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID audio_major = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID major_type_key = {0x48eba18e, 0xf8c9, 0x4687, {0xbf, 0x11, 0x0a, 0x74, 0xc9, 0xf9, 0x6a, 0x8f}};
const GUID subtype_key = {0xf7e34c9a, 0x42e8, 0x4714, {0xb7, 0x4b, 0xcb, 0x29, 0xd7, 0x2c, 0x35, 0xe5}};
const GUID channels_key = {0x37e48bf5, 0x645e, 0x4c5b, {0x89, 0xde, 0xad, 0xa9, 0xe2, 0x9b, 0x69, 0x6a}};
const GUID rate_key = {0x5faeeae7, 0x0290, 0x4c31, {0x9e, 0x8a, 0xc5, 0x34, 0xf6, 0x8d, 0x9d, 0xba}};
const GUID bits_key = {0xf2deb57f, 0x40fa, 0x4764, {0xaa, 0x33, 0xed, 0x4f, 0x2d, 0x1f, 0xf6, 0x69}};

// Gives one stereo 16-bit frame per input byte, every value 100 x the packet's number (from 1). Its first
// `warm_up` outputs are "need more input"; it refuses input while `capacity` packets wait; it takes only PCM;
// with `change_rate` its first output is a stream change to that rate.
class stand_in_transform final : public IMFTransform {
public:
    uint32_t warm_up = 0, capacity = 100, change_rate = 0, refused = 0;

    explicit stand_in_transform(uint32_t rate) : m_rate(rate) {}
    ~stand_in_transform() {
        if (m_output) m_output->Release();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --m_refs;
        if (n == 0) delete this;
        return n;
    }
    HRESULT STDMETHODCALLTYPE GetStreamLimits(DWORD*, DWORD*, DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD* in, DWORD* out) override {
        *in = *out = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamIDs(DWORD, DWORD*, DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputStreamInfo(DWORD, MFT_INPUT_STREAM_INFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputStreamInfo(DWORD, MFT_OUTPUT_STREAM_INFO* info) override {
        info->dwFlags = MFT_OUTPUT_STREAM_WHOLE_SAMPLES;
        info->cbSize = 65536;
        info->cbAlignment = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAttributes(IMFAttributes**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputStreamAttributes(DWORD, IMFAttributes**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputStreamAttributes(DWORD, IMFAttributes**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteInputStream(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddInputStreams(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputAvailableType(DWORD, DWORD, IMFMediaType**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputAvailableType(DWORD, DWORD index, IMFMediaType** type) override {
        if (index > 0) return MF_E_NO_MORE_TYPES;
        create_media_type_fn make = media_type_maker();
        if (!make || FAILED(make(type))) return E_FAIL;
        (*type)->SetGUID(major_type_key, audio_major);
        (*type)->SetGUID(subtype_key, pcm_subtype);
        (*type)->SetUINT32(channels_key, 2);
        (*type)->SetUINT32(rate_key, m_rate);
        (*type)->SetUINT32(bits_key, 16);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetInputType(DWORD, IMFMediaType*, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetOutputType(DWORD, IMFMediaType* type, DWORD) override {
        GUID subtype;
        if (FAILED(type->GetGUID(subtype_key, &subtype)) || !IsEqualGUID(subtype, pcm_subtype)) return MF_E_INVALIDMEDIATYPE;
        type->AddRef();
        if (m_output) m_output->Release();
        m_output = type;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetInputCurrentType(DWORD, IMFMediaType**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputCurrentType(DWORD, IMFMediaType** type) override {
        if (!m_output) return MF_E_TRANSFORM_TYPE_NOT_SET;
        m_output->AddRef();
        *type = m_output;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetInputStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetOutputStatus(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetOutputBounds(LONGLONG, LONGLONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ProcessEvent(DWORD, IMFMediaEvent*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR) override {
        if (message == MFT_MESSAGE_COMMAND_FLUSH) m_pending.clear();
        if (message == MFT_MESSAGE_COMMAND_DRAIN) warm_up = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ProcessInput(DWORD, IMFSample* sample, DWORD) override {
        if (m_pending.size() >= capacity) {
            ++refused;
            return MF_E_NOTACCEPTING;
        }
        DWORD length = 0;
        sample->GetTotalLength(&length);
        m_pending.push_back({++m_packets, length});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ProcessOutput(DWORD, DWORD, MFT_OUTPUT_DATA_BUFFER* out, DWORD* status) override {
        *status = 0;
        if (change_rate) {
            m_rate = change_rate;
            change_rate = 0;
            return MF_E_TRANSFORM_STREAM_CHANGE;
        }
        if (m_pending.empty()) return MF_E_TRANSFORM_NEED_MORE_INPUT;
        if (warm_up > 0) {
            --warm_up;
            return MF_E_TRANSFORM_NEED_MORE_INPUT;
        }
        const packet p = m_pending.front();
        m_pending.pop_front();
        IMFMediaBuffer* buffer = nullptr;
        if (FAILED(out->pSample->GetBufferByIndex(0, &buffer))) return E_FAIL;
        BYTE* data = nullptr;
        DWORD max = 0;
        buffer->Lock(&data, &max, nullptr);
        int16_t* samples = reinterpret_cast<int16_t*>(data);
        for (uint32_t i = 0; i < 2 * p.bytes; ++i) samples[i] = static_cast<int16_t>(100 * p.number);
        buffer->Unlock();
        buffer->SetCurrentLength(p.bytes * 4);
        buffer->Release();
        return S_OK;
    }

private:
    struct packet {
        uint32_t number, bytes;
    };
    ULONG m_refs = 1;
    uint32_t m_rate;
    uint32_t m_packets = 0;
    std::deque<packet> m_pending;
    IMFMediaType* m_output = nullptr;
};

// The packet numbers of the block's frames, in order, one entry per run.
std::vector<std::pair<int, uint32_t>> runs(const audio_block& block) {
    std::vector<std::pair<int, uint32_t>> out;
    for (uint32_t i = 0; i < block.get_sample_count(); ++i) {
        const int number = static_cast<int>(block.get_data()[2 * i] * 32768.0f / 100.0f + 0.5f);
        if (out.empty() || out.back().first != number)
            out.push_back({number, 1});
        else
            ++out.back().second;
    }
    return out;
}

}  // namespace

TEST_CASE("Media Foundation transform: no packet is lost, stream changes go on") {
    if (!media_type_maker()) {
        MESSAGE("no Media Foundation here");
        return;
    }
    CoInitialize(nullptr);
    SUBCASE("a packet refused while output waits is fed again once that output is taken") {
        stand_in_transform* t = new stand_in_transform(44100);
        t->warm_up = 3;
        t->capacity = 3;
        t->AddRef();
        mf_audio_transform mf;
        mf.adopt(t, 44100, 2);
        audio_block_store block;
        std::vector<std::pair<int, uint32_t>> all;
        const uint8_t packet[40] = {};
        for (uint32_t size : {10u, 20u, 30u, 40u, 15u}) {
            mf.decode(packet, size, block, abort_never);
            for (const auto& r : runs(block)) all.push_back(r);
        }
        mf.decode(nullptr, 0, block, abort_never);
        for (const auto& r : runs(block)) all.push_back(r);
        const std::vector<std::pair<int, uint32_t>> expected = {{1, 10}, {2, 20}, {3, 30}, {4, 40}, {5, 15}};
        CHECK(all == expected);
        CHECK(t->refused == 1);
        mf.release();
        t->Release();
    }
    SUBCASE("a stream change renegotiates the output type") {
        stand_in_transform* t = new stand_in_transform(24000);
        t->change_rate = 48000;
        mf_audio_transform mf;
        mf.adopt(t, 24000, 2);
        audio_block_store block;
        const uint8_t packet[40] = {};
        mf.decode(packet, 25, block, abort_never);
        CHECK(block.get_sample_count() == 25);
        CHECK(block.get_sample_rate() == 48000);
        mf.decode(packet, 5, block, abort_never);
        CHECK(block.get_sample_count() == 5);
        CHECK(block.get_sample_rate() == 48000);
    }
    CoUninitialize();
}
