// The preferences dialog's model: the tree (duplicates, parents, pruning, order), the expanded-nodes set's
// stored form, the buttons that follow the pages' flags, and the Apply sequence with pages and vetoes.
#include <doctest/doctest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/fs/memory_sink.h"
#include "foundation/kpl/io_exceptions.h"
#include "foundation/services/service_registry.h"
#include "tests/metadata/byte_fixtures.h"
#include "ui/preferences_group.h"
#include "ui/preferences_tree.h"

namespace {

using metadata_test::bytes_source;

kpl::guid id(uint8_t n) { return {0x50000000u + n, 0, 0, {0, 0, 0, 0, 0, 0, 0, n}}; }
const kpl::guid root = preferences_group::root_guid;

preferences_node page(uint8_t n, const char* name, const kpl::guid& parent, double priority = 0.0) {
    preferences_node p;
    p.name = name;
    p.guid = id(n);
    p.parent = parent;
    p.sort_priority = priority;
    return p;
}
preferences_node group(uint8_t n, const char* name, const kpl::guid& parent, double priority = 0.0) {
    preferences_node g = page(n, name, parent, priority);
    g.is_group = true;
    return g;
}

// "A(B C(D)) E": names depth-first with children in parentheses.
std::string shape(const std::vector<preferences_node*>& level) {
    std::string out;
    for (const preferences_node* n : level) {
        if (!out.empty()) out += ' ';
        out += n->name;
        if (!n->children.empty()) out += "(" + shape(n->children) + ")";
    }
    return out;
}

}  // namespace

TEST_CASE("preferences tree: duplicates, parents, pruned groups and the order of every level") {
    struct row {
        const char* what;
        std::vector<preferences_node> nodes;
        const char* shape;
    };
    const row rows[] = {
        {"two pages at the top, sorted by name ignoring case",
         {page(1, "playback", root), page(2, "Music folders", root)}, "Music folders playback"},
        {"groups without a page anywhere below are pruned, also nested ones",
         {page(1, "Playback", root), group(2, "Input", id(1)), group(3, "Tools", root), group(4, "Tagging", id(3)),
          group(5, "Visualisations", root)},
         "Playback"},
        {"a group with a page two levels down stays",
         {group(3, "Tools", root), group(4, "Tagging", id(3)), page(6, "Scripts", id(4))}, "Tools(Tagging(Scripts))"},
        {"higher priority first, then names",
         {page(1, "b", root), page(2, "a", root), page(3, "z", root, 2.5), page(4, "c", root, -1.0)}, "z a b c"},
        {"the first of equal GUIDs in registration order stays",
         {page(1, "first", root), page(1, "second", root)}, "first"},
        {"a missing parent hides the node and what hangs under it",
         {page(1, "Shown", root), page(2, "Orphan", id(9)), page(3, "Orphan's child", id(2))}, "Shown"},
        {"parents that form a cycle are never shown",
         {page(1, "Shown", root), page(2, "X", id(3)), page(3, "Y", id(2))}, "Shown"},
        {"pages under pages; a node naming itself as parent is not shown",
         {page(1, "Playback", root), page(2, "Output", id(1)), page(7, "Self", id(7))}, "Playback(Output)"},
        {"nothing registered", {}, ""},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        preferences_tree tree;
        tree.build(r.nodes);
        CHECK(shape(tree.top()) == r.shape);
    }
    preferences_tree tree;
    tree.build({page(1, "Playback", root), group(2, "Input", id(1))});
    CHECK(tree.find(id(2)) != nullptr);  // known, though pruned
    CHECK(tree.find_shown(id(2)) == nullptr);
    CHECK(tree.find_shown(id(1))->name == "Playback");
}

TEST_CASE("preferences tree: the program's own groups all go when no page hangs below them") {
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    std::vector<preferences_node> nodes;
    service_iterator it(preferences_group::class_guid);
    service_ref each;
    std::vector<std::string> names;
    while (it.next(each)) {
        preferences_group* g = each.as<preferences_group>();
        nodes.push_back(group(0, g->name(), g->get_parent()));
        nodes.back().guid = g->get_guid();
        names.push_back(g->name());
    }
    // Each registered once.
    for (const char* name : {"Tools", "Tag writing", "Visualisations", "Tagging", "Input", "[broken components]"}) {
        CAPTURE(name);
        CHECK(std::count(names.begin(), names.end(), std::string(name)) == 1);
    }
    const kpl::guid folders = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
    const kpl::guid playback = {0x67508677, 0xCFCC, 0x4A1C, {0x92, 0x1C, 0x49, 0xB3, 0x9C, 0xC5, 0xB9, 0x86}};
    nodes.push_back(page(0, "Playback", root));
    nodes.back().guid = playback;
    nodes.push_back(page(0, "Music folders", root));
    nodes.back().guid = folders;
    preferences_tree tree;
    tree.build(nodes);
    CHECK(shape(tree.top()) == "Music folders Playback");
}

