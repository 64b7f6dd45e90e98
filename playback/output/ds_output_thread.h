#pragma once
// The output thread shared by every DirectSound device object of the process, and the output lock.
//
//     ds_device* d = ds_output_register(device_guid, 3.0, format);   // starts the thread when none runs
//     ...                                                            // d->write_bytes(...) etc.
//     d->close_with_fade(0.1);                                       // the thread frees it later
//     ds_output_wait_idle(5.0);                                      // true once the thread has ended
//
// The thread joins the MMCSS task "Playback" through avrt.dll from the system folder (when present), runs
// at time-critical priority with COM initialised, and every 10 ms services all objects in list order under
// the output lock, removing and freeing those whose service answers false. It ends when it has removed the
// last object; the next registration starts a new one. When COM cannot be initialised every object fails
// with that result. At program exit the thread is stopped and what is left is freed.
//
// Tests may turn the thread off (ds_output_set_manual) and run the passes themselves (ds_output_pass).

#include "foundation/kpl/guid.h"
#include "foundation/tasks/critical_section.h"
#include "playback/output/ds_device.h"

// The lock guarding every device object and the object list.
kpl::critical_section& ds_output_lock() noexcept;

// Creates a device object, adds it to the list and starts the thread when none runs. Throws
// kpl::thread::exception_creation when no thread can be made ("bad allocation" when out of memory); the
// object is then not registered.
ds_device* ds_output_register(const kpl::guid& device, double buffer_seconds, const ds_stream_format& format);

// True while an output thread exists.
bool ds_output_thread_running();
// A new handle with `access` to the running output thread (the caller closes it); null when none runs.
// For measurements (benchmarks).
HANDLE ds_output_thread_duplicate(DWORD access);
// Waits until no output thread exists: true when none is left, false when `seconds` ran out first.
bool ds_output_wait_idle(double seconds);

// For tests: with manual set no thread is started and ds_output_pass services the list once (as the thread
// would, COM aside); answers the number of objects left. Only while no thread runs.
void ds_output_set_manual(bool manual);
uint32_t ds_output_pass();
uint32_t ds_output_object_count();

// Program exit: stops the thread and frees the objects left (called by a static object's destructor).
void ds_output_shutdown() noexcept;
