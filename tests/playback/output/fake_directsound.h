#pragma once
// A DirectSound backend for tests: buffers in memory whose play cursor moves only when the test's clock
// advances, and which record what a listener would hear.
//
//     fake_directsound ds;                     // installed until it goes
//     ds.advance(0.010);                       // every playing buffer plays 10 ms (bytes land in heard)
//     ds.buffers[0]->heard                     // everything played, in order
//
// A buffer's record (fake_ds_buffer_record) outlives the buffer, so tests can look at a device object's
// sound after the output thread freed it.

#include <windows.h>
#include <dsound.h>
#include <mmreg.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "playback/output/ds_backend.h"

struct fake_ds_buffer_record {
    WAVEFORMATEXTENSIBLE format = {};
    uint32_t size = 0;
    std::vector<uint8_t> memory;
    uint32_t cursor = 0;
    bool playing = false;
    bool alive = true;
    LONG volume = 0;
    std::vector<uint8_t> heard;          // bytes under the play cursor, in playing order
    std::vector<LONG> volumes;           // every SetVolume value
    std::vector<size_t> volume_at;       // heard.size() when each was set
    uint32_t frame_bytes() const { return format.Format.nBlockAlign; }
    uint32_t rate() const { return format.Format.nSamplesPerSec; }
};

class fake_directsound final : public ds_backend {
public:
    fake_directsound() : m_before(ds_backend_replace(this)) {}
    ~fake_directsound() override { ds_backend_replace(m_before); }

    // Results the next opens and buffer creations answer (S_OK: work). refuse_float: float buffers fail
    // with this result, integer ones work.
    HRESULT open_result = S_OK;
    HRESULT create_result = S_OK;
    HRESULT refuse_float = S_OK;
    std::vector<std::shared_ptr<fake_ds_buffer_record>> buffers;
    // Buffers made so far, readable from another thread while the output thread makes more.
    volatile LONG buffers_made = 0;
    std::vector<kpl::guid> opened_devices;

    // The clock moves `seconds`: every playing buffer plays them (whole frames at its own rate).
    void advance(double seconds) {
        m_now += seconds;
        for (auto& b : buffers) {
            if (!b->alive || !b->playing) continue;
            uint32_t bytes = static_cast<uint32_t>(seconds * b->rate() + 0.5) * b->frame_bytes();
            while (bytes-- > 0) {
                b->heard.push_back(b->memory[b->cursor]);
                b->cursor = (b->cursor + 1) % b->size;
            }
        }
    }

    double now_seconds() override { return m_now; }

    HRESULT open_device(const kpl::guid& device, ds_device_api*& out) override {
        out = nullptr;
        opened_devices.push_back(device);
        if (FAILED(open_result)) return open_result;
        out = new api(*this);
        return S_OK;
    }

private:
    class buffer final : public ds_buffer {
    public:
        explicit buffer(std::shared_ptr<fake_ds_buffer_record> r) : m(std::move(r)) {}
        ~buffer() override { m->alive = false; m->playing = false; }
        HRESULT get_status(DWORD& status) override {
            status = m->playing ? (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING) : 0;
            return S_OK;
        }
        HRESULT restore() override { return S_OK; }
        HRESULT play_looping() override { m->playing = true; return S_OK; }
        HRESULT stop() override { m->playing = false; return S_OK; }
        HRESULT set_volume(LONG v) override {
            m->volume = v;
            m->volumes.push_back(v);
            m->volume_at.push_back(m->heard.size());
            return S_OK;
        }
        HRESULT get_play_cursor(DWORD& cursor) override { cursor = m->cursor; return S_OK; }
        HRESULT set_position(DWORD offset) override { m->cursor = offset; return S_OK; }
        HRESULT write(DWORD offset, const void* data, DWORD size, uint8_t fill) override {
            if (size > m->size) return DSERR_INVALIDPARAM;
            for (DWORD i = 0; i < size; ++i) {
                m->memory[(offset + i) % m->size] = data ? static_cast<const uint8_t*>(data)[i] : fill;
            }
            return S_OK;
        }

    private:
        std::shared_ptr<fake_ds_buffer_record> m;
    };

    class api final : public ds_device_api {
    public:
        explicit api(fake_directsound& owner) : m_owner(owner) {}
        HRESULT create_buffer(const WAVEFORMATEX* format, DWORD bytes, ds_buffer*& out) override {
            out = nullptr;
            if (FAILED(m_owner.create_result)) return m_owner.create_result;
            const bool is_float =
                format->wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
                (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
                 reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format)->SubFormat.Data1 == WAVE_FORMAT_IEEE_FLOAT);
            if (is_float && FAILED(m_owner.refuse_float)) return m_owner.refuse_float;
            auto record = std::make_shared<fake_ds_buffer_record>();
            std::memcpy(&record->format, format,
                        format->wFormatTag == WAVE_FORMAT_EXTENSIBLE ? sizeof(WAVEFORMATEXTENSIBLE) : sizeof(WAVEFORMATEX));
            record->size = bytes;
            record->memory.assign(bytes, 0xAB);  // garbage until the object fills it
            m_owner.buffers.push_back(record);
            InterlockedIncrement(&m_owner.buffers_made);
            out = new buffer(record);
            return S_OK;
        }

    private:
        fake_directsound& m_owner;
    };

    ds_backend* m_before;
    double m_now = 1000.0;
};
