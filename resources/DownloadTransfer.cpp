#include "resources/DownloadTransfer.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <cmath>

namespace {
// Part files that a running transfer of this process writes. A second download of the same file
// must neither unlink the first one's part file nor have it renamed away under its feet.
QSet<QString> &partsInUse()
{
    static QSet<QString> paths;
    return paths;
}

QString pathKey(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
} // namespace

DownloadTransfer::DownloadTransfer(const BTResourceFile &file, const QString &directory, QObject *parent)
    : QObject(parent)
    , m_file(file)
    , m_finalPath(QDir(directory).filePath(safeFileName(file)))
{
    m_stallTimer.setSingleShot(true);
    connect(&m_rateTimer, &QTimer::timeout, this, &DownloadTransfer::showRate);
    connect(&m_stallTimer, &QTimer::timeout, this, [this] {
        if (m_reply)
            m_reply->abort(); // ends the transfer as failed through onFinished
    });
}

DownloadTransfer::~DownloadTransfer()
{
    // Whoever listens may be half destroyed already (the row owns its transfer). What arrived
    // stays in the part file, to be resumed after the next start.
    if (m_state == State::Running) {
        blockSignals(true);
        if (m_reply)
            m_reply->abort(); // ends the transfer as failed through onFinished
        if (m_state == State::Running)
            end(false);
        m_part.close();
    }
}

void DownloadTransfer::start()
{
    if (m_state == State::Idle)
        begin(false);
}

void DownloadTransfer::resume(const BTResourceFile &resolved)
{
    if (!canResume())
        return;
    m_file.downloadUrl = resolved.downloadUrl;
    m_file.size = resolved.size;
    begin(true);
}

void DownloadTransfer::begin(bool resuming)
{
    m_state = State::Running;
    m_failedHere = false;
    m_answerChecked = false;
    m_offset = 0;
    m_expected = 0;
    if (partsInUse().contains(pathKey(partPath())) || !openPart(resuming)) {
        m_part.close();
        end(false);
        return;
    }
    partsInUse().insert(pathKey(partPath()));
    m_ownsPart = true;

    m_offset = m_part.size();
    const qint64 known = knownSize();
    if (m_offset > 0 && known > 0 && m_offset >= known) {
        if (m_offset == known) {
            // Everything arrived before the interruption; only the rename was missing.
            m_expected = known;
            reportProgress();
            m_part.close();
            QFile::remove(m_finalPath);
            end(QFile::rename(partPath(), m_finalPath));
            return;
        }
        // Longer than the file: not a beginning of it.
        if (!m_part.resize(0) || !m_part.seek(0)) {
            m_part.close();
            end(false);
            return;
        }
        m_offset = 0;
    }

    QNetworkRequest request{QUrl(m_file.downloadUrl)};
    if (m_offset > 0)
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_offset) + '-');
    m_manager = new QNetworkAccessManager(this);
    m_reply = m_manager->get(request);
    // Bounded, so that a host faster than the disk cannot fill the memory with the file.
    m_reply->setReadBufferSize(ReadBufferSize);
    m_clock.start();
    m_previousMs = 0;
    m_previousReceived = 0;
    m_received = 0;
    m_rateTimer.start(RateIntervalMs);
    m_stallTimer.start(m_stallLimitMs);
    connect(m_reply, &QNetworkReply::readyRead, this, &DownloadTransfer::onReadyRead);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &DownloadTransfer::onDownloadProgress);
    connect(m_reply, &QNetworkReply::finished, this, &DownloadTransfer::onFinished);
}

bool DownloadTransfer::openPart(bool resuming)
{
    const QFileInfo existing(partPath());
    if (!resuming || (existing.exists() && (existing.isSymLink() || !existing.isFile()))) {
        // A stale part file (or a link left in its place) goes first; NewOnly then makes sure the
        // bytes land in a file of our own and not appended to whatever could not be removed.
        QFile::remove(partPath());
        m_part.setFileName(partPath());
        return m_part.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    }
    m_part.setFileName(partPath());
    return m_part.open(QIODevice::ReadWrite) && m_part.seek(m_part.size());
}

bool DownloadTransfer::checkAnswer()
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
        m_expected = match.captured(3) == QLatin1String("*") ? knownSize() : match.captured(3).toLongLong();
        return true;
    }
    if (status < 200 || status > 299)
        return true; // not the file; onFinished fails it
    if (m_offset > 0) {
        // The host ignored the range: this is the whole file, so the part file starts over.
        if (!m_part.resize(0) || !m_part.seek(0))
            return false;
        m_offset = 0;
    }
    const QByteArray encoding = m_reply->rawHeader("Content-Encoding").trimmed().toLower();
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    m_expected = length.isValid() && (encoding.isEmpty() || encoding == "identity") ? length.toLongLong() : knownSize();
    return true;
}

