#pragma once
// Title scripts: the text-template language that turns the fields of one track into one line of text.
//
//     %field%        the field's value; "?" (and false) when no provider knows it or it is empty
//     [section]      kept only when something inside it is true (a field with a value, ...)
//     'text'         copied unchanged, nothing inside is special
//     $name(a,b)     a function of the table (any letter case) or one a provider offers
//     %% '' $$       the characters %, ' and $
//
//     title_script_ref script;
//     title_script_compiler::get().compile(script, "[%artist% - ]%title%");
//     kpl::utf8_string_pow2 line;
//     script->run(&fields, line, nullptr);      // "Nina Simone - Sinnerman", or "Sinnerman" without an
//                                               // artist
//
// Compiling never fails: the text is read up to the first construct that cannot be completed (an unclosed
// '%', '[', apostrophe or call, a name not followed directly by '(', a stray '(', ')' or ']', a '$' or an
// apostrophe as the last character) and the rest is ignored. Unknown functions print "[UNKNOWN FUNCTION]".
// Sections and call arguments nest at most 100 levels deep: a deeper script (say 100,000 brackets) prints only
// "[SCRIPT NESTED DEEPER THAN 100 LEVELS]", so compiling and running it stay quick and shallow.
// Line breaks in a script never reach the output. Constant parts are folded once at compile time.
//
// A compiled script never changes, so one script may run on several threads at once into different
// outputs; each run has its own variables ($put, $puts, $get), which are gone when it ends.

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/string.h"
#include "foundation/services/service_base.h"
#include "metadata/title_formatting/title_provider.h"

class title_script : public service_object {
public:
    // {4AC9408E-4D9C-4135-ACB5-2CAB35376FC9}
    static const kpl::guid interface_guid;

    // Empties `output` and writes the script's text for the fields of `provider` into it. The provider's
    // text goes through `filter` (null: appended unchanged). A null provider knows no field.
    virtual void run(title_field_provider* provider, kpl::utf8_string& output, title_text_filter* filter) const = 0;

protected:
    title_script() = default;
    ~title_script() = default;
};

using title_script_ref = kpl::rc_ptr<title_script>;

class title_script_compiler : public service_object {
public:
    // {3F7674AB-044C-4796-8801-6C443C244D88}
    static const kpl::guid class_guid;

    // Compiles `text` (zero-terminated UTF-8) into a new script and stores it in `script`, releasing the
    // script it held. Always returns true.
    virtual bool compile(title_script_ref& script, const char* text) = 0;

    // The program's compiler (a static object; usable during static initialisation too).
    static title_script_compiler& get();

protected:
    title_script_compiler() = default;
    ~title_script_compiler() = default;
};

// The compiled form of `text`.
//     title_compile("$upper(abc)")->run(nullptr, out, nullptr);   // "ABC"
title_script_ref title_compile(const char* text);
