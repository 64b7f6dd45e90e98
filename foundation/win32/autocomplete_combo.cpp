#include "foundation/win32/autocomplete_combo.h"

#include <shldisp.h>
#include <shlobj.h>

#include "foundation/win32/in_place_edit.h"
#include "properties/field_value_history.h"

namespace {

const CLSID k_clsid_autocomplete = {0x00BB2763, 0x6A77, 0x11D0, {0xA5, 0x35, 0x00, 0xC0, 0x4F, 0xD7, 0xD0, 0x62}};
const IID k_iid_autocomplete2 = {0xEAC04BC0, 0x3791, 0x11D2, {0xBB, 0x95, 0x00, 0x60, 0x97, 0x7B, 0x46, 0x4C}};

class history_lines final : public string_enumerator_source {
public:
    // Called at every Reset, on the autocomplete object's thread.
    void get_text(kpl::utf8_string& out) override {
        kpl::critical_section_scope hold(field_value_history::lock());
        field_value_history& history = field_value_history::get();
        history.load("");
        history.text(out);
    }
};

}  // namespace

IEnumString* autocomplete_history_source() { return string_enumerator_create_reloading(new history_lines()); }

bool autocomplete_attach_combo(HWND combo) {
    {
        kpl::critical_section_scope hold(field_value_history::lock());
        field_value_history& history = field_value_history::get();
        history.load("");
        history.fill(combo);
    }
    SetWindowTextW(combo, L"");

    COMBOBOXINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetComboBoxInfo(combo, &info) || info.hwndItem == nullptr) return false;
    IAutoComplete2* complete = nullptr;
    if (FAILED(CoCreateInstance(k_clsid_autocomplete, nullptr, CLSCTX_INPROC_SERVER, k_iid_autocomplete2,
                                reinterpret_cast<void**>(&complete))) ||
        complete == nullptr)
        return false;
    IEnumString* source = autocomplete_history_source();
    const bool attached = SUCCEEDED(complete->Init(info.hwndItem, source, nullptr, nullptr));
    if (attached) complete->SetOptions(ACO_AUTOSUGGEST | ACO_AUTOAPPEND);
    source->Release();
    // While attached, the autocomplete object keeps itself alive with the edit.
    complete->Release();
    return attached;
}
