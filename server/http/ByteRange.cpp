#include "server/http/ByteRange.h"

#include <algorithm>
#include <strings.h>

namespace server {

namespace {
std::string trim(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool parseDigits(const std::string &text, int64_t *value)
{
    if (text.empty() || text.size() > 18)
        return false;
    int64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    *value = number;
    return true;
}
} // namespace

ByteRange::Kind ByteRange::parse(const std::string &header, int64_t size, int64_t *first, int64_t *length)
{
    const std::string text = trim(header);
    if (text.size() < 6 || strncasecmp(text.c_str(), "bytes=", 6) != 0)
        return Kind::Whole;
    const std::string spec = trim(text.substr(6));
    if (spec.find(',') != std::string::npos)
        return Kind::Whole;
    const size_t dash = spec.find('-');
    if (dash == std::string::npos)
        return Kind::Unsatisfiable;
    const std::string start = trim(spec.substr(0, dash));
    const std::string end = trim(spec.substr(dash + 1));
    int64_t a = 0;
    int64_t b = 0;
    if (start.empty()) {
        // The last b bytes.
        if (!parseDigits(end, &b) || b == 0 || size == 0)
            return Kind::Unsatisfiable;
        *length = std::min(b, size);
        *first = size - *length;
        return Kind::Partial;
    }
    if (!parseDigits(start, &a))
        return Kind::Unsatisfiable;
    if (end.empty())
        b = size - 1;
    else if (!parseDigits(end, &b) || b < a)
        return Kind::Unsatisfiable;
    if (a >= size)
        return Kind::Unsatisfiable;
    b = std::min(b, size - 1);
    *first = a;
    *length = b - a + 1;
    return Kind::Partial;
}

} // namespace server
