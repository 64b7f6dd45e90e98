#pragma once
// The command model: every menu command is a command of a command-set service, found by its own GUID and
// placed in a tree of menu nodes (named popups and unnamed sections) by its set's parent GUID and sort
// priority. Two independent trees exist: the main menu (commands without arguments) and the context menu
// (commands on a list of tracks).
//
//     // A main-menu command set with one command in the transport section:
//     class my_commands final : public main_menu_command_set_base {
//     public:
//         my_commands() : main_menu_command_set_base(k_transport_section, 0, k_entries, 1) {}
//         void execute(uint32_t index, main_thread_callback* done) override { ... }
//     };
//     static service_factory_single<my_commands, main_menu_command_set> g_my_commands;
//
//     main_menu_command_finder::run_by_guid(k_my_command);   // runs it; false for an unknown GUID
//
// Main-menu display flags: 1 disabled, 2 checked, 4 radio-checked (wins over 2), 8 shown only in the menu
// opened with Shift held. Context-menu display flags: 1 checked, 2 disabled, 4 grayed, 8 radio-checked (no
// check mark then). Context commands have a visibility: 2 always shown, 1 only in the Shift menu.
//
// Everything runs on the main thread, except the context-node lookup by GUID (menu_node_registry).

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/ref_list.h"
#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"
#include "shell/main_thread_queue.h"

class track_handle;
using track_handle_ref = kpl::rc_ptr<track_handle>;
// The tracks a context command acts on.
using track_handle_list = kpl::ref_list<track_handle_ref>;

enum : uint32_t {
    main_display_disabled = 1,
    main_display_checked = 2,
    main_display_radio = 4,
    main_display_shift_only = 8,
};
enum : uint32_t {
    context_display_checked = 1,
    context_display_disabled = 2,
    context_display_grayed = 4,
    context_display_radio = 8,
};
enum : uint32_t {
    context_visible_extended = 1,
    context_visible_always = 2,
};

// ---- main menu -------------------------------------------------------------------------------------------

// A node of the main menu: an unnamed section (its children separated from their neighbours) or, when it
// also answers main_menu_popup, a named popup. Sort priorities order as unsigned numbers: 0, 1, 2, ...,
// 0x80000000, ..., -2, -1.
class main_menu_section : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x21656AB9, 0x0255, 0x4F8C, {0x8F, 0xB9, 0x1A, 0x77, 0x48, 0xBC, 0xE9, 0x3A}};

    virtual kpl::guid get_guid() = 0;
    // The null GUID at the top level.
    virtual kpl::guid get_parent() = 0;
    virtual uint32_t get_sort_priority() = 0;
};

class main_menu_popup : public main_menu_section {
public:
    static constexpr kpl::guid class_guid = {0x2E673A2E, 0xA4EE, 0x419C, {0x94, 0xC8, 0x9C, 0x83, 0x86, 0x60, 0x41, 0x4C}};
    using parent_interface = main_menu_section;

    // The localized name ("" when the language lacks it).
    virtual void get_name(kpl::utf8_string& out) = 0;
};

// A group of main-menu commands sharing one parent node and sort priority. An index outside
// 0..get_count()-1 stops the process (kpl::crash).
class main_menu_command_set : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x35077B8C, 0x6E70, 0x47BA, {0xB9, 0xDD, 0xD5, 0x15, 0x00, 0xE1, 0x2F, 0x2E}};

    virtual uint32_t get_count() = 0;
    virtual kpl::guid get_guid(uint32_t index) = 0;
    // The localized name.
    virtual void get_name(uint32_t index, kpl::utf8_string& out) = 0;
    virtual kpl::guid get_parent() = 0;
    virtual uint32_t get_sort_priority() = 0;
    // The text and display flags to show; false hides the command.
    virtual bool get_display(uint32_t index, kpl::utf8_string& text, uint32_t& flags) = 0;
    // Runs the command; `done`, when given, is run once the command has finished.
    virtual void execute(uint32_t index, main_thread_callback* done) = 0;
};

// A node below a command that makes its own sub-menu (the dynamic-command extension).
class dynamic_menu_node : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xA6F2AF48, 0xBF43, 0x486B, {0xB7, 0x14, 0x54, 0x0B, 0x19, 0x4A, 0xA3, 0x0D}};

    enum : uint32_t { kind_popup = 0, kind_command = 1, kind_separator = 2 };

    virtual uint32_t get_kind() = 0;
    // A popup's name, or a command's display text and main-menu display flags.
    virtual void get_display(kpl::utf8_string& text, uint32_t& flags) = 0;
    // A command's sub-command GUID (looked up in the shortcut table).
    virtual kpl::guid get_guid() = 0;
    virtual uint32_t get_child_count() = 0;
    // The child at the index into `out`.
    virtual void get_child(uint32_t index, service_ref& out) = 0;
    // Runs a command node.
    virtual void execute(main_thread_callback* done) = 0;
};

// Extension of a command set whose commands may make their own sub-menus; answered by query.
class main_menu_command_set_dynamic : public main_menu_command_set {
public:
    static constexpr kpl::guid class_guid = {0xE682E810, 0x41F3, 0x434D, {0xB0, 0xC7, 0xD4, 0x96, 0x90, 0xE6, 0x5F, 0x87}};
    using parent_interface = main_menu_command_set;

    virtual bool is_dynamic(uint32_t index) = 0;
    // The sub-menu of a dynamic command (a kind_popup node) into `out`.
    virtual void get_dynamic_tree(uint32_t index, service_ref& out) = 0;
    // Runs the sub-command of a dynamic command; false when it has none of that GUID.
    virtual bool execute_dynamic(uint32_t index, const kpl::guid& subcommand, main_thread_callback* done) = 0;
};

