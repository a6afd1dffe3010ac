#include "server/http/ParameterText.h"

namespace server {

bool ParameterText::number(const std::string &text, int64_t limit, int64_t *value)
{
    if (text.empty() || text.size() > 19)
        return false;
    int64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        const int digit = c - '0';
        if (limit < digit || result > (limit - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

bool ParameterText::resourceHash(const std::string &text)
{
    if (text.size() != 40)
        return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    }
    return true;
}

bool ParameterText::hexHash(const std::string &text)
{
    if (text.size() != 40)
        return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

} // namespace server
