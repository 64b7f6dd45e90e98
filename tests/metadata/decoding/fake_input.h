#pragma once
// A test input for files named *.fakedec: no file is read; what a "file" holds comes from a table the test
// fills, keyed by path. Its decoder gives blocks of one channel whose sample values count the frames from
// the start of the file (0, 1, 2, ...), so a test can see exactly which frames came out.
//
//     fake_input::file_setup s;  s.total = 44100 * 200;  s.block = 1000;
//     fake_input::set("file://C:\\a.fakedec", s);
//     ... probe "file://C:\\a.fakedec" ...          // fake_input::opens("file://C:\\a.fakedec") == 1

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct fake_input {
    static constexpr uint64_t frame_modulo = 1 << 24;

    struct file_setup {
        uint32_t rate = 44100;
        uint64_t total = 44100 * 10;
        uint32_t block = 1000;
        bool seekable = true;
        // Whether the decoder answers the v2 interface (raw samples, event sink).
        bool v2 = true;
        uint32_t subsongs = 1;
        // Reading the info of the subsongs: 0 works, 1 throws a data error, 2 throws "access denied".
        // `failures` counts down with each failing call; at 0 the info is read normally.
        int info_failure = 0;
        int failures = 1000;
    };
    struct state {
        file_setup s;
        int opens = 0;
        std::vector<uint32_t> initialised;  // subsongs
        std::vector<uint32_t> flags;
        std::vector<uint64_t> seeks;        // target frames
    };

    static void reset();
    static void set(const std::string& path, const file_setup& s);
    static state& get(const std::string& path);
    // The path the newest decoder was opened for.
    static std::string last_opened();
};

// Builds the program's service table once, so that probing finds the inputs.
void fake_input_ensure_services();
