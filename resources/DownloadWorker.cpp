#include "resources/DownloadWorker.h"

#include "resources/HttpResponseParser.h"

#include <QRegularExpression>
#include <QSslSocket>
#include <QTcpSocket>
#include <QUrl>

// Parented, so that moving the worker to its thread moves them too.
DownloadWorker::DownloadWorker()
    : m_part(this)
    , m_stallTimer(this)
{
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, [this] { end(false); });
}

DownloadWorker::~DownloadWorker()
{
    stop();
}

QByteArray DownloadWorker::requestFor(const QUrl &url, qint64 offset)
{
    QByteArray target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (!target.startsWith('/'))
        target.prepend('/');
    QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: "
                         + url.adjusted(QUrl::RemoveUserInfo).authority(QUrl::FullyEncoded).toLatin1() + "\r\n";
    if (offset > 0)
        request += "Range: bytes=" + QByteArray::number(offset) + "-\r\n";
    // The bytes as the host stores them: a coded answer would not be the file.
    request += "Accept-Encoding: identity\r\nUser-Agent: Mozilla/5.0\r\nConnection: close\r\n\r\n";
    return request;
}

void DownloadWorker::run(const QString &url, const QString &partPath, qint64 offset, qint64 knownSize,
                         int stallLimitMs, quint64 id)
{
    stop();
    m_id = id;
    m_failedHere = false;
    m_answerChecked = false;
    m_offset = offset;
    m_knownSize = knownSize;
    m_expected = 0;
    m_stallLimitMs = stallLimitMs;
    received = 0;
    partSize = offset;
    const QUrl address(url);
    const QString scheme = address.scheme().toLower();
    const bool secure = scheme == QLatin1String("https");
    m_part.setFileName(partPath);
    if ((!secure && scheme != QLatin1String("http")) || address.host().isEmpty()
        || !m_part.open(QIODevice::ReadWrite) || !m_part.seek(offset)) {
        m_part.close();
        emit done(false, m_offset, m_id);
        return;
    }

    m_parser = std::make_unique<HttpResponseParser>(
        [this](const char *data, qint64 size) { return writeBody(data, size); });
    // The request goes out once the connection is up, after the TLS handshake for https.
    const QByteArray request = requestFor(address, offset);
    m_socket = secure ? new QSslSocket(this) : new QTcpSocket(this);
    const auto send = [socket = m_socket, request] { socket->write(request); };
    if (secure)
        connect(static_cast<QSslSocket *>(m_socket), &QSslSocket::encrypted, this, send);
    else
        connect(m_socket, &QTcpSocket::connected, this, send);
    // Bounded, so that a host faster than the disk cannot fill the memory with the file.
    m_socket->setReadBufferSize(ReadBufferSize);
    connect(m_socket, &QTcpSocket::readyRead, this, &DownloadWorker::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &DownloadWorker::onClosed);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            onClosed();
        else
            end(false);
    });
    m_stallTimer.start(m_stallLimitMs);
    if (secure)
        static_cast<QSslSocket *>(m_socket)->connectToHostEncrypted(address.host(), quint16(address.port(443)));
    else
        m_socket->connectToHost(address.host(), quint16(address.port(80)));
}

void DownloadWorker::stop()
{
    release();
    m_parser.reset();
    m_part.close();
}

bool DownloadWorker::checkAnswer()
{
    if (m_answerChecked)
        return true;
    m_answerChecked = true;
    const int status = m_parser->status();
    if (status == 206) {
        // Only the range asked for continues the part file: "bytes <offset>-<last>/<total>".
        static const QRegularExpression form(QStringLiteral("^bytes (\\d+)-(\\d+)/(\\d+|\\*)$"));
        const QRegularExpressionMatch match = form.match(QString::fromLatin1(m_parser->header("Content-Range")));
        if (m_offset == 0 || !match.hasMatch() || match.captured(1).toLongLong() != m_offset)
            return false;
        m_expected = match.captured(3) == QLatin1String("*") ? m_knownSize : match.captured(3).toLongLong();
        return true;
    }
    if (status < 200 || status > 299)
        return true; // not the file; the end fails it
    const QByteArray coding = m_parser->header("Content-Encoding").toLower();
    if (!coding.isEmpty() && coding != "identity")
        return false;
    // An empty answer for a file known to have bytes is not the file, and must not empty the part.
    if (m_parser->state() == HttpResponseParser::State::Done && m_parser->bodyReceived() == 0 && m_knownSize > 0)
        return false;
    if (m_offset > 0) {
        // The host ignored the range: this is the whole file, so the part file starts over.
        if (!m_part.resize(0) || !m_part.seek(0))
            return false;
        m_offset = 0;
        partSize = 0;
    }
    const qint64 length = m_parser->contentLength();
    m_expected = length >= 0 ? length : m_knownSize;
    return true;
}

bool DownloadWorker::writeBody(const char *data, qint64 size)
{
    if (!checkAnswer()) {
        m_failedHere = true;
        return false;
    }
    const int status = m_parser->status();
    // An error page is not a piece of the file: it never reaches the part file.
    if (status < 200 || status > 299)
        return true;
    received += size;
    if (m_part.write(data, size) == size)
        return true;
    m_failedHere = true;
    return false;
}

void DownloadWorker::onReadyRead()
{
    // Through one buffer kept for the whole transfer, straight from the socket to the file.
    if (m_buffer.isEmpty())
        m_buffer.resize(ReadBufferSize);
    bool arrived = false;
    while (m_socket && m_parser->state() != HttpResponseParser::State::Done
           && m_parser->state() != HttpResponseParser::State::Failed) {
        const qint64 count = m_socket->read(m_buffer.data(), m_buffer.size());
        if (count <= 0)
            break;
        arrived = true;
        m_parser->feed(m_buffer.constData(), count);
    }
    if (!m_socket || !arrived)
        return;
    m_stallTimer.start(m_stallLimitMs);
    // Flushed, so that what the counter says has arrived is in the file for whoever reads it.
    if (!m_part.flush())
        m_failedHere = true;
    partSize = m_part.pos();
    if (m_failedHere || m_parser->state() == HttpResponseParser::State::Failed)
        end(false);
    else if (m_parser->state() == HttpResponseParser::State::Done)
        end(true);
}

void DownloadWorker::onClosed()
{
    // What the socket still holds comes first; then the end of the connection may end the body.
    onReadyRead();
    if (m_socket)
        end(m_parser->finish() == HttpResponseParser::State::Done);
}

void DownloadWorker::end(bool succeeded)
{
    if (!m_socket)
        return;
    succeeded = succeeded && !m_failedHere && m_parser->state() == HttpResponseParser::State::Done && checkAnswer();
    // Redirects and other answers that are not the file end as failures.
    const int status = m_parser->status();
    succeeded = succeeded && status >= 200 && status <= 299 && m_part.flush();
    // Checked by size: a connection that ended early must not pass for the whole file.
    if (succeeded && m_expected > 0 && m_part.size() != m_expected)
        succeeded = false;
    partSize = m_part.pos();
    m_part.close();
    release();
    emit done(succeeded, m_offset, m_id);
}

void DownloadWorker::release()
{
    m_stallTimer.stop();
    if (m_socket) {
        // Possibly inside one of its signals.
        disconnect(m_socket, nullptr, this, nullptr);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
}
