#pragma once
// Test helpers: a field provider over "name=value;name=value" text, and one call that compiles a script and
// gives its text and truth.
//
//     "artist=A;title=T"     two fields; "genre=" is a field without a value (it prints "?")
//
// The provider also offers one function of its own, "myfunc", which writes "myfunc(" + its evaluated
// arguments joined by "|" + ")" and is true.

#include <string>
#include <utility>
#include <vector>

#include "metadata/title_formatting/title_nodes.h"
#include "metadata/title_formatting/title_provider.h"
#include "metadata/title_formatting/title_script.h"

namespace title_test {

class text_fields final : public title_field_provider {
public:
    explicit text_fields(const std::string& text) {
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(';', start);
            if (end == std::string::npos) end = text.size();
            std::string item = text.substr(start, end - start);
            size_t eq = item.find('=');
            if (eq != std::string::npos) m_fields.emplace_back(item.substr(0, eq), item.substr(eq + 1));
            start = end + 1;
        }
    }

    bool get_field(title_output_sink& sink, const char* name, uint32_t length, bool& truth) override {
        for (const auto& field : m_fields) {
            if (!title_name_equals(name, length, field.first.c_str())) continue;
            if (field.second.empty()) return false;
            sink.write(text_kind_meta, field.second.c_str());
            truth = true;
            return true;
        }
        return false;
    }

    bool call_function(title_output_sink& sink, const char* name, uint32_t length, const title_evaluated_args& args,
                       bool& truth) override {
        if (!title_name_equals(name, length, "myfunc")) return false;
        std::string text = "myfunc(";
        for (uint32_t i = 0; i < args.count(); ++i) {
            const char* arg;
            uint32_t arg_length;
            args.get(i, arg, arg_length);
            if (i) text += '|';
            text.append(arg, arg_length);
        }
        text += ')';
        sink.write(text_kind_computed, text.c_str());
        truth = true;
        return true;
    }

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};

struct result {
    std::string text;
    bool truth;
};

// Evaluates the node tree of `script` as compiled, without folding.
inline result evaluate_unfolded(const char* script, title_field_provider& fields) {
    title_node_ref root = title_compile_nodes(script, static_cast<uint32_t>(std::string(script).size()));
    title_eval_context context;
    context.provider = &fields;
    context.filter = &title_default_filter();
    kpl::utf8_string_pow2 out;
    bool truth = root->evaluate(&context, out);
    return {out.c_str(), truth};
}

// Evaluates the folded tree (what title_script::run runs), keeping the truth that run does not return.
inline result evaluate_folded(const char* script, title_field_provider& fields) {
    title_node_ref root = title_compile_nodes(script, static_cast<uint32_t>(std::string(script).size()));
    root = root->optimise();
    title_eval_context context;
    context.provider = &fields;
    context.filter = &title_default_filter();
    kpl::utf8_string_pow2 out;
    bool truth = root->evaluate(&context, out);
    return {out.c_str(), truth};
}

// The text of the script through the public interface.
inline std::string run_script(const char* script, title_field_provider* fields, title_text_filter* filter = nullptr) {
    title_script_ref compiled = title_compile(script);
    kpl::utf8_string_pow2 out("left over");
    compiled->run(fields, out, filter);
    return out.c_str();
}

}  // namespace title_test
