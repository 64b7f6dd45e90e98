// The start-up sequence: undo steps run newest first, only for steps that succeeded, once each, and a
// failing undo step does not keep the others from running.
#include <doctest/doctest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "shell/startup_sequence.h"

namespace {

// Five steps; each arms its undo after it succeeded. `fail_at` (0 = none) makes that step throw.
std::vector<std::string> run_five(int fail_at, int failing_undo, bool& threw) {
    std::vector<std::string> log;
    startup_sequence steps;
    threw = false;
    try {
        for (int i = 1; i <= 5; ++i) {
            std::string name = std::to_string(i);
            steps.run("step", [&] {
                log.push_back("do " + name);
                if (i == fail_at) throw std::runtime_error("step failed");
            });
            steps.arm("undo", [&log, name, i, failing_undo] {
                log.push_back("undo " + name);
                if (i == failing_undo) throw std::runtime_error("undo failed");
            });
        }
    } catch (const std::runtime_error&) {
        threw = true;
        steps.unwind_after_failure();
        return log;
    }
    log.push_back("running");
    try {
        steps.unwind();
    } catch (const std::runtime_error& e) {
        log.push_back(std::string("unwind threw: ") + e.what());
    }
    return log;
}

}  // namespace

TEST_CASE("startup_sequence: a failing step unwinds the steps done so far, newest first") {
    struct unwind_case {
        int fail_at;
        std::vector<std::string> expected;
    };
    const unwind_case cases[] = {
        {1, {"do 1"}},
        {2, {"do 1", "do 2", "undo 1"}},
        {4, {"do 1", "do 2", "do 3", "do 4", "undo 3", "undo 2", "undo 1"}},
        {5, {"do 1", "do 2", "do 3", "do 4", "do 5", "undo 4", "undo 3", "undo 2", "undo 1"}},
        {0, {"do 1", "do 2", "do 3", "do 4", "do 5", "running", "undo 5", "undo 4", "undo 3", "undo 2", "undo 1"}},
    };
    for (const unwind_case& c : cases) {
        CAPTURE(c.fail_at);
        bool threw = false;
        CHECK(run_five(c.fail_at, 0, threw) == c.expected);
        CHECK(threw == (c.fail_at != 0));
    }
}

TEST_CASE("startup_sequence: a failing undo step does not stop the rest; the shut-down reports it at the end") {
    bool threw = false;
    std::vector<std::string> normal = run_five(0, 3, threw);
    CHECK(normal == std::vector<std::string>{"do 1", "do 2", "do 3", "do 4", "do 5", "running", "undo 5", "undo 4",
                                             "undo 3", "undo 2", "undo 1", "unwind threw: undo failed"});

    std::vector<std::string> failed = run_five(5, 3, threw);
    CHECK(threw);
    CHECK(failed == std::vector<std::string>{"do 1", "do 2", "do 3", "do 4", "do 5", "undo 4", "undo 3", "undo 2",
                                             "undo 1"});
}

TEST_CASE("startup_sequence: the observer sees every step and undo step and can fail a step") {
    struct recorder : startup_observer {
        std::vector<std::string> seen;
        void on_step(const char* name) override {
            seen.push_back(std::string("step ") + name);
            if (std::string(name) == "b") throw std::runtime_error("refused");
        }
        void on_undo(const char* name) override { seen.push_back(std::string("undo ") + name); }
    } observer;

    bool b_ran = false;
    startup_sequence steps(&observer);
    try {
        steps.run("a", [] {});
        steps.arm("a", [] {});
        steps.run("b", [&] { b_ran = true; });
        FAIL("step b was not refused");
    } catch (const std::runtime_error&) {
        steps.unwind_after_failure();
    }
    CHECK_FALSE(b_ran);
    CHECK(observer.seen == std::vector<std::string>{"step a", "step b", "undo a"});
    CHECK(steps.armed_count() == 0);
}
