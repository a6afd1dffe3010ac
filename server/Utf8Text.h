#pragma once

#include <string>

namespace server {

// Whether the bytes are UTF-8 as the service accepts it: shortest forms, no surrogates, nothing
// beyond U+10FFFF.
bool isValidUtf8(const std::string &text);

} // namespace server
