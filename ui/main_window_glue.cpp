// The main window's navigation helpers (ui/main_window_glue.h).
#include "ui/main_window_glue.h"

#include <windows.h>
#include <wincrypt.h>

#include "foundation/kpl/string.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/shell.h"
#include "library/folder_view_node.h"
#include "library/library_manager.h"
#include "library/media_library.h"
#include "playback/playback_controller.h"
#include "shell/localization.h"

namespace main_window_glue {
namespace {

std::wstring wide(const char* text) {
    if (text == nullptr || *text == 0) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &out[0], n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::vector<std::wstring> split(const std::wstring& text, const std::wstring& separator) {
    std::vector<std::wstring> out;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        if (at == std::wstring::npos) {
            out.push_back(text.substr(start));
            return out;
        }
        out.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
}

std::wstring format(playback_controller& controller, const title_script_ref& script, bool& any) {
    kpl::utf8_string_pow2 out;
    any = controller.format_title(nullptr, out, *script, nullptr, 0);
    return wide(out.c_str());
}

}  // namespace

view_path stored_navigation_state() {
    view_path albums;
    albums.kind = 0;
    albums.path.resize(2);
    return albums;
}

void store_navigation_state(const view_path&) {}

void navigation_line(const view_path& here, navigation_text& out) {
    struct entry {
        const char* text_id;
        view_path where;
    };
    std::vector<entry> entries;
    entries.push_back({"ui_nav_genres", view_path{0, node_path()}});
    entries.push_back({"ui_nav_artists", view_path{0, node_path(1)}});
    entries.push_back({"ui_nav_albums", view_path{0, node_path(2)}});
    const std::vector<std::string>& folders = library_manager::effective_list();
    if (folders.size() == 1) {
        std::string url = library_manager::folder_url(folders[0]);
        std::wstring path = wide(url.c_str());
        if (path.compare(0, 7, L"file://") == 0) path = path.substr(7);
        entries.push_back({"ui_nav_folder", view_path{1, folder_components(path)}});
    } else {
        view_path root{2, node_path(1)};
        append_folders_root_key(root.path[0]);
        entries.push_back({"ui_nav_folders", root});
    }
    entries.push_back({"ui_nav_computer", view_path{1, node_path()}});
    out.clear();
    out.append_text(wide(localization_table::get_text("ui_nav_prefix")).c_str());
    out.append_text(L" ");
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i != 0) out.append_text(L", ");
        std::wstring text = wide(localization_table::get_text(entries[i].text_id));
        if (entries[i].where == here)
            out.append_text(text.c_str());
        else
            out.append_link(text.c_str(), entries[i].where);
    }
}

bool now_playing_lines(playback_controller& controller, const title_script_ref* scripts, bool library_mode,
                       navigation_text& first, navigation_text& second, library_view_key& album) {
    first.clear();
    second.clear();
    bool any = false;
    std::wstring title = format(controller, scripts[0], any);
    if (!any) {
        first.append_text(wide(localization_table::get_text(controller.is_playing() ? "ui_notice_playback_starting"
                                                                                       : "ui_notice_playback_stopped"))
                              .c_str());
        return false;
    }
    first.append_link(title.c_str());
    first.append_text(format(controller, scripts[1], any).c_str());

    std::wstring artist = format(controller, scripts[2], any);
    std::wstring by = format(controller, scripts[3], any);
    std::wstring album_text = format(controller, scripts[4], any);
    std::wstring album_artist = format(controller, scripts[5], any);
    std::wstring date = format(controller, scripts[6], any);
    auto name_link = [&](const std::wstring& name) {
        if (library_mode) {
            library_view_key key;
            key.artists.append(list_text(name));
            second.append_link(name.c_str(), key);
        } else {
            second.append_text(name.c_str());
        }
    };
    if (artist != L"?") {
        second.append_text(wide(localization_table::get_text("ui_np_artist_prefix")).c_str());
        second.append_text(L" ");
        std::vector<std::wstring> names = split(artist, L", ");
        for (size_t i = 0; i < names.size(); ++i) {
            if (i != 0) second.append_text(L", ");
            name_link(names[i]);
        }
    } else {
        second.append_text(wide(localization_table::get_text("ui_np_unknown_artist")).c_str());
    }
    if (album_text == L"?") return false;
    bool recorded = false;
    second.append_text(L", ");
    second.append_text(wide(localization_table::get_text("ui_np_album_prefix")).c_str());
    second.append_text(L" ");
    std::wstring label = date.empty() ? album_text : album_text + L" [" + date + L"]";
    if (library_mode && album_artist != L"?") {
        library_view_key key;
        for (const std::wstring& name : split(album_artist, L", ")) key.artists.append(list_text(name));
        key.album = list_text(label);
        second.append_link(label.c_str(), key);
        album = key;
        recorded = true;
    } else {
        second.append_text(label.c_str());
    }
    if (!by.empty()) {
        std::wstring suffix = wide(localization_table::get_text("ui_np_album_suffix"));
        size_t at = suffix.find(L"{artist}");
        if (at != std::wstring::npos) {
            second.append_text(suffix.substr(0, at).c_str());
            std::vector<std::wstring> names = split(by, L", ");
            for (size_t i = 0; i < names.size(); ++i) {
                if (i != 0) second.append_text(L", ");
                name_link(names[i]);
            }
            second.append_text(suffix.substr(at + 8).c_str());
        }
    }
    return recorded;
}

