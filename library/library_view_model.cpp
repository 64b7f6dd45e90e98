// The tag view: levels, level maps, items, titles and playback lists.
#include "library/library_view_model.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <set>
#include <unordered_map>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/services/service_registry.h"
#include "library/logical_sort.h"
#include "metadata/title_formatting/handle_title.h"
#include "shell/localization.h"

namespace {

const wchar_t* const k_albums_by_all = L"[albums by all artists]";
const wchar_t* const k_songs_from_all = L"[songs from all albums]";

std::wstring wide(const std::string& text) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, text.c_str());
    return w.c_str();
}

// The shown text of an album line ("sort text\tshown text"): what follows the first tab, or all of it.
list_text shown_part(const list_text& line) {
    const wchar_t* tab = std::wcschr(line.text(), L'\t');
    return tab ? list_text(tab + 1) : line;
}

bool same_set(std::vector<std::wstring> a, const key_list& chosen) {
    std::vector<std::wstring> b;
    for (const list_text& t : chosen) b.push_back(t.text());
    std::sort(a.begin(), a.end());
    a.erase(std::unique(a.begin(), a.end()), a.end());
    std::sort(b.begin(), b.end());
    b.erase(std::unique(b.begin(), b.end()), b.end());
    return !a.empty() && a == b;
}

std::string run_script(const track_handle_ref& track, const title_script& script) {
    kpl::utf8_string_pow2 out;
    track->format_title(nullptr, out, script, nullptr);
    return out.c_str();
}

title_script_ref compile(const std::string& text) {
    title_script_ref script;
    if (!title_script_compiler::get().compile(script, text.c_str()) || !script) throw kpl::exception_bug_check_v2();
    return script;
}

// The localized text with {name} replaced by `value`.
std::string fill(const char* id, const char* name, const char* value) {
    text_params params;
    params.set(name, value);
    kpl::utf8_string_pow2 out;
    if (!localization_table::format(id, params, out)) return localization_table::get_text(id);
    return out.c_str();
}

// Appends the localized text of `id`, escaped, with the placeholder {name} replaced by what `links` appends.
template <class Links>
void append_with_links(navigation_text& out, const char* id, const char* name, Links links) {
    const std::string text = localization_table::get_text(id);
    const std::string placeholder = std::string("{") + name + "}";
    const size_t at = text.find(placeholder);
    if (at == std::string::npos) {
        out.append_escaped(text.c_str());
        return;
    }
    out.append_escaped(text.substr(0, at).c_str());
    links();
    out.append_escaped(text.substr(at + placeholder.size()).c_str());
}

}  // namespace

std::vector<std::wstring> library_value_texts(const char* utf8) {
    std::vector<std::wstring> out;
    std::string text(utf8);
    size_t at = 0;
    for (;;) {
        const size_t cut = text.find("; ", at);
        const std::string piece = text.substr(at, cut == std::string::npos ? std::string::npos : cut - at);
        if (!piece.empty()) out.push_back(wide(piece));
        if (cut == std::string::npos) break;
        at = cut + 2;
    }
    return out;
}

std::vector<std::wstring> library_album_artist_texts(const browse_fields& record) {
    const char* album_artist = record.get(browse_album_artist);
    return library_value_texts(*album_artist ? album_artist : record.get(browse_artist));
}

library_view_model::library_view_model(library_view_host& host, const node_path& path, media_library* library)
    : m_host(host), m_library(library) {
    if (!m_library) {
        service_class::get_single(m_library_ref);
        m_library = m_library_ref.get();
    }
    const std::string artist_suffix = localization_table::get_text("ui_view_artist_suffix");
    const auto suffix = [&](const char* field) { return fill("ui_view_artist_suffix", "artist", field); };
    (void)artist_suffix;
    m_song_one_album = compile("[[%discnumber%.]%tracknumber%. ]%title%[" + suffix("%track artist%") + "]");
    m_song_title = compile("%title%");
    m_track_sort = compile("%album artist% - %album% - [[%discnumber%.]%tracknumber%. ]%title%");
    m_album_other = compile("ASDF\t%album%[ '['%date%']']" + suffix("%album artist%"));
    m_album_chosen = compile("%date%\t%album%[ '['%date%']']");
    m_album_all = compile("%album artist% - %date%\t%album artist% - %album%[ '['%date%']']");
    m_album_artist = compile("%album artist%");
    m_album = compile("%album%");
    m_date = compile("[%date%]");
    m_current_sort = m_track_sort.get();
    m_library->register_listener(this);
    try {
        set_path(path);
        m_host.on_indexing_changed(m_library->is_indexing());
    } catch (...) {
        m_library->unregister_listener(this);
        throw;
    }
}

