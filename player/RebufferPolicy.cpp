#include "player/RebufferPolicy.h"

#include <algorithm>

double RebufferPolicy::resumeSeconds(double linkBytesPerSecond, double mediaBytesPerSecond)
{
    if (!(linkBytesPerSecond > 0) || !(mediaBytesPerSecond > 0) || linkBytesPerSecond >= mediaBytesPerSecond)
        return ShortWaitS;
    // While playing, the buffer drains by (1 - link/media) seconds each second: a buffer of
    // StretchS times that lasts StretchS seconds.
    const double shortfall = 1.0 - linkBytesPerSecond / mediaBytesPerSecond;
    return std::clamp(StretchS * shortfall, ShortWaitS, LongestWaitS);
}
