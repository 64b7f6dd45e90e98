// The command model and the menus built from it, over test command services: the finder (unknown,
// duplicated and shrinking commands), context paths, the main menu's order, separators, flags, Shift-only
// items, shortcut texts and ids, the context menu's order and visibility, and running chosen items.
#include <doctest/doctest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/kpl/exceptions.h"
#include "shell/command_sets.h"
#include "shell/localization.h"
#include "shell/menu_builders.h"
#include "shell/menu_nodes.h"
#include "shell/shortcut_table.h"
#include "tests/shell/shell_fixtures.h"

namespace {

using shell_test::counted_tracks;
using shell_test::running_services;

std::vector<std::string> g_ran;

constexpr kpl::guid make_guid(uint32_t n) { return {0x7E570000 + n, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0, 0, 0, 1}}; }

// The test tree hangs under a parent that no node has, so it shows in no real menu.
constexpr kpl::guid k_nowhere = make_guid(0);
constexpr kpl::guid k_root = make_guid(1);
constexpr kpl::guid k_s0 = make_guid(2), k_last = make_guid(3), k_next_to_last = make_guid(4);
constexpr kpl::guid k_popup_disabled = make_guid(5), k_popup_hidden = make_guid(6), k_empty = make_guid(7);
constexpr kpl::guid k_shift_section = make_guid(8), k_self_parent = make_guid(9);

// Commands: one GUID each.
constexpr kpl::guid c_alpha = make_guid(20), c_checked = make_guid(21), c_radio = make_guid(22),
                    c_last = make_guid(23), c_shift = make_guid(24), c_disabled = make_guid(25),
                    c_middle = make_guid(26), c_grey_only = make_guid(27), c_hidden = make_guid(28),
                    c_shift_alone = make_guid(29), c_duplicate = make_guid(30), c_changing = make_guid(31);

// A popup with a plain name (the shell's own popups take theirs from the language table).
class test_popup final : public service_static<main_menu_popup> {
public:
    test_popup(const kpl::guid& own, const kpl::guid& parent, uint32_t priority, const char* name)
        : m_own(own), m_parent(parent), m_priority(priority), m_name(name) {}
    kpl::guid get_guid() override { return m_own; }
    kpl::guid get_parent() override { return m_parent; }
    uint32_t get_sort_priority() override { return m_priority; }
    void get_name(kpl::utf8_string& out) override { out = m_name; }

private:
    kpl::guid m_own, m_parent;
    uint32_t m_priority;
    const char* m_name;
};

using main_popup = service_factory_single<test_popup, main_menu_section>;
using main_section = service_factory_single<main_menu_section_node, main_menu_section>;

main_popup g_root(k_root, k_nowhere, 0u, "test_root");
main_section g_s0(k_s0, k_root, 0u);
main_section g_s_last(k_last, k_root, 0xFFFFFFFFu);
main_section g_s_next_to_last(k_next_to_last, k_root, 0xFFFFFFFEu);
main_popup g_p_disabled(k_popup_disabled, k_root, 1u, "test_disabled_popup");
main_popup g_p_hidden(k_popup_hidden, k_root, 3u, "test_hidden_popup");
main_section g_s_empty(k_empty, k_root, 2u);
main_section g_s_shift(k_shift_section, k_root, 4u);
// A section that is its own parent is not walked into twice.
main_section g_s_self(k_self_parent, k_self_parent, 0u);

// A set over a table that records what runs; `display` overrides the entry flags when it returns false.
class test_set : public main_menu_command_set_base {
public:
    test_set(const kpl::guid& parent, uint32_t priority, const main_menu_command_entry* entries, uint32_t count,
             bool visible = true)
        : main_menu_command_set_base(parent, priority, entries, count), m_visible(visible) {}

    bool get_display(uint32_t index, kpl::utf8_string& text, uint32_t& flags) override {
        text = entry(index).name_id;  // names are plain texts here
        flags = entry(index).display;
        return m_visible;
    }
    void get_name(uint32_t index, kpl::utf8_string& out) override { out = entry(index).name_id; }
    void execute(uint32_t index, main_thread_callback* done) override {
        g_ran.push_back(entry(index).name_id);
        if (done) done->run();
    }

private:
    bool m_visible;
};

