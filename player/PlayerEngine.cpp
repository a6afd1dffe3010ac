#include "player/PlayerEngine.h"

#include <QMetaEnum>

PlayerEngine::PlayerEngine(QObject *parent)
    : QObject(parent)
{
}

PlayerEngine::~PlayerEngine() = default;

QString PlayerEngine::stateName(int state)
{
    const char *key = QMetaEnum::fromType<EngineState>().valueToKey(state);
    return key ? QString::fromLatin1(key) : QString::number(state);
}

// An engine that cannot do more plays from the beginning, at the normal rate, with its own tracks.
void PlayerEngine::openAt(const QString &url, int)
{
    open(url);
}

QList<MediaTrack> PlayerEngine::tracks() const
{
    return {};
}

int PlayerEngine::addSubtitleTrack(const QString &, const QString &, const QString &)
{
    return 0;
}

void PlayerEngine::selectTrack(MediaTrack::Kind, int)
{
}

void PlayerEngine::setSpeed(double)
{
}

double PlayerEngine::speed() const
{
    return 1.0;
}

bool PlayerEngine::saveScreenshot(const QString &)
{
    return false;
}

bool PlayerEngine::isRemote() const
{
    return false;
}

void PlayerEngine::setMediaTitle(const QString &)
{
}
