#pragma once

#include <memory>

namespace server {

// One verified piece of a fetch, shared by every reader that needs it.
struct FetchPiece
{
    std::shared_ptr<const char> bytes;
    int size = 0;
};

} // namespace server