const main_menu_command_entry k_s0_commands[] = {
    {c_alpha, "Alpha & Omega", 0},
    {c_checked, "Checked", main_display_checked},
    {c_radio, "Radio", main_display_radio | main_display_checked},
};
const main_menu_command_entry k_last_commands[] = {{c_last, "Last", 0}};
const main_menu_command_entry k_next_to_last_commands[] = {
    {c_shift, "Shift only", main_display_shift_only},
    {c_disabled, "Disabled", main_display_disabled},
};
const main_menu_command_entry k_middle_commands[] = {{c_middle, "Middle", 0}};
const main_menu_command_entry k_grey_commands[] = {{c_grey_only, "Grey", main_display_disabled}};
const main_menu_command_entry k_hidden_commands[] = {{c_hidden, "Hidden", 0}};
const main_menu_command_entry k_shift_alone[] = {{c_shift_alone, "Shift alone", main_display_shift_only}};

service_factory_single<test_set, main_menu_command_set> g_set_s0(k_s0, 0u, k_s0_commands, 3u);
service_factory_single<test_set, main_menu_command_set> g_set_last(k_last, 0u, k_last_commands, 1u);
service_factory_single<test_set, main_menu_command_set> g_set_next(k_next_to_last, 0u, k_next_to_last_commands, 2u);
service_factory_single<test_set, main_menu_command_set> g_set_middle(k_root, 0x80000000u, k_middle_commands, 1u);
service_factory_single<test_set, main_menu_command_set> g_set_grey(k_popup_disabled, 0u, k_grey_commands, 1u);
service_factory_single<test_set, main_menu_command_set> g_set_hidden(k_popup_hidden, 0u, k_hidden_commands, 1u, false);
service_factory_single<test_set, main_menu_command_set> g_set_shift(k_shift_section, 0u, k_shift_alone, 1u);

// Two sets that both declare c_duplicate (outside every menu).
const main_menu_command_entry k_duplicate_a[] = {{c_duplicate, "duplicate A", 0}};
const main_menu_command_entry k_duplicate_b[] = {{c_duplicate, "duplicate B", 0}};
service_factory_single<test_set, main_menu_command_set> g_dup_a(k_nowhere, 0u, k_duplicate_a, 1u);
service_factory_single<test_set, main_menu_command_set> g_dup_b(k_nowhere, 0u, k_duplicate_b, 1u);

// A set whose commands change at run time: `count` of the table, starting at `first`.
class changing_set final : public service_static<main_menu_command_set> {
public:
    uint32_t count = 4;
    uint32_t first = 0;
    kpl::guid parent = k_nowhere;

    uint32_t get_count() override { return count; }
    kpl::guid get_guid(uint32_t index) override {
        if (index >= count) kpl::crash();
        uint32_t n = first + index;
        return n == 3 ? c_changing : make_guid(100 + n);
    }
    void get_name(uint32_t, kpl::utf8_string& out) override { out = "changing"; }
    kpl::guid get_parent() override { return parent; }
    uint32_t get_sort_priority() override { return 0; }
    bool get_display(uint32_t index, kpl::utf8_string& text, uint32_t& flags) override {
        get_name(index, text);
        flags = 0;
        return true;
    }
    void execute(uint32_t index, main_thread_callback*) override {
        if (index >= count) kpl::crash();
        g_ran.push_back("changing " + std::to_string(first + index));
    }
};
service_factory_single<changing_set, main_menu_command_set> g_changing;
// A menu the changing set is moved into by the test that builds one over it.
constexpr kpl::guid k_changing_menu = make_guid(10);
main_popup g_changing_menu(k_changing_menu, k_nowhere, 0u, "test_changing");

