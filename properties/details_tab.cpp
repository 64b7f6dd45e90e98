#include "properties/details_tab.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "foundation/fs/file_system.h"
#include "foundation/kpl/number_format.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/text_nocase.h"
#include "metadata/replaygain.h"
#include "metadata/track_info.h"
#include "shell/localization.h"

namespace {

const char* const k_handled[] = {"bitrate",       "codec",   "codec_profile", "tool",         "encoding",
                                 "samplerate",    "channels", "bitspersample", "tagtype",      "cue_embedded",
                                 "md5"};

using track_vector = std::vector<track_handle_ref>;

std::vector<service_ref> all_sources() {
    std::vector<service_ref> out;
    service_iterator it(details_tab_source::class_guid);
    service_ref source;
    while (it.next(source)) out.push_back(source);
    return out;
}

bool is_path_separator(char c) { return c == '/' || c == ':' || c == '\\' || c == '|'; }

std::string display_path(const char* path) {
    if (std::strncmp(path, "file://", 7) == 0) return path + 7;
    filesystem_provider_ref provider;
    if (file_system_try_find(path, provider)) {
        kpl::utf8_string_pow2 out;
        if (provider->display_path(path, out)) return out.c_str();
    }
    return path;
}

std::string provider_display_path(const char* path) {
    filesystem_provider_ref provider;
    if (file_system_try_find(path, provider)) {
        kpl::utf8_string_pow2 out;
        if (provider->display_path(path, out)) return out.c_str();
    }
    if (std::strncmp(path, "file://", 7) == 0) return path + 7;
    return path;
}

// Appends `name` to a list cut after 100 characters; false once " ..." ended it.
bool append_limited(std::string& text, const std::string& name) {
    if (kpl::utf8_char_count(text.data(), text.size()) > 100) {
        text += " ...";
        return false;
    }
    if (!text.empty()) text += ", ";
    text += name;
    return true;
}

std::string distinct_list(const track_vector& tracks, bool folders, uint32_t& distinct) {
    std::vector<std::string> taken;
    std::string text;
    distinct = 0;
    for (const track_handle_ref& track : tracks) {
        const std::string path = display_path(track->get_location().get_path());
        size_t last = std::string::npos;
        for (size_t i = path.size(); i > 0; --i)
            if (is_path_separator(path[i - 1])) {
                last = i - 1;
                break;
            }
        std::string name;
        if (folders) {
            if (last == std::string::npos) continue;
            const bool keep = last > 0 && is_path_separator(path[last - 1]);
            name = path.substr(0, keep ? last + 1 : last);
        } else {
            name = last == std::string::npos ? path : path.substr(last + 1);
            const size_t query = name.find('?');
            if (query != std::string::npos) name.resize(query);
        }
        if (name.empty() || std::find(taken.begin(), taken.end(), name) != taken.end()) continue;
        taken.push_back(name);
        ++distinct;
        if (!append_limited(text, name)) break;
    }
    return text;
}

struct info_view {
    std::vector<const track_info*> infos;  // null where the store has none
    bool all = true;
};

info_view infos_of(const track_vector& tracks, loaded_info_lookup* lookup) {
    info_view view;
    for (const track_handle_ref& track : tracks) {
        const track_info* info = nullptr;
        if (!lookup || !lookup->get_info(track.get(), info)) {
            info = nullptr;
            view.all = false;
        }
        view.infos.push_back(info);
    }
    return view;
}

bool common_value(const info_view& view, const char* name, std::string& out) {
    if (!view.all || view.infos.empty()) return false;
    const char* first = view.infos[0]->info_get_by_name(name);
    if (!first) return false;
    for (const track_info* info : view.infos) {
        const char* value = info->info_get_by_name(name);
        if (!value || std::strcmp(value, first) != 0) return false;
    }
    out = first;
    return true;
}

using text_of = bool (*)(const track_info& info, const char* field, std::string& out);

bool field_text(const track_info& info, const char* field, std::string& out) {
    const char* value = info.info_get_by_name(field);
    if (!value) return false;
    out = value;
    return true;
}

bool codec_text(const track_info& info, const char*, std::string& out) {
    const char* codec = info.info_get_by_name("codec");
    if (!codec) return false;
    out = codec;
    if (const char* profile = info.info_get_by_name("codec_profile")) {
        out += " ";
        out += profile;
    }
    return true;
}

bool rate_text(const track_info& info, const char*, std::string& out) {
    const char* rate = info.info_get_by_name("samplerate");
    if (!rate) return false;
    out = rate;
    out += " Hz";
    return true;
}

bool share_text(const info_view& view, text_of make, const char* field, std::string& out) {
    if (!view.all || view.infos.empty()) return false;
    std::map<std::string, double> weights;
    bool complete = true;
    double total = 0;
    for (const track_info* info : view.infos) {
        const double length = info->get_length();
        if (!(length > 0)) continue;
        std::string text;
        if (make(*info, field, text))
            weights[text] += length;
        else
            complete = false;
        total += length;
    }
    if (weights.empty()) {
        total = 0;
        for (const track_info* info : view.infos) {
            std::string text;
            if (make(*info, field, text))
                weights[text] += 1;
            else
                complete = false;
            total += 1;
        }
    }
    if (weights.empty()) return false;
    if (weights.size() == 1 && complete) {
        out = weights.begin()->first;
        return true;
    }
    std::vector<std::pair<std::string, double>> order(weights.begin(), weights.end());
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        if (a.second != b.second) return a.second > b.second;
        return kpl::stricmp_ascii(a.first.c_str(), b.first.c_str()) < 0;
    });
    out.clear();
    for (const auto& entry : order) {
        if (!out.empty()) out += "; ";
        const int64_t tenths = static_cast<int64_t>(std::floor(entry.second / total * 1000 + 0.5));
        out += entry.first;
        out += " (";
        out += kpl::format_tenths(tenths).c_str();
        out += "%)";
    }
    return true;
}

