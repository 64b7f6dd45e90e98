// Track lists handed to playback: plain lists, chains of lists and folders listed on first use; and the
// library_node defaults.
#include <windows.h>

#include <algorithm>

#include "foundation/kpl/codepage.h"
#include "inputs/input_probe.h"
#include "inputs/input_service.h"
#include "library/library_node.h"

namespace {

class chain_list;

// A cursor of a chain: the member's own cursor and the member's index.
class chain_cursor final : public service_counted<item_cursor> {
public:
    chain_cursor(chain_list* chain, uint32_t member, item_cursor_ref inner);
    ~chain_cursor() override;
    void get_handle(track_handle_ref& out) override { m_inner->get_handle(out); }
    void previous(item_cursor_ref& out) override;
    void next(item_cursor_ref& out) override;

private:
    chain_list* m_chain;
    uint32_t m_member;
    item_cursor_ref m_inner;
};

class chain_list : public service_counted<item_enumerator> {
public:
    chain_list() = default;
    explicit chain_list(std::vector<item_enumerator_ref> members) : m_members(std::move(members)) {}

    void first(item_cursor_ref& out) override { first_from(0, out); }
    void last(item_cursor_ref& out) override { last_from(static_cast<int64_t>(members().size()) - 1, out); }

    // Cursor on the first item of the first member at or after `member` that has items.
    void first_from(size_t member, item_cursor_ref& out) {
        auto& m = members();
        for (size_t i = member; i < m.size(); ++i) {
            item_cursor_ref inner;
            m[i]->first(inner);
            if (!inner.is_empty()) {
                out = item_cursor_ref(new chain_cursor(this, static_cast<uint32_t>(i), inner));
                out->release();
                return;
            }
        }
        out.release();
    }
    void last_from(int64_t member, item_cursor_ref& out) {
        auto& m = members();
        for (int64_t i = member; i >= 0; --i) {
            item_cursor_ref inner;
            m[static_cast<size_t>(i)]->last(inner);
            if (!inner.is_empty()) {
                out = item_cursor_ref(new chain_cursor(this, static_cast<uint32_t>(i), inner));
                out->release();
                return;
            }
        }
        out.release();
    }

protected:
    virtual std::vector<item_enumerator_ref>& members() { return m_members; }
    std::vector<item_enumerator_ref> m_members;
};

chain_cursor::chain_cursor(chain_list* chain, uint32_t member, item_cursor_ref inner)
    : m_chain(chain), m_member(member), m_inner(std::move(inner)) {
    m_chain->add_ref();
}
chain_cursor::~chain_cursor() { m_chain->release(); }

void chain_cursor::next(item_cursor_ref& out) {
    item_cursor_ref inner;
    m_inner->next(inner);
    if (!inner.is_empty()) {
        out = item_cursor_ref(new chain_cursor(m_chain, m_member, inner));
        out->release();
        return;
    }
    m_chain->first_from(m_member + 1, out);
}

void chain_cursor::previous(item_cursor_ref& out) {
    item_cursor_ref inner;
    m_inner->previous(inner);
    if (!inner.is_empty()) {
        out = item_cursor_ref(new chain_cursor(m_chain, m_member, inner));
        out->release();
        return;
    }
    m_chain->last_from(static_cast<int64_t>(m_member) - 1, out);
}

bool code_unit_less(const std::wstring& a, const std::wstring& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return static_cast<uint16_t>(a[i]) < static_cast<uint16_t>(b[i]);
    return a.size() < b.size();
}

// A folder listed on first use: its files, then each subfolder as another folder list.
class folder_list final : public chain_list {
public:
    explicit folder_list(std::wstring folder) : m_folder(std::move(folder)) {}

protected:
    std::vector<item_enumerator_ref>& members() override {
        if (!m_listed) {
            m_listed = true;
            list();
        }
        return m_members;
    }

private:
    void list() {
        std::vector<std::wstring> files, folders;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((m_folder + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (data.cFileName[0] == L'.' || (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)) continue;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    folders.push_back(data.cFileName);
                else if (track_list_is_playable(data.cFileName))
                    files.push_back(data.cFileName);
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        std::sort(files.begin(), files.end(), code_unit_less);
        track_list handles;
        for (const std::wstring& name : files) {
            const std::string url = std::string("file://") + kpl::utf8_string_from_utf16((m_folder + L"\\" + name).c_str()).c_str();
            track_handle_ref h;
            track_handle_registry::get().get_handle(h, track_location(url.c_str(), 0));
            handles.append(h);
        }
        m_members.push_back(track_list_create(handles));
        for (const std::wstring& name : folders) m_members.push_back(track_list_folder(m_folder + L"\\" + name));
    }

    std::wstring m_folder;
    bool m_listed = false;
};

}  // namespace

item_enumerator_ref track_list_create(const track_list& tracks) {
    kpl::ref_array handles;
    for (uint32_t i = 0; i < tracks.count(); ++i) handles.append(tracks.items()[i].get());
    return item_enumerator::create(handles);
}

item_enumerator_ref track_list_chain(const std::vector<item_enumerator_ref>& members) {
    item_enumerator_ref out(new chain_list(members));
    out->release();
    return out;
}

item_enumerator_ref track_list_folder(const std::wstring& folder) {
    item_enumerator_ref out(new folder_list(folder));
    out->release();
    return out;
}

bool track_list_is_playable(const wchar_t* name) {
    const std::string path = kpl::utf8_string_from_utf16(name).c_str();
    kpl::array<service_ptr<input_service>> inputs;
    input_probe().probe_path(inputs, path.c_str(), false);
    return inputs.count() != 0;
}

bool library_node::item_contains_track(const list_text& key, const track_handle* handle) {
    key_list one;
    one.append(key);
    track_list tracks;
    get_tracks_of(one, tracks);
    for (uint32_t i = 0; i < tracks.count(); ++i)
        if (tracks.items()[i].get() == handle) return true;
    return false;
}

bool library_node::item_has_tracks(const list_text& key) {
    key_list one;
    one.append(key);
    track_list tracks;
    get_tracks_of(one, tracks);
    return tracks.count() != 0;
}

void library_node::get_all_tracks(track_list& out) { get_tracks_of(items(), out); }
bool library_node::get_explorer_path(std::wstring&) { return false; }
bool library_node::redirect(view_path&, const list_text&) { return false; }
bool library_node::can_play() { return true; }
bool library_node::find_picture(std::wstring&) { return false; }

item_enumerator_ref library_node::create_item_track_list(const key_list& selection) {
    track_list tracks;
    get_tracks_of(selection, tracks);
    return track_list_create(tracks);
}

item_enumerator_ref library_node::create_track_list() {
    track_list tracks;
    get_all_tracks(tracks);
    return track_list_create(tracks);
}
