#include "shell/app_lifecycle.h"

#include <windows.h>
#include <commctrl.h>
#include <float.h>
#include <ole2.h>
#include <shellapi.h>

#include <exception>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/string_array.h"
#include "foundation/kpl/win32_errors.h"
#include "foundation/services/config_store.h"
#include "foundation/services/service_registry.h"
#include "foundation/services/startup_shutdown_hook.h"
#include "library/media_library.h"
#include "playback/playback_controller.h"
#include "shell/app_state.h"
#include "shell/command_line.h"
#include "shell/crash_handler.h"
#include "shell/debug_log.h"
#include "shell/hidden_window.h"
#include "shell/language_switch.h"
#include "shell/localization.h"
#include "shell/main_thread_queue.h"
#include "shell/message_loop.h"
#include "shell/profile_setup.h"
#include "shell/separator_window.h"
#include "shell/single_instance.h"
#include "shell/ui_start.h"
#include "ui/preferences_dialog.h"

namespace {

startup_observer* g_observer = nullptr;

void set_floating_point_mode() {
    unsigned int current = 0;
    if (_controlfp_s(&current, _DN_FLUSH | _RC_NEAR, _MCW_DN | _MCW_RC) != 0) {
        throw kpl::exception_with_message("controlfp failed");
    }
}

void initialize_ole() {
    if (FAILED(OleInitialize(nullptr))) throw kpl::exception_with_message("OleInitialize() failure");
}

uint32_t language_from_switch(const kpl::string_array& args) {
    int at = find_switch(args, "lang");
    if (at < 0 || static_cast<uint32_t>(at) + 1 >= args.count()) return 0;
    return parse_language_id(args[static_cast<uint32_t>(at) + 1].c_str());
}

void start_playback() {
    service_ptr<playback_controller> controller;
    service_class::get_single(controller);
    service_ptr<playback_controller_ext> ext;
    if (!service_query(controller.get(), ext)) throw exception_service_extension_not_found();
    ext->start_up();
    app_state.playback = ext;
}

void release_playback_engine() {
    service_ptr<playback_controller_ext> playback = app_state.playback;
    app_state.playback.release();
    if (playback) playback->release_engine();
}

void shut_down_play_order() {
    service_ptr<play_order_manager> order;
    service_class::get_single(order);
    service_ptr<play_order_manager_ext> ext;
    if (!service_query(order.get(), ext)) throw exception_service_extension_not_found();
    ext->shut_down();
}

template <class Call>
void for_each_hook(Call call) {
    service_iterator it(startup_shutdown_hook::class_guid);
    service_ref hook;
    while (it.next(hook)) call(hook.as<startup_shutdown_hook>());
}

// Starts the program file again, as GetModuleFileNameW names it now, without arguments.
void restart_program() noexcept {
    kpl::wide_array path;
    for (DWORD size = 256; size <= 32768; size *= 2) {
        path.set_count(size);
        DWORD n = GetModuleFileNameW(nullptr, path.data(), size);
        if (n == 0) return;
        if (n < size) break;
    }
    ShellExecuteW(nullptr, nullptr, path.c_str(), nullptr, nullptr, SW_SHOW);
}

int app_main_body(void* instance) { return app_main(static_cast<HINSTANCE>(instance), GetCommandLineW()); }

}  // namespace

startup_observer* set_startup_observer(startup_observer* observer) noexcept {
    startup_observer* previous = g_observer;
    g_observer = observer;
    return previous;
}