library_view_model::~library_view_model() { m_library->unregister_listener(this); }

const wchar_t* library_view_model::pseudo_text(int level) const {
    switch (level) {
        case 0: return all_genres_text;
        case 1: return k_albums_by_all;
        case 2: return k_songs_from_all;
        default: return nullptr;
    }
}

key_list library_view_model::selection_to_here() {
    if (m_level == 0) return key_list();
    return m_choices[m_level - 1];
}

void library_view_model::set_choice(int level, const key_list& selection) {
    const wchar_t* pseudo = pseudo_text(level);
    bool lifted = false;
    if (pseudo)
        for (const list_text& k : selection)
            if (std::wcscmp(k.text(), pseudo) == 0) lifted = true;
    m_choices[level] = lifted ? key_list() : selection;
}

void library_view_model::set_path(const node_path& path) {
    m_level = 0;
    for (auto& c : m_choices) c.clear();
    for (auto& m : m_maps) m.clear();
    m_album_last.clear();
    // Only the levels the current one draws its tracks from are built: those with a choice, and the
    // current level itself. A level without a choice lets every track through and is never looked at.
    const int target = static_cast<int>(std::min<size_t>(path.size(), 3));
    for (int l = 0; l < target; ++l) set_choice(l, path[l]);
    for (int l = 0; l <= target; ++l) {
        if (l < target && m_choices[l].empty()) continue;
        m_level = l;
        rebuild(l);
    }
    m_level = target;
}

void library_view_model::get_path(node_path& out) {
    out.clear();
    for (int i = 0; i < m_level; ++i) out.push_back(m_choices[i]);
}

bool library_view_model::item_contains_track(const list_text& key, const track_handle* handle) {
    const auto found = m_maps[m_level].find(key);
    if (found == m_maps[m_level].end()) return false;
    for (uint32_t i = 0; i < found->second.count(); ++i)
        if (found->second.items()[i].get() == handle) return true;
    return false;
}

bool library_view_model::is_summary_item(const list_text& key) {
    const wchar_t* pseudo = pseudo_text(m_level);
    return pseudo && std::wcscmp(key.text(), pseudo) == 0;
}

bool library_view_model::item_has_tracks(const list_text& key) {
    const auto found = m_maps[m_level].find(key);
    return found != m_maps[m_level].end() && found->second.count() != 0;
}

void library_view_model::get_tracks_of(const key_list& selection, track_list& out) {
    kpl::list_remove_all(out);
    if (m_level > 3) return;
    const key_list saved = m_choices[m_level];
    const int level = m_level;
    set_choice(level, selection);
    m_level = level + 1;
    try {
        get_all_tracks(out);
    } catch (...) {
        m_level = level;
        m_choices[level] = saved;
        throw;
    }
    m_level = level;
    m_choices[level] = saved;
}

void library_view_model::go_up() {
    if (m_level == 0) return;
    m_maps[m_level].clear();
    --m_level;
    m_choices[m_level].clear();
    rebuild(m_level);
}

void library_view_model::open(const key_list& selection) {
    if (m_level >= 3) return;
    set_choice(m_level, selection);
    ++m_level;
    rebuild(m_level);
    // A level left without a choice is not read again until it is current (and rebuilt) once more.
    if (m_choices[m_level - 1].empty()) m_maps[m_level - 1].clear();
}

void library_view_model::tracks_of_state(int level, track_list& out) {
    kpl::list_remove_all(out);
    for (int l = level - 1; l >= 0; --l) {
        if (m_choices[l].empty()) continue;
        for (const list_text& key : m_choices[l]) {
            const auto found = m_maps[l].find(key);
            if (found == m_maps[l].end()) continue;
            for (uint32_t i = 0; i < found->second.count(); ++i) out.append(found->second.items()[i]);
        }
        return;
    }
    m_library->list_all(out);
}

void library_view_model::sort_tracks(track_list& tracks) { handle_list_sort(tracks, *m_current_sort); }

void library_view_model::get_all_tracks(track_list& out) {
    track_list all;
    tracks_of_state(m_level, all);
    std::set<const track_handle*> seen;
    kpl::list_remove_all(out);
    for (uint32_t i = 0; i < all.count(); ++i)
        if (seen.insert(all.items()[i].get()).second) out.append(all.items()[i]);
    sort_tracks(out);
}

