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

// An engine that cannot do more plays from the beginning.
void PlayerEngine::openAt(const QString &url, int)
{
    open(url);
}