uint32_t average_bitrate(const info_view& view) {
    double sum = 0, length_sum = 0;
    for (const track_info* info : view.infos) {
        if (!info || !(info->get_length() > 0)) continue;
        const int64_t rate = info->info_get_int("bitrate");
        if (rate <= 0) continue;
        sum += static_cast<double>(rate) * info->get_length();
        length_sum += info->get_length();
    }
    if (!(length_sum > 0)) return 0;
    return static_cast<uint32_t>(std::floor(sum / length_sum + 0.5));
}

std::string group_bytes(uint64_t value) {
    std::string digits = kpl::format_uint64(value).c_str();
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ' ';
        out += digits[i];
    }
    return out;
}

class standard_source final : public service_static<details_tab_source> {
public:
    bool handles_info_field(const char* name) override {
        for (const char* handled : k_handled)
            if (utf8_compare_nocase_fast(handled, name) == 0) return true;
        return false;
    }

    void build_rows(const track_vector& tracks, loaded_info_lookup* lookup, details_row_sink& sink) override {
        const std::string location = localization_table::get_text("properties_group_location");
        const std::string general = localization_table::get_text("properties_group_general");
        const std::string replaygain = localization_table::get_text("properties_group_replaygain");
        const info_view view = infos_of(tracks, lookup);

        // File path and subsong index, when every track has the same path.
        bool same_path = !tracks.empty();
        for (const track_handle_ref& track : tracks)
            if (std::strcmp(track->get_location().get_path(), tracks[0]->get_location().get_path()) != 0)
                same_path = false;
        if (same_path) {
            const char* path = tracks[0]->get_location().get_path();
            sink.add_row(location.c_str(), 2, localization_table::get_text("properties_info_filepath"),
                         provider_display_path(path).c_str());
            filesystem_provider_ref provider;
            const bool flag = file_system_try_find(path, provider) && provider->open_before_probe();
            std::string subsongs;
            for (const track_handle_ref& track : tracks) {
                if (subsongs.size() > 100) {
                    subsongs += " ...";
                    break;
                }
                if (!subsongs.empty()) subsongs += ", ";
                subsongs += kpl::format_uint64(track->get_location().get_subsong()).c_str();
            }
            if (!flag && subsongs != "0")
                sink.add_row(location.c_str(), 3, localization_table::get_text("properties_info_subsong"),
                             subsongs.c_str());
        }

        uint32_t distinct = 0;
        std::string names = distinct_list(tracks, false, distinct);
        if (distinct)
            sink.add_row(location.c_str(), 0,
                         localization_table::get_text(distinct == 1 ? "properties_info_filename"
                                                                    : "properties_info_filenames"),
                         names.c_str());
        std::string folders = distinct_list(tracks, true, distinct);
        if (distinct)
            sink.add_row(location.c_str(), 1,
                         localization_table::get_text(distinct == 1 ? "properties_info_foldername"
                                                                    : "properties_info_foldernames"),
                         folders.c_str());

        // Total size, each file once.
        std::vector<const track_handle*> sorted;
        for (const track_handle_ref& track : tracks) sorted.push_back(track.get());
        std::sort(sorted.begin(), sorted.end(), [](const track_handle* a, const track_handle* b) {
            return std::strcmp(a->get_location().get_path(), b->get_location().get_path()) < 0;
        });
        bool size_known = lookup != nullptr;
        uint64_t total_size = 0;
        for (size_t i = 0; i < sorted.size() && size_known; ++i) {
            if (i && std::strcmp(sorted[i]->get_location().get_path(), sorted[i - 1]->get_location().get_path()) == 0)
                continue;
            file_stats stats;
            if (!lookup->get_stats(sorted[i], stats) || stats.size == file_size_unknown)
                size_known = false;
            else
                total_size += stats.size;
        }
        if (size_known && total_size > 0) {
            std::string value = kpl::format_file_size(total_size).c_str();
            if (total_size >= 1024) {
                text_params params;
                params.set("bytes", group_bytes(total_size).c_str());
                kpl::utf8_string_pow2 suffix;
                if (localization_table::format("properties_info_bytes_suffix", params, suffix)) {
                    value += " ";
                    value += suffix.c_str();
                }
            }
            sink.add_row(location.c_str(), 4,
                         localization_table::get_text(tracks.size() == 1 ? "properties_info_filesize"
                                                                         : "properties_info_totalfilesize"),
                         value.c_str());
        }

        uint64_t latest = 0;
        for (const track_handle_ref& track : tracks) latest = std::max(latest, track->get_file_stamp());
        if (latest)
            sink.add_row(location.c_str(), 5, localization_table::get_text("properties_info_lastmodified"),
                         details_format_timestamp(latest).c_str());

        // Duration: the infos' lengths when every track has one (exact), else the handles' cached ones.
        double total_length = 0;
        for (size_t i = 0; i < tracks.size(); ++i) {
            const double length = view.all ? view.infos[i]->get_length()
                                           : static_cast<double>(track_handle::get_length(*tracks[i]));
            if (length > 0) total_length += length;
        }
        if (total_length > 0) {
            std::string value = kpl::format_time_span_fraction(total_length, 3).c_str();
            std::string rate;
            if (common_value(view, "samplerate", rate)) {
                const int64_t hz = std::atoll(rate.c_str());
                if (hz > 0) {
                    text_params params;
                    const uint64_t samples =
                        static_cast<uint64_t>(std::floor(static_cast<double>(hz) * total_length + 0.5));
                    params.set("samples", kpl::format_uint64(samples).c_str());
                    kpl::utf8_string_pow2 suffix;
                    if (localization_table::format("properties_info_duration_samples_suffix", params, suffix)) {
                        value += " ";
                        value += suffix.c_str();
                    }
                }
            }
            sink.add_row(general.c_str(), 0, localization_table::get_text("properties_info_duration"), value.c_str());
        }

        sink.add_row(general.c_str(), 1, localization_table::get_text("properties_info_format"),
                     format_summary(view).c_str());

        std::string tool;
        if (share_text(view, field_text, "tool", tool))
            sink.add_row(general.c_str(), 8, localization_table::get_text("properties_info_tool"), tool.c_str());

        std::string md5;
        if (common_value(view, "subsong_md5", md5) || common_value(view, "md5", md5))
            sink.add_row(general.c_str(), 12, "MD5", md5.c_str());

        replaygain_values common;
        bool first = true;
        for (const track_info* info : view.infos) {
            if (!info) {
                common = replaygain_values();
                break;
            }
            const replaygain_values rg = info->get_replaygain();
            if (first) {
                common = rg;
                first = false;
                continue;
            }
            if (rg.track_gain != common.track_gain) common.track_gain = replaygain_values::gain_invalid;
            if (rg.album_gain != common.album_gain) common.album_gain = replaygain_values::gain_invalid;
            if (rg.track_peak != common.track_peak) common.track_peak = replaygain_values::peak_invalid;
            if (rg.album_peak != common.album_peak) common.album_peak = replaygain_values::peak_invalid;
        }
        char text[replaygain_gain_text_size];
        if (!first && replaygain_gain_to_text(text, common.track_gain))
            sink.add_row(replaygain.c_str(), 0, localization_table::get_text("properties_info_replaygain_track"), text);
        if (!first && replaygain_gain_to_text(text, common.album_gain))
            sink.add_row(replaygain.c_str(), 2, localization_table::get_text("properties_info_replaygain_album"), text);
    }

private:
    static std::string format_summary(const info_view& view) {
        std::vector<std::string> parts;
        std::string part;
        if (share_text(view, codec_text, nullptr, part)) parts.push_back(part);
        if (share_text(view, field_text, "encoding", part)) parts.push_back(part);
        if (common_value(view, "bitrate", part)) {
            parts.push_back(part + " kbps");
        } else if (uint32_t average = average_bitrate(view)) {
            parts.push_back("~" + std::string(kpl::format_uint64(average).c_str()) + " kbps");
        }
        if (share_text(view, field_text, "channels", part)) {
            if (part == "1")
                part = "mono";
            else if (part == "2")
                part = "stereo";
            else
                part += " ch";
            parts.push_back(part);
        }
        if (share_text(view, rate_text, nullptr, part)) parts.push_back(part);
        if (share_text(view, field_text, "bitspersample", part)) parts.push_back(part + "-bit");
        if (common_value(view, "cue_embedded", part) && kpl::stricmp_ascii(part.c_str(), "yes") == 0)
            parts.push_back("CUE");
        if (share_text(view, field_text, "tagtype", part)) parts.push_back(part);
        std::string out;
        for (const std::string& p : parts) {
            if (!out.empty()) out += " / ";
            out += p;
        }
        return out;
    }
};

