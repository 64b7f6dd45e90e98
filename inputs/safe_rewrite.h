#pragma once
// safe_rewrite: rewrites a file through a temporary file beside it that then takes its place, so the
// file keeps its old content until the new one is complete.
//
//     safe_rewrite rewrite("file://C:\\Music\\a.mp3");
//     try {
//         file_stream_ref out;
//         if (rewrite.begin(out, abort)) write_everything(out);   // "C:\Music\temp-<MD5>.tmp"
//         rewrite.commit(file, abort);    // moves the temporary onto the target, reopens `file` on it
//     } catch (...) {
//         rewrite.cancel();               // removes the temporary; the target is untouched
//         throw;
//     }
//
// The temporary's name depends only on the target, so two rewrites of one target use the same name.
// begin answers false when creating the temporary is denied (a folder without write access); the
// caller then writes some other way. commit keeps the target's creation time and attributes (a hidden
// file stays hidden); its last-write time becomes the time of the rewrite. Replacing retries sharing
// violations and denied access for up to 120 s (300 s on other file systems); after that the target
// keeps its old content and the temporary stays. Callers hold the target's exclusive path lock.

#include "foundation/fs/file_stream.h"
#include "foundation/kpl/string.h"
#include "foundation/tasks/abort_signal.h"
#include "metadata/tags/tag_rewriter.h"

class safe_rewrite final : public tag_rewriter {
public:
    explicit safe_rewrite(const char* target);
    safe_rewrite(const safe_rewrite&) = delete;
    safe_rewrite& operator=(const safe_rewrite&) = delete;

    // Creates the temporary file and hands it out; false when its creation is denied. Once only.
    bool begin(file_stream_ref& out, const abort_signal& abort) override;
    // Puts the temporary in the target's place and reopens `file` (the caller's reference to the target,
    // released first) for modification. Nothing when begin made no file.
    void commit(file_stream_ref& file, const abort_signal& abort);
    // Removes the temporary file, ignoring every error.
    void cancel();

    bool has_temporary() const { return m_temp_file.get() != nullptr || m_temp_path.length() > 0; }
    const char* temporary_path() const { return m_temp_path.c_str(); }

private:
    kpl::utf8_string_tight m_target;
    kpl::utf8_string_tight m_temp_path;
    file_stream_ref m_temp_file;
};