void library_view_model::rebuild(int level) {
    m_current_sort = m_track_sort.get();
    level_map& map = m_maps[level];
    map.clear();
    track_list tracks;
    tracks_of_state(level, tracks);
    std::vector<list_text> keys;
    list_text_list items;

    const auto add = [&](const list_text& key, const track_handle_ref& track) {
        auto& list = map[key];
        if (list.count() && list.items()[list.count() - 1].get() == track.get()) return;
        if (list.count() == 0) keys.push_back(key);
        list.append(track);
    };

    if (level == 0 || level == 1) {
        if (level == 1 && !m_choices[0].empty()) items.append(list_text(k_albums_by_all));
        for (uint32_t i = 0; i < tracks.count(); ++i) {
            const track_handle_ref& t = tracks.items()[i];
            browse_fields_builder record;
            if (!t->copy_browse_fields(record)) continue;
            std::vector<std::wstring> values;
            if (level == 0) {
                values = library_value_texts(record.get(browse_genre));
            } else {
                values = library_value_texts(record.get(browse_artist));
                for (const auto& v : library_value_texts(record.get(browse_album_artist))) values.push_back(v);
            }
            std::set<std::wstring> once;
            for (const auto& v : values)
                if (once.insert(v).second) add(list_text(v), t);
        }
        sort_logical(keys);
        for (const auto& k : keys) items.append(k);
    } else if (level == 2) {
        m_album_last.clear();
        // Album lines as the scripts give them ("sort text\tshown text"), those by the chosen artists
        // (or all, when none is chosen) and the others; listed in that order, each sorted.
        std::vector<list_text> own, others;
        std::map<list_text, track_handle_ref>& last_of = m_album_last;
        const key_list& artists = m_choices[1];
        // An album line depends only on the track's artist, album artist, album and date texts (the scripts
        // read nothing else), so tracks sharing those four texts share one formatted line: each distinct
        // combination is formatted and placed once, every other track only looked up.
        struct album_line {
            track_list* tracks;
            track_handle_ref* last;
        };
        std::unordered_map<std::string, album_line> lines;
        lines.reserve(tracks.count() / 4 + 16);
        std::string fields;
        for (uint32_t i = 0; i < tracks.count(); ++i) {
            const track_handle_ref& t = tracks.items()[i];
            fields.clear();
            {
                track_info_lock_scope lock;
                const browse_fields_packed* packed = nullptr;
                if (t->get_browse_fields(packed))
                    for (uint32_t field : {browse_artist, browse_album_artist, browse_album, browse_date}) {
                        fields += packed->get(field);
                        fields += '\0';
                    }
            }
            auto found = lines.find(fields);
            if (found == lines.end()) {
                browse_fields_builder record;
                t->copy_browse_fields(record);
                const title_script* script;
                bool by_chosen;
                if (artists.empty()) {
                    script = m_album_all.get();
                    by_chosen = true;
                } else {
                    by_chosen = same_set(library_album_artist_texts(record), artists);
                    script = by_chosen ? m_album_chosen.get() : m_album_other.get();
                }
                const list_text whole = list_text(wide(run_script(t, *script)));
                const list_text key = shown_part(whole);
                auto& list = map[key];
                (by_chosen ? own : others).push_back(whole);
                found = lines.emplace(fields, album_line{&list, &last_of[key]}).first;
            }
            track_list& list = *found->second.tracks;
            if (!list.count() || list.items()[list.count() - 1].get() != t.get()) list.append(t);
            *found->second.last = t;
        }
        // An album's details (for the title line) are those of its last track, formatted when asked for.
        // Different track texts can make the same line: each is listed once, and a shown text only at its
        // first line.
        for (auto* lines_of : {&own, &others}) {
            sort_logical(*lines_of);
            lines_of->erase(std::unique(lines_of->begin(), lines_of->end()), lines_of->end());
        }
        if (own.size() + others.size() > 1) items.append(list_text(k_songs_from_all));
        std::set<list_text> listed;
        for (const auto* lines_of : {&own, &others})
            for (const list_text& whole : *lines_of) {
                const list_text key = shown_part(whole);
                if (listed.insert(key).second) items.append(key);
            }
    } else if (level == 3) {
        const title_script* display = m_song_title.get();
        if (m_choices[2].count() == 1)
            display = m_song_one_album.get();
        else
            m_current_sort = m_song_title.get();
        for (uint32_t i = 0; i < tracks.count(); ++i) {
            const track_handle_ref& t = tracks.items()[i];
            const std::string text = run_script(t, *display);
            if (text.empty()) continue;
            add(list_text(wide(text)), t);
        }
        sort_logical(keys);
        for (const auto& k : keys) items.append(k);
    }
    m_items = items;
}

