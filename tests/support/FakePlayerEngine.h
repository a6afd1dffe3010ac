#pragma once

#include "player/PlayerEngine.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

// A scripted engine for widget tests: records every call in order and answers from what the
// test set. State changes happen only when the test emits them, unless auto transitions are on.
class FakePlayerEngine : public PlayerEngine
{
    Q_OBJECT

public:
    struct Call
    {
        QString name;            // "open", "config", "setConfig", ...
        QVariantList arguments;  // as passed: QString url, int id, QString value, int ms ...
        bool operator==(const Call &other) const { return name == other.name && arguments == other.arguments; }
    };

    explicit FakePlayerEngine(QObject *parent = nullptr);

    // Recorded calls.
    QList<Call> calls() const { return m_calls; }
    QStringList callNames() const;
    int callCount(const QString &name) const;
    QList<Call> callsNamed(const QString &name) const;
    // setConfig calls as "id=value", in order.
    QStringList configWrites() const;
    void clearCalls() { m_calls.clear(); }

    // Scripted answers (not recorded).
    void setScriptedState(int state) { m_state = state; }
    void setScriptedDuration(int ms) { m_duration = ms; }
    void setScriptedPosition(int ms) { m_position = ms; }
    void setScriptedConfig(int id, const QString &value) { m_config.insert(id, value); }
    // Applied by open/close/play/pause: Ready->Opening; ->Closing->Ready; ->Starting->Playing;
    // ->Pausing->Paused (each only from the states the real engine accepts).
    void setAutoTransitions(bool on) { m_autoTransitions = on; }

    // Scripted events.
    void emitStateChange(int newState); // from the current state; updates state()
    void emitStateChanged(int oldState, int newState) { emit stateChanged(oldState, newState); }
    void emitOpenSucceeded() { emit openSucceeded(); }
    void emitBufferProgress(int percent) { emit bufferProgress(percent); }

    void open(const QString &url) override;
    void close() override;
    void play() override;
    void pause() override;
    int state() const override { record("state"); return m_state; }
    int duration() const override { record("duration"); return m_duration; }
    int position() const override { record("position"); return m_position; }
    void setPosition(int ms) override { record("setPosition", {ms}); m_position = ms; }
    void setVolume(int volume) override { record("setVolume", {volume}); }
    QString config(int id) const override { record("config", {id}); return m_config.value(id); }
    void setConfig(int id, const QString &value) override
    {
        record("setConfig", {id, value});
        m_config.insert(id, value);
    }

private:
    void record(const char *name, const QVariantList &arguments = {}) const
    {
        m_calls.append({QString::fromLatin1(name), arguments});
    }

    mutable QList<Call> m_calls;
    QHash<int, QString> m_config;
    int m_state = Ready;
    int m_duration = 0;
    int m_position = 0;
    bool m_autoTransitions = false;
};
