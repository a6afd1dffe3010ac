#pragma once

#include "ChildOfTest.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A PostgreSQL cluster of its own for a test: made with initdb in a temporary folder (as the
// postgres user when the test runs as root), listening on 127.0.0.1 with a free port and on a
// socket in that folder, and ended with the test, also when the test crashes.
class PostgresCluster
{
public:
    PostgresCluster();
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster &) = delete;
    PostgresCluster &operator=(const PostgresCluster &) = delete;

    // Where Debian's server binaries are (initdb, postgres), or empty without them.
    static QString binDir();

    bool start(QString *error);
    void stop();
    bool isRunning() const;

    // postgresql://pelorin@127.0.0.1:PORT/NAME
    QString url(const QString &database = QStringLiteral("postgres")) const;
    // A new empty database; its address, or empty on failure.
    QString createDatabase(const QString &name);
    // Runs one SQL text on a database; false on failure.
    bool execute(const QString &database, const QString &sql, QString *error = nullptr);
    quint16 port() const { return m_port; }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    ChildOfTest m_server;
    quint16 m_port = 0;
};