service_factory_single<standard_source, details_tab_source> g_standard_source;

// Character by character through the system's case-insensitive comparison.
int compare_names(const std::string& a, const std::string& b) { return utf8_compare_nocase(a.c_str(), b.c_str()); }

void add_to(details_group& group, double priority, const char* label, const char* value) {
    for (details_row& row : group.rows)
        if (row.priority == priority && compare_names(row.label, label) == 0) {
            row.value = value;
            return;
        }
    group.rows.push_back(details_row{priority, label, value});
}

}  // namespace

details_tab_source& details_standard_source() { return g_standard_source.instance(); }

std::string details_format_timestamp(uint64_t stamp) {
    FILETIME utc, local;
    utc.dwLowDateTime = static_cast<DWORD>(stamp);
    utc.dwHighDateTime = static_cast<DWORD>(stamp >> 32);
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time)) return "<invalid timestamp>";
    char text[64];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond);
    return text;
}

void details_row_collector::add_row(const char* group, double priority, const char* label, const char* value) {
    for (details_group& g : m_groups)
        if (g.name == group) {
            add_to(g, priority, label, value);
            return;
        }
    m_groups.push_back(details_group{group, {}});
    add_to(m_groups.back(), priority, label, value);
}

void details_row_collector::add_other_fields(const std::vector<track_handle_ref>& tracks, loaded_info_lookup* lookup) {
    m_other = details_group{localization_table::get_text("properties_group_other"), {}};
    if (tracks.size() != 1 || !lookup) return;
    const track_info* info = nullptr;
    if (!lookup->get_info(tracks[0].get(), info)) return;
    const std::vector<service_ref> sources = all_sources();
    for (uint32_t i = 0; i < info->info_count(); ++i) {
        const char* name = info->info_name(i);
        bool claimed = false;
        for (const service_ref& source : sources)
            if (source.as<details_tab_source>()->handles_info_field(name)) claimed = true;
        if (claimed) continue;
        kpl::utf8_string_pow2 label("<");
        utf8_to_upper(label, name);
        label << ">";
        add_to(m_other, 0, label.c_str(), info->info_value(i));
    }
}

