#pragma once

#include "service/ServiceReply.h"
#include "service/ServiceRequest.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class QNetworkAccessManager;
class QNetworkReply;

// Hardware address of the first interface that is up, running, can broadcast and multicast and is
// not a loopback; empty when there is none.
QString localMacAddress();

// The one channel to the web service: one manager, one cookie and one User-Agent for its life.
// The application owns one; whoever talks to the service is handed it.
class ServiceClient : public QObject
{
    Q_OBJECT

public:
    explicit ServiceClient(QObject *parent = nullptr);
    ~ServiceClient() override;

    // Starts the request and returns its reply (the caller deletes it), or nullptr for an unknown
    // method. Never blocks.
    QNetworkReply *send(RequestMethod method, const QStringList &parameters, bool isSigned);
    QNetworkReply *send(const ServiceRequest &request) { return send(request.method, request.parameters, request.isSigned); }

    // Sends and waits in a local event loop (other events keep being processed), then decodes.
    ServiceReply call(RequestMethod method, const QStringList &parameters, bool isSigned);
    ServiceReply call(const ServiceRequest &request) { return call(request.method, request.parameters, request.isSigned); }

    // Waits in a local event loop until the reply has finished.
    static void waitForReply(QNetworkReply *reply);
    // Decodes a finished reply into its outcome.
    static ServiceReply decode(QNetworkReply *reply);

    QNetworkAccessManager *manager() const { return m_manager; }
    QByteArray cookie() const { return m_cookie; }
    QByteArray userAgent() const { return m_userAgent; }

    // A request that makes no progress for this long ends as a network failure.
    int transferTimeout() const { return m_timeoutMs; }
    void setTransferTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    // "SN <mac>/<os name><arch word>Pelorin <version>"
    static QByteArray composeUserAgent(const QString &mac, const QString &osName, bool ia32OnWin64);
    // The Windows product name of a reported version, or empty when the version is not known.
    static QString windowsProductName(int major, int minor, bool workstation);

private:
    static QString buildQuery(RequestMethod method, QStringList parameters, bool isSigned);

    QNetworkAccessManager *m_manager;
    QByteArray m_cookie;
    QByteArray m_userAgent;
    int m_timeoutMs = 30000;
};
