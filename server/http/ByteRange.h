#pragma once

#include <cstdint>
#include <string>

namespace server {

// A Range header against a file, answered as nginx does: one "bytes=" range is honoured; a
// "bytes=" value that does not parse, or a range that starts past the end, is unsatisfiable
// (416); other units and several ranges are ignored (the whole file is sent, as HTTP allows), so
// that no request makes the reply larger than the file.
class ByteRange
{
public:
    enum class Kind { Whole, Partial, Unsatisfiable };
    static Kind parse(const std::string &header, int64_t size, int64_t *first, int64_t *length);
};

} // namespace server
