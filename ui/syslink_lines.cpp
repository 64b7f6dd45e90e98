// SysLink window texts and the link targets of each line.
#include "ui/syslink_lines.h"

#include "foundation/kpl/codepage.h"

std::wstring syslink_window_text(const std::string& markup) {
    kpl::wide_array w;
    kpl::utf8_to_wide_array(w, markup.c_str(), markup.size());
    std::wstring out;
    for (const wchar_t* at = w.c_str(); *at; ++at) {
        out += *at;
        if (*at == L'&') out += L'&';
    }
    return out;
}

void link_targets::set(int control_id, const std::vector<view_path>& targets) { m_targets[control_id] = targets; }

void link_targets::clear(int control_id) { m_targets.erase(control_id); }

const view_path* link_targets::find(int control_id, size_t index) const {
    const auto found = m_targets.find(control_id);
    if (found == m_targets.end() || index >= found->second.size()) return nullptr;
    return &found->second[index];
}
