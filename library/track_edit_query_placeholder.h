#pragma once
// track_edit_query: asked by the properties dialog's value editors, before a value cell opens, for an
// object that assists typing a value of the field. The library answers it; it never offers one.
//
//     service_ptr<track_edit_query> query;
//     service_class::get_single(query);
//     service_ref assist;
//     if (query->get_edit_assist("genre", assist)) use(assist);      // false: no assist object

#include "foundation/kpl/guid.h"
#include "foundation/services/service_base.h"

class track_edit_query : public service_object {
public:
    static constexpr kpl::guid class_guid = {0x4B976E34, 0xF05A, 0x4DA4, {0xAD, 0x65, 0x71, 0x9C, 0xDF, 0x0D, 0xED, 0xAE}};

    // False, `out` left empty, when there is no assist object for the field.
    virtual bool get_edit_assist(const char* field_name, service_ref& out) = 0;
};
