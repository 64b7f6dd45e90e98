#pragma once
// preferences_group: a branch of the preferences tree without a page of its own (static singletons).
//
//     static preferences_branch_registration g_input(k_input_guid, k_playback_page_guid, "Input");
//
//     service_iterator it(preferences_group::class_guid);     // the dialog places each branch
//     service_ref each;
//     while (it.next(each)) {
//         preferences_group* branch = each.as<preferences_group>();
//         service_ptr<preferences_group_ext> ext;
//         double priority = service_query(branch, ext) ? ext->sort_priority() : 0.0;
//         add_node(branch->get_guid(), branch->get_parent(), branch->name(), priority);
//     }

#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"
#include "foundation/services/service_registry.h"

class preferences_group : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x8146A883, 0xF146, 0x401B, {0xBA, 0xF6, 0x4F, 0xB2, 0xE3, 0x06, 0xF2, 0xEB}};
    // The parent GUID that puts a node at the top level of the tree.
    static constexpr kpl::guid root_guid = {0xB9218D23, 0xF73D, 0x4B61, {0xA1, 0xD9, 0xBF, 0xD4, 0x20, 0xCD, 0xAC, 0x77}};

    // The branch's name; "" when empty.
    virtual const char* name() = 0;
    virtual kpl::guid get_guid() = 0;
    // The page or branch it hangs under.
    virtual kpl::guid get_parent() = 0;
};

class preferences_group_ext : public preferences_group {
public:
    static constexpr kpl::guid class_guid = {0x167EBEB9, 0x8334, 0x4B21, {0xAF, 0x58, 0xA7, 0x40, 0xA5, 0xD5, 0xB6, 0x66}};
    using parent_interface = preferences_group;

    virtual double sort_priority() = 0;
};

// A branch with a fixed GUID, parent and name, sort priority 0.
class preferences_branch final : public service_static<preferences_group_ext> {
public:
    preferences_branch(const kpl::guid& own, const kpl::guid& parent, const char* name)
        : m_own(own), m_parent(parent), m_name(name) {}

    const char* name() override { return m_name.c_str(); }
    kpl::guid get_guid() override { return m_own; }
    kpl::guid get_parent() override { return m_parent; }
    double sort_priority() override { return 0.0; }

private:
    kpl::guid m_own;
    kpl::guid m_parent;
    kpl::utf8_string_tight m_name;
};

using preferences_branch_registration = service_factory_single<preferences_branch, preferences_group>;
