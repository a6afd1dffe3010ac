#include "FakePlayerEngine.h"

FakePlayerEngine::FakePlayerEngine(QObject *parent)
    : PlayerEngine(parent)
{
}

QStringList FakePlayerEngine::callNames() const
{
    QStringList names;
    for (const Call &call : m_calls)
        names << call.name;
    return names;
}

int FakePlayerEngine::callCount(const QString &name) const
{
    return callNames().count(name);
}

QList<FakePlayerEngine::Call> FakePlayerEngine::callsNamed(const QString &name) const
{
    QList<Call> found;
    for (const Call &call : m_calls) {
        if (call.name == name)
            found << call;
    }
    return found;
}

QStringList FakePlayerEngine::configWrites() const
{
    QStringList writes;
    for (const Call &call : callsNamed(QStringLiteral("setConfig")))
        writes << QStringLiteral("%1=%2").arg(call.arguments.at(0).toInt()).arg(call.arguments.at(1).toString());
    return writes;
}

void FakePlayerEngine::emitStateChange(int newState)
{
    const int old = m_state;
    m_state = newState;
    emit stateChanged(old, newState);
}

void FakePlayerEngine::open(const QString &url)
{
    record("open", {url});
    if (m_autoTransitions && m_state == Ready)
        emitStateChange(Opening);
}

void FakePlayerEngine::close()
{
    record("close");
    if (m_autoTransitions && m_state != Ready) {
        emitStateChange(Closing);
        emitStateChange(Ready);
    }
}

void FakePlayerEngine::play()
{
    record("play");
    if (m_autoTransitions && (m_state == Pausing || m_state == Paused)) {
        emitStateChange(Starting);
        emitStateChange(Playing);
    }
}

void FakePlayerEngine::pause()
{
    record("pause");
    if (m_autoTransitions && (m_state == Starting || m_state == Playing)) {
        emitStateChange(Pausing);
        emitStateChange(Paused);
    }
}
