#pragma once
// The navigation state: the view kind and location the main window showed last, kept in config.dat so
// that the next start opens the same place. Its default is the albums level of the library view
// (kind 0, two empty levels).
//
//     cfg_navigation_state.get();                    // {0, [[], []]} until the file says otherwise
//     cfg_navigation_state.set(where);               // after every refresh
//     library_node* view = create_view(cfg_navigation_state.get());
//
// Stored form, integers u32 little-endian:
//     kind                    0, 1 or 2
//     level count             the levels that follow
//     per level: key count    the keys of the level
//     per key: byte length, then that many UTF-8 bytes (no terminator)
// Example: kind 1, [["C:"], ["Music"]] ->
//     01000000 02000000 01000000 02000000 "C:" 01000000 05000000 "Music"
//
// Reading throws ketrel_io::exception_io_data (the configuration reader then keeps the value it had) for a
// kind outside 0..2 and for a damaged record: every count and length is checked against the bytes left
// before anything is allocated, so a count of 0xFFFFFFFF in a 12-byte record is refused at once.
//
// Portable library mode ("<program file>.locallibrary.opt" exists): a folder-tree location (kind 1) that
// lies in the program folder is stored relative to it, so that a copy moved elsewhere comes back to the
// same place:
//     program folder E:\Apps\Vorn:  kind 1 [["E:"], ["Apps"], ["Vorn"], ["Music"]]
//         stored as kind 1 [["<application folder>"], ["Music"]]
//     moved to F:\Vorn:   read back as kind 1 [["F:"], ["Vorn"], ["Music"]]
// Components compare by exact code units. Other kinds and other folders are stored as they are.
// Main thread only.

#include <string>
#include <vector>

#include "foundation/services/config_variable.h"
#include "library/list_text.h"

namespace navigation_state {

// {6490F07D-F12E-4963-8946-FDE5DCC08F3A}
constexpr kpl::guid variable_guid = {0x6490F07D, 0xF12E, 0x4963, {0x89, 0x46, 0xFD, 0xE5, 0xDC, 0xC0, 0x8F, 0x3A}};

// The key standing for the program folder in a portable record.
extern const wchar_t* const application_folder_key;

// What the portable rewrite needs: whether it applies and the program folder's components
// (["E:", "Apps", "Vorn"]).
struct portable_environment {
    bool portable = false;
    std::vector<std::wstring> program_folder;
};

// The running program's: app_state's portable-library flag and the folder of GetModuleFileNameW (the
// buffer doubled from 256 characters until the path fits) cut at its last backslash.
portable_environment current_environment();
// The components of a folder path as the folder tree keys them: "E:\Apps\Vorn" -> ["E:", "Apps", "Vorn"].
std::vector<std::wstring> folder_components(const std::wstring& folder);

// The albums level of the library view.
view_path default_location();

// The stored form of `where` (the portable rewrite applied) and back.
void write(byte_sink& sink, const view_path& where, const portable_environment& environment,
           const abort_signal& abort);
// `size` is the record's payload size. Throws ketrel_io::exception_io_data as described above.
view_path read(byte_source& source, uint32_t size, const portable_environment& environment,
               const abort_signal& abort);

}  // namespace navigation_state

class navigation_state_var final : public config_variable {
public:
    using environment_source = navigation_state::portable_environment (*)();

    // `environment` is asked at every read and write (tests give their own; the program's is
    // navigation_state::current_environment).
    explicit navigation_state_var(const kpl::guid& guid,
                                  environment_source environment = navigation_state::current_environment)
        : config_variable(guid), m_environment(environment) {}
    navigation_state_var(const kpl::guid& guid, config_variable_list& list, environment_source environment)
        : config_variable(guid, list), m_environment(environment) {}

    void set_data(byte_source& source, uint32_t size, const abort_signal& abort) override;
    void get_data(byte_sink& sink, const abort_signal& abort) override;

    const view_path& get() const { return m_value; }
    void set(const view_path& value) { m_value = value; }

private:
    environment_source m_environment;
    view_path m_value = navigation_state::default_location();
};

extern navigation_state_var cfg_navigation_state;
