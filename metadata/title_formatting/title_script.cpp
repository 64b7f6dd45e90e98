#include "metadata/title_formatting/title_script.h"

#include <cstring>

#include "foundation/services/service_registry.h"
#include "metadata/title_formatting/title_function_table.h"
#include "metadata/title_formatting/title_nodes.h"

const kpl::guid title_script::interface_guid = {
    0x4AC9408E, 0x4D9C, 0x4135, {0xAC, 0xB5, 0x2C, 0xAB, 0x35, 0x37, 0x6F, 0xC9}};
const kpl::guid title_script_compiler::class_guid = {
    0x3F7674AB, 0x044C, 0x4796, {0x88, 0x01, 0x6C, 0x44, 0x3C, 0x24, 0x4D, 0x88}};

namespace {

class compiled_script final : public title_script {
public:
    static void* operator new(size_t size) { return kpl::refcounted::operator new(size); }
    static void operator delete(void* p) noexcept { kpl::refcounted::operator delete(p); }

    uint32_t release() override {
        uint32_t n = static_cast<uint32_t>(__atomic_sub_fetch(&m_count, 1, __ATOMIC_ACQ_REL));
        if (n == 0) delete this;
        return n;
    }
    uint32_t add_ref() override { return static_cast<uint32_t>(__atomic_add_fetch(&m_count, 1, __ATOMIC_ACQ_REL)); }
    bool query(service_ref& out, const kpl::guid& guid) override {
        if (guid != interface_guid) return false;
        out.assign(this);
        return true;
    }

    void run(title_field_provider* provider, kpl::utf8_string& output, title_text_filter* filter) const override {
        output.truncate(0);
        if (!m_root) return;
        title_eval_context context;
        context.provider = provider ? provider : &title_empty_provider();
        context.filter = filter ? filter : &title_default_filter();
        m_root->evaluate(&context, output);
        // The context's destructor frees the run's variables.
    }

    void set_root(title_node_ref&& root) { m_root = static_cast<title_node_ref&&>(root); }

private:
    ~compiled_script() = default;

    volatile long m_count = 0;
    title_node_ref m_root;
};

class compiler_object final : public title_script_compiler {
public:
    compiler_object() {
        // Fills the hash column of the function table.
        title_function_table();
    }

    uint32_t release() override { return 1; }
    uint32_t add_ref() override { return 1; }
    bool query(service_ref& out, const kpl::guid& guid) override {
        if (guid != class_guid) return false;
        out.assign(this);
        return true;
    }

    bool compile(title_script_ref& script, const char* text) override {
        title_script_ref fresh(new compiled_script());
        if (!text) text = "";
        title_node_ref root = title_compile_nodes(text, static_cast<uint32_t>(std::strlen(text)));
        static_cast<compiled_script*>(fresh.get())->set_root(root->optimise());
        script = fresh;
        return true;
    }
};

}  // namespace

title_script_compiler& title_script_compiler::get() {
    static compiler_object compiler;
    return compiler;
}

namespace {

// The compiler (and with it the function table's hashes) is made during static initialisation.
title_script_compiler& g_compiler_at_startup = title_script_compiler::get();

// Registered with the service registry; the object itself lives in title_script_compiler::get(), so code
// that compiles during static initialisation finds it made.
class compiler_factory final : public service_factory {
public:
    compiler_factory() noexcept : service_factory(title_script_compiler::class_guid, service_registration_list()) {}
    void create_instance(service_ref& out) override { out.assign(&title_script_compiler::get()); }
};

compiler_factory g_compiler_factory;

}  // namespace

title_script_ref title_compile(const char* text) {
    title_script_ref script;
    title_script_compiler::get().compile(script, text);
    return script;
}