TEST_CASE("preferences expanded nodes: a set stored in ascending byte order; a damaged record leaves it empty") {
    preferences_expanded_set set;
    const kpl::guid high = {0x000000FF, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};  // first byte FF
    const kpl::guid low = {0xFF000001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};   // first byte 01
    set.set(high, true);
    set.set(low, true);
    set.set(low, true);
    CHECK(set.count() == 2);
    memory_sink sink;
    set.write(sink, abort_never);
    std::vector<uint8_t> bytes(sink.data(), sink.data() + sink.size());
    REQUIRE(bytes.size() == 36);
    CHECK(bytes[0] == 2);
    CHECK(bytes[4] == 0x01);   // low first: memory bytes 01 00 00 FF
    CHECK(bytes[20] == 0xFF);  // then high: FF 00 00 00
    set.set(high, false);
    CHECK_FALSE(set.contains(high));
    CHECK(set.contains(low));

    // Read back (any order in the record becomes a set); a short record empties it and passes the error.
    std::vector<uint8_t> swapped = bytes;
    std::swap_ranges(swapped.begin() + 4, swapped.begin() + 20, swapped.begin() + 20);
    preferences_expanded_set back;
    bytes_source source(swapped);
    back.read(source, abort_never);
    CHECK(back.contains(high));
    CHECK(back.contains(low));
    memory_sink again;
    back.write(again, abort_never);
    CHECK(std::vector<uint8_t>(again.data(), again.data() + again.size()) == bytes);
    bytes_source cut(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1));
    CHECK_THROWS_AS(back.read(cut, abort_never), ketrel_io::exception_io_data);
    CHECK(back.count() == 0);
}

TEST_CASE("preferences buttons follow the OR of the pages' flags") {
    struct row {
        uint32_t flags;
        bool apply, ok_cancel, running;
    };
    const row rows[] = {
        {0, false, true, false},  {1, true, true, false},   {1 | 2 | 4 | 8, true, true, false},
        {8, false, true, false},  {0x10, false, false, true}, {1 | 0x10, false, false, true},
    };
    for (const row& r : rows) {
        CAPTURE(r.flags);
        const preferences_buttons b = preferences_buttons_for(r.flags);
        CHECK(b.apply == r.apply);
        CHECK(b.ok_cancel == r.ok_cancel);
        CHECK(b.running_operation == r.running);
    }
}

namespace {

struct fake_page : preferences_apply_page {
    uint32_t state;
    std::string name;
    std::string* log;
    fake_page(uint32_t s, const char* n, std::string* l) : state(s), name(n), log(l) {}
    uint32_t get_state() override { return state; }
    void apply() override {
        *log += "apply:" + name + " ";
        state &= ~uint32_t(preferences_state_changed);
    }
};

struct fake_environment : preferences_apply_environment {
    std::string* log;
    bool vetoes = true, modal = true, answer = true, restart = true, exiting = false, read_only = false;
    explicit fake_environment(std::string* l) : log(l) {}
    bool shutdown_vetoes_agree() override { *log += "vetoes "; return vetoes; }
    bool modal_ui_allowed_or_front() override { *log += "modal "; return modal; }
    bool ask_restart() override { *log += "ask "; return answer; }
    bool request_restart() override { *log += "restart "; return restart; }
    bool exit_under_way() override { return exiting; }
    void restart_output() override { *log += "output "; }
    bool profile_read_only() override { return read_only; }
    void flush_persistent_state() override { *log += "save "; }
};

}  // namespace

TEST_CASE("preferences Apply: flags, the restart question and its vetoes, busy pages, what is saved") {
    struct row {
        const char* what;
        uint32_t first, second;
        void (*setup)(fake_environment&);
        bool result;
        const char* log;
    };
    const row rows[] = {
        {"nothing changed: nothing to do, still true", 0, 8, nullptr, true, ""},
        {"one changed page applies, the configuration is saved at once", 1, 0, nullptr, true, "apply:A save "},
        {"both changed, in order; the output restarts", 1 | 4, 1, nullptr, true, "apply:A apply:B output save "},
        {"a ReplayGain-only change restarts the output as well", 0, 1 | 4, nullptr, true, "apply:B output save "},
        {"busy: nothing at all", 1, 0x10, nullptr, false, ""},
        {"read-only profile: applied, not saved", 1 | 4, 0,
         [](fake_environment& e) { e.read_only = true; }, true, "apply:A output "},
        {"exit under way: applied only", 1 | 4, 0, [](fake_environment& e) { e.exiting = true; }, true, "apply:A "},
        {"restart: asked, requested, then applied", 1 | 2, 1, nullptr, true,
         "vetoes modal ask restart apply:A apply:B save "},
        {"restart vetoed", 1 | 2, 0, [](fake_environment& e) { e.vetoes = false; }, false, "vetoes "},
        {"another modal window in front", 1 | 2, 0, [](fake_environment& e) { e.modal = false; }, false,
         "vetoes modal "},
        {"restart question answered Cancel", 1 | 2, 0, [](fake_environment& e) { e.answer = false; }, false,
         "vetoes modal ask "},
        {"restart refused", 1 | 2, 0, [](fake_environment& e) { e.restart = false; }, false,
         "vetoes modal ask restart "},
        {"a restart flag without changes asks nothing", 2, 0, nullptr, true, ""},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        std::string log;
        fake_page a(r.first, "A", &log), b(r.second, "B", &log);
        fake_environment environment(&log);
        if (r.setup) r.setup(environment);
        CHECK(preferences_apply({&a, &b}, environment) == r.result);
        CHECK(log == r.log);
    }
}
