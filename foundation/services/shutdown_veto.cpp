#include "foundation/services/shutdown_veto.h"

#include "foundation/services/service_registry.h"

bool shutdown_veto::ask_all() {
    service_iterator it(class_guid);
    service_ref veto;
    while (it.next(veto)) {
        if (!veto.as<shutdown_veto>()->may_exit()) return false;
    }
    return true;
}