// Context commands: a set under Tagging, one under ReplayGain (one command Shift-only), one in a test section
// of the root, one in an unnamed popup, and a set of only Shift-only commands.
constexpr kpl::guid k_ctx_section = make_guid(40), k_ctx_unnamed = make_guid(41), k_ctx_empty_popup = make_guid(42);
constexpr kpl::guid x_tag = make_guid(50), x_rg_always = make_guid(51), x_rg_shift = make_guid(52),
                    x_section = make_guid(53), x_unnamed = make_guid(54), x_only_shift = make_guid(55),
                    x_flags = make_guid(56);

service_factory_single<context_menu_section_node, context_menu_section> g_ctx_section(k_ctx_section, menu_nodes::context_root, 10.0);
service_factory_single<context_menu_popup_node, context_menu_section> g_ctx_unnamed(k_ctx_unnamed, menu_nodes::context_root, 20.0, "");
service_factory_single<context_menu_popup_node, context_menu_section> g_ctx_empty(k_ctx_empty_popup, menu_nodes::context_root, 30.0, "Empty");

class test_context_set final : public context_menu_command_set_base {
public:
    test_context_set(const kpl::guid& parent, double priority, const context_menu_command_entry* entries,
                     uint32_t count, uint32_t flags = 0)
        : context_menu_command_set_base(parent, priority, entries, count), m_flags(flags) {}

    void get_name(uint32_t index, kpl::utf8_string& out) override { out = entry(index).name_id; }
    bool get_display(uint32_t index, const track_handle_list& tracks, kpl::utf8_string& text,
                     uint32_t& flags) override {
        get_name(index, text);
        flags = m_flags;
        (void)tracks;
        return true;
    }
    void execute(uint32_t index, const track_handle_list& tracks, service_object*) override {
        g_ran.push_back(std::string(entry(index).name_id) + " on " + std::to_string(tracks.count()));
    }

private:
    uint32_t m_flags;
};

const context_menu_command_entry k_tag[] = {{x_tag, "Tag it", nullptr, context_visible_always}};
const context_menu_command_entry k_rg[] = {
    {x_rg_shift, "RG shift", nullptr, context_visible_extended},
    {x_rg_always, "RG always", nullptr, context_visible_always},
};
const context_menu_command_entry k_section_item[] = {{x_section, "In section", nullptr, context_visible_always}};
const context_menu_command_entry k_unnamed_item[] = {{x_unnamed, "In unnamed", nullptr, context_visible_always}};
const context_menu_command_entry k_only_shift[] = {{x_only_shift, "Only shift", nullptr, context_visible_extended}};
const context_menu_command_entry k_flagged[] = {{x_flags, "Flagged", nullptr, context_visible_always}};

service_factory_single<test_context_set, context_menu_command_set> g_ctx_tag(menu_nodes::context_tagging, 0.0, k_tag, 1u);
service_factory_single<test_context_set, context_menu_command_set> g_ctx_rg(menu_nodes::context_replaygain, 0.0, k_rg, 2u);
service_factory_single<test_context_set, context_menu_command_set> g_ctx_in_section(k_ctx_section, 0.0, k_section_item, 1u);
service_factory_single<test_context_set, context_menu_command_set> g_ctx_in_unnamed(k_ctx_unnamed, 0.0, k_unnamed_item, 1u);
service_factory_single<test_context_set, context_menu_command_set> g_ctx_only_shift(k_ctx_section, 1.0, k_only_shift, 1u);
service_factory_single<test_context_set, context_menu_command_set> g_ctx_flagged(
    menu_nodes::context_root, 50.0, k_flagged, 1u, context_display_checked | context_display_radio | context_display_grayed);

struct menu_fixture {
    running_services services;
    menu_fixture() {
        g_ran.clear();
        shortcut_table_set_builtin();
    }
    ~menu_fixture() { shortcut_table_set_builtin(); }
};

// The test root's menu with the given flags; ids from 100.
struct filled_menu {
    service_ptr<main_menu_builder> builder;
    HMENU menu = CreatePopupMenu();
    uint32_t level = 0;

