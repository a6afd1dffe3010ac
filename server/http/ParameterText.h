#pragma once

#include <cstdint>
#include <string>

namespace server {

// The checks every route makes of its parameters' text before using it.
class ParameterText
{
public:
    // A decimal number without sign, at most `limit`; false for anything else (overflow included).
    static bool number(const std::string &text, int64_t limit, int64_t *value);
    // 40 letters or digits, as the player sends a resource hash.
    static bool resourceHash(const std::string &text);
    // 40 hexadecimal digits in either case.
    static bool hexHash(const std::string &text);
};

} // namespace server
