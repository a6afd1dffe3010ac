#include "resources/DownloadWorker.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrl>

// Parented, so that moving the worker to its thread moves them too.
DownloadWorker::DownloadWorker()
    : m_part(this)
    , m_stallTimer(this)
{
    m_stallTimer.setSingleShot(true);
    connect(&m_stallTimer, &QTimer::timeout, this, [this] {
        if (m_reply)
            m_reply->abort(); // ends the transfer as failed through onFinished
    });
}

DownloadWorker::~DownloadWorker()
{
    stop();
}

void DownloadWorker::run(const QString &url, const QString &partPath, qint64 offset, qint64 knownSize,
                         int stallLimitMs, quint64 id)
{
    m_id = id;
    release();
    m_stopping = false;
    m_failedHere = false;
    m_answerChecked = false;
    m_offset = offset;
    m_knownSize = knownSize;
    m_expected = 0;
    m_stallLimitMs = stallLimitMs;
    received = 0;
    partSize = offset;
    m_part.setFileName(partPath);
    if (!m_part.open(QIODevice::ReadWrite) || !m_part.seek(offset)) {
        m_part.close();
        emit done(false, m_offset, m_id);
        return;
    }

    QNetworkRequest request{QUrl(url)};
    if (m_offset > 0)
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_offset) + '-');
    m_manager = new QNetworkAccessManager(this);
    m_reply = m_manager->get(request);
    // Bounded, so that a host faster than the disk cannot fill the memory with the file.
    m_reply->setReadBufferSize(ReadBufferSize);
    connect(m_reply, &QNetworkReply::readyRead, this, &DownloadWorker::onReadyRead);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 count, qint64) {
        if (count > received)
            m_stallTimer.start(m_stallLimitMs);
        received = count;
    });
    connect(m_reply, &QNetworkReply::finished, this, &DownloadWorker::onFinished);
    m_stallTimer.start(m_stallLimitMs);
}

void DownloadWorker::stop()
{
    m_stopping = true;
    m_stallTimer.stop();
    // Not inside one of the reply's signals here: both can go at once.
    if (m_reply) {
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->abort();
    }
    delete m_reply;
    m_reply = nullptr;
    delete m_manager;
    m_manager = nullptr;
    m_part.close();
}

bool DownloadWorker::checkAnswer()
{
    if (m_answerChecked)
        return true;
    m_answerChecked = true;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 206) {
        // Only the range asked for continues the part file: "bytes <offset>-<last>/<total>".
        static const QRegularExpression form(QStringLiteral("^bytes (\\d+)-(\\d+)/(\\d+|\\*)$"));
        const QRegularExpressionMatch match =
            form.match(QString::fromLatin1(m_reply->rawHeader("Content-Range").trimmed()));
        if (m_offset == 0 || !match.hasMatch() || match.captured(1).toLongLong() != m_offset)
            return false;
        m_expected = match.captured(3) == QLatin1String("*") ? m_knownSize : match.captured(3).toLongLong();
        return true;
    }
    if (status < 200 || status > 299)
        return true; // not the file; onFinished fails it
    if (m_offset > 0) {
        // The host ignored the range: this is the whole file, so the part file starts over.
        if (!m_part.resize(0) || !m_part.seek(0))
            return false;
        m_offset = 0;
        partSize = 0;
    }
    const QByteArray encoding = m_reply->rawHeader("Content-Encoding").trimmed().toLower();
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    m_expected =
        length.isValid() && (encoding.isEmpty() || encoding == "identity") ? length.toLongLong() : m_knownSize;
    return true;
}

void DownloadWorker::onReadyRead()
{
    if (!m_reply || m_stopping)
        return;
    if (!checkAnswer() || !writeAvailable()) {
        m_failedHere = true;
        m_reply->abort(); // runs onFinished, which reports the failure
    }
}

bool DownloadWorker::writeAvailable()
{
    // Through one buffer kept for the whole transfer: readAll() grew a fresh array for every
    // batch, and faulting in and copying those pages cost most of the download's time.
    if (m_buffer.isEmpty())
        m_buffer.resize(ReadBufferSize);
    bool wrote = false;
    for (;;) {
        const qint64 count = m_reply->read(m_buffer.data(), m_buffer.size());
        if (count <= 0)
            break;
        if (!m_part.isOpen() || m_part.write(m_buffer.constData(), count) != count)
            return false;
        wrote = true;
    }
    if (!wrote)
        return true;
    // Flushed, so that what the counter says has arrived is in the file for whoever reads it.
    if (!m_part.flush())
        return false;
    partSize = m_part.size();
    return true;
}

void DownloadWorker::onFinished()
{
    if (!m_reply || m_stopping)
        return;
    bool succeeded = m_reply->error() == QNetworkReply::NoError && !m_failedHere && checkAnswer();
    if (succeeded)
        succeeded = writeAvailable();
    // Without an error Qt still hands over redirects and other answers that are not the file.
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (succeeded && status.isValid() && (status.toInt() < 200 || status.toInt() > 299))
        succeeded = false;
    // Checked by size: a connection that ended early must not pass for the whole file.
    if (succeeded && m_expected > 0 && m_part.size() != m_expected)
        succeeded = false;
    m_part.close();
    release();
    emit done(succeeded, m_offset, m_id);
}

void DownloadWorker::release()
{
    m_stallTimer.stop();
    if (m_reply) {
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    if (m_manager) {
        m_manager->deleteLater();
        m_manager = nullptr;
    }
}