bool playing_track_location(track_handle* playing, const library_view_key* album, view_path& out) {
    service_ptr<media_library> library;
    service_class::get_single(library);
    track_handle_ref ref(playing);
    if (album != nullptr && library->contains(ref)) {
        out.kind = 0;
        library_view_key key = *album;
        if (key.genres.empty()) key.genres.append(list_text(all_genres_text));
        out.path = key.to_path();
        return true;
    }
    std::wstring path = wide(playing->get_location().get_path());
    if (path.compare(0, 7, L"file://") != 0) return false;
    path = path.substr(7);
    size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return false;
    out.kind = 1;
    out.path = folder_components(path.substr(0, slash));
    return true;
}

void shuffle(std::vector<list_text>& rows) {
    if (rows.size() < 2) return;
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        throw exception_win32(GetLastError());
    std::vector<uint32_t> random(rows.size());
    BOOL ok = CryptGenRandom(provider, static_cast<DWORD>(random.size() * sizeof(uint32_t)),
                             reinterpret_cast<BYTE*>(random.data()));
    DWORD error = GetLastError();
    CryptReleaseContext(provider, 0);
    if (!ok) throw exception_win32(error);
    // Fisher-Yates: row i swaps with one of rows i .. n-1, so every order is equally likely (up to the
    // tiny bias of a 32-bit number reduced modulo the count).
    for (size_t i = rows.size() - 1; i > 0; --i) {
        size_t j = random[i] % (i + 1);
        std::swap(rows[i], rows[j]);
    }
}

node_path folder_components(const std::wstring& path) {
    node_path out;
    for (const std::wstring& part : split(path, L"\\")) {
        if (part.empty()) continue;
        key_list level;
        level.append(list_text(part));
        out.push_back(level);
    }
    return out;
}

bool split_locations(const std::vector<std::wstring>& locations, std::wstring& folder,
                     std::vector<std::wstring>& names, bool& is_directory) {
    folder.clear();
    names.clear();
    is_directory = false;
    bool found = false;
    for (const std::wstring& each : locations) {
        size_t slash = each.rfind(L'\\');
        if (slash == std::wstring::npos) continue;
        folder = each.substr(0, slash);
        found = true;
        break;
    }
    if (!found) return false;
    for (const std::wstring& each : locations) {
        size_t slash = each.rfind(L'\\');
        names.push_back(slash == std::wstring::npos ? each : each.substr(slash + 1));
    }
    if (locations.size() == 1) {
        std::wstring whole = folder + L"\\" + names[0];
        DWORD attributes = GetFileAttributesW(whole.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            folder = whole;
            names.clear();
            is_directory = true;
        }
    }
    return true;
}

void build_context_menu(library_node& view, const key_list& selection, context_menu& out) {
    out.items.clear();
    out.default_id = 0;
    out.with_commands = false;
    out.tracks.items().resize_exact(0);
    out.folder.clear();
    out.names.clear();
    bool can_open = view.can_open(selection);
    if (can_open) {
        out.items.push_back({1, "contextmenu_browse"});
        out.default_id = 1;
    }
    if (view.can_play()) {
        if (selection.count() == 1 && !can_open) out.items.push_back({2, "contextmenu_start_playback_here"});
        out.items.push_back({3, "contextmenu_play_this"});
        if (selection.count() > 1) out.items.push_back({4, "contextmenu_play_this_random_order"});
        if (out.default_id == 0) out.default_id = selection.count() == 1 && !can_open ? 2 : 3;
    }
    bool all_tracks = true;
    for (const list_text& row : selection) all_tracks = all_tracks && view.item_has_tracks(row);
    if (all_tracks) {
        out.items.push_back({0, nullptr});
        track_list tracks;
        view.get_tracks_of(selection, tracks);
        for (uint32_t i = 0; i < tracks.count(); ++i) out.tracks.append(tracks.get_item(i));
        if (view.kind() != 1 && tracks.count() > 0) {
            std::string first_folder;
            bool one = true;
            for (uint32_t i = 0; i < tracks.count() && one; ++i) {
                std::string path = tracks.get_item(i)->get_location().get_path();
                size_t cut = path.find_last_of("/:\\|");
                std::string here = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
                if (i == 0) first_folder = here;
                one = here == first_folder && path.compare(0, 7, "file://") == 0;
                if (one) out.names.push_back(wide(path.substr(cut + 1).c_str()));
            }
            if (one) {
                std::string folder = first_folder.substr(7);
                if (!folder.empty() && folder.back() == '\\') folder.pop_back();
                if (!folder.empty() && folder.back() == ':') folder += '\\';
                out.folder = wide(folder.c_str());
                out.items.push_back({6, "contextmenu_go_to_folder"});
                out.items.push_back({0, nullptr});
            } else {
                out.names.clear();
            }
        }
        out.with_commands = true;
    } else {
        std::wstring folder;
        if (view.get_explorer_path(folder)) {
            out.items.push_back({0, nullptr});
            out.items.push_back({5, "contextmenu_show_in_explorer"});
        }
    }
}

void show_folder(const std::wstring& folder, const std::vector<std::wstring>& names) {
    std::string native = narrow(folder);
    std::vector<std::string> utf8;
    for (const std::wstring& each : names) utf8.push_back(narrow(each));
    std::vector<const char*> pointers;
    for (const std::string& each : utf8) pointers.push_back(each.c_str());
    shell_select_result result = shell_select_in_folder(native.c_str(), pointers.data(), pointers.size());
    if (result.step != shell_select_result::opened) throw exception_win32(static_cast<uint32_t>(result.hr));
    if (FAILED(result.hr) && result.hr != E_ABORT) shell_execute(nullptr, nullptr, native.c_str());
}

}  // namespace main_window_glue
