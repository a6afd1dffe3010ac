#include "notices/PackageDownload.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>

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
    // The body goes straight to a part file beside the target as it arrives (a package can be
    // large), which becomes the package only once it is whole and its digest matches.
    QSaveFile file(path);
    // Unbuffered, so that a short write (a full disk) shows at once. Owner-only: the temporary
    // folder is shared, and the updater installs from this file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return Outcome::WriteFailed;
    }
    QCryptographicHash digest(QCryptographicHash::Sha256);
    bool writeFailed = false;

    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(m_timeoutMs);
    m_aborted = false;
    m_reply = manager.get(request);
    QNetworkReply *reply = m_reply;
    connect(reply, &QNetworkReply::downloadProgress, this, &PackageDownload::progress);
    const auto drain = [&] {
        const QByteArray chunk = reply->readAll();
        if (chunk.isEmpty() || writeFailed || reply->error() != QNetworkReply::NoError)
            return;
        digest.addData(chunk);
        if (file.write(chunk) != chunk.size()) {
            writeFailed = true;
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::readyRead, this, drain);
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    drain();

    m_reply = nullptr;
    const bool failed = reply->error() != QNetworkReply::NoError;
    delete reply;
    Outcome outcome = Outcome::Saved;
    if (m_aborted)
        outcome = Outcome::Aborted;
    else if (writeFailed)
        outcome = Outcome::WriteFailed;
    else if (failed)
        outcome = Outcome::NetworkError;
    else if (!sha256.isEmpty() && digest.result().toHex() != sha256)
        outcome = Outcome::DigestMismatch;
    if (outcome != Outcome::Saved) {
        file.cancelWriting();
        return outcome;
    }
    return file.commit() ? Outcome::Saved : Outcome::WriteFailed;
}
