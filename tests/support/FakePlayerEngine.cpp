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
    return callsNamed(name).size();
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

void FakePlayerEngine::record(const QString &name, const QVariantList &arguments) const
{
    m_calls.append({name, arguments});
}

void FakePlayerEngine::emitStateChange(int newState)
{
    const int old = m_state;
    m_state = newState;
    emit stateChanged(old, newState);
}

void FakePlayerEngine::open(const QString &url)
{
    record(QStringLiteral("open"), {url});
    if (m_autoTransitions && m_state == Ready)
        emitStateChange(Opening);
}

void FakePlayerEngine::close()
{
    record(QStringLiteral("close"));
    if (m_autoTransitions && m_state != Ready) {
        emitStateChange(Closing);
        emitStateChange(Ready);
    }
}

void FakePlayerEngine::play()
{
    record(QStringLiteral("play"));
    if (m_autoTransitions && (m_state == Pausing || m_state == Paused)) {
        emitStateChange(Starting);
        emitStateChange(Playing);
    }
}

void FakePlayerEngine::pause()
{
    record(QStringLiteral("pause"));
    if (m_autoTransitions && (m_state == Starting || m_state == Playing)) {
        emitStateChange(Pausing);
        emitStateChange(Paused);
    }
}

int FakePlayerEngine::state() const
{
    record(QStringLiteral("state"));
    return m_state;
}

int FakePlayerEngine::duration() const
{
    record(QStringLiteral("duration"));
    return m_duration;
}

int FakePlayerEngine::position() const
{
    record(QStringLiteral("position"));
    return m_position;
}

void FakePlayerEngine::setPosition(int ms)
{
    record(QStringLiteral("setPosition"), {ms});
    m_position = ms;
}

void FakePlayerEngine::setVolume(int volume)
{
    record(QStringLiteral("setVolume"), {volume});
}

QString FakePlayerEngine::config(int id) const
{
    record(QStringLiteral("config"), {id});
    return m_config.value(id);
}

void FakePlayerEngine::setConfig(int id, const QString &value)
{
    record(QStringLiteral("setConfig"), {id, value});
    m_config.insert(id, value);
}
