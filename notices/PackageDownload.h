#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkReply;

// Fetches an update package with a plain GET (no signature, cookie or agent of the service
// channel), writing it to a part file as it arrives and checking its digest on the way; waits in
// a local event loop meanwhile.
class PackageDownload : public QObject
{
    Q_OBJECT

public:
    enum class Outcome { Saved, NetworkError, DigestMismatch, WriteFailed, Aborted };

    explicit PackageDownload(QObject *parent = nullptr);
    ~PackageDownload() override;

    // Saves the body at path only when it arrived whole and, with a digest given (hexadecimal
    // SHA-256), matches it. The file appears complete or not at all.
    Outcome run(const QUrl &url, const QByteArray &sha256, const QString &path);
    // Ends a running download; run() then returns Aborted.
    void abort();

    // A transfer that makes no progress for this long fails.
    void setTransferTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

signals:
    void progress(qint64 received, qint64 total);

private:
    QPointer<QNetworkReply> m_reply;
    bool m_aborted = false;
    int m_timeoutMs = 30000;
};