    filled_menu(const kpl::guid& root, uint32_t flags, uint32_t id_count = 50) {
        service_class::get_single(builder);
        builder->build(root);
        level = builder->fill(menu, 100, id_count, flags);
    }
    ~filled_menu() { DestroyMenu(menu); }
    std::vector<std::string> lines() const { return shell_test::menu_lines(menu); }
};

std::vector<std::string> context_lines(const track_handle_list& tracks, uint32_t flags,
                                       service_ptr<context_menu_builder>& builder) {
    service_class::get_single(builder);
    builder->build(tracks, flags);
    HMENU menu = CreatePopupMenu();
    menu_tree_builder::append_popup(menu, builder->get_root(), 1, 500);
    std::vector<std::string> lines = shell_test::menu_lines(menu);
    DestroyMenu(menu);
    return lines;
}

}  // namespace

TEST_CASE("main menu: order by unsigned priority, one separator between sections, flags and escaped ampersands") {
    menu_fixture fixture;
    filled_menu normal(k_root, menu_build_normal);
    CHECK(normal.level == menu_level_enabled);
    CHECK(shell_test::joined(normal.lines()) == shell_test::joined({
                                "Alpha && Omega", "Checked [checked]", "Radio [radio]", "---",
                                "test_disabled_popup\t... [gray]", "---", "Middle", "Disabled [gray]", "---", "Last"}));

    // With Shift: the Shift-only commands appear in their places; ids stay the same.
    filled_menu extended(k_root, menu_build_extended);
    // (A separator follows a section, none precedes one: "Shift alone" follows the popup directly.)
    CHECK(shell_test::joined(extended.lines()) == shell_test::joined({
                                  "Alpha && Omega", "Checked [checked]", "Radio [radio]", "---",
                                  "test_disabled_popup\t... [gray]", "Shift alone", "---", "Middle",
                                  "Shift only", "Disabled [gray]", "---", "Last"}));
    CHECK(shell_test::menu_item_id(normal.menu, 0) == shell_test::menu_item_id(extended.menu, 0));
    CHECK(shell_test::menu_item_id(normal.menu, 9) == shell_test::menu_item_id(extended.menu, 11));

    // Every id runs its own command; unknown ids run nothing.
    for (int position : {0, 2, 6, 9}) {
        UINT id = shell_test::menu_item_id(normal.menu, position);
        CHECK(normal.builder->run(id, nullptr));
    }
    CHECK(shell_test::joined(g_ran) == shell_test::joined({"Alpha & Omega", "Radio", "Middle", "Last"}));
    CHECK_FALSE(normal.builder->run(99, nullptr));
    CHECK_FALSE(normal.builder->run(100 + 50, nullptr));
}

TEST_CASE("main menu: failures, an all-hidden popup, more items than ids, an unknown root") {
    menu_fixture fixture;
    filled_menu hidden(k_popup_hidden, menu_build_normal);
    CHECK(hidden.level == menu_level_empty);
    CHECK(hidden.lines().empty());
    filled_menu grey(k_popup_disabled, menu_build_normal);
    CHECK(grey.level == menu_level_disabled);

    service_ptr<main_menu_builder> builder;
    service_class::get_single(builder);
    builder->build(k_root);
    HMENU menu = CreatePopupMenu();
    CHECK_THROWS_AS(builder->fill(menu, 100, 3, menu_build_normal), kpl::exception_overflow);
    DestroyMenu(menu);
    try {
        builder->build(make_guid(999));
        FAIL("an unknown root was built");
    } catch (const kpl::exception_with_message& e) {
        CHECK(std::string(e.what()) == "Menu group not found");
    }
    filled_menu self(k_self_parent, menu_build_normal);
    CHECK(self.lines().empty());
}

