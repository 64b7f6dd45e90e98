#include "shell/running_operations.h"

#include "foundation/services/main_thread.h"
#include "foundation/services/service_registry.h"

namespace {

class operation_registry final : public service_static<running_operation_registry> {
public:
    void register_operation(running_operation* operation) override {
        main_thread::assert_current();
        m_operations.insert(operation);
    }
    void unregister_operation(running_operation* operation) override {
        main_thread::assert_current();
        m_operations.erase(operation);
    }
    void get_names(kpl::string_array& out) override {
        main_thread::assert_current();
        for (running_operation* operation : m_operations) {
            kpl::utf8_string_pow2 name;
            operation->get_name(name);
            out.append(name);
        }
    }
    bool is_empty() override { return m_operations.empty(); }

private:
    std::set<running_operation*> m_operations;
};

service_factory_single<operation_registry, running_operation_registry> g_registry;

}  // namespace

running_operation_registry& running_operation_registry::instance() { return g_registry.instance(); }
