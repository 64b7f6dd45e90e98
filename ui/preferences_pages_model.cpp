#include "ui/preferences_pages_model.h"

#include <map>

#include "foundation/kpl/text_compare.h"
#include "playback/output/output_module.h"

folders_apply_actions folders_apply_decide(const folders_apply_input& in) {
    folders_apply_actions a;
    a.store_monitor = in.monitor_checked != in.monitor_stored;
    a.store_folders = in.edited_folders != in.stored_folders;  // count, then bytes at each position
    a.store_include = in.include_checked != in.include_stored;
    if (a.store_include || a.store_folders) {
        a.startup = true;
    } else if (!a.store_monitor) {
        return a;
    }
    a.apply_folder_list = in.library_loaded;
    return a;
}

namespace {

struct ascii_nocase_less {
    bool operator()(const std::string& a, const std::string& b) const { return kpl::stricmp_ascii(a.c_str(), b.c_str()) < 0; }
};

class choice_collector final : public output_device_sink {
public:
    choice_collector(std::vector<output_choice>& out, const kpl::guid& module, const std::string& prefix)
        : m_out(out), m_module(module), m_prefix(prefix) {}
    void on_device(const kpl::guid& device, const char* name, size_t length) override {
        output_choice c;
        c.module = m_module;
        c.device = device;
        c.label = m_prefix;
        if (name) c.label += length == size_t(-1) ? std::string(name) : std::string(name, length);
        m_out.push_back(c);
    }

private:
    std::vector<output_choice>& m_out;
    kpl::guid m_module;
    std::string m_prefix;
};

}  // namespace

void output_choices_list(const std::vector<output_module*>& modules, std::vector<output_choice>& out) {
    try {
        bool prefix = false;
        for (output_module* m : modules) {
            if (m->get_flags() & output_module_flag_prefix) {
                prefix = true;
                break;
            }
        }
        std::map<std::string, output_module*, ascii_nocase_less> by_name;
        for (output_module* m : modules) {
            const char* name = m->get_name();
            by_name[name ? name : ""] = m;
        }
        for (const auto& entry : by_name) {
            try {
                kpl::guid module = kpl::guid_null;
                entry.second->get_guid(module);
                const char* own = entry.second->get_name();
                const std::string name = own ? own : "";
                const std::string label_prefix = prefix && !name.empty() ? name + " : " : std::string();
                choice_collector collector(out, module, label_prefix);
                entry.second->enumerate_devices(collector);
            } catch (const std::exception&) {
                // this module's devices end here; the next module is listed
            }
        }
    } catch (const std::exception&) {
        // the listing ends, keeping what was added
    }
}

int output_choice_find(const std::vector<output_choice>& choices, const kpl::guid& module, const kpl::guid& device) {
    for (size_t i = 0; i < choices.size(); ++i)
        if (choices[i].module == module && choices[i].device == device) return static_cast<int>(i);
    return -1;
}
