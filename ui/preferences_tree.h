#pragma once
// The preferences dialog's model without windows: the tree of pages and groups, the expanded-nodes set,
// the buttons that follow the pages' state flags, and the Apply sequence.
//
//     std::vector<preferences_node> nodes = {
//         {false, 0, "Playback", playback_guid, preferences_group::root_guid, 0.0},
//         {true, 0, "Input", input_guid, playback_guid, 0.0},            // no page below: pruned
//     };
//     preferences_tree tree;
//     tree.build(nodes);                  // tree.top() == {Playback}, Playback has no children
//
//     preferences_buttons b = preferences_buttons_for(preferences_state_changed | preferences_state_busy);
//     // b.apply == false, b.ok_cancel == false, b.running_operation == true
//
// preferences_apply(pages, environment): the Apply button and OK. Flags are the OR of the pages' states;
// busy applies nothing (false); without "changed" nothing is applied but the answer is true; "restart the
// program" must pass the shutdown vetoes, the modal check, the restart question (OK) and the restart
// request, else nothing is applied (false); then every changed page applies in order, and unless an exit
// is under way the output restarts (flag 4) and the stored data is saved unless the profile is read-only.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/fs/byte_stream.h"
#include "foundation/kpl/guid.h"
#include "foundation/tasks/abort_signal.h"

enum : uint32_t {
    preferences_state_changed = 1,
    preferences_state_needs_restart = 2,
    preferences_state_needs_output_restart = 4,
    preferences_state_resettable = 8,
    preferences_state_busy = 0x10,
};

struct preferences_node {
    bool is_group = false;
    uint32_t index = 0;  // among the implementations of its class
    std::string name;    // UTF-8
    kpl::guid guid = kpl::guid_null;
    kpl::guid parent = kpl::guid_null;
    double sort_priority = 0.0;
    std::vector<preferences_node*> children;
};

class preferences_tree {
public:
    // Deduplicates by GUID (the first of equal GUIDs in GUID order stays), attaches each node to its parent
    // (the root GUID: the top level; a missing parent: not shown), prunes groups without a page below and
    // sorts every level by priority (higher first), then by name ignoring case.
    void build(const std::vector<preferences_node>& nodes);
    void clear();
    const std::vector<preferences_node*>& top() const { return m_top; }
    // The node of that GUID among all nodes kept after deduplication (also those not shown); null if none.
    const preferences_node* find(const kpl::guid& guid) const;
    // The shown node of that GUID; null when none.
    const preferences_node* find_shown(const kpl::guid& guid) const;

private:
    std::vector<preferences_node> m_nodes;  // sorted by GUID
    std::vector<preferences_node*> m_top;
};

// The set of GUIDs of expanded tree nodes. Stored form: u32 count, then the GUIDs' 16 memory bytes each, in
// ascending byte order. Reading replaces the set (left empty when the record is damaged; the error passes).
class preferences_expanded_set {
public:
    bool contains(const kpl::guid& guid) const;
    void set(const kpl::guid& guid, bool expanded);
    size_t count() const { return m_guids.size(); }
    void write(byte_sink& sink, const abort_signal& abort) const;
    void read(byte_source& source, const abort_signal& abort);

private:
    std::vector<kpl::guid> m_guids;  // ascending memory-byte order
};

// The program's expanded-nodes set (configuration variable {262B5E5F-A13B-485B-8FDD-288C45225696}).
preferences_expanded_set& preferences_expanded_nodes();

struct preferences_buttons {
    bool apply;              // changed and not busy
    bool ok_cancel;          // not busy
    bool running_operation;  // the dialog counts as a running operation: busy
};
preferences_buttons preferences_buttons_for(uint32_t flags);

// A live page window as Apply sees it.
class preferences_apply_page {
public:
    virtual uint32_t get_state() = 0;
    virtual void apply() = 0;

protected:
    ~preferences_apply_page() = default;
};

// What Apply asks of the program.
class preferences_apply_environment {
public:
    virtual bool shutdown_vetoes_agree() = 0;
    // Whether a modal question may be shown now; when not, the modal window in front comes forward.
    virtual bool modal_ui_allowed_or_front() = 0;
    // "Applying these changes requires Vorn to be restarted. Continue?" (OK/Cancel): true for OK.
    virtual bool ask_restart() = 0;
    // Requests the restart; false when it was refused.
    virtual bool request_restart() = 0;
    virtual bool exit_under_way() = 0;
    virtual void restart_output() = 0;
    virtual bool profile_read_only() = 0;
    // Every persistent_state_flush saves its data now.
    virtual void flush_persistent_state() = 0;

protected:
    ~preferences_apply_environment() = default;
};

uint32_t preferences_flags_of(const std::vector<preferences_apply_page*>& pages);
// The Apply sequence; true when applied (or nothing to apply), false when refused.
bool preferences_apply(const std::vector<preferences_apply_page*>& pages, preferences_apply_environment& environment);
