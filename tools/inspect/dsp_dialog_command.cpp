// The dsp-dialog command of vorn-inspect: the "DSP Settings" dialog over a profile folder's stored chain
// and presets.
//
// vorn-inspect dsp-dialog PROFILE [--name TEXT]
//
// PROFILE's config.dat is loaded (the folder is made when missing), the dialog runs modally over the stored
// chain (captioned "DSP Settings - TEXT" with --name), and when it ends the tool prints, fields separated
// by TABs:
//     result 1|0           1: closed with OK
//     item GUID SIZE       per entry of the chain (the edited one after OK, the stored one after Cancel)
//     preset NAME          per preset, in stored order
// The chain (after OK) and the presets are then saved in config.dat.
#include <windows.h>

#include <cstdio>
#include <string>

#include "foundation/kpl/codepage.h"
#include "foundation/services/config_store.h"
#include "foundation/services/service_registry.h"
#include "playback/dsp/dsp_chain_service.h"
#include "playback/dsp/dsp_presets.h"
#include "tools/inspect/inspect_command.h"

namespace {

int run_dsp_dialog(const inspect_arguments& args, inspect_output& out) {
    static const char* const options[] = {"name", nullptr};
    args.expect(1, options);
    const std::string profile = inspect_path(args.required(0, "PROFILE")).c_str();
    if (service_registry::table().class_count() == 0) service_registry::table().build(service_registration_list());
    kpl::wide_array wide;
    kpl::utf8_to_wide_array(wide, profile.c_str());
    CreateDirectoryW(wide.c_str(), nullptr);
    const std::string config = "file://" + profile + "\\config.dat";
    config_store::program().load(config.c_str(), true);

    service_ptr<dsp_chain_service> service;
    service_class::get_single(service);
    dsp_chain chain;
    service->get_chain(chain);
    const bool confirmed = service->run_chain_dialog(chain, nullptr, args.option("name"));
    if (confirmed) service->set_chain(chain);

    out.line(confirmed ? "result\t1" : "result\t0");
    dsp_chain shown;
    service->get_chain(shown);
    for (uint32_t i = 0; i < shown.count(); ++i) {
        const dsp_chain_item& item = shown.get_item(i);
        out.line((std::string("item\t") + inspect_guid_text(item.get_guid()) + "\t" + std::to_string(item.get_data_size())).c_str());
    }
    const dsp_preset_list& presets = dsp_presets();
    for (size_t i = 0; i < presets.count(); ++i) out.line(("preset\t" + presets.get(i).name).c_str());
    config_store::program().save_now(config.c_str());
    return 0;
}

inspect_command g_dsp_dialog("dsp-dialog", "PROFILE [--name TEXT]",
                             "runs the DSP Settings dialog over the profile's stored chain and presets; prints the "
                             "result, the chain and the presets, and saves them",
                             &run_dsp_dialog);

}  // namespace