void library_view_model::rebuild_all() {
    const list_text_list before = m_items;
    const int current = m_level;
    for (int l = 0; l <= current; ++l) {
        if (l < current && m_choices[l].empty()) {  // passes every track on: nothing to build
            m_maps[l].clear();
            continue;
        }
        m_level = l;
        rebuild(l);
    }
    m_level = current;
    if (m_items != before) m_host.on_items_changed();
}

namespace {

void genre_links(navigation_text& out, const key_list& genres) {
    bool first = true;
    for (const list_text& g : genres) {
        if (!first) out.append_escaped(", ");
        first = false;
        library_view_key key;
        key.genres.append(g);
        out.append_link(g.text(), key);
    }
}

void artist_links(navigation_text& out, const std::vector<std::wstring>& artists) {
    bool first = true;
    for (const std::wstring& a : artists) {
        if (!first) out.append_escaped(", ");
        first = false;
        library_view_key key;
        key.artists.append(list_text(a));
        out.append_link(a.c_str(), key);
    }
}

std::vector<std::wstring> texts_of(const key_list& list) {
    std::vector<std::wstring> out;
    for (const list_text& t : list) out.push_back(t.text());
    return out;
}

void append_prefix(navigation_text& out, const char* id) {
    std::string prefix = localization_table::get_text(id);
    if (!prefix.empty() && prefix.back() != ' ') prefix += ' ';
    out.append_escaped(prefix.c_str());
}

}  // namespace

void library_view_model::get_title(navigation_text& out) {
    out.clear();
    const key_list& genres = m_choices[0];
    const key_list& artists = m_choices[1];
    const auto artist_suffix = [&](const char* id, const std::vector<std::wstring>& list) {
        append_with_links(out, id, "artist", [&] { artist_links(out, list); });
    };
    const auto genre_suffix = [&] {
        if (!genres.empty())
            append_with_links(out, "ui_view_genre_suffix_long", "genre", [&] { genre_links(out, genres); });
    };
    if (m_level == 0) {
        out.append_escaped(localization_table::get_text("ui_view_all_genres"));
        return;
    }
    if (m_level == 1) {
        if (!genres.empty())
            append_with_links(out, "ui_view_all_artists_in_genre", "genre", [&] { genre_links(out, genres); });
        else
            out.append_escaped(localization_table::get_text("ui_view_all_artists"));
        return;
    }
    const auto genre_or_all = [&](const char* genre_id, const char* all_id) {
        if (!genres.empty())
            append_with_links(out, genre_id, "genre", [&] { genre_links(out, genres); });
        else
            out.append_escaped(localization_table::get_text(all_id));
        if (!artists.empty()) artist_suffix("ui_view_artist_suffix_long", texts_of(artists));
    };
    if (m_level == 2) {
        genre_or_all("ui_view_genre_albums", "ui_view_all_albums");
        return;
    }
    const key_list& albums = m_choices[2];
    if (albums.empty()) {
        genre_or_all("ui_view_genre_songs", "ui_view_all_songs");
        return;
    }
    // One album link: the album text, its date in brackets, leading to its songs by its artists. An album
    // without a known artist is plain text.
    const auto album_link = [&](const list_text& key, std::vector<std::wstring>& album_artists) {
        const auto found = m_album_last.find(key);
        if (found == m_album_last.end()) {
            out.append_escaped("???");
            album_artists.clear();
            return;
        }
        const track_handle_ref& last = found->second;
        browse_fields_builder record;
        last->copy_browse_fields(record);
        const char* album_artist = record.get(browse_album_artist);
        album_artists = library_value_texts(*album_artist ? album_artist : record.get(browse_artist));
        const std::wstring album = wide(run_script(last, *m_album)), date = wide(run_script(last, *m_date));
        std::wstring shown = album;
        if (!date.empty()) shown += L" [" + date + L"]";
        if (album_artists.empty()) {
            out.append_text(shown.c_str());
            return;
        }
        library_view_key target;
        for (const auto& artist : album_artists) target.artists.append(list_text(artist));
        target.album = list_text(shown);
        out.append_link(shown.c_str(), target);
    };
    const bool one = albums.count() == 1 && m_album_last.count(albums.front());
    if (one) {
        append_prefix(out, "ui_view_album_prefix");
        std::vector<std::wstring> own;
        album_link(albums.front(), own);
        if (same_set(own, artists) || (own.empty() && artists.empty())) {
            if (!own.empty()) artist_suffix("ui_view_artist_suffix_long", own);
        } else {
            if (!own.empty()) artist_suffix("ui_view_artist_suffix", own);
            if (!artists.empty()) artist_suffix("ui_view_artist_suffix_long", texts_of(artists));
        }
        genre_suffix();
        return;
    }
    if (albums.count() > 1) append_prefix(out, "ui_view_albums_prefix");
    bool first = true;
    for (const list_text& key : albums) {
        if (!first) out.append_escaped(", ");
        first = false;
        std::vector<std::wstring> own;
        album_link(key, own);
        if (!own.empty() && !same_set(own, artists)) artist_suffix("ui_view_artist_suffix", own);
    }
    if (!artists.empty()) artist_suffix("ui_view_artist_suffix_long", texts_of(artists));
    genre_suffix();
}

