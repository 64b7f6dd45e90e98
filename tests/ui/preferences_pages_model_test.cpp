// The Folders page's Apply decisions and the Playback page's output choices (labels, order, failing
// modules).
#include <doctest/doctest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "playback/output/output_module.h"
#include "ui/preferences_pages_model.h"

TEST_CASE("Folders page Apply: what is stored and whether the library starts again or re-reads its folders") {
    const std::vector<std::string> stored = {"C:\\Music", "D:\\More"};
    struct row {
        const char* what;
        bool monitor_checked, monitor_stored;
        std::vector<std::string> edited;
        bool include_checked, include_stored, loaded;
        folders_apply_actions expected;
    };
    const row rows[] = {
        {"added and removed again: nothing runs", true, true, stored, true, true, true, {}},
        {"only the monitor box: stored, folder list applied without start-up", false, true, stored, true, true, true,
         {true, false, false, false, true}},
        {"only the monitor box, library not loaded", false, true, stored, true, true, false,
         {true, false, false, false, false}},
        {"a folder added: list stored, start-up and apply", true, true, {"C:\\Music", "D:\\More", "E:\\New"}, true,
         true, true, {false, true, false, true, true}},
        {"same folders in another order count as changed", true, true, {"D:\\More", "C:\\Music"}, true, true, true,
         {false, true, false, true, true}},
        {"a path differing only in case is another path", true, true, {"c:\\music", "D:\\More"}, true, true, false,
         {false, true, false, true, false}},
        {"include box changed: stored and start-up", true, true, stored, false, true, true,
         {false, false, true, true, true}},
        {"portable apply stores false over true (kept as it is)", true, true, stored, false, true, false,
         {false, false, true, true, false}},
        {"everything changed", false, true, {}, true, false, true, {true, true, true, true, true}},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        const folders_apply_actions a = folders_apply_decide(
            {r.monitor_checked, r.monitor_stored, r.edited, stored, r.include_checked, r.include_stored, r.loaded});
        CHECK(a.store_monitor == r.expected.store_monitor);
        CHECK(a.store_folders == r.expected.store_folders);
        CHECK(a.store_include == r.expected.store_include);
        CHECK(a.startup == r.expected.startup);
        CHECK(a.apply_folder_list == r.expected.apply_folder_list);
    }
}

namespace {

kpl::guid id(uint8_t n) { return {0x60000000u + n, 0, 0, {0, 0, 0, 0, 0, 0, 0, n}}; }

class fake_module final : public service_static<output_module> {
public:
    fake_module(uint8_t n, const char* name, uint32_t flags, std::vector<std::string> devices, int throw_after = -1)
        : m_n(n), m_name(name), m_flags(flags), m_devices(devices), m_throw_after(throw_after) {}
    void create_output(service_ptr<audio_output>&, const kpl::guid&, double, int, int) override {}
    void enumerate_devices(output_device_sink& sink) override {
        for (size_t i = 0; i < m_devices.size(); ++i) {
            if (int(i) == m_throw_after) throw std::runtime_error("device listing failed");
            sink.on_device(id(uint8_t(m_n * 16 + i)), m_devices[i].c_str(), size_t(-1));
        }
    }
    void get_guid(kpl::guid& out) override { out = id(m_n); }
    const char* get_name() override { return m_name; }
    void reserved(void*, void*, void*) override {}
    uint32_t get_flags() override { return m_flags; }

private:
    uint8_t m_n;
    const char* m_name;
    uint32_t m_flags;
    std::vector<std::string> m_devices;
    int m_throw_after;
};

std::string labels(const std::vector<output_choice>& choices) {
    std::string out;
    for (const output_choice& c : choices) out += c.label + "|";
    return out;
}

}  // namespace

TEST_CASE("Playback page output choices: labels, module order, same names, failing modules") {
    fake_module ds(1, "DirectSound", 0, {"Primary Sound Driver", "PulseAudio", "Null Output"});
    fake_module wave(2, "waveOut", 0, {"Default"});
    fake_module prefixing(3, "Null", output_module_flag_prefix, {"Silence"});
    fake_module unnamed(4, "", output_module_flag_prefix, {"Bare"});
    fake_module failing(5, "Broken", 0, {"First", "Second"}, 1);
    fake_module same_name(6, "directsound", 0, {"Replacement"});
    struct row {
        const char* what;
        std::vector<output_module*> modules;
        const char* labels;
    };
    const row rows[] = {
        {"device names alone, modules by name ignoring ASCII case", {&wave, &ds},
         "Primary Sound Driver|PulseAudio|Null Output|Default|"},
        {"one module with flag 8 puts every named module in front", {&ds, &prefixing, &unnamed},
         "Bare|DirectSound : Primary Sound Driver|DirectSound : PulseAudio|DirectSound : Null Output|Null : Silence|"},
        {"a module failing while listing keeps what it reported", {&failing, &wave}, "First|Default|"},
        {"a later module of the same name replaces the earlier one", {&ds, &same_name, &wave}, "Replacement|Default|"},
        {"no modules", {}, ""},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        std::vector<output_choice> choices;
        output_choices_list(r.modules, choices);
        CHECK(labels(choices) == r.labels);
    }
    std::vector<output_choice> choices;
    output_choices_list({&ds}, choices);
    REQUIRE(choices.size() == 3);
    CHECK(choices[1].module == id(1));
    CHECK(choices[1].device == id(17));
}

TEST_CASE("Playback page: the configured output is found only when module and device both match") {
    const kpl::guid ds = id(1), other = id(2), device = id(17);
    const std::vector<output_choice> choices = {
        {ds, kpl::guid_null, "Primary Sound Driver"}, {ds, device, "PulseAudio"}, {other, device, "Same device id"},
        {ds, device, "PulseAudio again"}};
    struct row {
        const char* what;
        kpl::guid module, device;
        int expected;
    };
    const row rows[] = {
        {"the default device of the module", ds, kpl::guid_null, 0},
        {"the first of two equal choices", ds, device, 1},
        {"the same device id under another module", other, device, 2},
        {"a device that is gone: nothing selected", ds, id(99), -1},
        {"a module that is gone", id(3), kpl::guid_null, -1},
    };
    for (const row& r : rows) {
        CAPTURE(r.what);
        CHECK(output_choice_find(choices, r.module, r.device) == r.expected);
    }
    CHECK(output_choice_find({}, ds, kpl::guid_null) == -1);
}
