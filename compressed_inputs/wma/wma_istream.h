#pragma once
// wma_file_istream: a COM IStream over a file_stream, for the Windows Media reader's OpenStream.
//
//     IStream* s = wma_file_istream_create(file);   // one reference, the caller's
//     ULONG got;  s->Read(buffer, 4096, &got);       // S_OK also when short
//     s->Seek(offset, STREAM_SEEK_END, &pos);
//     STATSTG st; s->Stat(&st, STATFLAG_NONAME);     // type STGTY_STREAM, cbSize = the file's size
//     s->Release();
//
// Read, Seek and Stat go to the file; an exception inside them answers E_FAIL. Seek takes the origins
// 0, 1 and 2 (another is E_INVALIDARG). Stat needs a record and STATFLAG_NONAME (else E_INVALIDARG; the
// reader asks with that flag); an unknown size answers E_FAIL. Wine's reader makes only Stat, Seek from the
// start and Read calls.
// Write, SetSize, CopyTo, Commit, Revert, LockRegion, UnlockRegion and Clone answer E_NOTIMPL. The
// reference count is interlocked; the file reference goes with the last Release.

#include <objidl.h>

#include "foundation/fs/file_stream.h"

IStream* wma_file_istream_create(file_stream_ref file);