TEST_CASE("main menu: the File menu's tail, Shift-only Restart, shortcut texts of any or only global entries") {
    menu_fixture fixture;
    load_language_table(0x409);
    filled_menu normal(menu_nodes::file_popup, menu_build_normal | menu_build_shortcuts);
    CHECK(shell_test::joined(normal.lines()) ==
          shell_test::joined({"Install to Removable Drive...", "Preferences...\tCtrl+P", "---", "Exit"}));
    filled_menu extended(menu_nodes::file_popup, menu_build_extended | menu_build_shortcuts);
    // The library's "Monitor music folders" shows only in the Shift menu, checked while monitoring is on.
    CHECK(shell_test::joined(extended.lines()) ==
          shell_test::joined({"Monitor Folders [checked]", "---", "Install to Removable Drive...", "Preferences...\tCtrl+P",
                              "---", "Restart", "Exit"}));
    filled_menu global(menu_nodes::file_popup, menu_build_normal | menu_build_global_shortcuts);
    CHECK(shell_test::joined(global.lines()) ==
          shell_test::joined({"Install to Removable Drive...", "Preferences...", "---", "Exit"}));

    const keyboard_shortcut entries[] = {
        {0x170, keyboard_shortcut::flag_global, keyboard_shortcut::kind_main, c_middle, kpl::guid_null},  // Shift+F1
        {0x241, 0, keyboard_shortcut::kind_main, c_last, kpl::guid_null},                                 // Ctrl+A
    };
    shortcut_table_set_entries(entries, 2);
    filled_menu any(k_root, menu_build_normal | menu_build_shortcuts);
    std::vector<std::string> lines = any.lines();
    CHECK(lines[6] == "Middle\tShift+F1");
    CHECK(lines[9] == "Last\tCtrl+A");
    filled_menu only_global(k_root, menu_build_normal | menu_build_global_shortcuts);
    lines = only_global.lines();
    CHECK(lines[6] == "Middle\tShift+F1");
    CHECK(lines[9] == "Last");
}

TEST_CASE("command finder: unknown GUIDs, duplicated GUIDs, sets that change at run time") {
    menu_fixture fixture;
    CHECK_FALSE(main_menu_command_finder::run_by_guid(shell_commands::show_window));
    CHECK_FALSE(main_menu_command_finder::run_by_guid(shell_commands::hide_window));
    CHECK(g_ran.empty());

    // The later of two sets in class order wins.
    std::string later;
    service_iterator it(main_menu_command_set::class_guid);
    service_ref each;
    while (it.next(each)) {
        if (each.get() == static_cast<main_menu_command_set*>(&g_dup_a.instance())) later = "duplicate A";
        if (each.get() == static_cast<main_menu_command_set*>(&g_dup_b.instance())) later = "duplicate B";
    }
    CHECK(main_menu_command_finder::run_by_guid(c_duplicate));
    CHECK(shell_test::joined(g_ran) == shell_test::joined({later}));

    changing_set& changing = g_changing.instance();
    changing.count = 4;
    changing.first = 0;
    g_ran.clear();
    CHECK(main_menu_command_finder::run_by_guid(c_changing));  // at index 3
    changing.count = 2;                                         // shrinks: the command is gone
    CHECK_FALSE(main_menu_command_finder::run_by_guid(c_changing));
    changing.first = 2;                                         // it comes back at index 1
    CHECK(main_menu_command_finder::run_by_guid(c_changing));
    changing.count = 4;
    changing.first = 0;
    CHECK(shell_test::joined(g_ran) == shell_test::joined({"changing 3", "changing 3"}));
}

TEST_CASE("main menu: an item of a set that lost commands since the menu was built runs nothing") {
    menu_fixture fixture;
    changing_set& changing = g_changing.instance();
    changing.count = 4;
    changing.first = 0;
    changing.parent = k_changing_menu;
    {
        filled_menu menu(k_changing_menu, menu_build_normal);
        REQUIRE(menu.lines().size() == 4);
        const UINT second = shell_test::menu_item_id(menu.menu, 1), last = shell_test::menu_item_id(menu.menu, 3);
        changing.count = 2;  // the set shrinks while the menu is open
        CHECK_FALSE(menu.builder->run(last, nullptr));
        CHECK(menu.builder->run(second, nullptr));
        CHECK(shell_test::joined(g_ran) == shell_test::joined({"changing 1"}));
    }
    changing.count = 4;
    changing.parent = k_nowhere;
}

