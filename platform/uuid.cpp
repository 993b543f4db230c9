#include "platform/uuid.h"

#include <uuid/uuid.h>

Uuid Uuid::random() {
    Uuid u;
    uuid_t raw;
    uuid_generate_random(raw);
    for (size_t i = 0; i < 16; ++i) u.bytes[i] = raw[i];
    return u;
}

std::string Uuid::string() const {
    uuid_t raw;
    for (size_t i = 0; i < 16; ++i) raw[i] = bytes[i];
    char text[37];
    uuid_unparse_upper(raw, text);
    return std::string(text);
}
