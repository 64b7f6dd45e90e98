// Ogg tag and picture writing under failure: an abort at any point of a rewrite that changes sizes
// leaves the original file byte for byte as it was and no temporary file behind; the rewrite that runs to
// the end gives a valid file with the new comments. Same-size comments are written in place.
#include <doctest/doctest.h>

#include <ogg/ogg.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/fs/location_text.h"
#include "foundation/kpl/codepage.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/abort_signal.h"
#include "inputs/album_art.h"
#include "inputs/input_service.h"
#include "inputs/ogg/ogg_input.h"
#include "metadata/track_info.h"
#include "tests/inputs/ogg_make.h"
#include "tests/inputs/input_test_support.h"

namespace {

// A signal that is set from its n-th question on, so that every step of an operation can be the one that
// sees the abort.
class abort_after final : public abort_signal {
public:
    explicit abort_after(long n) : m_left(n) {}
    bool is_set() const override { return --m_left < 0; }
    HANDLE get_event() const override { return abort_never.get_event(); }
    bool fired() const { return m_left < 0; }

private:
    mutable long m_left;
};

class scratch {
public:
    scratch() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        m_folder = std::wstring(base) + L"vorn-ogg-retag-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_folder.c_str(), nullptr);
    }
    ~scratch() {
        for (const std::wstring& name : names()) DeleteFileW((m_folder + L"\\" + name).c_str());
        RemoveDirectoryW(m_folder.c_str());
    }
    std::vector<std::wstring> names() const {
        std::vector<std::wstring> out;
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW((m_folder + L"\\*").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) return out;
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") out.push_back(name);
        } while (FindNextFileW(h, &found));
        FindClose(h);
        return out;
    }
    std::wstring path(const wchar_t* name) const { return m_folder + L"\\" + name; }
    std::string location(const wchar_t* name) const {
        return std::string("file://") + kpl::utf8_string_from_utf16(path(name).c_str()).c_str();
    }
    void write(const wchar_t* name, const std::string& content) const {
        HANDLE h = CreateFileW(path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(h != INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
        CloseHandle(h);
    }
    std::string read(const wchar_t* name) const {
        std::string out;
        HANDLE h = CreateFileW(path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return out;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got) out.append(buffer, got);
        CloseHandle(h);
        return out;
    }

private:
    std::wstring m_folder;
};

std::string title_of(const std::string& location) {
    service_ptr<track_info_reader> reader;
    ogg_input_service().open_info_reader(reader, file_stream_ref(), location.c_str(), abort_never);
    track_info_store info;
    reader->get_info(0, info, abort_never);
    const char* title = info.meta_get_first("TITLE");
    return title ? title : "";
}

// Runs `write` once to the end, then again with an abort after 1, 2, 3, ... questions until it completes.
// After every aborted run the file holds either the original or the complete new content (an abort can
// come after the new file has taken the old one's place), and no temporary file is left. Answers the number
// of aborted runs that left the original.
template <class Write>
int abort_everywhere(const scratch& folder, const std::string& original, Write write) {
    folder.write(L"a.opus", original);
    write(abort_never);
    const std::string complete = folder.read(L"a.opus");
    REQUIRE(complete != original);
    int kept = 0;
    for (long n = 0; n < 5000; ++n) {
        folder.write(L"a.opus", original);
        abort_after abort(n);
        try {
            write(abort);
            REQUIRE(folder.read(L"a.opus") == complete);
            return kept;
        } catch (const ketrel_io::exception_aborted&) {
        }
        CAPTURE(n);
        const std::string now = folder.read(L"a.opus");
        REQUIRE((now == original || now == complete));
        if (now == original) ++kept;
        REQUIRE(folder.names().size() == 1);
    }
    FAIL("the write never completed");
    return kept;
}

}  // namespace

TEST_CASE("An Ogg comment rewrite that changes sizes keeps the original until the new file is complete") {
    input_test::services_built();
    scratch folder;
    const std::string original = ogg_test::make_opus(60, "short");
    const std::string location = folder.location(L"a.opus");
    const std::string longer(5000, 'L');

    int kept = abort_everywhere(folder, original, [&](const abort_signal& abort) {
        service_ptr<track_info_writer> writer;
        ogg_input_service().open_info_writer(writer, file_stream_ref(), location.c_str(), abort_never);
        track_info_store info;
        writer->get_info(0, info, abort_never);
        info.meta_set("TITLE", track_info::npos, longer.c_str(), track_info::npos);
        writer->stage_info(0, info, abort_never);
        writer->commit_info(abort);
    });
    CHECK(kept > 10);  // the abort hit many different steps before the replacement
    CHECK(title_of(location) == longer);
    CHECK(folder.names().size() == 1);
    const std::string written = folder.read(L"a.opus");
    CHECK(written.size() > original.size() + 5000);
    // The audio pages follow unchanged apart from their sequence numbers and checksums.
    CHECK(written.substr(written.size() - 100, 100 - 8).substr(30) ==
          original.substr(original.size() - 100, 100 - 8).substr(30));
}

