// Placeholder of the single-instance guard, the command-line dispatch and the media keys until they exist:
// every start is the instance of its profile, the own arguments are not acted on and no media key is
// handled.
#include "shell/single_instance.h"

bool single_instance_acquire(instance_record&) { return true; }
void single_instance_release(instance_record& record) { record.window = nullptr; }
void process_own_command_line(instance_record&) {}
bool handle_app_command(LPARAM) { return false; }
