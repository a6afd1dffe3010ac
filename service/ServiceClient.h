#pragma once

#include "service/ServiceReply.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class QNetworkAccessManager;
class QNetworkReply;

enum RequestMethod { Get = 0, Post = 1 };

// Hardware address of the first interface that is up, running, can broadcast and multicast and is
// not a loopback; empty when there is none.
QString localMacAddress();

// The one channel to the web service. One manager, one cookie and one User-Agent for the process.
class ServiceClient
{
public:
    // Starts the request and returns its reply (the caller deletes it), or nullptr for an unknown
    // method. Never blocks.
    static QNetworkReply *send(RequestMethod method, const QStringList &parameters, bool isSigned);

    // Sends and waits in a local event loop (other events keep being processed), then decodes.
    static ServiceReply call(RequestMethod method, const QStringList &parameters, bool isSigned);

    // Waits in a local event loop until the reply has finished.
    static void waitForReply(QNetworkReply *reply);
    // Decodes a finished reply into its outcome.
    static ServiceReply decode(QNetworkReply *reply);

    static QNetworkAccessManager *manager();
    static QByteArray cookie();
    static QByteArray userAgent();

    // A request that makes no progress for this long ends as a network failure.
    static int transferTimeout();
    static void setTransferTimeout(int milliseconds);

    // "SN <mac>/<os name><arch word>Pelorin 5.0.8"
    static QByteArray composeUserAgent(const QString &mac, const QString &osName, bool ia32OnWin64);
    // The Windows product name of a reported version, or empty when the version is not known.
    static QString windowsProductName(int major, int minor, bool workstation);

private:
    static QString buildQuery(RequestMethod method, QStringList parameters, bool isSigned);
};