bool library_view_model::find_picture(std::wstring& out) {
    if (m_level != 3) return false;
    track_list tracks;
    get_all_tracks(tracks);
    std::vector<std::string> folders;
    for (uint32_t i = 0; i < tracks.count(); ++i) {
        const std::string path = tracks.items()[i]->get_location().get_path();
        const size_t cut = path.find_last_of("/:\\|");
        const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    static const wchar_t* const names[] = {L"front cover.jpg", L"front.jpg", L"cover.jpg", L"folder.jpg"};
    for (const std::string& folder : folders) {
        if (folder.compare(0, 7, "file://") != 0) continue;
        const std::wstring base = wide(folder.substr(7));
        for (const wchar_t* name : names) {
            const std::wstring candidate = base + name;
            const DWORD attributes = GetFileAttributesW(candidate.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                out = candidate;
                return true;
            }
        }
    }
    return false;
}

int library_view_model::extension_score(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == '|' || *p == ':') name = p + 1;
    const char* dot = std::strrchr(name, '.');
    if (!dot) return 0;
    std::string ext(dot + 1);
    const size_t q = ext.find('?');
    if (q != std::string::npos) ext.resize(q);
    if (ext.size() > 31) ext.resize(31);
    static const struct {
        const char* ext;
        int score;
    } scores[] = {{"FLAC", 6}, {"WV", 5}, {"MPC", 4}, {"M4A", 3}, {"OGG", 2}, {"MP3", 1}};
    for (const auto& s : scores)
        if (lstrcmpiA(ext.c_str(), s.ext) == 0) return s.score;
    return 0;
}

void library_view_model::thin_duplicates(track_list& tracks) {
    track_list out;
    const uint32_t n = tracks.count();
    uint32_t i = 0;
    while (i < n) {
        const track_handle_ref& first = tracks.items()[i];
        browse_fields_builder a;
        uint32_t end = i + 1;
        if (first->copy_browse_fields(a)) {
            for (; end < n; ++end) {
                browse_fields_builder b;
                if (!tracks.items()[end]->copy_browse_fields(b)) break;
                bool equal = true;
                for (uint32_t f = 0; f < browse_field_count && equal; ++f)
                    equal = std::strcmp(a.get(f), b.get(f)) == 0;
                if (!equal) break;
            }
        }
        uint32_t best = i;
        for (uint32_t k = i + 1; k < end; ++k) {
            const track_handle_ref& c = tracks.items()[k];
            const track_handle_ref& w = tracks.items()[best];
            const int sc = extension_score(c->get_location().get_path()), sw = extension_score(w->get_location().get_path());
            if (sc > sw || (sc == sw && c->get_file_stamp() > w->get_file_stamp())) best = k;
        }
        out.append(tracks.items()[best]);
        i = end;
    }
    tracks = std::move(out);
}

item_enumerator_ref library_view_model::create_item_track_list(const key_list& selection) {
    track_list tracks;
    get_tracks_of(selection, tracks);
    thin_duplicates(tracks);
    return track_list_create(tracks);
}

item_enumerator_ref library_view_model::create_track_list() {
    track_list tracks;
    get_all_tracks(tracks);
    thin_duplicates(tracks);
    return track_list_create(tracks);
}
