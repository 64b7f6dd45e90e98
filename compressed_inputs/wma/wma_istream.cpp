#include "compressed_inputs/wma/wma_istream.h"

#include <windows.h>

#include <cstring>

#include "foundation/fs/file_stats.h"
#include "foundation/tasks/abort_signal.h"

namespace {

class file_istream final : public IStream {
public:
    explicit file_istream(file_stream_ref file) : m_file(std::move(file)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) || IsEqualIID(iid, IID_IStream)) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_count)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&m_count);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG n, ULONG* read) override {
        try {
            size_t got = m_file->read(buffer, n, abort_never);
            if (read) *read = static_cast<ULONG>(got);
            return S_OK;
        } catch (...) {
            if (read) *read = 0;
            return E_FAIL;
        }
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER offset, DWORD origin, ULARGE_INTEGER* position) override {
        if (origin > 2) return E_INVALIDARG;
        try {
            m_file->seek_from(offset.QuadPart, static_cast<int>(origin), abort_never);
            if (position) position->QuadPart = m_file->get_position(abort_never);
            return S_OK;
        } catch (...) {
            return E_FAIL;
        }
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* out, DWORD flag) override {
        if (!out || flag != STATFLAG_NONAME) return E_INVALIDARG;
        try {
            std::memset(out, 0, sizeof *out);
            out->type = STGTY_STREAM;
            uint64_t size = m_file->get_size(abort_never);
            if (size == file_size_unknown) return E_FAIL;
            out->cbSize.QuadPart = size;
            return S_OK;
        } catch (...) {
            return E_FAIL;
        }
    }

    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

private:
    ~file_istream() = default;

    LONG m_count = 1;
    file_stream_ref m_file;
};

}  // namespace

IStream* wma_file_istream_create(file_stream_ref file) { return new file_istream(std::move(file)); }
