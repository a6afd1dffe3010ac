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
