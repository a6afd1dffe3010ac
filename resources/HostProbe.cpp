#include "resources/HostProbe.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

HostProbe::HostProbe(QObject *parent)
    : QObject(parent)
{
}

HostProbe::~HostProbe()
{
    release();
}

void HostProbe::release()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        delete m_reply;
        m_reply = nullptr;
    }
    m_manager.reset();
}

void HostProbe::finish(int code)
{
    // The first event that decides wins; later ones in the same turn change nothing.
    if (m_decided || !m_loop)
        return;
    m_decided = true;
    m_code = code;
    m_loop->quit();
}

void HostProbe::abort()
{
    finish(Aborted);
}

HostProbe::Outcome HostProbe::run(const QUrl &url, const QByteArray &cookie, quint64 expectedSize,
                                  bool finishEndsProbe)
{
    release();
    m_manager = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(url);
    if (!cookie.isEmpty())
        request.setRawHeader("Cookie", cookie);
    m_reply = m_manager->get(request);

    QEventLoop loop;
    m_loop = &loop;
    m_decided = false;
    m_code = Rejected;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, [this] { finish(Rejected); });
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64) {
        if (received > ByteThreshold)
            finish(ByteThreshold);
    });
    if (finishEndsProbe)
        connect(m_reply, &QNetworkReply::finished, this, [this] { finish(Rejected); });
    timer.start(TimeLimitMs);
    loop.exec();
    m_loop = nullptr;
    m_reply->disconnect(this);

    if (m_code == Aborted)
        return Aborted;
    if (m_code == ByteThreshold) {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toULongLong() == expectedSize) {
            // Not used for playback or download: stop it now rather than let it buffer the file.
            m_reply->abort();
            return Accepted;
        }
    }
    release();
    return Rejected;
}
