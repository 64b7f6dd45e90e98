#include "metadata/title_formatting/title_nodes.h"

#include <cstdint>

#include "foundation/kpl/case_mapping.h"
#include "foundation/kpl/utf8.h"

const kpl::guid title_node_base::interface_guid = {
    0x8CCAF615, 0x48E4, 0x43CA, {0xA8, 0xFF, 0x1E, 0xB9, 0x58, 0x53, 0x22, 0xC6}};

// ---- variables ----

int title_variable_store::compare_names(const char* a, const char* b) {
    for (;;) {
        uint32_t ca = 0, cb = 0;
        size_t na = kpl::utf8_decode_char(a, &ca), nb = kpl::utf8_decode_char(b, &cb);
        // An invalid byte stands for itself (and the terminator for 0).
        if (na == 0) ca = static_cast<unsigned char>(*a), na = ca ? 1 : 0;
        if (nb == 0) cb = static_cast<unsigned char>(*b), nb = cb ? 1 : 0;
        ca = kpl::codepoint_to_lower(ca);
        cb = kpl::codepoint_to_lower(cb);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
        a += na;
        b += nb;
    }
}

const kpl::utf8_string* title_variable_store::find(const char* name) const { return m_values.find_value(name); }

void title_variable_store::set(const char* name, const char* value, uint32_t value_length) {
    auto node = m_values.insert(name).node;
    node->value.assign(value, value_length);
}

// ---- generic folding ----

title_node_ref title_node_base::optimise() {
    if (is_constant()) {
        kpl::utf8_string_pow2 text;
        bool truth = evaluate(nullptr, text);
        return title_node_ref(new title_node_literal(text.c_str(), text.length(), truth));
    }
    optimise_children();
    return title_node_ref(this);
}

// ---- evaluation ----

bool title_node_literal::evaluate(title_eval_context*, kpl::utf8_string& output) const {
    output.append(m_text.c_str(), m_text.length());
    return m_truth;
}

bool title_node_field::evaluate(title_eval_context* context, kpl::utf8_string& output) const {
    bool truth = false;
    title_output_sink sink(output, *context->filter);
    if (!context->provider->get_field(sink, m_name.c_str(), m_name.length(), truth)) {
        output.append("?", 1);
        return false;
    }
    return truth;
}

bool title_node_conditional::evaluate(title_eval_context* context, kpl::utf8_string& output) const {
    const uint32_t start = output.length();
    bool truth = m_child->evaluate(context, output);
    if (!truth) output.truncate(start);
    return truth;
}

bool title_node_function::evaluate(title_eval_context* context, kpl::utf8_string& output) const {
    title_call call{m_args, output, context};
    return m_handler(call);
}

bool title_node_function::is_constant() const {
    if (!m_foldable) return false;
    for (const title_node_ref& arg : m_args)
        if (!arg->is_constant()) return false;
    return true;
}

void title_node_function::optimise_children() {
    for (title_node_ref& arg : m_args) arg = arg->optimise();
}

namespace {

// The arguments of an unknown call, each evaluated into its own string.
class evaluated_args final : public title_evaluated_args {
public:
    explicit evaluated_args(uint32_t count) { m_texts.resize_exact(count); }
    uint32_t count() const override { return m_texts.count(); }
    void get(uint32_t index, const char*& text, uint32_t& length) const override {
        text = m_texts[index].c_str();
        length = m_texts[index].length();
    }
    kpl::utf8_string& at(uint32_t index) { return m_texts[index]; }

private:
    kpl::array<kpl::utf8_string_pow2> m_texts;
};

}  // namespace

bool title_node_unknown_function::evaluate(title_eval_context* context, kpl::utf8_string& output) const {
    evaluated_args args(m_args.count());
    for (uint32_t i = 0; i < m_args.count(); ++i) m_args[i]->evaluate(context, args.at(i));
    bool truth = false;
    title_output_sink sink(output, *context->filter);
    if (context->provider->call_function(sink, m_name.c_str(), m_name.length(), args, truth)) return truth;
    output.append("[UNKNOWN FUNCTION]");
    return false;
}

void title_node_unknown_function::optimise_children() {
    for (title_node_ref& arg : m_args) arg = arg->optimise();
}

bool title_node_sequence::evaluate(title_eval_context* context, kpl::utf8_string& output) const {
    bool truth = false;
    for (const title_node_ref& child : m_children)
        if (child->evaluate(context, output)) truth = true;
    return truth;
}

bool title_node_sequence::is_constant() const {
    for (const title_node_ref& child : m_children)
        if (!child->is_constant()) return false;
    return true;
}

void title_node_sequence::optimise_children() {
    for (title_node_ref& child : m_children) child = child->optimise();
}

title_node_ref title_node_sequence::optimise() {
    if (is_constant()) return title_node_base::optimise();
    // Runs of constant children become one literal each, carrying the run's text and truth.
    title_node_list folded;
    kpl::utf8_string_pow2 run_text;
    bool run_truth = false;
    auto flush = [&]() {
        if (!run_text.is_empty() || run_truth)
            folded.append(title_node_ref(new title_node_literal(run_text.c_str(), run_text.length(), run_truth)));
        run_text.reset();
        run_truth = false;
    };
    for (const title_node_ref& child : m_children) {
        if (child->is_constant()) {
            if (child->evaluate(nullptr, run_text)) run_truth = true;
        } else {
            flush();
            folded.append(child->optimise());
        }
    }
    flush();
    m_children = static_cast<title_node_list&&>(folded);
    if (m_children.count() == 1) return m_children[0];
    return title_node_ref(this);
}

// ---- argument helpers ----

bool title_eval_arg(const title_call& call, uint32_t index, kpl::utf8_string& out) {
    if (index >= call.args.count()) return false;
    return call.args[index]->evaluate(call.context, out);
}

int64_t title_parse_number(const char* text, uint32_t length) {
    uint32_t i = 0;
    while (i < length && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < length && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    // The magnitude saturates at 2^63, the largest any result can use.
    const uint64_t limit = static_cast<uint64_t>(INT64_MAX) + 1;
    uint64_t magnitude = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
        unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (magnitude > (limit - digit) / 10) {
            magnitude = limit;
        } else {
            magnitude = magnitude * 10 + digit;
        }
    }
    if (negative) return magnitude >= limit ? INT64_MIN : -static_cast<int64_t>(magnitude);
    return magnitude >= limit ? INT64_MAX : static_cast<int64_t>(magnitude);
}

int64_t title_eval_arg_number(const title_call& call, uint32_t index, bool* truth) {
    const uint32_t start = call.output.length();
    bool t = title_eval_arg(call, index, call.output);
    if (truth) *truth = t;
    const uint32_t end = call.output.length();
    if (end == start) return 0;
    int64_t value = title_parse_number(call.output.c_str() + start, end - start);
    call.output.truncate(start);
    return value;
}

uint32_t title_eval_arg_length(const title_call& call, uint32_t index, bool* truth) {
    const uint32_t start = call.output.length();
    bool t = title_eval_arg(call, index, call.output);
    if (truth) *truth = t;
    const uint32_t end = call.output.length();
    if (end == start) return 0;
    uint32_t count = static_cast<uint32_t>(kpl::utf8_char_count(call.output.c_str() + start, end - start));
    call.output.truncate(start);
    return count;
}
