#pragma once

#include <thread>

// Loads the application font's face and its fallback for Han script on a thread of its own while
// the start-up waits for other things (the lock, the update check), so that the first text the
// window lays out does not wait for fontconfig to read its configuration and list every font
// (over 10 ms of a start). The font database is shared between threads; what stays per thread
// is cheap to make again. Joined when it goes, which must be before the application object.
class FontWarmUp
{
public:
    FontWarmUp();
    ~FontWarmUp();

    FontWarmUp(const FontWarmUp &) = delete;
    FontWarmUp &operator=(const FontWarmUp &) = delete;

private:
    std::thread m_thread;
};