void DownloadTransfer::cancel()
{
    switch (m_state) {
    case State::Succeeded:
    case State::Cancelled:
        return;
    case State::Running:
        if (m_reply)
            m_reply->abort(); // ends the transfer as failed through onFinished
        if (m_state == State::Running) {
            emit speedText(QString());
            m_part.close();
            end(false);
        }
        break;
    case State::Idle:
    case State::Failed:
        break;
    }
    m_part.close();
    // A part file that a later download of the same file is writing is not ours any more.
    if (!partsInUse().contains(pathKey(partPath())))
        QFile::remove(partPath());
    m_state = State::Cancelled;
}

qint64 DownloadTransfer::knownSize() const
{
    // The resolution's size is the one the host was probed against; the file list's otherwise.
    return qint64(m_file.size ? m_file.size : m_file.fileSize);
}

double DownloadTransfer::partPercent() const
{
    const qint64 length = QFileInfo(partPath()).size();
    if (m_file.fileSize == 0 || length <= 0)
        return 0;
    return double(length) / double(m_file.fileSize) * 100.0;
}

QString DownloadTransfer::formatSpeed(qint64 bytesPerSecond)
{
    double number = 0;
    QLatin1String unit("B/S");
    if (bytesPerSecond <= 0) {
        number = 0;
    } else if (bytesPerSecond < 1024) {
        number = double(bytesPerSecond);
    } else if (bytesPerSecond < 1048576) {
        number = double(bytesPerSecond) / 1024;
        unit = QLatin1String("KB/S");
    } else if (bytesPerSecond < 1073741824) {
        number = double(bytesPerSecond) / 1048576;
        unit = QLatin1String("MB/S");
    } else {
        number = double(bytesPerSecond) / 1073741824;
        unit = QLatin1String("GB/S");
    }
    // Dropped, not rounded, so that 1023.99 KB/S never reads as 1024.0.
    return QString::number(std::floor(number * 10) / 10, 'f', 1) + unit;
}

QString DownloadTransfer::safeFileName(const BTResourceFile &file)
{
    const auto clean = [](const QString &text) {
        const QString forbidden = QStringLiteral("\\/:*?\"<>|");
        QString out;
        out.reserve(text.size());
        for (const QChar c : text) {
            if (!forbidden.contains(c) && c.category() != QChar::Other_Control)
                out.append(c);
        }
        return out;
    };

    const QString name = clean(file.fileName);
    if (!name.isEmpty() && name != QLatin1String(".") && name != QLatin1String(".."))
        return name;
    QString hash = clean(file.resourceHash);
    if (hash.isEmpty() || hash == QLatin1String(".") || hash == QLatin1String(".."))
        hash = QStringLiteral("video");
    return hash + QLatin1Char('_') + QString::number(file.resourceIndex) + QStringLiteral(".mp4");
}

void DownloadTransfer::onReadyRead()
{
    if (m_state != State::Running || !m_reply)
        return;
    if (!checkAnswer() || !writeAvailable()) {
        m_failedHere = true;
        m_reply->abort(); // runs onFinished, which ends the transfer as failed
    }
}

void DownloadTransfer::onDownloadProgress(qint64 received, qint64 total)
{
    Q_UNUSED(total)
    if (m_state != State::Running)
        return;
    if (received > m_received)
        m_stallTimer.start(m_stallLimitMs);
    m_received = received;
}

void DownloadTransfer::showRate()
{
    // Over the last interval rather than between two reports, which can be a millisecond apart
    // and stop coming altogether when the link stalls.
    const qint64 now = m_clock.elapsed();
    const qint64 interval = now - m_previousMs;
    if (m_state != State::Running || interval <= 0)
        return;
    emit speedText(formatSpeed((m_received - m_previousReceived) * 1000 / interval));
    m_previousMs = now;
    m_previousReceived = m_received;
}

void DownloadTransfer::onFinished()
{
    if (m_state != State::Running || !m_reply)
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

    emit speedText(QString());
    m_part.close();
    if (succeeded) {
        // The finished download replaces whatever had its name.
        QFile::remove(m_finalPath);
        succeeded = QFile::rename(partPath(), m_finalPath);
    }
    end(succeeded);
}

bool DownloadTransfer::writeAvailable()
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
    if (!m_part.flush())
        return false;
    reportProgress();
    return true;
}

void DownloadTransfer::reportProgress()
{
    if (m_file.fileSize == 0)
        return;
    const double percent = double(m_part.size()) / double(m_file.fileSize) * 100.0;
    emit progressText(QString::number(percent, 'f', 2) + QLatin1Char('%'));
    emit progress(percent);
}

void DownloadTransfer::end(bool succeeded)
{
    releaseReply();
    if (m_ownsPart) {
        partsInUse().remove(pathKey(partPath()));
        m_ownsPart = false;
    }
    m_state = succeeded ? State::Succeeded : State::Failed;
    emit finished(succeeded);
}

void DownloadTransfer::releaseReply()
{
    m_rateTimer.stop();
    m_stallTimer.stop();
    if (m_reply) {
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    if (m_manager) {
        m_manager->deleteLater();
        m_manager = nullptr;
    }
}
