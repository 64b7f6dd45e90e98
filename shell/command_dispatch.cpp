// Dispatching command-line arguments: switches to their handlers, the rest to locations.
#include <windows.h>

#include <cstring>
#include <vector>

#include "foundation/fs/file_system.h"
#include "foundation/fs/local_path.h"
#include "foundation/kpl/text_compare.h"
#include "foundation/services/service_registry.h"
#include "foundation/win32/directory_enum.h"
#include "foundation/win32/wildcard.h"
#include "playback/popup_notice.h"
#include "shell/app_state.h"
#include "shell/command_line.h"
#include "shell/command_model.h"
#include "shell/menu_nodes.h"
#include "shell/ui_state_service.h"
#include "ui/main_window.h"

namespace {

// Folder expansion stops this many levels down (a link loop cannot run forever).
constexpr int k_max_folder_depth = 64;

bool is_folder(const char* path) { return local_path::is_folder(path); }

kpl::utf8_string_pow2 canonical_location(const char* path) {
    kpl::utf8_string_pow2 out;
    file_system_canonical_path(path, out);
    return out;
}

class dispatcher {
public:
    dispatcher(kpl::string_array& locations) : m_locations(locations) {}

    void run(const kpl::string_array& args, uint32_t& flags, const char* base) {
        service_iterator it(command_line_switch_handler::class_guid);
        service_ref each;
        while (it.next(each)) m_handlers.push_back(each);
        if (args.count() <= 1) {
            flags |= command_line_no_arguments;
            return;
        }
        uint32_t plain = 0;
        for (uint32_t i = 1; i < args.count(); ++i) {
            const char* arg = args[i].c_str();
            if (!arg[0]) continue;
            if (arg[0] == '/' || arg[0] == '-') {
                finish_pending();
                take_switch(arg);
                continue;
            }
            ++plain;
            kpl::utf8_string_pow2 path = make_absolute_path(arg, base);
            if (std::strstr(path.c_str(), "://")) add_location(path.c_str());
            else if (is_folder(path.c_str())) add_folder(path.c_str(), 0);
            else if (wildcard_has_wildcards(path.c_str())) expand(path.c_str(), 0);
            else add_location(path.c_str());
        }
        finish_pending();
        if (plain == 0) flags |= command_line_no_arguments;
        else flags &= ~static_cast<uint32_t>(command_line_no_arguments);
    }

private:
    void finish_pending() {
        if (!m_pending) return;
        service_ref pending = std::move(m_pending);
        pending.as<command_line_switch_handler>()->arguments_done();
    }

    void take_switch(const char* arg) {
        if (kpl::stricmp_ascii(arg, "/quiet") == 0 || kpl::stricmp_ascii(arg, "/makereadonly") == 0) return;
        bool help = kpl::stricmp_ascii(arg, "/help") == 0 || std::strcmp(arg, "/?") == 0;
        for (const service_ref& handler : m_handlers) {
            uint32_t answer = handler.as<command_line_switch_handler>()->handle_switch(arg);
            if (help) continue;
            if (answer == command_line_switch_handler::handled) return;
            if (answer == command_line_switch_handler::handled_with_arguments) {
                m_pending = handler;
                return;
            }
        }
        if (help) return;
        kpl::utf8_string_pow2 message("unknown commandline parameter: ");
        message << arg;
        popup_notice_show(message.c_str(), "Error");
    }

    void add_location(const char* path) {
        kpl::utf8_string_pow2 location = canonical_location(path);
        if (m_pending) m_pending.as<command_line_switch_handler>()->take_argument(location.c_str());
        else m_locations.append(location);
    }

    void add_folder(const char* path, int depth) {
        if (!m_pending || m_pending.as<command_line_switch_handler>()->accepts_folders()) {
            kpl::utf8_string_pow2 folder(path);
            while (folder.length() > 0 && folder.c_str()[folder.length() - 1] == '\\') folder.truncate(folder.length() - 1);
            if (folder.length() == 2 && folder.c_str()[1] == ':') folder << "\\";
            add_location(folder.c_str());
            return;
        }
        kpl::utf8_string_pow2 pattern(path);
        kpl::path_add_trailing_backslash(pattern);
        pattern << "*";
        expand(pattern.c_str(), depth);
    }

    // Lists the folder part of the pattern (when it has no wildcard) and takes each matching entry.
    void expand(const char* pattern, int depth) {
        if (depth > k_max_folder_depth) return;
        const char* slash = std::strrchr(pattern, '\\');
        const char* slash2 = std::strrchr(pattern, '/');
        if (slash2 > slash) slash = slash2;
        if (!slash) return;
        kpl::utf8_string_pow2 folder(pattern, static_cast<uint32_t>(slash - pattern));
        const char* name_pattern = slash + 1;
        if (wildcard_has_wildcards(folder.c_str())) return;
        kpl::utf8_string_pow2 search(folder);
        search << "\\*";
        auto entries = directory_enum::open(search.c_str());
        if (!entries) return;
        do {
            const char* name = entries->name();
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            if (!wildcard_match(name, name_pattern, false)) continue;
            kpl::utf8_string_pow2 path(folder);
            path << "\\" << name;
            if (entries->attributes() & FILE_ATTRIBUTE_DIRECTORY) {
                if (name[0] != '.') add_folder(path.c_str(), depth + 1);
            } else {
                add_location(path.c_str());
            }
        } while (entries->next());
    }

    kpl::string_array& m_locations;
    std::vector<service_ref> m_handlers;
    service_ref m_pending;
};

// The built-in switches.
struct switch_command {
    const char* name;
    kpl::guid command;
};

const switch_command k_switches[] = {
    {"/play", shell_commands::play},
    {"/pause", shell_commands::pause},
    {"/prev", shell_commands::previous},
    {"/next", shell_commands::next},
    {"/stop", shell_commands::stop},
    {"/exit", shell_commands::exit},
    {"/quit", shell_commands::exit},
    {"/show", shell_commands::show_window},
    {"/hide", shell_commands::hide_window},
};

class builtin_switches final : public service_static<command_line_switch_handler> {
public:
    uint32_t handle_switch(const char* text) override {
        if (kpl::stricmp_ascii(text, "/lang") == 0) return handled_with_arguments;
        for (const switch_command& s : k_switches) {
            if (kpl::stricmp_ascii(text, s.name) == 0) {
                main_menu_command_finder::run_by_guid(s.command);
                return handled;
            }
        }
        return not_mine;
    }
    void take_argument(const char*) override {}
    void arguments_done() override {}
    bool accepts_folders() override { return false; }
};

service_factory_single<builtin_switches, command_line_switch_handler> g_builtin_switches;

}  // namespace

void dispatch_command_line(const kpl::string_array& args, kpl::string_array& locations, uint32_t& flags,
                           const char* base) {
    dispatcher(locations).run(args, flags, base);
}

void process_command_line(const char* text, bool own, const char* base) {
    if (!service_registry::is_running()) return;
    kpl::string_array args = split_command_line(text);
    bool show = !own && args.count() <= 1;
    kpl::string_array locations;
    uint32_t flags = 0;
    dispatch_command_line(args, locations, flags, base);
    if (show || !locations.empty()) {
        service_ptr<ui_state_service> ui;
        service_class::get_single(ui);
        ui->show();
    }
    if (!locations.empty() && app_state.main_window) main_window::open_command_line_locations(locations);
}
