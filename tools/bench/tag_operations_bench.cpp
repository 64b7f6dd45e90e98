// tag_operations_bench: files per second of the tag operations (load_info over 2,000 FLAC files, update_info
// over 500) beside a plain loop over the same info readers and writers, in the same run. The operations run
// on the calling thread (no progress window), so the difference is their own work: sorting, path locks,
// the collector, the handles taking the records and the broadcast. Not a test; run it to follow that cost:
//
//     wine build/tag_operations_bench.exe        (the files are made in the temporary folder and removed)
//
// Each line: the path taken, the best of five rounds in seconds, files per second and the operation's time
// over the plain loop's.
#include <windows.h>

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/ref_list.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/input_probe.h"
#include "metadata/tag_operations.h"
#include "metadata/track_info.h"
#include "properties/tag_operation_host.h"
#include "tools/bench/bench_support.h"

namespace {

// A one-second stereo file with a few comments.
bool make_flac(const std::wstring& path) {
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out) return false;
    FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
    FLAC__StreamMetadata* comments = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    const char* const fields[] = {"TITLE=Bench", "ARTIST=A", "ARTIST=B", "ALBUM=Timing", "TRACKNUMBER=1"};
    for (const char* field : fields) {
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        const char* eq = std::strchr(field, '=');
        const std::string name(field, static_cast<size_t>(eq - field));
        FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name.c_str(), eq + 1);
        FLAC__metadata_object_vorbiscomment_append_comment(comments, entry, false);
    }
    FLAC__StreamMetadata* padding = FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING);
    padding->length = 4096;
    FLAC__StreamMetadata* blocks[] = {comments, padding};
    FLAC__stream_encoder_set_metadata(encoder, blocks, 2);
    FLAC__stream_encoder_set_channels(encoder, 2);
    FLAC__stream_encoder_set_bits_per_sample(encoder, 16);
    FLAC__stream_encoder_set_sample_rate(encoder, 44100);
    FLAC__stream_encoder_init_FILE(encoder, out, nullptr, nullptr);
    std::vector<FLAC__int32> pcm(4410 * 2);
    for (int block = 0; block < 10; ++block) {
        for (uint32_t i = 0; i < 4410; ++i) {
            pcm[2 * i] = static_cast<FLAC__int32>(9000 * std::sin(0.0627 * (block * 4410 + i)));
            pcm[2 * i + 1] = pcm[2 * i] / 2;
        }
        FLAC__stream_encoder_process_interleaved(encoder, pcm.data(), 4410);
    }
    FLAC__stream_encoder_finish(encoder);
    FLAC__stream_encoder_delete(encoder);
    FLAC__metadata_object_delete(comments);
    FLAC__metadata_object_delete(padding);
    return true;
}

// Runs each task at once on this thread.
class direct_host final : public tag_operation_host, public threaded_process::progress_sink {
public:
    void run_task(threaded_process::task* task, uint32_t, HWND, const char*) override {
        service_ptr<threaded_process::task> held(task);
        task->on_start(nullptr);
        task->run(*this, abort_never);
        task->on_done(nullptr, false);
    }
    void show_report(const char* text, const char*) override { std::fprintf(stderr, "report: %s\n", text); }
    void set_progress(uint32_t) override {}
    void set_progress_secondary(uint32_t) override {}
    void set_item(const char*, size_t) override {}
    void set_item_path(const char*, size_t) override {}
    void set_title(const char*, size_t) override {}
    void force_update() override {}
    bool is_paused() override { return false; }
    bool wait_while_paused() override { return true; }
};

class comment_setter final : public service_counted<info_editor> {
public:
    explicit comment_setter(const char* value) : m_value(value) {}
    bool apply(const track_handle_ref&, const file_stats&, track_info& info) override {
        info.meta_set("comment", track_info::npos, m_value, track_info::npos);
        return true;
    }

private:
    const char* m_value;
};

kpl::array_list<track_handle_ref> handles(const std::vector<std::string>& locations, size_t count) {
    kpl::array_list<track_handle_ref> out;
    for (size_t i = 0; i < count; ++i) {
        track_handle_ref h;
        track_handle_registry::get().get_handle(h, track_location(locations[i].c_str(), 0));
        out.append(h);
    }
    return out;
}