TEST_CASE("context commands: run by GUID only on tracks and for the null caller; node paths below the root") {
    menu_fixture fixture;
    counted_tracks none(0), two(2);
    CHECK_FALSE(main_menu_command_finder::run_by_guid_ex(x_tag, kpl::guid_null, none, nullptr));
    CHECK_FALSE(main_menu_command_finder::run_by_guid_ex(make_guid(998), kpl::guid_null, two, nullptr));
    CHECK(main_menu_command_finder::run_by_guid_ex(x_tag, kpl::guid_null, two, nullptr));
    CHECK(main_menu_command_finder::run_by_guid_ex(x_tag, make_guid(1000), two, nullptr));  // true, but not run
    CHECK(shell_test::joined(g_ran) == shell_test::joined({"Tag it on 2"}));

    menu_node_registry& nodes = menu_node_registry::get();
    kpl::utf8_string_pow2 path("unchanged");
    CHECK(nodes.get_path(menu_nodes::context_tagging, path));
    CHECK(std::string(path.c_str()) == "Tagging");
    CHECK(nodes.get_path(k_ctx_section, path));
    CHECK(std::string(path.c_str()).empty());
    CHECK(nodes.get_path(menu_nodes::context_root, path));
    CHECK(std::string(path.c_str()).empty());
    CHECK_FALSE(nodes.get_path(make_guid(997), path));
    CHECK(nodes.get_parent(menu_nodes::context_replaygain) == menu_nodes::context_root);
    CHECK(nodes.get_parent(make_guid(997)) == kpl::guid_null);
    service_ref found;
    CHECK(nodes.find_node(k_ctx_unnamed, found));
    CHECK(found.as<context_menu_section>()->get_sort_priority() == 20.0);
}

TEST_CASE("context menu: order by priority, popups, sections with separators, visibility, flags, running items") {
    menu_fixture fixture;
    load_language_table(0x409);
    counted_tracks three(3), none(0);
    service_ptr<context_menu_builder> builder;
    std::vector<std::string> normal = context_lines(three, menu_build_normal | menu_build_shortcuts, builder);
    kpl::utf8_string_pow2 alt_enter;  // "Alt+" and the keyboard layout's name of the Enter key
    shortcut_key_text(0x40D, alt_enter);
    CHECK(std::string(alt_enter.c_str()).rfind("Alt+", 0) == 0);
    const std::string properties = std::string("Properties\t") + alt_enter.c_str();
    CHECK(shell_test::joined(normal) == shell_test::joined({
                        "Show in Explorer [gray]", "Tagging >", "  Tag it", "ReplayGain >", "  RG always", "---",
                        "In section", "---", "[no name] >", "  In unnamed", "Flagged [radio] [gray]", "---", properties}));
    std::vector<std::string> extended = context_lines(three, menu_build_extended, builder);
    CHECK(shell_test::joined(extended) == shell_test::joined({
                          "Show in Explorer [gray]", "Tagging >", "  Tag it", "ReplayGain >", "  RG shift", "  RG always", "---",
                          "In section", "Only shift", "---", "[no name] >", "  In unnamed", "Flagged [radio] [gray]", "---",
                          "Properties"}));
    // The extended menu numbers "RG shift" 2: running items by number runs them on the tracks given.
    CHECK(builder->run(2, three));
    CHECK(builder->run(1, three));
    CHECK_FALSE(builder->run(100, three));
    CHECK(shell_test::joined(g_ran) == shell_test::joined({"RG shift on 3", "Tag it on 3"}));

    // Without tracks no command shows.
    CHECK(context_lines(none, menu_build_normal, builder).empty());
}

namespace {

constexpr kpl::guid k_dynamic_root = make_guid(60), c_dynamic = make_guid(61), c_plain_next = make_guid(62),
                    sub_a = make_guid(63), sub_b = make_guid(64);

// A node of a command's own sub-menu.
class dynamic_node final : public service_counted<dynamic_menu_node> {
public:
    dynamic_node(uint32_t kind, const char* text, const kpl::guid& guid = kpl::guid_null) : m_kind(kind), m_text(text), m_guid(guid) {}
    uint32_t get_kind() override { return m_kind; }
    void get_display(kpl::utf8_string& text, uint32_t& flags) override {
        text = m_text.c_str();
        flags = 0;
    }
    kpl::guid get_guid() override { return m_guid; }
    uint32_t get_child_count() override { return static_cast<uint32_t>(m_children.size()); }
    void get_child(uint32_t index, service_ref& out) override { out = m_children[index]; }
    void execute(main_thread_callback*) override { g_ran.push_back("dynamic " + m_text); }

