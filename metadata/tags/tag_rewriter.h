#pragma once
// tag_rewriter: what a tag writer asks for when a file must be rewritten as a whole (a leading tag that
// changes size, a tag that is removed from the front). It answers true and a new file_stream that is to
// receive the whole new content, or false. The owner of a rewriter that answered true puts the new
// content in the file's place afterwards (safe_rewrite::commit) or throws it away (safe_rewrite::cancel).
//
//     safe_rewrite rewrite(path);                       // a temporary file beside the target
//     id3v2_tag_io_write_with_rewriter(rewrite, file, info, abort);
//     rewrite.commit(file, abort);                      // the target now holds the new content
//
// tag_rewriter_none answers false: a writer then changes the file only where it can do so safely (see
// each writer).

#include "foundation/fs/file_stream.h"
#include "foundation/tasks/abort_signal.h"

class tag_rewriter {
public:
    // True and the output stream, or false.
    virtual bool begin(file_stream_ref& out, const abort_signal& abort) = 0;

protected:
    tag_rewriter() = default;
    ~tag_rewriter() = default;
};

class tag_rewriter_none final : public tag_rewriter {
public:
    bool begin(file_stream_ref&, const abort_signal&) override { return false; }
};
