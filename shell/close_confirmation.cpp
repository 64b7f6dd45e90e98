// The close confirmation: a question while operations are running.
#include <cstring>
#include <map>
#include <string>

#include "foundation/kpl/text_lookup.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/window_text.h"
#include "shell/app_state.h"
#include "shell/crash_handler.h"
#include "shell/running_operations.h"

namespace {

struct unsigned_bytes_less {
    bool operator()(const std::string& a, const std::string& b) const {
        return std::strcmp(a.c_str(), b.c_str()) < 0;  // strcmp compares as unsigned char
    }
};

}  // namespace

void close_confirmation_text(const kpl::string_array& names, const char* header, const char* notice,
                             kpl::utf8_string& out) {
    std::map<std::string, unsigned, unsigned_bytes_less> counts;
    for (uint32_t i = 0; i < names.count(); ++i) ++counts[names[i].c_str()];
    out = header;
    out << "\n";
    for (const auto& name : counts) {
        out << name.first.c_str();
        if (name.second >= 2) out << " (" << name.second << ")";
        out << "\n";
    }
    out << "\n" << notice;
}

bool confirm_close() {
    running_operation_registry& registry = running_operation_registry::instance();
    if (registry.is_empty()) return true;
    if (!modal_scope::can_start()) {
        modal_scope::bring_to_front();
        return false;
    }
    kpl::string_array names;
    registry.get_names(names);
    kpl::utf8_string_pow2 header, notice, caption, text;
    kpl::lookup_text("dialog_appclose_header", header);
    kpl::lookup_text("dialog_appclose_notice", notice);
    kpl::lookup_text("dialog_appclose_caption", caption);
    close_confirmation_text(names, header.c_str(), notice.c_str(), text);
    return message_box(app_state.main_window, text, caption, MB_YESNO | MB_ICONINFORMATION) == IDYES;
}