double plain_load(const std::vector<std::string>& locations, size_t count) {
    const double start = bench_seconds();
    for (size_t i = 0; i < count; ++i) {
        service_ptr<track_info_reader> reader;
        input_open_info_reader(reader, file_stream_ref(), locations[i].c_str(), abort_never, false);
        reader->get_file_stats(abort_never);
        track_info_store info;
        reader->get_info(0, info, abort_never);
    }
    return bench_seconds() - start;
}

double plain_update(const std::vector<std::string>& locations, size_t count, const char* value) {
    const double start = bench_seconds();
    for (size_t i = 0; i < count; ++i) {
        service_ptr<track_info_writer> writer;
        input_open_info_writer(writer, file_stream_ref(), locations[i].c_str(), abort_never, false);
        writer->get_file_stats(abort_never);
        track_info_store info;
        writer->get_info(0, info, abort_never);
        info.meta_set("comment", track_info::npos, value, track_info::npos);
        writer->stage_info(0, info, abort_never);
        writer->commit_info(abort_never);
        writer->get_info(0, info, abort_never);
    }
    return bench_seconds() - start;
}

void report(const char* what, double best, size_t files, double baseline) {
    std::printf("%-28s %8.3f s %9.0f files/s", what, best, files / best);
    if (baseline > 0) std::printf("   x%.2f of the plain loop", best / baseline);
    std::printf("\n");
}

}  // namespace

int main() {
    service_registry::table().build(service_registration_list());
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"vorn-tag-bench";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring first = folder + L"\\0000.flac";
    if (!make_flac(first)) {
        std::fprintf(stderr, "tag_operations_bench: cannot make the test files\n");
        return 1;
    }
    const size_t load_count = 2000, update_count = 500;
    std::vector<std::wstring> paths;
    std::vector<std::string> locations;
    for (size_t i = 0; i < load_count; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"\\%04u.flac", static_cast<unsigned>(i));
        paths.push_back(folder + name);
        if (i > 0) CopyFileW(first.c_str(), paths.back().c_str(), FALSE);
        locations.push_back(std::string("file://") + kpl::utf8_string_from_utf16(paths.back().c_str()).c_str());
    }

    direct_host host;
    tag_operation_host::install(&host);
    service_ptr<tag_operations> ops;
    service_class::get_single(ops);

    double best_op_load = 1e30, best_plain_load = 1e30, best_op_update = 1e30, best_plain_update = 1e30;
    try {
        for (int round = 0; round < 5; ++round) {
            const char* value = round % 2 ? "odd" : "even";
            best_plain_load = std::min(best_plain_load, plain_load(locations, load_count));
            {
                kpl::array_list<track_handle_ref> tracks = handles(locations, load_count);
                const double start = bench_seconds();
                ops->load_info(tracks, 1, nullptr, 1, nullptr, nullptr);
                best_op_load = std::min(best_op_load, bench_seconds() - start);
            }
            best_plain_update = std::min(best_plain_update, plain_update(locations, update_count, value));
            {
                kpl::array_list<track_handle_ref> tracks = handles(locations, update_count);
                service_ptr<comment_setter> editor(new comment_setter(round % 2 ? "odd again" : "even again"));
                editor->release();
                const double start = bench_seconds();
                ops->update_info(tracks, editor.get(), nullptr, 1, nullptr, nullptr);
                best_op_update = std::min(best_op_update, bench_seconds() - start);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tag_operations_bench: %s\n", e.what());
        return 1;
    }
    tag_operation_host::install(nullptr);
    report("plain loop, load", best_plain_load, load_count, 0);
    report("load_info", best_op_load, load_count, best_plain_load);
    report("plain loop, update", best_plain_update, update_count, 0);
    report("update_info", best_op_update, update_count, best_plain_update);

    for (const std::wstring& path : paths) DeleteFileW(path.c_str());
    RemoveDirectoryW(folder.c_str());
    return 0;
}
