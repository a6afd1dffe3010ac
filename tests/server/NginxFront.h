#pragma once

#include "ChildOfTest.h"

#include <QString>
#include <QStringList>

// nginx from the Debian package in front of service instances, with the shipped configuration
// (server/deploy/) on 127.0.0.1 ports of the test's own. Stopped with this object.
class NginxFront
{
public:
    static bool available();
    // Writes the configuration into dir and starts nginx there; true once the front answers.
    bool start(const QString &dir, const QStringList &instances, quint16 front, quint16 video);
    ~NginxFront() { stop(); }
    void stop() { m_process.stop(); }

private:
    ChildOfTest m_process;
};
