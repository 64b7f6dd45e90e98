#pragma once
// Advanced settings: typed, named entries (branches, checkboxes, radio choices, texts, integers) arranged
// in a tree by their parent GUIDs and sort priorities. Each entry is a static service of the class
// advanced_setting and carries its current value itself; values live only in memory and every run starts
// from the defaults. The owning code reads its entry directly:
//
//     advanced_integer_entry g_fade = advanced_integer_entry::register_fade(1, "Fade out (ms)");
//     uint64_t ms = g_fade->get_value();                 // 100 until something sets it
//     g_fade->set_text_value("20000", 5);                 // clamped: 10000
//     g_fade->set_text_value("12a34", 5);                 // the last run of digits: 34
//
//     advanced_checkbox_entry g_popups("Show error message popups", parent_guid);
//     if (g_popups->get_state()) show_popup();            // every checkbox starts on
//
//     advanced_text_entry g_step("1.0", parent_guid, "Volume step (dB)");
//     kpl::utf8_string_pow2 step;
//     g_step->get_text_value(step);                        // main thread only; elsewhere the process stops
//
// Interfaces answered by `query` (besides the class GUID):
//     branch            advanced_setting_branch
//     checkbox, radio   advanced_setting_checkbox_ext, advanced_setting_checkbox
//     text, locked text advanced_setting_text_ext (asked first), advanced_setting_text
//     integer           the text interfaces, with is_numeric true
//
// Every entry is a static singleton (release and add_ref answer 1), built and registered during static
// initialisation and freed by static destruction.

#include <cstddef>
#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_registry.h"
#include "foundation/tasks/critical_section.h"

// The class of every entry: name, parent and sort priority.
class advanced_setting : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x7E84602E, 0xDC49, 0x4047, {0xAA, 0xEE, 0x63, 0x71, 0x8B, 0xBC, 0x5A, 0x1F}};

    virtual void get_name(kpl::utf8_string& out) = 0;
    virtual void get_parent(kpl::guid& out) = 0;
    // Current value := default (nothing for a branch).
    virtual void reset() = 0;
    virtual double get_sort_priority() = 0;
};

// A branch: a named node other entries name as their parent. Only the four common operations.
class advanced_setting_branch : public advanced_setting {
public:
    static constexpr kpl::guid class_guid = {0x6A60B472, 0x91AC, 0x4681, {0x9D, 0xC2, 0x76, 0xC9, 0x94, 0x00, 0x5B, 0x63}};
    using parent_interface = advanced_setting;
};

// A checkbox or, with is_radio true, one choice of a radio group.
class advanced_setting_checkbox : public advanced_setting {
public:
    static constexpr kpl::guid class_guid = {0x5243ABA4, 0x2A3D, 0x4627, {0x88, 0xEF, 0xCE, 0xE3, 0x76, 0x1C, 0x07, 0x9C}};
    using parent_interface = advanced_setting;

    virtual bool get_state() = 0;
    virtual void set_state(bool state) = 0;
    virtual bool is_radio() = 0;
};

class advanced_setting_checkbox_ext : public advanced_setting_checkbox {
public:
    static constexpr kpl::guid class_guid = {0xE29B37D0, 0xA957, 0x4A85, {0x82, 0x40, 0x1E, 0x96, 0xC7, 0x29, 0xB6, 0x69}};
    using parent_interface = advanced_setting_checkbox;

    virtual bool get_default_state() = 0;
    // Always 0 for checkboxes.
    virtual uint32_t get_entry_flags() = 0;
};

// A text, or an integer in its decimal text form.
class advanced_setting_text : public advanced_setting {
public:
    static constexpr kpl::guid class_guid = {0x185D582D, 0xFBD8, 0x4DB3, {0xBE, 0x23, 0x47, 0xAA, 0xC6, 0x75, 0xFC, 0x11}};
    using parent_interface = advanced_setting;

    virtual void get_text_value(kpl::utf8_string& out) = 0;
    // The first `length` bytes of `text` (up to its first zero byte).
    virtual void set_text_value(const char* text, size_t length) = 0;
    // True only for the integer kind.
    virtual bool is_numeric() = 0;
};

class advanced_setting_text_ext : public advanced_setting_text {
public:
    static constexpr kpl::guid class_guid = {0x2EC9B1FA, 0xE1E4, 0x42F0, {0x87, 0x97, 0x4A, 0x63, 0x16, 0x94, 0x86, 0xBC}};
    using parent_interface = advanced_setting_text;

    virtual void get_default(kpl::utf8_string& out) = 0;
    // Brings a text into the form the entry would store: texts stay as they are; an integer's text
    // becomes its clamped value ("0099" -> "99", "20000" -> "10000" for 0..10000).
    virtual void normalize(kpl::utf8_string& inout) = 0;
    virtual uint32_t get_entry_flags() = 0;
};

// ---- the entry kinds -------------------------------------------------------------------------------

