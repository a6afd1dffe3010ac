#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// Runs an action once a condition holds, checked from a timer. The play path waits in local event
// loops, so what must happen while it waits (the engine opening, the user pressing "中止") has to
// be driven from the event loop, not from the test's sequential code.
inline void whenTrue(QObject *owner, const std::function<bool()> &condition, const std::function<void()> &action)
{
    auto *timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, condition, action] {
        if (!condition())
            return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start(5);
}
