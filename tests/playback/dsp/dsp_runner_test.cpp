// The DSP runner over fake effects: chain order, dropped unknown effects, the keep rule, the flags of a
// track end, latency, the FPU word and the pass-through of an empty chain.
#include <doctest/doctest.h>

#include "foundation/kpl/exceptions.h"
#include "playback/dsp/dsp_effect.h"
#include "playback/dsp/dsp_runner.h"

#include <float.h>

#include <map>
#include <string>
#include <vector>

namespace {

std::string g_log;  // "<name>:<flags>;" per run

// An instance named after its effect and configuration byte ("A1"); it appends its name to the log, adds a
// one-frame block to show it ran, and records the FPU word it saw.
class fake_instance final : public dsp_instance {
public:
    uint32_t release() override {
        uint32_t left = --m_count;
        if (!left) delete this;
        return left;
    }
    uint32_t add_ref() override { return ++m_count; }
    bool query(service_ref&, const kpl::guid&) override { return false; }

    fake_instance(std::string name, bool track_end, double latency)
        : m_name(std::move(name)), m_track_end(track_end), m_latency(latency) {}
    void run(audio_block_list& chunks, track_handle*, uint32_t flags) override {
        g_log += m_name + ":" + std::to_string(flags) + ";";
        fpu_word = _controlfp(0, 0);
        seen_blocks = chunks.count();
    }
    void flush() override { g_log += m_name + ":flush;"; }
    double get_latency() override { return m_latency; }
    bool wants_track_end() override { return m_track_end; }

    unsigned fpu_word = 0;
    uint32_t seen_blocks = 0;

private:
    ~fake_instance() = default;
    uint32_t m_count = 1;
    std::string m_name;
    bool m_track_end;
    double m_latency;
};

class fake_effect final : public service_counted<dsp_service> {
public:
    fake_effect(const kpl::guid& guid, char letter) : m_guid(guid), m_letter(letter) {}
    void get_name(kpl::utf8_string& out) override { out = std::string(1, m_letter).c_str(); }
    bool get_default_preset(dsp_chain_item& out) override {
        out = dsp_chain_item(m_guid);
        return true;
    }
    bool create_instance(service_ptr<dsp_instance>& out, const dsp_chain_item& item) override {
        if (fail) return false;
        std::string name(1, m_letter);
        if (item.get_data_size()) name += std::to_string(item.get_data()[0]);
        fake_instance* made = new fake_instance(name, track_end, latency);
        out.assign(made);
        made->release();
        return true;
    }
    void get_guid(kpl::guid& out) override { out = m_guid; }
    bool has_config_dialog() override { return false; }
    bool show_config_dialog(dsp_chain_item&, HWND) override { return false; }

    bool fail = false;
    bool track_end = false;
    double latency = 0;

private:
    kpl::guid m_guid;
    char m_letter;
};

kpl::guid guid_of(char letter) { return {0x44535000u + static_cast<uint8_t>(letter), 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}}; }

class fake_effects final : public dsp_effect_source {
public:
    fake_effects() {
        for (char c : std::string("ABCD")) m_effects[c].assign(new fake_effect(guid_of(c), c)), m_effects[c]->release();
    }
    bool find(const kpl::guid& guid, service_ptr<dsp_service>& out) const override {
        for (const auto& e : m_effects) {
            if (guid == guid_of(e.first)) {
                out.assign(e.second.get());
                return true;
            }
        }
        return false;
    }
    fake_effect& get(char c) { return *static_cast<fake_effect*>(m_effects[c].get()); }

private:
    std::map<char, service_ptr<dsp_service>> m_effects;
};

// "A1 B C2 X": items by letter with an optional configuration byte; X is not installed.
dsp_chain chain_of(const std::string& text) {
    dsp_chain chain;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(' ', pos);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(pos, end - pos);
        dsp_chain_item item(guid_of(word[0]));
        if (word.size() > 1) {
            uint8_t config = static_cast<uint8_t>(std::stoi(word.substr(1)));
            item.set_data(&config, 1);
        }
        chain.insert_item(item, ~0u);
        pos = end + 1;
    }
    return chain;
}

std::vector<dsp_instance*> instances(const dsp_runner& runner) {
    std::vector<dsp_instance*> out;
    for (uint32_t i = 0; i < runner.instance_count(); ++i) out.push_back(runner.instance(i));
    return out;
}

std::string run_logged(dsp_runner& runner, dsp_chunk_list& chunks, uint32_t mode) {
    g_log.clear();
    runner.run(chunks, nullptr, mode, abort_never);
    return g_log;
}

}  // namespace

TEST_CASE("an empty chain passes valid blocks unchanged, drops invalid ones and has no latency") {
    fake_effects effects;
    dsp_runner runner(effects);
    dsp_chunk_list chunks;
    audio_block* good = chunks.insert_item(0);
    const float samples[4] = {0.5f, -0.25f, 1e-3f, 0.0f};
    good->set_data(samples, 2, 2, 44100, 0x3);
    chunks.insert_item(1);  // empty: invalid
    for (uint32_t mode : {0u, 1u, 2u}) {
        CAPTURE(mode);
        CHECK(runner.run(chunks, nullptr, mode, abort_never) == 0.0);
        REQUIRE(chunks.count() == 1);
        CHECK(chunks.get(0) == good);
        CHECK(good->get_sample_count() == 2);
        CHECK(good->get_data()[1] == -0.25f);
    }

    // A chain of effects that are not installed plays as an empty chain.
    runner.set_chain(chain_of("X Y1"));
    CHECK(runner.run(chunks, nullptr, 0, abort_never) == 0.0);
    CHECK(runner.instance_count() == 0);
}