class advanced_branch_setting final : public service_static<advanced_setting_branch> {
public:
    advanced_branch_setting(const kpl::guid& own, const char* name, const kpl::guid& parent, double priority = 0)
        : m_name(name), m_own(own), m_parent(parent), m_priority(priority) {}

    void get_name(kpl::utf8_string& out) override { out = m_name; }
    void get_parent(kpl::guid& out) override { out = m_parent; }
    void reset() override {}
    double get_sort_priority() override { return m_priority; }

    // The GUID other entries give as their parent.
    const kpl::guid& own_guid() const noexcept { return m_own; }

private:
    kpl::utf8_string_tight m_name;
    kpl::guid m_own;
    kpl::guid m_parent;
    double m_priority;
};

class advanced_checkbox_setting final : public service_static<advanced_setting_checkbox_ext> {
public:
    advanced_checkbox_setting(const char* name, const kpl::guid& parent, bool radio, bool default_state, double priority)
        : m_name(name), m_parent(parent), m_priority(priority), m_default(default_state), m_state(default_state),
          m_radio(radio) {}

    void get_name(kpl::utf8_string& out) override { out = m_name; }
    void get_parent(kpl::guid& out) override { out = m_parent; }
    void reset() override { m_state = m_default; }
    double get_sort_priority() override { return m_priority; }

    bool get_state() override { return m_state != 0; }
    void set_state(bool state) override { m_state = state ? 1 : 0; }
    bool is_radio() override { return m_radio; }
    bool get_default_state() override { return m_default != 0; }
    uint32_t get_entry_flags() override { return 0; }

private:
    kpl::utf8_string_tight m_name;
    kpl::guid m_parent;
    double m_priority;
    uint8_t m_default;
    // One byte, read by any thread without a lock.
    volatile uint8_t m_state;
    bool m_radio;
};

// A text whose value operations belong to the main thread: get_text_value, set_text_value and reset on
// another thread stop the process (kpl::crash).
class advanced_text_setting final : public service_static<advanced_setting_text_ext> {
public:
    advanced_text_setting(const char* default_text, const kpl::guid& parent, const char* name, double priority = 0,
                          uint32_t flags = 0)
        : m_default(default_text), m_name(name), m_value(default_text), m_parent(parent), m_priority(priority),
          m_flags(flags) {}

    void get_name(kpl::utf8_string& out) override { out = m_name; }
    void get_parent(kpl::guid& out) override { out = m_parent; }
    void reset() override;
    double get_sort_priority() override { return m_priority; }

    void get_text_value(kpl::utf8_string& out) override;
    void set_text_value(const char* text, size_t length) override;
    bool is_numeric() override { return false; }

    void get_default(kpl::utf8_string& out) override { out = m_default; }
    void normalize(kpl::utf8_string&) override {}
    uint32_t get_entry_flags() override { return m_flags; }

private:
    kpl::utf8_string_tight m_default;
    kpl::utf8_string_tight m_name;
    kpl::utf8_string_tight m_value;
    kpl::guid m_parent;
    double m_priority;
    uint32_t m_flags;
};

// A text that any thread may read and set: its value operations run under the entry's own lock.
class advanced_locked_text_setting final : public service_static<advanced_setting_text_ext> {
public:
    // Every locked text lives under this parent.
    static constexpr kpl::guid parent_guid = {0x904C272B, 0x2317, 0x4C3C, {0xB2, 0xFF, 0xC5, 0xA0, 0x12, 0x5E, 0x2C, 0xC2}};

    advanced_locked_text_setting(const char* default_text, const char* name, double priority = 0, uint32_t flags = 0)
        : m_default(default_text), m_name(name), m_value(default_text), m_priority(priority), m_flags(flags) {}

    void get_name(kpl::utf8_string& out) override { out = m_name; }
    void get_parent(kpl::guid& out) override { out = parent_guid; }
    void reset() override;
    double get_sort_priority() override { return m_priority; }

    void get_text_value(kpl::utf8_string& out) override;
    void set_text_value(const char* text, size_t length) override;
    bool is_numeric() override { return false; }

    void get_default(kpl::utf8_string& out) override { out = m_default; }
    void normalize(kpl::utf8_string&) override {}
    uint32_t get_entry_flags() override { return m_flags; }

private:
    kpl::critical_section m_lock;
    kpl::utf8_string_tight m_default;
    kpl::utf8_string_tight m_name;
    kpl::utf8_string_tight m_value;
    double m_priority;
    uint32_t m_flags;
};

// An unsigned 64-bit number with a range, seen through the text interfaces. A text sets it to the value of
// its last run of decimal digits (modulo 2^64; no digits give 0), clamped to [minimum, maximum]:
// "20000" -> maximum 10000, "-5" -> 5, "abc" -> 0 (then clamped), "12a34" -> 34.
class advanced_integer_setting final : public service_static<advanced_setting_text_ext> {
public:
    // Every integer lives under the "Fading" branch.
    static constexpr kpl::guid parent_guid = {0x481C4262, 0xDE19, 0x4FB8, {0xBC, 0x66, 0xEF, 0x30, 0x20, 0x6F, 0x93, 0x18}};

