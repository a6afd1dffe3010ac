#include "notices/PackageDownload.h"

#include "app/AtomicFile.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

PackageDownload::PackageDownload(QObject *parent) : QObject(parent) {}

PackageDownload::~PackageDownload()
{
    abort();
}

void PackageDownload::abort()
{
    if (m_reply) {
        m_aborted = true;
        m_reply->abort();
    }
}

PackageDownload::Outcome PackageDownload::run(const QUrl &url, const QByteArray &sha256, const QString &path)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(m_timeoutMs);
    m_aborted = false;
    m_reply = manager.get(request);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &PackageDownload::progress);
    QEventLoop loop;
    connect(m_reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();

    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    const bool failed = reply->error() != QNetworkReply::NoError;
    const QByteArray body = failed ? QByteArray() : reply->readAll();
    delete reply;
    if (m_aborted)
        return Outcome::Aborted;
    if (failed)
        return Outcome::NetworkError;
    if (!sha256.isEmpty() && QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() != sha256)
        return Outcome::DigestMismatch;
    // Owner-only: the temporary folder is shared, and the updater installs from this file.
    if (!AtomicFile::write(path, body, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return Outcome::WriteFailed;
    return Outcome::Saved;
}
