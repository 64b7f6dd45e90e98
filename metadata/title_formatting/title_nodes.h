#pragma once
// The compiled form of a title script: a tree of counted nodes, and the run-time helpers that function
// handlers use to evaluate their arguments.
//
// Every node evaluation appends text to an output string and returns a truth value:
//
//     node kind        text                               truth
//     literal          its text                           false (or the truth it was folded with)
//     field            the provider's value, or "?"       the provider's, false for "?"
//     conditional      its child's text, cut back when    the child's
//                      the child is false
//     function         what the handler writes            the handler's
//     unknown function the provider's, or                 the provider's, or false
//                      "[UNKNOWN FUNCTION]"
//     sequence         each child's text in order         true when any child is true
//     empty            nothing                            false
//
// Nodes are shared by counting (a node starts at 0 and each holder raises the count). optimise() folds a
// constant node into a literal carrying its text and truth: "$add(1,2)" becomes the literal "3", "[abc]"
// the empty literal. While folding there is no run context; constant nodes never touch it.
//
// A handler reads its arguments lazily through the helpers below; the number and length forms evaluate
// into the call's output and cut it back, so no temporary string is needed:
//
//     static bool f_twice(const title_call& call) {          // $twice(x): x twice, x's truth
//         uint32_t start = call.output.length();
//         bool truth = title_eval_arg(call, 0, call.output);
//         kpl::utf8_string_pow2 copy(call.output.c_str() + start);
//         call.output.append_string(copy);
//         return truth;
//     }

#include <cstdint>

#include "foundation/kpl/array.h"
#include "foundation/kpl/avl_tree.h"
#include "foundation/kpl/guid.h"
#include "foundation/kpl/refcounted.h"
#include "foundation/kpl/string.h"
#include "metadata/title_formatting/title_provider.h"

class title_node_base;
using title_node_ref = kpl::rc_ptr<title_node_base>;
using title_node_list = kpl::array<title_node_ref>;

// Variables of one run ($put, $puts, $get). Names match without regard to letter case (each code point
// lowered by the system's mapping).
class title_variable_store {
public:
    // The value of a variable, or null when it was never set.
    const kpl::utf8_string* find(const char* name) const;
    // Sets or replaces a variable.
    void set(const char* name, const char* value, uint32_t value_length);

    // Compares two names code point by code point after lowering each one; -1, 0 or 1.
    static int compare_names(const char* a, const char* b);

private:
    struct name_compare {
        int operator()(const kpl::utf8_string_tight& a, const kpl::utf8_string_tight& b) const {
            return compare_names(a.c_str(), b.c_str());
        }
        int operator()(const kpl::utf8_string_tight& a, const char* b) const { return compare_names(a.c_str(), b); }
    };
    kpl::avl_map<kpl::utf8_string_tight, kpl::utf8_string_tight, name_compare> m_values;
};

// The state of one run. Null while constants are folded at compile time.
struct title_eval_context {
    title_variable_store* variables = nullptr;  // created by the first $put / $puts of the run
    title_field_provider* provider = nullptr;   // never null during a run
    title_text_filter* filter = nullptr;        // never null during a run

    ~title_eval_context() { delete variables; }
};

// The single argument of every function handler.
struct title_call {
    const title_node_list& args;
    kpl::utf8_string& output;
    title_eval_context* context;

    uint32_t count() const { return args.count(); }
};

using title_function_handler = bool (*)(const title_call& call);

class title_node_base : public kpl::refcounted {
public:
    // {8CCAF615-48E4-43CA-A8FF-1EB9585322C6}
    static const kpl::guid interface_guid;

    // Appends the node's text to `output` and returns its truth. `context` is null only for constant
    // nodes being folded.
    virtual bool evaluate(title_eval_context* context, kpl::utf8_string& output) const = 0;
    // Whether the node gives the same text and truth in every run.
    virtual bool is_constant() const = 0;
    // Replaces each child by child.optimise().
    virtual void optimise_children() = 0;
    // Writes the node interface GUID.
    virtual void identity(kpl::guid& out) const { out = interface_guid; }
    // A constant node folds into a literal; any other optimises its children and returns itself.
    virtual title_node_ref optimise();
};

