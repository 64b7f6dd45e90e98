#pragma once
// tag_operations: the service of the tag editing operations, as far as the decoding layer uses it: its
// extension makes info-refresh batches, through which a freshly opened decoder hands the info of its
// file's subsongs to the track handles of that file.
//
//     service_ptr<tag_operations> ops;
//     service_class::get_single(ops);
//     service_ptr<tag_operations_ext> ext;
//     if (!service_query(ops.get(), ext)) throw exception_service_extension_not_found();
//     service_ptr<info_refresh_batch> batch;
//     ext->create_info_refresh_batch(batch);
//     batch->add("file://C:\\a.flac", decoder.get(), abort);   // reads every subsong's info
//     batch->commit();                                          // handles of the file get it

#include <cstdint>

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"
#include "foundation/tasks/abort_signal.h"

class track_info_reader;

class tag_operations : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x64D18B80, 0x5E97, 0x40E4, {0xA3, 0x0C, 0xA4, 0x64, 0x0C, 0x60, 0xBC, 0xE5}};
};

// Counted; one batch per refresh.
class info_refresh_batch : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x3B5A1F0E, 0x7C2D, 0x4A61, {0x9E, 0x48, 0x1D, 0x6F, 0x20, 0xC3, 0x85, 0x7A}};

    // Reads the subsong count, the file stats and the info of every subsong of the file behind `reader`
    // (a decoder just opened for `path`) and keeps each info for the handle of (path, subsong). A
    // ketrel_io::exception_io_data leaves the batch usable.
    virtual void add(const char* path, track_info_reader* reader, const abort_signal& abort) = 0;
    // Gives the kept infos to their track handles.
    virtual void commit() = 0;
};

// Answered by the tag_operations object itself.
class tag_operations_ext : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x265C4ECE, 0xFFB2, 0x4299, {0x91, 0xB5, 0x6C, 0xA6, 0x60, 0x3D, 0xA1, 0x53}};

    virtual void create_info_refresh_batch(service_ptr<info_refresh_batch>& out) = 0;
};
