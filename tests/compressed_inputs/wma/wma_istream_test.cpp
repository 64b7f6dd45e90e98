#include <doctest/doctest.h>

#include <windows.h>

#include <cstring>

#include "compressed_inputs/wma/wma_istream.h"
#include "foundation/fs/file_stats.h"
#include "foundation/fs/memory_file.h"
#include "foundation/kpl/io_exceptions.h"

namespace {

// A file whose reads, seeks and size fail, for the exception rule.
class broken_file final : public service_counted<file_stream> {
public:
    size_t read(void*, size_t, const abort_signal&) override { throw ketrel_io::exception_io_data(); }
    void write(const void*, size_t, const abort_signal&) override { throw ketrel_io::exception_io_denied(); }
    uint64_t get_size(const abort_signal&) override { return size; }
    uint64_t get_position(const abort_signal&) override { return 0; }
    void resize(uint64_t, const abort_signal&) override {}
    void seek(uint64_t, const abort_signal&) override { throw ketrel_io::exception_io_seek_out_of_range(); }
    bool can_seek() override { return true; }
    bool get_content_type(kpl::utf8_string&) override { return false; }
    bool is_in_memory() override { return false; }
    void on_idle(const abort_signal&) override {}
    uint64_t get_timestamp(const abort_signal&) override { return 0; }
    bool is_remote() override { return false; }

    uint64_t size = file_size_unknown;
};

LARGE_INTEGER offset(LONGLONG v) {
    LARGE_INTEGER l;
    l.QuadPart = v;
    return l;
}

}  // namespace

TEST_CASE("WMA IStream over a file: Read, Seek and Stat go to the file, the rest is not implemented") {
    file_stream_ref file = memory_file::create();
    file->write("0123456789", 10, abort_never);
    file->seek(0, abort_never);
    IStream* s = wma_file_istream_create(file);

    char buffer[16] = {0};
    ULONG got = 99;
    CHECK(s->Read(buffer, 4, &got) == S_OK);
    CHECK(got == 4);
    CHECK(std::memcmp(buffer, "0123", 4) == 0);

    ULARGE_INTEGER at;
    struct seek_case {
        LONGLONG offset;
        DWORD origin;
        HRESULT result;
        uint64_t position;
    };
    const seek_case seeks[] = {
        {2, STREAM_SEEK_SET, S_OK, 2},  {3, STREAM_SEEK_CUR, S_OK, 5},   {-1, STREAM_SEEK_END, S_OK, 9},
        {-20, STREAM_SEEK_CUR, E_FAIL, 9}, {11, STREAM_SEEK_SET, E_FAIL, 9}, {0, 3, E_INVALIDARG, 9},
    };
    for (const seek_case& c : seeks) {
        CAPTURE(c.offset);
        CAPTURE(c.origin);
        at.QuadPart = 1234;
        CHECK(s->Seek(offset(c.offset), c.origin, &at) == c.result);
        if (c.result == S_OK) CHECK(at.QuadPart == c.position);
        CHECK(file->get_position(abort_never) == c.position);
    }
    CHECK(s->Seek(offset(0), STREAM_SEEK_CUR, nullptr) == S_OK);   // no position wanted

    // A short read at the end is S_OK with the count.
    got = 99;
    CHECK(s->Read(buffer, 16, &got) == S_OK);
    CHECK(got == 1);
    CHECK(buffer[0] == '9');

    STATSTG st;
    std::memset(&st, 0xCC, sizeof st);
    CHECK(s->Stat(&st, STATFLAG_NONAME) == S_OK);
    CHECK(st.type == STGTY_STREAM);
    CHECK(st.cbSize.QuadPart == 10);
    CHECK(st.pwcsName == nullptr);
    CHECK(s->Stat(&st, STATFLAG_DEFAULT) == E_INVALIDARG);
    CHECK(s->Stat(nullptr, STATFLAG_NONAME) == E_INVALIDARG);

    ULONG written = 0;
    ULARGE_INTEGER size;
    size.QuadPart = 1;
    IStream* clone = reinterpret_cast<IStream*>(1);
    CHECK(s->Write("x", 1, &written) == E_NOTIMPL);
    CHECK(s->SetSize(size) == E_NOTIMPL);
    CHECK(s->CopyTo(nullptr, size, nullptr, nullptr) == E_NOTIMPL);
    CHECK(s->Commit(0) == E_NOTIMPL);
    CHECK(s->Revert() == E_NOTIMPL);
    CHECK(s->LockRegion(size, size, 0) == E_NOTIMPL);
    CHECK(s->UnlockRegion(size, size, 0) == E_NOTIMPL);
    CHECK(s->Clone(&clone) == E_NOTIMPL);
    CHECK(clone == nullptr);
    CHECK(file->get_size(abort_never) == 10);

    // IUnknown: the three interfaces, counted references holding the file.
    void* other = nullptr;
    CHECK(s->QueryInterface(IID_ISequentialStream, &other) == S_OK);
    CHECK(other == static_cast<void*>(s));
    CHECK(s->QueryInterface(IID_IDispatch, &other) == E_NOINTERFACE);
    CHECK(other == nullptr);
    CHECK(s->Release() == 1);
    file.reset();
    CHECK(s->Read(buffer, 2, &got) == S_OK);   // the stream still holds the file
    CHECK(s->Release() == 0);
}

TEST_CASE("WMA IStream: an exception inside the file answers E_FAIL, an unknown size fails Stat") {
    broken_file* raw = new broken_file();
    file_stream_ref file = file_stream_ref::adopt(raw);
    IStream* s = wma_file_istream_create(file);
    char buffer[4];
    ULONG got = 7;
    CHECK(s->Read(buffer, 4, &got) == E_FAIL);
    CHECK(got == 0);
    ULARGE_INTEGER at;
    CHECK(s->Seek(offset(1), STREAM_SEEK_SET, &at) == E_FAIL);
    STATSTG st;
    CHECK(s->Stat(&st, STATFLAG_NONAME) == E_FAIL);
    raw->size = 77;
    CHECK(s->Stat(&st, STATFLAG_NONAME) == S_OK);
    CHECK(st.cbSize.QuadPart == 77);
    s->Release();
}