    advanced_integer_setting(const char* name, uint64_t default_value, uint64_t minimum, uint64_t maximum,
                             double priority = 0, uint32_t flags = 0)
        : m_name(name), m_value(default_value), m_default(default_value), m_minimum(minimum), m_maximum(maximum),
          m_priority(priority), m_flags(flags) {}

    void get_name(kpl::utf8_string& out) override { out = m_name; }
    void get_parent(kpl::guid& out) override { out = parent_guid; }
    void reset() override { m_value = m_default; }
    double get_sort_priority() override { return m_priority; }

    void get_text_value(kpl::utf8_string& out) override;
    void set_text_value(const char* text, size_t length) override;
    bool is_numeric() override { return true; }

    void get_default(kpl::utf8_string& out) override;
    void normalize(kpl::utf8_string& inout) override;
    uint32_t get_entry_flags() override { return m_flags; }

    // The current value, for its readers.
    uint64_t get_value() const noexcept { return m_value; }
    uint64_t get_default_value() const noexcept { return m_default; }
    uint64_t get_minimum() const noexcept { return m_minimum; }
    uint64_t get_maximum() const noexcept { return m_maximum; }

    // The value a text stands for: its last run of digits, clamped to the range.
    uint64_t value_from_text(const char* text, size_t length) const noexcept;

private:
    kpl::utf8_string_tight m_name;
    uint64_t m_value;
    uint64_t m_default;
    uint64_t m_minimum;
    uint64_t m_maximum;
    double m_priority;
    uint32_t m_flags;
};

// ---- registration ----------------------------------------------------------------------------------
// Each entry object is a static registration record of the class advanced_setting with the setting built
// in it; `->` and `*` reach the setting.

template <class Setting>
class advanced_setting_entry {
public:
    Setting* operator->() noexcept { return &m_record.instance(); }
    Setting& operator*() noexcept { return m_record.instance(); }
    Setting& setting() noexcept { return m_record.instance(); }

    advanced_setting_entry(const advanced_setting_entry&) = delete;
    advanced_setting_entry& operator=(const advanced_setting_entry&) = delete;

protected:
    template <class... Args>
    explicit advanced_setting_entry(Args&&... args) : m_record(std::forward<Args>(args)...) {}

private:
    service_factory_single<Setting, advanced_setting> m_record;
};

// A branch with sort priority 0.
//     advanced_branch_entry g_mp3(mp3_guid, "MP3", parent_guid);
class advanced_branch_entry final : public advanced_setting_entry<advanced_branch_setting> {
public:
    advanced_branch_entry(const kpl::guid& own, const char* name, const kpl::guid& parent)
        : advanced_setting_entry(own, name, parent, 0.0) {}
};

// A checkbox: default and current state on, sort priority 0.
class advanced_checkbox_entry final : public advanced_setting_entry<advanced_checkbox_setting> {
public:
    advanced_checkbox_entry(const char* name, const kpl::guid& parent)
        : advanced_setting_entry(name, parent, false, true, 0.0) {}
};

// One choice of the radio group under "Preferred tag writing scheme".
class advanced_radio_entry final : public advanced_setting_entry<advanced_checkbox_setting> {
public:
    static constexpr kpl::guid group_guid = {0x681924E2, 0x2124, 0x4EB6, {0x95, 0xEC, 0x40, 0x24, 0x66, 0xDE, 0x25, 0x80}};

    advanced_radio_entry(const char* name, double priority, bool default_state)
        : advanced_setting_entry(name, group_guid, true, default_state, priority) {}
};

// A text requiring the main thread, with sort priority 0 and flags 0.
class advanced_text_entry final : public advanced_setting_entry<advanced_text_setting> {
public:
    advanced_text_entry(const char* default_text, const kpl::guid& parent, const char* name)
        : advanced_setting_entry(default_text, parent, name, 0.0, 0u) {}
};

// A text under its own lock, under advanced_locked_text_setting::parent_guid, sort priority 0, flags 0.
class advanced_locked_text_entry final : public advanced_setting_entry<advanced_locked_text_setting> {
public:
    advanced_locked_text_entry(const char* default_text, const char* name)
        : advanced_setting_entry(default_text, name, 0.0, 0u) {}
};

// An integer under "Fading".
class advanced_integer_entry final : public advanced_setting_entry<advanced_integer_setting> {
public:
    advanced_integer_entry(const char* name, uint64_t default_value, uint64_t minimum, uint64_t maximum,
                           double priority)
        : advanced_setting_entry(name, default_value, minimum, maximum, priority, 0u) {}

    // A fade length in milliseconds: default 100, range 0..10000, flags 0.
    static advanced_integer_entry register_fade(double priority, const char* name) {
        return advanced_integer_entry(name, 100, 0, 10000, priority);
    }
};
