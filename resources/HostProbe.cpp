#include "resources/HostProbe.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>

HostProbe::HostProbe(QObject *parent)
    : QObject(parent)
{
    m_limit.setSingleShot(true);
    m_lateLimit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, &HostProbe::onTimeLimit);
    connect(&m_lateLimit, &QTimer::timeout, this, [this] {
        if (m_phase == Phase::Late)
            decideLate(false);
        else
            finish(Rejected);
    });
}

HostProbe::~HostProbe()
{
    release();
}

void HostProbe::release()
{
    m_limit.stop();
    m_lateLimit.stop();
    m_phase = Phase::Idle;
    delete m_connection;
    m_connection = nullptr;
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

bool HostProbe::lengthMatches() const
{
    // A missing header never matches.
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    return length.isValid() && length.toULongLong() == m_expectedSize;
}

void HostProbe::onProgress(qint64 received)
{
    if (received <= ByteThreshold)
        return;
    if (m_phase == Phase::Late)
        decideLate(lengthMatches());
    else
        finish(ByteThreshold);
}

void HostProbe::onReplyFinished()
{
    m_replyFinished = true;
    if (m_phase == Phase::Late)
        decideLate(false);
    else if (m_finishEndsProbe)
        finish(Rejected);
}

void HostProbe::onTimeLimit()
{
    // Too slow for the limit, but a reply that is still open may yet answer within LateLimitMs.
    finish(m_replyFinished ? Rejected : Late);
}

void HostProbe::decideLate(bool correct)
{
    m_lateLimit.stop();
    m_phase = Phase::Idle;
    m_reply->disconnect(this);
    // Not used for the transfer: stop it rather than let it buffer.
    m_reply->abort();
    if (!correct) {
        // Called from the reply's own signals: it and its manager go once they have returned.
        m_reply = nullptr;
        m_manager.release()->deleteLater();
    }
    emit lateAnswer(correct);
}

HostProbe::Outcome HostProbe::run(const QUrl &url, const QByteArray &cookie, quint64 expectedSize,
                                  bool finishEndsProbe)
{
    release();
    m_expectedSize = expectedSize;
    m_finishEndsProbe = finishEndsProbe;
    m_replyFinished = false;
    m_manager = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(url);
    if (!cookie.isEmpty())
        request.setRawHeader("Cookie", cookie);
    m_reply = m_manager->get(request);

    // The limit runs from the moment the connection is up, so that the round trips of the
    // handshake do not count against a distant host; until then the wait is ConnectLimitMs.
    m_connection = new QTcpSocket(this);
    const auto connectionKnown = [this] {
        m_limit.start(TimeLimitMs);
        m_connection->disconnect(this);
    };
    connect(m_connection, &QTcpSocket::connected, this, connectionKnown);
    connect(m_connection, &QTcpSocket::errorOccurred, this, connectionKnown);
    m_connection->connectToHost(url.host(), quint16(url.port(80)));

    QEventLoop loop;
    m_loop = &loop;
    m_decided = false;
    m_code = Rejected;
    m_phase = Phase::Running;
    connect(m_reply, &QNetworkReply::finished, this, &HostProbe::onReplyFinished);
    // Only the count matters: what arrives is dropped, so that no trial holds the file. Counted
    // here rather than from downloadProgress, which Qt sends at most every 100 ms until the end.
    m_received = 0;
    connect(m_reply, &QNetworkReply::readyRead, this, [this] {
        const qint64 skipped = m_reply->skip(m_reply->bytesAvailable());
        if (skipped > 0)
            m_received += skipped;
        onProgress(m_received);
    });
    m_limit.start(ConnectLimitMs);
    m_lateLimit.start(LateLimitMs);
    loop.exec();
    m_loop = nullptr;
    m_limit.stop();
    delete m_connection;
    m_connection = nullptr;

    if (m_code == Aborted) {
        release();
        return Aborted;
    }
    if (m_code == Late) {
        m_phase = Phase::Late;
        return Late;
    }
    if (m_code == ByteThreshold && lengthMatches()) {
        m_lateLimit.stop();
        m_phase = Phase::Idle;
        m_reply->disconnect(this);
        // Not used for playback or download: stop it now rather than let it buffer the file.
        m_reply->abort();
        return Accepted;
    }
    release();
    return Rejected;
}
