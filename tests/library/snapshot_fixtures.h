#pragma once
// Folders and files for the snapshot and monitor tests: a tree under the temporary folder (removed
// afterwards), small WAV files written at test time, and a snapshot host that records what the snapshot
// queues and reports.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "foundation/tasks/critical_section.h"
#include "library/folder_snapshot.h"

namespace snapshot_fixtures {

std::wstring wide(const std::string& s);

// Starts the program's service registry for the test program when it is not running (left running).
void ensure_registry();

// A folder under the temporary folder, removed with everything in it when the fixture goes.
class temp_tree {
public:
    explicit temp_tree(const char* tag);
    ~temp_tree();
    temp_tree(const temp_tree&) = delete;
    temp_tree& operator=(const temp_tree&) = delete;

    std::string native(const std::string& relative) const { return relative.empty() ? m_root : m_root + "\\" + relative; }
    std::string location(const std::string& relative = "") const { return "file://" + native(relative); }
    void folder(const std::string& relative) const;
    // A mono 16-bit WAV of `frames` frames.
    void wav(const std::string& relative, uint32_t frames = 800) const;
    void text(const std::string& relative, const std::string& content) const;
    void remove_file(const std::string& relative) const;
    void move(const std::string& from, const std::string& to) const;
    // Sets the file's last-write time to `stamp` (100-ns units since 1601).
    void set_stamp(const std::string& relative, uint64_t stamp) const;
    uint64_t stamp(const std::string& relative) const;
    // The Linux path of a path in the tree (Wine's own mapping); "" where there is none.
    std::string unix_path(const std::string& relative = "") const;
    // Runs a shell script as a Linux process (Wine starts Unix programs) and waits until it has run to its
    // end; its working folder is the tree's Linux path. Files the script needs go next to the tree
    // (`staging`), never into it.
    void run_linux(const std::string& script) const;
    std::string staging(const std::string& name) const { return m_root + "-" + name; }
    // Writes the staged source file (`staging("source.wav")`, "$SOURCE" in scripts) with these bytes.
    void stage_source(const std::string& bytes) const;

private:
    std::string m_root;
};

// The bytes of a mono 16-bit 8000 Hz WAV file of `frames` frames.
std::string wav_bytes(uint32_t frames);

// "relative#subsong" of a handle under `root`.
std::string track_name(const track_handle& track, const std::string& root);

// A snapshot host over a root, recording the queue and the reported tracks (names relative to the root).
class recording_host final : public snapshot_host {
public:
    explicit recording_host(std::string root) : m_root(std::move(root)) { ensure_registry(); }

    const char* root() const override { return m_root.c_str(); }
    const abort_signal& abort() const override { return abort_never; }
    kpl::critical_section& lock() override { return m_lock; }
    void queue_path(const char* relative, uint32_t delay_ms) override { queued[relative] = delay_ms; }
    void unqueue_path(const char* relative) override {
        queued.erase(relative);
        unqueued.push_back(relative);
    }
    bool accepts_file(const char* location) override {
        asked.push_back(location);
        return refuse.count(location) == 0;
    }
    void list_directory(const char* location, snapshot_listing& files, snapshot_listing& folders) override;
    void flush(snapshot_batch& batch) override;

    // Reported tracks since the last clear, as "relative#subsong".
    std::set<std::string> added, removed;
    std::map<std::string, uint32_t> queued;
    std::vector<std::string> unqueued;
    std::vector<std::string> asked;
    std::set<std::string> refuse;
    // Listing failures by location: the number of entries listed before the listing throws "access denied"
    // (0: at once).
    std::map<std::string, uint32_t> fail_listing;
    uint32_t listings = 0;

    void clear_reports() {
        added.clear();
        removed.clear();
        queued.clear();
        unqueued.clear();
        asked.clear();
    }

private:
    std::string m_root;
    kpl::critical_section m_lock;
};

}  // namespace snapshot_fixtures