int app_main(HINSTANCE instance, const wchar_t* command_line) {
    startup_sequence steps(g_observer);
    kpl::string_array args;
    instance_record instance_window;
    bool loop_ran = false;
    int exit_code = 0;

    try {
        steps.run("command line", [&] {
            app_state.instance = instance;
            instance_window.command_line = kpl::utf8_string_from_utf16(command_line);
            args = split_command_line(instance_window.command_line.c_str());
        });
        steps.run("ole", [] { initialize_ole(); });
        steps.arm("ole", [] { OleUninitialize(); });
        steps.run("quiet", [&] {
            app_state.quiet = find_switch(args, "quiet") >= 0;
            config_store::set_quiet(app_state.quiet);
        });
        steps.run("program path", [] { read_program_path(); });
        steps.run("portable markers", [] { read_portable_markers(); });
        steps.run("profile folder", [] { choose_profile_folder(); });
        steps.run("profile attributes", [] { read_profile_read_only(); });
        steps.run("crash filter", [] { SetUnhandledExceptionFilter(&crash_exception_filter); });
        steps.run("language", [&] { load_language_table(language_from_switch(args)); });
        steps.run("single instance", [&] {
            if (!single_instance_acquire(instance_window)) {
                throw exception_shutdownrequest("Another instance is already running");
            }
        });
        steps.arm("single instance", [&] { single_instance_release(instance_window); });
        steps.run("running file", [] {
            create_running_file();
            InitCommonControls();
            register_separator_window_class();
        });
        steps.run("service registry", [] { service_registry::start(); });
        steps.arm("service registry", [] { service_registry::release_table(); });
        steps.run("hidden window", [] { hidden_window_create(); });
        steps.arm("hidden window", [] {
            main_thread_queue::drain(true);
            main_thread_queue::drain(true);
            hidden_window_destroy();
        });
        steps.arm("play order", [] { shut_down_play_order(); });
        steps.run("playback", [] { start_playback(); });
        steps.arm("playback", [] { release_playback_engine(); });
        steps.run("media library", [] { media_library::startup(); });
        steps.arm("media library", [] { media_library::unload(); });
        steps.run("user interface", [&] {
            bool hide = find_switch(args, "hide") >= 0;
            if (!app_state.exit_requested && !app_state.quiet) {
                start_user_interface();
                if (hide && app_state.ui) app_state.ui->hide();
            }
        });
        steps.arm("user interface", [] {
            stop_user_interface();
            main_thread_queue::drain(true);
        });
        steps.run("own command line", [&] { process_own_command_line(instance_window); });
        steps.run("startup hooks", [] { for_each_hook([](startup_shutdown_hook* hook) { hook->on_start(); }); });
        steps.arm("startup hooks", [&] {
            if (app_state.playback) app_state.playback->stop_for_shutdown();
            if (loop_ran) service_registry::notify_shutdown(false);
            for_each_hook([](startup_shutdown_hook* hook) { hook->on_stop(); });
        });
        steps.run("current folder", [] {
            kpl::wide_array folder;
            kpl::utf8_to_wide_array(folder, app_state.program_folder.c_str());
            SetCurrentDirectoryW(folder.c_str());
        });
        if (!app_state.quiet) {
            steps.run("message loop", [&] { exit_code = run_message_loop(); });
            loop_ran = true;
        }
    } catch (...) {
        steps.unwind_after_failure();
        throw;
    }

    bool restart = false;
    if (loop_ran) {
        preferences_dialog::destroy_if_open();
        restart = app_state.restart_requested;
    }
    app_state.shutting_down = true;
    try {
        steps.unwind();
    } catch (...) {
        if (restart) restart_program();
        throw;
    }
    if (restart) restart_program();
    return exit_code;
}

int run_entry_guarded(int (*body)(void* context), void* context) {
    int result;
    try {
        try {
            result = body(context);
        } catch (exception_installdamaged&) {
            // The lock file stays open until the process ends.
            app_state.running_file_handle = INVALID_HANDLE_VALUE;
            throw;
        } catch (exception_win32& e) {
            if (e.code() == ERROR_NOT_ENOUGH_MEMORY || e.code() == ERROR_OUTOFMEMORY) throw exception_out_of_resources();
            throw;
        }
    } catch (exception_shutdownrequest& e) {
        kpl::utf8_string_pow2 line("Exiting (");
        line << e.what() << ")";
        debug_log(line.c_str());
        return 0;
    } catch (exception_messagebox& e) {
        kpl::utf8_string_pow2 line("Initialization failure : ");
        line << e.what();
        debug_log(line.c_str());
        if (!app_state.quiet) {
            kpl::wide_array text;
            kpl::utf8_to_wide_array(text, e.what());
            MessageBoxW(nullptr, text.c_str(), L"Vorn encountered an error", MB_ICONERROR);
        }
        return -1;
    }
    debug_log_text("Terminated normally.\n");
    return result;
}

int app_entry(HINSTANCE instance) {
    try {
        SetErrorMode(SEM_FAILCRITICALERRORS);
        set_floating_point_mode();
        return run_entry_guarded(&app_main_body, instance);
    } catch (...) {
        // Not a start-up control exception: the process ends abnormally, through the crash path.
        crash_from_callback();
    }
}