TEST_CASE("A picture write keeps the original until the new file is complete") {
    input_test::services_built();
    scratch folder;
    const std::string original = ogg_test::make_opus(30, "pictured");
    const std::string location = folder.location(L"a.opus");
    // A 1x1 24-bit BMP: GDI+ reads it; its MIME type stays empty.
    std::vector<uint8_t> bmp = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0,
                                0,   1,   0, 24, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0,
                                0,   0,   0, 0,  0, 0, 0, 0, 0, 0, 255, 0};
    abort_everywhere(folder, original, [&](const abort_signal& abort) {
        service_ptr<album_art_writer> writer;
        album_art_open_writer(writer, file_stream_ref(), location.c_str(), abort_never);
        writer->set(album_art_kind_front, album_art_data_make(bmp.data(), bmp.size()), abort_never);
        writer->commit(abort);
    });
    service_ptr<album_art_reader> reader;
    album_art_open_reader(reader, file_stream_ref(), location.c_str(), abort_never);
    service_ptr<album_art_data> front = reader->get(album_art_kind_front, abort_never);
    REQUIRE(front->get_size() == bmp.size());
    CHECK(std::memcmp(front->get_data(), bmp.data(), bmp.size()) == 0);
    CHECK(title_of(location) == "pictured");
    CHECK_THROWS_AS(reader->get(album_art_kind_back, abort_never), exception_album_art_not_found);

    // Kinds outside the five cannot be stored; a reader cannot commit.
    service_ptr<album_art_writer> writer;
    album_art_open_writer(writer, file_stream_ref(), location.c_str(), abort_never);
    CHECK_THROWS_AS(writer->set(album_art_kind_other, album_art_data_make("x", 1), abort_never),
                    exception_album_art_unsupported_entry);
    CHECK_THROWS_WITH(writer->set(kpl::guid{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}, album_art_data_make("x", 1), abort_never),
                      "Unsupported attached picture entry");
}

TEST_CASE("A same-size Ogg comment is written over the old header pages") {
    input_test::services_built();
    scratch folder;
    const std::string original = ogg_test::make_opus(30, "abcdef");
    folder.write(L"a.opus", original);
    const std::string location = folder.location(L"a.opus");
    service_ptr<track_info_writer> writer;
    ogg_input_service().open_info_writer(writer, file_stream_ref(), location.c_str(), abort_never);
    track_info_store info;
    writer->get_info(0, info, abort_never);
    info.meta_set("TITLE", track_info::npos, "zyxwvu", track_info::npos);
    writer->stage_info(0, info, abort_never);
    writer->commit_info(abort_never);
    writer.release();
    const std::string written = folder.read(L"a.opus");
    REQUIRE(written.size() == original.size());
    size_t first_difference = 0, last_difference = 0;
    for (size_t i = 0; i < written.size(); ++i) {
        if (written[i] == original[i]) continue;
        if (!first_difference) first_difference = i;
        last_difference = i;
    }
    CHECK(last_difference < 200);  // only the header pages changed
    CHECK(title_of(location) == "zyxwvu");
}

TEST_CASE("An Ogg rewrite that changes sizes is refused, the file untouched, when no temporary can be made beside it") {
    input_test::services_built();
    scratch folder;
    const std::string original = ogg_test::make_opus(30, "short");
    folder.write(L"a.opus", original);
    const std::string location = folder.location(L"a.opus");
    // A folder where the temporary would go: creating the temporary there is denied.
    kpl::utf8_string_tight temporary;
    temp_file_name_for(temporary, location.c_str());
    kpl::utf8_string_tight native;
    REQUIRE(file_url_to_native(temporary.c_str(), native));
    kpl::wide_array wide;
    kpl::utf8_to_wide_array(wide, native.c_str());
    const std::wstring blocker = wide.c_str();
    REQUIRE(CreateDirectoryW(blocker.c_str(), nullptr));

    service_ptr<track_info_writer> writer;
    ogg_input_service().open_info_writer(writer, file_stream_ref(), location.c_str(), abort_never);
    track_info_store info;
    writer->get_info(0, info, abort_never);
    info.meta_set("TITLE", track_info::npos, std::string(5000, 'L').c_str(), track_info::npos);
    writer->stage_info(0, info, abort_never);
    CHECK_THROWS_AS(writer->commit_info(abort_never), ketrel_io::exception_io_denied);
    writer.release();
    CHECK(folder.read(L"a.opus") == original);
    RemoveDirectoryW(blocker.c_str());
    CHECK(folder.names().size() == 1);
}