    void add(dynamic_node* child) {
        service_ref ref;
        ref.attach(child);
        m_children.push_back(ref);
    }

private:
    uint32_t m_kind;
    std::string m_text;
    kpl::guid m_guid;
    std::vector<service_ref> m_children;
};

// Index 0 makes its own sub-menu "Dynamic" {A, separator, B}; index 1 is a plain command.
class dynamic_set final : public service_static<main_menu_command_set_dynamic> {
public:
    uint32_t get_count() override { return 2; }
    kpl::guid get_guid(uint32_t index) override { return index == 0 ? c_dynamic : c_plain_next; }
    void get_name(uint32_t index, kpl::utf8_string& out) override { out = index == 0 ? "Dynamic" : "Plain"; }
    kpl::guid get_parent() override { return k_dynamic_root; }
    uint32_t get_sort_priority() override { return 0; }
    bool get_display(uint32_t index, kpl::utf8_string& text, uint32_t& flags) override {
        get_name(index, text);
        flags = 0;
        return true;
    }
    void execute(uint32_t index, main_thread_callback*) override { g_ran.push_back(index == 0 ? "Dynamic" : "Plain"); }
    bool is_dynamic(uint32_t index) override { return index == 0; }
    void get_dynamic_tree(uint32_t, service_ref& out) override {
        dynamic_node* popup = new dynamic_node(dynamic_menu_node::kind_popup, "Dynamic");
        popup->add(new dynamic_node(dynamic_menu_node::kind_command, "A", sub_a));
        popup->add(new dynamic_node(dynamic_menu_node::kind_separator, ""));
        popup->add(new dynamic_node(dynamic_menu_node::kind_command, "B", sub_b));
        out.attach(popup);
    }
    bool execute_dynamic(uint32_t, const kpl::guid& subcommand, main_thread_callback*) override {
        if (subcommand != sub_a && subcommand != sub_b) return false;
        g_ran.push_back(subcommand == sub_a ? "dynamic A by key" : "dynamic B by key");
        return true;
    }
};

main_popup g_dynamic_root(k_dynamic_root, k_nowhere, 0u, "dynamic root");
service_factory_single<dynamic_set, main_menu_command_set> g_dynamic_set;

}  // namespace

TEST_CASE("main menu: a command with its own sub-menu, its ids, shortcut texts by sub-command, keys") {
    menu_fixture fixture;
    const keyboard_shortcut entries[] = {
        {0x242, 0, keyboard_shortcut::kind_main, c_dynamic, sub_b},  // Ctrl+B: sub-command B
        {0x243, 0, keyboard_shortcut::kind_main, c_dynamic, make_guid(65)},  // Ctrl+C: no such sub-command
    };
    shortcut_table_set_entries(entries, 2);
    filled_menu menu(k_dynamic_root, menu_build_normal | menu_build_shortcuts);
    CHECK(shell_test::joined(menu.lines()) == shell_test::joined({"Dynamic >", "  A", "  ---", "  B\tCtrl+B", "Plain"}));
    HMENU sub = GetSubMenu(menu.menu, 0);
    REQUIRE(sub);
    CHECK(menu.builder->run(GetMenuItemID(sub, 2), nullptr));
    CHECK(menu.builder->run(GetMenuItemID(menu.menu, 1), nullptr));
    CHECK(shortcut_table::get().process_key(0x242));
    CHECK_FALSE(shortcut_table::get().process_key(0x243));
    CHECK(shell_test::joined(g_ran) == shell_test::joined({"dynamic B", "Plain", "dynamic B by key"}));
}
