// vorn-inspect: the console test tool. `vorn-inspect --help` lists its commands.
#include <windows.h>

#include <cstring>
#include <exception>
#include <utility>

#include "foundation/kpl/codepage.h"
#include "foundation/kpl/io_exceptions.h"
#include "shell/localization.h"
#include "tools/inspect/inspect_command.h"

namespace {

void write_bytes(DWORD which, const char* text, uint32_t length) {
    HANDLE handle = GetStdHandle(which);
    while (length > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, text, length, &written, nullptr) || written == 0) return;
        text += written;
        length -= written;
    }
}

void write_out(const kpl::utf8_string& text) { write_bytes(STD_OUTPUT_HANDLE, text.c_str(), text.length()); }

void write_error(const char* text) {
    kpl::utf8_string_pow2 line("vorn-inspect: ");
    line << text << "\n";
    write_bytes(STD_ERROR_HANDLE, line.c_str(), line.length());
}

// The language-table id of an I/O exception, shown when the table gives its text as "" (no table loaded).
const char* exception_id(const std::exception& e) {
    using namespace ketrel_io;
    if (dynamic_cast<const exception_io_unsupported_format*>(&e)) return "exception_io_unsupported_format";
    if (dynamic_cast<const exception_io_data*>(&e)) return "exception_io_data";
    if (dynamic_cast<const exception_io_not_found*>(&e)) return "exception_io_not_found";
    if (dynamic_cast<const exception_io_denied*>(&e)) return "exception_io_denied";
    if (dynamic_cast<const exception_io_sharing_violation*>(&e)) return "exception_io_sharing_violation";
    if (dynamic_cast<const exception_io_object_not_seekable*>(&e)) return "exception_io_object_not_seekable";
    if (dynamic_cast<const exception_io_seek_out_of_range*>(&e)) return "exception_io_seek_out_of_range";
    if (dynamic_cast<const exception_io_no_handler_for_path*>(&e)) return "exception_io_no_handler_for_path";
    if (dynamic_cast<const exception_io*>(&e)) return "exception_io";
    return "unknown error";
}

void print_help() {
    kpl::array<const inspect_command*> commands;
    for (const inspect_command* c = inspect_command::first(); c; c = c->next) commands.append(c);
    // By name (insertion sort: a handful of commands).
    for (uint32_t i = 1; i < commands.count(); ++i) {
        for (uint32_t j = i; j > 0 && std::strcmp(commands[j - 1]->name, commands[j]->name) > 0; --j) {
            std::swap(commands[j - 1], commands[j]);
        }
    }
    kpl::utf8_string_pow2 text(
        "usage: vorn-inspect COMMAND [ARGUMENTS] [--OPTION[=VALUE]...]\n"
        "Paths may be Linux paths or relative to the current folder; arguments and output are UTF-8. Exit\n"
        "status 0 on success, 1 on failure (the error on standard error), 2 for an unknown command.\n\n"
        "commands:\n");
    for (const inspect_command* c : commands) {
        kpl::utf8_string_pow2 head("  ");
        head << c->name;
        if (c->synopsis[0]) head << " " << c->synopsis;
        text << head;
        for (uint32_t n = head.length(); n < 32; ++n) text << " ";
        text << "  " << c->help << "\n";
    }
    write_out(text);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Decoders over the system's codecs need COM on the thread that opens them, as on the player's decoding thread.
    CoInitialize(nullptr);
    try {
        // Error texts come from the built-in English table, as they would in an English-speaking player.
        load_language_table(0x0409);
        kpl::string_array args;
        for (int i = 0; i < argc; ++i) args.append(kpl::utf8_string_from_utf16(argv[i]));
        if (args.count() < 2 || args[1] == "--help" || args[1] == "-h" || args[1] == "help") {
            print_help();
            return args.count() < 2 ? 2 : 0;
        }
        const inspect_command* command = inspect_command::find(args[1].c_str());
        if (!command) {
            kpl::utf8_string_pow2 message("unknown command: ");
            message << args[1] << " (see --help)";
            write_error(message.c_str());
            return 2;
        }
        inspect_arguments parsed = parse_inspect_arguments(args, 2);
        inspect_output out;
        int status = command->handler(parsed, out);
        if (status == 0) write_out(out.collected());
        return status;
    } catch (const std::exception& e) {
        write_error(*e.what() ? e.what() : exception_id(e));
        return 1;
    }
}
