#pragma once

#include "resources/BTResourceFile.h"

#include <QObject>

class PlaybackController;
class PlayRequest;
class QTimer;

// Brings a film back after its host went away mid-play: the file is resolved again (its codes
// may have expired), the hosts probed, and the media reopened where it stopped. Tries at once and
// then less and less often; after RetryingForMs the video says the connection is down, and the
// tries go on every LongestDelayMs until GiveUpAfterMs. Play tries at once; another play, or
// stop, ends it.
class PlaybackRecovery : public QObject
{
    Q_OBJECT

public:
    PlaybackRecovery(PlayRequest *request, PlaybackController *playback, QObject *parent = nullptr);

    bool isActive() const { return m_active; }
    // The delays of the tries, for tests: first, doubled up to the longest.
    void setDelays(int firstMs, int longestMs, int retryingForMs);

    static constexpr int FirstDelayMs = 2000;
    static constexpr int LongestDelayMs = 30000;
    static constexpr int RetryingForMs = 60000;
    static constexpr int GiveUpAfterMs = 600000;
    static constexpr int SamePlaceMs = 3000;

private:
    void onLost(int positionMs);
    void tryAgain();
    void scheduleNext();
    void end();

    PlayRequest *m_request;
    PlaybackController *m_playback;
    QTimer *m_timer;
    BTResourceFile m_file;
    bool m_haveFile = false;
    bool m_active = false;
    bool m_trying = false;
    int m_delayMs = 0;
    int m_lostAtMs = -1; // where the last series of tries began
    int m_waitedMs = 0;
    int m_firstDelayMs = FirstDelayMs;
    int m_longestDelayMs = LongestDelayMs;
    int m_retryingForMs = RetryingForMs;
};