// ---- context menu ----------------------------------------------------------------------------------------

class context_menu_section : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x9DCFC219, 0x0779, 0x4669, {0x98, 0xC1, 0x83, 0x6D, 0xF6, 0x07, 0xC5, 0xD4}};

    virtual kpl::guid get_guid() = 0;
    virtual kpl::guid get_parent() = 0;
    virtual double get_sort_priority() = 0;
};

class context_menu_popup : public context_menu_section {
public:
    static constexpr kpl::guid class_guid = {0x97636AD5, 0x5B2D, 0x4AD6, {0x9F, 0x79, 0xC9, 0x64, 0x63, 0x88, 0xC8, 0x29}};
    using parent_interface = context_menu_section;

    // The plain (not localized) name.
    virtual void get_name(kpl::utf8_string& out) = 0;
};

// One command of a context command set as the context-menu builder reads and runs it.
class context_menu_item : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x8A995DEE, 0x20ED, 0x42EA, {0xA4, 0x9B, 0x83, 0xFB, 0x59, 0xD4, 0xD6, 0xD9}};

    // 1. The set's get_display_if_any for this command.
    virtual bool get_display(const kpl::guid& caller, const track_handle_list& tracks, kpl::utf8_string& text,
                             uint32_t& flags) = 0;
    // 2. The item type: always 1 (a command).
    virtual uint32_t get_type() = 0;
    // 3. The set's execute for this command.
    virtual void execute(const track_handle_list& tracks, service_object* extra) = 0;
    // 4-8. Fixed answers: no children, no child, no state, the null GUID, mappable.
    virtual uint32_t get_child_count() = 0;
    virtual service_object* get_child(uint32_t index) = 0;
    virtual uint32_t get_state() = 0;
    virtual kpl::guid get_sub_guid() = 0;
    virtual bool is_mappable() = 0;
};

// A group of context-menu commands sharing one parent node and sort priority. An index outside
// 0..get_count()-1 stops the process (kpl::crash).
class context_menu_command_set : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x1C0802F7, 0xCF24, 0x49EF, {0xB9, 0x14, 0x8B, 0x98, 0x66, 0xF1, 0x97, 0x79}};

    virtual uint32_t get_count() = 0;
    // A new item object for the command into `out`.
    virtual void create_item(uint32_t index, service_ref& out) = 0;
    virtual kpl::guid get_guid(uint32_t index) = 0;
    virtual void get_name(uint32_t index, kpl::utf8_string& out) = 0;
    virtual void get_description(uint32_t index, kpl::utf8_string& out) = 0;
    // context_visible_always or context_visible_extended.
    virtual uint32_t get_visibility(uint32_t index) = 0;
    // Runs execute only for the null caller GUID; false otherwise.
    virtual bool execute_for_caller(uint32_t index, const kpl::guid& caller, const track_handle_list& tracks,
                                    service_object* extra) = 0;
    virtual double get_sort_priority() = 0;
    virtual kpl::guid get_parent() = 0;
    virtual void execute(uint32_t index, const track_handle_list& tracks, service_object* extra) = 0;
    // Name and context display flags for the tracks; false hides the command.
    virtual bool get_display(uint32_t index, const track_handle_list& tracks, kpl::utf8_string& text,
                             uint32_t& flags) = 0;
    // Always true.
    virtual bool is_mappable() = 0;
    // False for an empty track list, otherwise get_display.
    virtual bool get_display_if_any(uint32_t index, const kpl::guid& caller, const track_handle_list& tracks,
                                    kpl::utf8_string& text, uint32_t& flags) = 0;
};

// ---- lookups ---------------------------------------------------------------------------------------------

// Parents and path texts of the context-menu nodes (static object).
class menu_node_registry : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x092BA0C5, 0x5572, 0x48CD, {0xA4, 0xCA, 0x7B, 0x73, 0xDE, 0x0B, 0x2A, 0xEC}};

    // The node's parent GUID; the null GUID for an unknown node.
    virtual kpl::guid get_parent(const kpl::guid& node) = 0;
    // The names of the named popups from below the root down to the node, joined with "/" ("Tagging" for a
    // command under the Tagging popup, "" for the root's own children); false for an unknown node.
    virtual bool get_path(const kpl::guid& node, kpl::utf8_string& out) = 0;
    // The context node with this GUID into `out`; false when there is none. Any thread.
    virtual bool find_node(const kpl::guid& node, service_ref& out) = 0;

    static menu_node_registry& get();
};

// Finds commands by GUID (static object).
class main_menu_command_finder : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xAC70ECDC, 0x0E1D, 0x4DB2, {0x9C, 0xD0, 0xC9, 0xB8, 0xA9, 0xCD, 0x28, 0xFA}};

    virtual bool find_context_command(const kpl::guid& command, service_ptr<context_menu_command_set>& set,
                                      uint32_t& index) = 0;
    virtual bool find_main_command(const kpl::guid& command, service_ptr<main_menu_command_set>& set,
                                   uint32_t& index) = 0;

    static main_menu_command_finder& get();
    // Runs a main-menu command; false when no set has the GUID.
    static bool run_by_guid(const kpl::guid& command);
    // Runs a context command on the tracks as `caller`: false for an empty list or an unknown GUID, true
    // otherwise (whatever the command did).
    static bool run_by_guid_ex(const kpl::guid& command, const kpl::guid& caller, const track_handle_list& tracks,
                               service_object* extra);
};
