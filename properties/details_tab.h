#pragma once
// The Details tab ("Properties") of the properties dialog: rows of technical facts about the tracks, in
// groups, given by details_tab_source services; the program registers one, summarising several tracks
// (identical values once, differing ones as lists or as shares in percent).
//
//     details_row_collector rows;
//     for each details_tab_source s: s->build_rows(tracks, store, rows);
//     rows.add_other_fields(tracks, store);           // one track: its unclaimed technical fields
//     for (const details_group& g : rows.groups()) ... g.name, g.rows[i].label, g.rows[i].value
//
// Rows of one group are ordered by priority, then by label (case-insensitive); a row with the same group,
// priority and label as an earlier one replaces its value. Groups: Location, General, ReplayGain first
// (when they have rows), then the others by name, then "Other".

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "metadata/track_handle.h"
#include "properties/loaded_info_store.h"

class details_row_sink {
public:
    virtual void add_row(const char* group, double priority, const char* label, const char* value) = 0;
    virtual bool is_wanted() { return true; }

protected:
    ~details_row_sink() = default;
};

class details_tab_source : public service_object {
public:
    static constexpr kpl::guid class_guid = {0xEFCDD365, 0x81FC, 0x4C82, {0x96, 0x1C, 0xA2, 0xB5, 0x76, 0x1A, 0xF8, 0xB7}};

    virtual void build_rows(const std::vector<track_handle_ref>& tracks, loaded_info_lookup* info,
                            details_row_sink& sink) = 0;
    // Whether this source shows the technical info field itself.
    virtual bool handles_info_field(const char* name) = 0;
};

struct details_row {
    double priority;
    std::string label;
    std::string value;
};

struct details_group {
    std::string name;
    std::vector<details_row> rows;
};

class details_row_collector final : public details_row_sink {
public:
    void add_row(const char* group, double priority, const char* label, const char* value) override;
    // With exactly one track: every technical field of its info that no registered source claims, as
    // "<NAME>" rows of priority 0 in the group "Other".
    void add_other_fields(const std::vector<track_handle_ref>& tracks, loaded_info_lookup* info);
    // Every registered source's rows, then the other fields.
    void collect(const std::vector<track_handle_ref>& tracks, loaded_info_lookup* info);
    // The groups in display order.
    std::vector<details_group> groups() const;

private:
    std::vector<details_group> m_groups;
    details_group m_other;
};

// The text of the Details list's Copy: the rows with a value, "label : value", joined by CR LF.
std::string details_copy_text(const std::vector<const details_row*>& rows);

// The program's source, for tests that call it directly.
details_tab_source& details_standard_source();

// A FILETIME as local "YYYY-MM-DD hh:mm:ss", or "<invalid timestamp>".
std::string details_format_timestamp(uint64_t stamp);
