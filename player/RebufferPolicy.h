#pragma once

// How much must be buffered before playback resumes after a stall. On a link slower than the
// media, resuming after a second of buffer only buys another second of picture: many short
// stalls. Waiting for more, in proportion to how far the link falls short, makes them fewer and
// longer for the same total wait.
class RebufferPolicy
{
public:
    // Seconds of media to have buffered, given the link's rate and the media's own (bytes per
    // second; zero or less when unknown).
    static double resumeSeconds(double linkBytesPerSecond, double mediaBytesPerSecond);

    // A link that keeps up, or an unknown rate: a short wait is enough.
    static constexpr double ShortWaitS = 2.0;
    static constexpr double LongestWaitS = 15.0;
    // How long each stretch of playback between stalls should last on a slow link.
    static constexpr double StretchS = 20.0;
};