void details_row_collector::collect(const std::vector<track_handle_ref>& tracks, loaded_info_lookup* lookup) {
    for (const service_ref& source : all_sources()) source.as<details_tab_source>()->build_rows(tracks, lookup, *this);
    add_other_fields(tracks, lookup);
}

std::vector<details_group> details_row_collector::groups() const {
    const std::string first[] = {localization_table::get_text("properties_group_location"),
                                 localization_table::get_text("properties_group_general"),
                                 localization_table::get_text("properties_group_replaygain")};
    std::vector<details_group> out;
    std::vector<details_group> rest;
    for (const std::string& name : first)
        for (const details_group& g : m_groups)
            if (g.name == name && !g.rows.empty()) out.push_back(g);
    for (const details_group& g : m_groups)
        if (std::find(std::begin(first), std::end(first), g.name) == std::end(first) && !g.rows.empty())
            rest.push_back(g);
    std::stable_sort(rest.begin(), rest.end(), [](const details_group& a, const details_group& b) {
        const int c = compare_names(a.name, b.name);
        return c ? c < 0 : std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    out.insert(out.end(), rest.begin(), rest.end());
    if (!m_other.rows.empty()) out.push_back(m_other);
    for (details_group& g : out)
        std::stable_sort(g.rows.begin(), g.rows.end(), [](const details_row& a, const details_row& b) {
            if (a.priority != b.priority) return a.priority < b.priority;
            return compare_names(a.label, b.label) < 0;
        });
    return out;
}

std::string details_copy_text(const std::vector<const details_row*>& rows) {
    std::string out;
    for (const details_row* row : rows) {
        if (row->value.empty()) continue;
        if (!out.empty()) out += "\r\n";
        out += row->label + " : " + row->value;
    }
    return out;
}
