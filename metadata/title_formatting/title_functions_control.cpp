// Control flow, logic and variables.
//
//     $if(%artist%,yes,no)     "yes" when the artist field has a value; the condition's text never shows
//     $if2(%artist%,unknown)   the artist, or "unknown"
//     $if3(%a%,%b%,none)       the first of a, b that is true, else "none"
//     $select(2,a,b,c)         "b"
//     $and(x,y) $or(x,y)       write nothing; only their truth counts (inside [...] or $if)
//     $put(v,abc)$get(v)       "abcabc";  $puts(v,abc)$get(v)  "abc"
#include <cstdint>
#include <new>

#include "foundation/kpl/exceptions.h"
#include "foundation/kpl/text_compare.h"
#include "metadata/title_formatting/title_functions.h"

namespace title_functions {

namespace {

bool invalid_syntax(const title_call& call, const char* message) {
    call.output.append(message);
    return false;
}

// Evaluates every argument into the output and cuts each back; calls `take` with each truth.
template <class Take>
void eval_all_truths(const title_call& call, Take&& take) {
    const uint32_t start = call.output.length();
    for (uint32_t i = 0; i < call.count(); ++i) {
        take(title_eval_arg(call, i, call.output));
        call.output.truncate(start);
    }
}

}  // namespace

bool f_if(const title_call& call) {
    const uint32_t n = call.count();
    if (n != 2 && n != 3) return invalid_syntax(call, "[INVALID $IF SYNTAX]");
    const uint32_t start = call.output.length();
    const bool condition = title_eval_arg(call, 0, call.output);
    call.output.truncate(start);
    if (condition) return title_eval_arg(call, 1, call.output);
    return n == 3 ? title_eval_arg(call, 2, call.output) : false;
}

bool f_if2(const title_call& call) {
    if (call.count() != 2) return invalid_syntax(call, "[INVALID $IF2 SYNTAX]");
    const uint32_t start = call.output.length();
    if (title_eval_arg(call, 0, call.output)) return true;
    call.output.truncate(start);
    return title_eval_arg(call, 1, call.output);
}

bool f_if3(const title_call& call) {
    const uint32_t n = call.count();
    if (n < 2) return false;
    const uint32_t start = call.output.length();
    for (uint32_t i = 0; i + 1 < n; ++i) {
        if (title_eval_arg(call, i, call.output)) return true;
        call.output.truncate(start);
    }
    return title_eval_arg(call, n - 1, call.output);
}

bool f_iflonger(const title_call& call) {
    if (call.count() != 4) return invalid_syntax(call, "[INVALID $IFLONGER SYNTAX]");
    const int64_t length = title_eval_arg_length(call, 0);
    const int64_t limit = low32(title_eval_arg_number(call, 1));
    return title_eval_arg(call, length > limit ? 2 : 3, call.output);
}

bool f_ifgreater(const title_call& call) {
    if (call.count() != 4) return invalid_syntax(call, "[INVALID $IFGREATER SYNTAX]");
    const int64_t x = title_eval_arg_number(call, 0);
    const int64_t y = title_eval_arg_number(call, 1);
    return title_eval_arg(call, x > y ? 2 : 3, call.output);
}

bool f_ifequal(const title_call& call) {
    if (call.count() != 4) return invalid_syntax(call, "[INVALID $IFEQUAL SYNTAX]");
    const int64_t x = title_eval_arg_number(call, 0);
    const int64_t y = title_eval_arg_number(call, 1);
    return title_eval_arg(call, x == y ? 2 : 3, call.output);
}

bool f_select(const title_call& call) {
    const uint32_t n = call.count();
    if (n < 2) return false;
    const int32_t which = low32(title_eval_arg_number(call, 0));
    if (which <= 0 || static_cast<uint32_t>(which) >= n) return false;
    return title_eval_arg(call, static_cast<uint32_t>(which), call.output);
}

bool f_and(const title_call& call) {
    bool all = true;
    eval_all_truths(call, [&](bool t) { all = all && t; });
    return all;
}

bool f_or(const title_call& call) {
    bool any = false;
    eval_all_truths(call, [&](bool t) { any = any || t; });
    return any;
}

bool f_xor(const title_call& call) {
    bool odd = false;
    eval_all_truths(call, [&](bool t) { odd = odd != t; });
    return odd;
}

bool f_not(const title_call& call) {
    if (call.count() != 1) return false;
    bool truth = false;
    eval_all_truths(call, [&](bool t) { truth = t; });
    return !truth;
}

bool f_greater(const title_call& call) {
    if (call.count() != 2) return false;
    const int64_t x = title_eval_arg_number(call, 0);
    const int64_t y = title_eval_arg_number(call, 1);
    return x > y;
}

bool f_longer(const title_call& call) {
    if (call.count() != 2) return false;
    const uint32_t x = title_eval_arg_length(call, 0);
    const uint32_t y = title_eval_arg_length(call, 1);
    return x > y;
}

namespace {

template <class Equal>
bool compare_texts(const title_call& call, Equal&& equal) {
    if (call.count() != 2) return false;
    kpl::utf8_string_pow2 x, y;
    title_eval_arg(call, 0, x);
    title_eval_arg(call, 1, y);
    if (!equal(x, y)) return false;
    call.output.append("1", 1);
    return true;
}

}  // namespace

bool f_strcmp(const title_call& call) {
    return compare_texts(call, [](const kpl::utf8_string& x, const kpl::utf8_string& y) { return x.equals(y); });
}

bool f_stricmp(const title_call& call) {
    return compare_texts(call, [](const kpl::utf8_string& x, const kpl::utf8_string& y) {
        return kpl::stricmp_utf8(x.c_str(), y.c_str()) == 0;
    });
}

// ---- variables ----

namespace {

bool put_variable(const title_call& call, bool keep_value) {
    if (call.count() != 2) return false;
    kpl::utf8_string_pow2 name;
    title_eval_arg(call, 0, name);
    const uint32_t start = call.output.length();
    const bool truth = title_eval_arg(call, 1, call.output);
    if (call.context) {
        if (!call.context->variables) {
            call.context->variables = new (std::nothrow) title_variable_store();
            if (!call.context->variables) kpl::throw_bad_alloc();
        }
        call.context->variables->set(name.c_str(), call.output.c_str() + start, call.output.length() - start);
    }
    if (!keep_value) call.output.truncate(start);
    return truth;
}

}  // namespace

bool f_put(const title_call& call) { return put_variable(call, true); }

bool f_puts(const title_call& call) { return put_variable(call, false); }

bool f_get(const title_call& call) {
    if (call.count() != 1) return false;
    kpl::utf8_string_pow2 name;
    title_eval_arg(call, 0, name);
    if (!call.context || !call.context->variables) return false;
    const kpl::utf8_string* value = call.context->variables->find(name.c_str());
    if (!value || value->is_empty()) return false;
    call.output.append_string(*value);
    return true;
}

bool f_null(const title_call&) { return false; }

}  // namespace title_functions