class title_node_literal final : public title_node_base {
public:
    title_node_literal(const char* text, uint32_t length, bool truth) : m_text(text, length), m_truth(truth) {}
    bool evaluate(title_eval_context*, kpl::utf8_string& output) const override;
    bool is_constant() const override { return true; }
    void optimise_children() override {}
    title_node_ref optimise() override { return title_node_ref(this); }

private:
    kpl::utf8_string_tight m_text;
    bool m_truth;
};

class title_node_field final : public title_node_base {
public:
    title_node_field(const char* name, uint32_t length) : m_name(name, length) {}
    bool evaluate(title_eval_context* context, kpl::utf8_string& output) const override;
    bool is_constant() const override { return false; }
    void optimise_children() override {}

private:
    kpl::utf8_string_tight m_name;
};

class title_node_conditional final : public title_node_base {
public:
    explicit title_node_conditional(title_node_base* child) : m_child(child) {}
    bool evaluate(title_eval_context* context, kpl::utf8_string& output) const override;
    bool is_constant() const override { return m_child->is_constant(); }
    void optimise_children() override { m_child = m_child->optimise(); }

private:
    title_node_ref m_child;
};

class title_node_function final : public title_node_base {
public:
    title_node_function(title_function_handler handler, bool foldable, title_node_list&& args)
        : m_handler(handler), m_foldable(foldable), m_args(static_cast<title_node_list&&>(args)) {}
    bool evaluate(title_eval_context* context, kpl::utf8_string& output) const override;
    bool is_constant() const override;
    void optimise_children() override;

private:
    title_function_handler m_handler;
    bool m_foldable;
    title_node_list m_args;
};

class title_node_unknown_function final : public title_node_base {
public:
    title_node_unknown_function(const char* name, uint32_t length, title_node_list&& args)
        : m_name(name, length), m_args(static_cast<title_node_list&&>(args)) {}
    bool evaluate(title_eval_context* context, kpl::utf8_string& output) const override;
    bool is_constant() const override { return false; }
    void optimise_children() override;

private:
    kpl::utf8_string_tight m_name;
    title_node_list m_args;
};

class title_node_sequence final : public title_node_base {
public:
    explicit title_node_sequence(title_node_list&& children) : m_children(static_cast<title_node_list&&>(children)) {}
    bool evaluate(title_eval_context* context, kpl::utf8_string& output) const override;
    bool is_constant() const override;
    void optimise_children() override;
    title_node_ref optimise() override;

private:
    title_node_list m_children;
};

class title_node_empty final : public title_node_base {
public:
    bool evaluate(title_eval_context*, kpl::utf8_string&) const override { return false; }
    bool is_constant() const override { return true; }
    void optimise_children() override {}
};

// Compiles `length` bytes of script text into a node tree (not yet optimised). Never fails; a text that
// yields nothing gives an empty sequence; a text whose sections and call arguments nest deeper than
// title_nesting_limit gives one literal node of title_nesting_error instead.
constexpr uint32_t title_nesting_limit = 100;
extern const char title_nesting_error[];   // "[SCRIPT NESTED DEEPER THAN 100 LEVELS]"
title_node_ref title_compile_nodes(const char* text, uint32_t length);

// Argument helpers for handlers.
//
// Evaluates argument `index` with the call's context, appending to `out`; an index at or beyond the
// argument count appends nothing and returns false.
bool title_eval_arg(const title_call& call, uint32_t index, kpl::utf8_string& out);
// The argument's text read as a signed 64-bit decimal (leading white space, optional sign, digits up to
// the first other character; none give 0; beyond the range the nearest limit). The output is left as it
// was. *truth (when given) receives the argument's truth.
int64_t title_eval_arg_number(const title_call& call, uint32_t index, bool* truth = nullptr);
// The number of characters of the argument's text (counting stops at an invalid UTF-8 sequence).
uint32_t title_eval_arg_length(const title_call& call, uint32_t index, bool* truth = nullptr);

// The number rule of title_eval_arg_number over `length` bytes of text.
//     title_parse_number("  -12abc", 8) == -12;  title_parse_number("99999999999999999999", 20) == INT64_MAX
int64_t title_parse_number(const char* text, uint32_t length);