TEST_CASE("instances run in chain order, unknown effects are skipped, latencies add up") {
    fake_effects effects;
    effects.get('A').latency = 0.25;
    effects.get('B').latency = 0.5;
    effects.get('C').latency = 0.125;
    dsp_runner runner(effects);
    dsp_chunk_list chunks;
    runner.set_chain(chain_of("C1 X A B7"));

    g_log.clear();
    CHECK(runner.run(chunks, nullptr, 0, abort_never) == 0.875);
    CHECK(g_log == "C1:2;A:2;B7:2;");  // new instances drain their first run
    CHECK(run_logged(runner, chunks, 0) == "C1:0;A:0;B7:0;");

    g_log.clear();
    runner.flush();
    CHECK(g_log == "C1:flush;A:flush;B7:flush;");
}

TEST_CASE("a changed chain keeps instances only when at most one configuration differs") {
    struct row {
        const char* before;
        const char* after;
        std::vector<bool> kept;  // per instance of `after`
        const char* first_run;
    };
    const row rows[] = {
        {"A1 B1 C1", "A1 B1 C1", {true, true, true}, "A1:0;B1:0;C1:0;"},
        {"A1 B1 C1", "A1 B2 C1", {true, false, true}, "A1:0;B2:2;C1:0;"},
        {"A1 B1 C1", "A1 B2 C2", {false, false, false}, "A1:2;B2:2;C2:2;"},
        {"A1 B1 C1", "A1 C1 B1", {false, false, false}, "A1:2;C1:2;B1:2;"},
        {"A1 B1", "A1 B1 C1", {false, false, false}, "A1:2;B1:2;C1:2;"},
        {"A1 B1 C1", "A1 C1", {false, false}, "A1:2;C1:2;"},
        {"A1 X B1", "A1 B1", {true, true}, "A1:0;B1:0;"},          // the unknown effect never had an instance
        {"A1 B1", "A1 X B2", {true, false}, "A1:0;B2:2;"},
        {"A1 B1", "D1 B1", {false, false}, "D1:2;B1:2;"},          // another effect is never a configuration change
    };
    for (const row& r : rows) {
        CAPTURE(r.before);
        CAPTURE(r.after);
        fake_effects effects;
        dsp_runner runner(effects);
        dsp_chunk_list chunks;
        runner.set_chain(chain_of(r.before));
        runner.run(chunks, nullptr, 0, abort_never);
        std::vector<dsp_instance*> old = instances(runner);

        runner.set_chain(chain_of(r.after));
        CHECK(run_logged(runner, chunks, 0) == r.first_run);
        std::vector<dsp_instance*> now = instances(runner);
        REQUIRE(now.size() == r.kept.size());
        for (size_t i = 0; i < now.size(); ++i) {
            CAPTURE(i);
            bool was_live = false;
            for (dsp_instance* o : old) was_live = was_live || o == now[i];
            CHECK(was_live == r.kept[i]);
        }
    }
}

TEST_CASE("at a track end the instances before the last one that wants it drain") {
    struct row {
        const char* wanting;  // letters whose instances want the track end
        uint32_t mode;
        const char* log;
    };
    const row rows[] = {
        {"", 1, "A:1;B:1;C:1;D:1;"},
        {"C", 1, "A:3;B:3;C:1;D:1;"},
        {"AC", 1, "A:3;B:3;C:1;D:1;"},  // the last one that wants it counts
        {"A", 1, "A:1;B:1;C:1;D:1;"},
        {"D", 1, "A:3;B:3;C:3;D:1;"},
        {"C", 0, "A:0;B:0;C:0;D:0;"},   // only the track end looks for it
        {"C", 2, "A:2;B:2;C:2;D:2;"},
    };
    for (const row& r : rows) {
        CAPTURE(r.wanting);
        CAPTURE(r.mode);
        fake_effects effects;
        for (const char* c = r.wanting; *c; ++c) effects.get(*c).track_end = true;
        dsp_runner runner(effects);
        dsp_chunk_list chunks;
        runner.set_chain(chain_of("A B C D"));
        runner.run(chunks, nullptr, 0, abort_never);
        CHECK(run_logged(runner, chunks, r.mode) == r.log);
    }
}

TEST_CASE("the runner sets the FPU word for its instances and restores it; a failing effect is a bug check") {
    fake_effects effects;
    dsp_runner runner(effects);
    dsp_chunk_list chunks;
    runner.set_chain(chain_of("A"));

    const unsigned mask = _MCW_DN | _MCW_RC;
    const unsigned before = _controlfp(0, 0);
    _controlfp(_DN_SAVE | _RC_UP, mask);
    runner.run(chunks, nullptr, 0, abort_never);
    CHECK((_controlfp(0, 0) & mask) == (_DN_SAVE | _RC_UP));
    _controlfp(before, mask);
    auto* instance = static_cast<fake_instance*>(runner.instance(0));
    CHECK((instance->fpu_word & mask) == (_DN_FLUSH | _RC_NEAR));

    effects.get('B').fail = true;
    runner.set_chain(chain_of("A B"));
    CHECK_THROWS_AS(runner.run(chunks, nullptr, 0, abort_never), kpl::exception_bug_check_v2);
    CHECK(runner.instance_count() == 1);  // the old chain stays live
    CHECK((_controlfp(0, 0) & mask) == (before & mask));
}
