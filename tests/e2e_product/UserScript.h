#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// A user's steps against the running program: each step waits until what the user would see is
// there, then acts. Steps run from a polling timer, so they keep running while the program waits
// in a modal dialog or a local event loop. Actions must not block: clicks are posted (see later()).
// A step that does not become ready in time prints what was on screen and ends the process.
class UserScript : public QObject
{
    Q_OBJECT

public:
    explicit UserScript(QObject *parent = nullptr);

    void step(const QString &name, std::function<bool()> ready, std::function<void()> act = {},
              int timeoutMs = 20000);
    void start();
    bool finished() const { return m_next >= m_steps.size(); }

    // Runs fn from the event loop, as a user's input arrives.
    static void later(std::function<void()> fn);
    // Ends the process at once with a message; what is on screen is described first.
    [[noreturn]] static void fail(const QString &message);
    static QString describeScreen();

private:
    void poll();

    struct Step
    {
        QString name;
        std::function<bool()> ready;
        std::function<void()> act;
        int timeoutMs;
    };
    QList<Step> m_steps;
    int m_next = 0;
    bool m_polling = false;
    QElapsedTimer m_stepClock;
    QTimer m_timer;
};
