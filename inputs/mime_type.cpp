#include "inputs/mime_type.h"

#include <cstring>

#include "foundation/kpl/text_compare.h"

bool mime_type_matches(const char* content_type, const char* candidate) {
    size_t length = 0;
    while (content_type[length] != 0 && content_type[length] != ';') ++length;
    if (content_type[length] == ';') {
        while (length > 0 && (content_type[length - 1] == ' ' || content_type[length - 1] == '\t')) --length;
    }
    return kpl::stricmp_ascii_counted(content_type, length, candidate, std::strlen(candidate)) == 0;
}
