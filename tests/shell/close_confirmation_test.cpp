// The close confirmation: no question while nothing runs (even with a modal dialog up), the question's
// text with equal names counted, the answer deciding, and a modal dialog brought forward instead of a
// question. The running-operation registry keeps one entry per operation.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/kpl/text_lookup.h"
#include "foundation/win32/modal_scope.h"
#include "foundation/win32/window_text.h"
#include "shell/crash_handler.h"
#include "shell/running_operations.h"

namespace {

struct named_operation : running_operation {
    const char* name;
    explicit named_operation(const char* n) : name(n) {}
    void get_name(kpl::utf8_string& out) override { out = name; }
};

struct answering_host : message_box_host {
    int answer = IDNO;
    int shown = 0;
    std::string text, caption;
    UINT type = 0;
    int show(HWND, const win_string_param& t, const win_string_param& c, UINT flags) override {
        ++shown;
        text = t.utf8() ? t.utf8() : "";
        caption = c.utf8() ? c.utf8() : "";
        type = flags;
        return answer;
    }
};

bool english(const char* id, kpl::utf8_string& out) {
    const std::string key = id;
    if (key == "dialog_appclose_header") out = "The following tasks are still active:";
    else if (key == "dialog_appclose_notice") out = "If you close Vorn now, their results will be lost. Are you sure?";
    else if (key == "dialog_appclose_caption") out = "Closing Vorn Application";
    else return false;
    return true;
}

// Registers operations for the scope of a test.
struct registered {
    named_operation* operation;
    explicit registered(named_operation& op) : operation(&op) {
        running_operation_registry::instance().register_operation(operation);
    }
    ~registered() { running_operation_registry::instance().unregister_operation(operation); }
};

}  // namespace

TEST_CASE("close confirmation text: each name once, counted when repeated, in byte order") {
    struct row {
        std::vector<const char*> names;
        const char* expected;
    };
    const row rows[] = {
        {{"Updating Files"}, "H\nUpdating Files\n\nN"},
        {{"Updating Files", "Removing Tags", "Updating Files"}, "H\nRemoving Tags\nUpdating Files (2)\n\nN"},
        {{"b", "B", "\xC3\xA9", "a", "a", "a"}, "H\nB\na (3)\nb\n\xC3\xA9\n\nN"},
    };
    for (const row& r : rows) {
        kpl::string_array names;
        for (const char* n : r.names) names.append(n);
        kpl::utf8_string_pow2 text;
        close_confirmation_text(names, "H", "N", text);
        CHECK(std::string(text.c_str()) == r.expected);
    }
}

TEST_CASE("closing asks only while operations run, and the answer decides") {
    answering_host host;
    message_box_host_override use(host);
    kpl::text_lookup_function previous = kpl::set_text_lookup(&english);

    CHECK(confirm_close());  // nothing registered
    CHECK(host.shown == 0);

    named_operation update("Updating Files"), second("Updating Files");
    registered a(update), b(second), again(update);  // `update` twice: one entry
    host.answer = IDNO;
    CHECK_FALSE(confirm_close());
    CHECK(host.shown == 1);
    CHECK(host.text ==
          "The following tasks are still active:\nUpdating Files (2)\n\n"
          "If you close Vorn now, their results will be lost. Are you sure?");
    CHECK(host.caption == "Closing Vorn Application");
    CHECK(host.type == (MB_YESNO | MB_ICONINFORMATION));
    host.answer = IDYES;
    CHECK(confirm_close());
    kpl::set_text_lookup(previous);
}

TEST_CASE("with a modal dialog up, closing brings it forward instead of asking") {
    answering_host host;
    message_box_host_override use(host);
    HWND window = CreateWindowExW(0, L"STATIC", L"modal", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    {
        modal_scope scope(window);
        CHECK(confirm_close());  // nothing registered: true even now
        named_operation update("Updating Files");
        registered a(update);
        CHECK_FALSE(confirm_close());
        CHECK(host.shown == 0);
    }
    DestroyWindow(window);
}
