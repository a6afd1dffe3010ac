#include "resources/DownloadTransfer.h"

#include "resources/DownloadWorker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QThread>

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
    connect(&m_rateTimer, &QTimer::timeout, this, &DownloadTransfer::showRate);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] {
        if (m_worker)
            reportProgress(m_worker->partSize);
    });
}

DownloadTransfer::~DownloadTransfer()
{
    // Whoever listens may be half destroyed already (the row owns its transfer). What arrived
    // stays in the part file, to be resumed after the next start.
    blockSignals(true);
    if (m_state == State::Running)
        end(false);
    if (m_thread) {
        m_thread->quit();
        m_thread->wait();
        delete m_worker;
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
    m_offset = 0;
    m_reported = -1;
    QFile part(partPath());
    if (partsInUse().contains(pathKey(partPath())) || !openPart(part, resuming)) {
        part.close();
        end(false);
        return;
    }
    partsInUse().insert(pathKey(partPath()));
    m_ownsPart = true;

    m_offset = part.size();
    const qint64 known = knownSize();
    if (m_offset > 0 && known > 0 && m_offset >= known) {
        if (m_offset == known) {
            // Everything arrived before the interruption; only the rename was missing.
            reportProgress(known);
            part.close();
            QFile::remove(m_finalPath);
            end(QFile::rename(partPath(), m_finalPath));
            return;
        }
        // Longer than the file: not a beginning of it.
        if (!part.resize(0) || !part.seek(0)) {
            part.close();
            end(false);
            return;
        }
        m_offset = 0;
    }

    // The worker opens the part file again on its own thread.
    part.close();
    if (!m_thread) {
        m_thread = new QThread(this);
        m_thread->setObjectName(QStringLiteral("download"));
        m_worker = new DownloadWorker;
        m_worker->moveToThread(m_thread);
        connect(m_worker, &DownloadWorker::done, this, &DownloadTransfer::onWorkerDone);
        m_thread->start();
    }
    const quint64 id = ++m_run;
    DownloadWorker *worker = m_worker;
    const QString url = m_file.downloadUrl, path = partPath();
    const qint64 offset = m_offset;
    const int stallLimit = m_stallLimitMs;
    worker->received = 0;
    worker->partSize = offset;
    QMetaObject::invokeMethod(
        worker, [=] { worker->run(url, path, offset, known, stallLimit, id); }, Qt::QueuedConnection);
    m_clock.start();
    m_previousMs = 0;
    m_previousReceived = 0;
    m_rateTimer.start(RateIntervalMs);
    m_progressTimer.start(ProgressIntervalMs);
}

bool DownloadTransfer::openPart(QFile &part, bool resuming)
{
    const QFileInfo existing(partPath());
    if (!resuming || (existing.exists() && (existing.isSymLink() || !existing.isFile()))) {
        // A stale part file (or a link left in its place) goes first; NewOnly then makes sure the
        // bytes land in a file of our own and not appended to whatever could not be removed.
        QFile::remove(partPath());
        return part.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    }
    return part.open(QIODevice::ReadWrite) && part.seek(part.size());
}

void DownloadTransfer::cancel()
{
    switch (m_state) {
    case State::Succeeded:
    case State::Cancelled:
        return;
    case State::Running:
        emit speedText(QString());
        end(false);
        break;
    case State::Idle:
    case State::Failed:
        break;
    }
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

void DownloadTransfer::showRate()
{
    // Over the last interval rather than between two reports, which can be a millisecond apart
    // and stop coming altogether when the link stalls.
    const qint64 now = m_clock.elapsed();
    const qint64 interval = now - m_previousMs;
    if (m_state != State::Running || interval <= 0 || !m_worker)
        return;
    const qint64 received = m_worker->received;
    emit speedText(formatSpeed((received - m_previousReceived) * 1000 / interval));
    m_previousMs = now;
    m_previousReceived = received;
}

void DownloadTransfer::onWorkerDone(bool succeeded, qint64 offset, quint64 id)
{
    if (m_state != State::Running || id != m_run)
        return;
    m_offset = offset;
    reportProgress(m_worker->partSize);
    emit speedText(QString());
    if (succeeded) {
        // The finished download replaces whatever had its name.
        QFile::remove(m_finalPath);
        succeeded = QFile::rename(partPath(), m_finalPath);
    }
    end(succeeded);
}

void DownloadTransfer::reportProgress(qint64 length)
{
    // Only when it grew, so that the row's text never goes back or repeats itself.
    if (m_file.fileSize == 0 || length <= m_reported)
        return;
    m_reported = length;
    const double percent = double(length) / double(m_file.fileSize) * 100.0;
    emit progressText(QString::number(percent, 'f', 2) + QLatin1Char('%'));
    emit progress(percent);
}

void DownloadTransfer::end(bool succeeded)
{
    stopWorker();
    if (m_ownsPart) {
        partsInUse().remove(pathKey(partPath()));
        m_ownsPart = false;
    }
    m_state = succeeded ? State::Succeeded : State::Failed;
    emit finished(succeeded);
}

void DownloadTransfer::stopWorker()
{
    m_rateTimer.stop();
    m_progressTimer.stop();
    // Waits until the worker has let go of the part file, which may be removed or resumed next.
    if (m_worker) {
        DownloadWorker *worker = m_worker;
        QMetaObject::invokeMethod(worker, [worker] { worker->stop(); }, Qt::BlockingQueuedConnection);
    }
}
