#pragma once
// Ready-made nodes and command-set bases of the command model (shell/command_model.h).
//
//     // A popup and a section of the main menu, registered as static services:
//     static service_factory_single<main_menu_popup_node, main_menu_section> g_file(k_file, kpl::guid_null, 0,
//                                                                                  "menu_group_file");
//     static service_factory_single<main_menu_section_node, main_menu_section> g_tail(k_tail, k_file, -1);
//
//     // A set of main-menu commands with texts from the language table:
//     const main_menu_command_entry k_entries[] = {{k_exit, "menu_exit", 0}};
//     class exit_commands final : public main_menu_command_set_base {
//     public:
//         exit_commands() : main_menu_command_set_base(k_tail, 0xFFFFFFFF, k_entries, 1) {}
//         void execute(uint32_t, main_thread_callback*) override { app_request_exit(0); }
//     };
//
// The bases check every index against the count and stop the process (kpl::crash) for one outside it.

#include <cstdint>

#include "shell/command_model.h"

class main_menu_section_node : public service_static<main_menu_section> {
public:
    main_menu_section_node(const kpl::guid& own, const kpl::guid& parent, uint32_t priority)
        : m_own(own), m_parent(parent), m_priority(priority) {}

    kpl::guid get_guid() override { return m_own; }
    kpl::guid get_parent() override { return m_parent; }
    uint32_t get_sort_priority() override { return m_priority; }

private:
    kpl::guid m_own, m_parent;
    uint32_t m_priority;
};

// A popup named by the localized text of a text id.
class main_menu_popup_node : public service_static<main_menu_popup> {
public:
    main_menu_popup_node(const kpl::guid& own, const kpl::guid& parent, uint32_t priority, const char* name_id)
        : m_own(own), m_parent(parent), m_priority(priority), m_name_id(name_id) {}

    kpl::guid get_guid() override { return m_own; }
    kpl::guid get_parent() override { return m_parent; }
    uint32_t get_sort_priority() override { return m_priority; }
    void get_name(kpl::utf8_string& out) override;

private:
    kpl::guid m_own, m_parent;
    uint32_t m_priority;
    const char* m_name_id;
};

struct main_menu_command_entry {
    kpl::guid guid;
    const char* name_id;
    // Display flags every get_display of the base reports (main_display_shift_only for Shift-only commands).
    uint32_t display;
};

// A set over a fixed table; get_name gives the localized text of the entry's name id, get_display that text
// with the entry's flags and true. Derived sets add state flags by overriding get_display.
class main_menu_command_set_base : public service_static<main_menu_command_set> {
public:
    main_menu_command_set_base(const kpl::guid& parent, uint32_t priority, const main_menu_command_entry* entries,
                               uint32_t count)
        : m_parent(parent), m_priority(priority), m_entries(entries), m_count(count) {}

    uint32_t get_count() override { return m_count; }
    kpl::guid get_guid(uint32_t index) override { return entry(index).guid; }
    void get_name(uint32_t index, kpl::utf8_string& out) override;
    kpl::guid get_parent() override { return m_parent; }
    uint32_t get_sort_priority() override { return m_priority; }
    bool get_display(uint32_t index, kpl::utf8_string& text, uint32_t& flags) override;

protected:
    const main_menu_command_entry& entry(uint32_t index) const;

private:
    kpl::guid m_parent;
    uint32_t m_priority;
    const main_menu_command_entry* m_entries;
    uint32_t m_count;
};

class context_menu_section_node : public service_static<context_menu_section> {
public:
    context_menu_section_node(const kpl::guid& own, const kpl::guid& parent, double priority)
        : m_own(own), m_parent(parent), m_priority(priority) {}

    kpl::guid get_guid() override { return m_own; }
    kpl::guid get_parent() override { return m_parent; }
    double get_sort_priority() override { return m_priority; }

private:
    kpl::guid m_own, m_parent;
    double m_priority;
};

// A popup with a plain name.
class context_menu_popup_node : public service_static<context_menu_popup> {
public:
    context_menu_popup_node(const kpl::guid& own, const kpl::guid& parent, double priority, const char* name)
        : m_own(own), m_parent(parent), m_priority(priority), m_name(name) {}

    kpl::guid get_guid() override { return m_own; }
    kpl::guid get_parent() override { return m_parent; }
    double get_sort_priority() override { return m_priority; }
    void get_name(kpl::utf8_string& out) override { out = m_name; }

private:
    kpl::guid m_own, m_parent;
    double m_priority;
    const char* m_name;
};

struct context_menu_command_entry {
    kpl::guid guid;
    const char* name_id;
    const char* description_id;  // null: no description
    uint32_t visibility;
};

// A context set over a fixed table: localized names and descriptions; get_display gives the name with
// flags 0 and true; the item objects, execute_for_caller and get_display_if_any as the model defines them.
class context_menu_command_set_base : public service_static<context_menu_command_set> {
public:
    context_menu_command_set_base(const kpl::guid& parent, double priority, const context_menu_command_entry* entries,
                                  uint32_t count)
        : m_parent(parent), m_priority(priority), m_entries(entries), m_count(count) {}

    uint32_t get_count() override { return m_count; }
    void create_item(uint32_t index, service_ref& out) override;
    kpl::guid get_guid(uint32_t index) override { return entry(index).guid; }
    void get_name(uint32_t index, kpl::utf8_string& out) override;
    void get_description(uint32_t index, kpl::utf8_string& out) override;
    uint32_t get_visibility(uint32_t index) override { return entry(index).visibility; }
    bool execute_for_caller(uint32_t index, const kpl::guid& caller, const track_handle_list& tracks,
                            service_object* extra) override;
    double get_sort_priority() override { return m_priority; }
    kpl::guid get_parent() override { return m_parent; }
    bool get_display(uint32_t index, const track_handle_list& tracks, kpl::utf8_string& text,
                     uint32_t& flags) override;
    bool is_mappable() override { return true; }
    bool get_display_if_any(uint32_t index, const kpl::guid& caller, const track_handle_list& tracks,
                            kpl::utf8_string& text, uint32_t& flags) override;

protected:
    const context_menu_command_entry& entry(uint32_t index) const;

private:
    kpl::guid m_parent;
    double m_priority;
    const context_menu_command_entry* m_entries;
    uint32_t m_count;
};

// The item object of create_item for any context set (usable by sets that do not derive from the base).
void context_menu_make_item(context_menu_command_set& set, uint32_t index, service_ref& out);
