#pragma once

#include "resources/BTResourceFile.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class DownloadWorker;
class QFile;
class QThread;

// One download of a video file into a directory: a plain GET of the file's download address,
// written to "<final path>.tmp" and renamed to the final path once the transfer succeeded and the
// part file has the size the host announced. A failed or interrupted transfer can go on from its
// part file at a new address. The bytes are received and written on a thread of the transfer's own
// (DownloadWorker), so a busy GUI thread does not slow it down; progress and rate are reported from
// the transfer's thread at a steady pace. Several transfers run side by side.
class DownloadTransfer : public QObject
{
    Q_OBJECT

public:
    DownloadTransfer(const BTResourceFile &file, const QString &directory, QObject *parent = nullptr);
    // A transfer destroyed while running stops silently (no signals) and keeps its part file, so
    // that it can be resumed later: the program is closing.
    ~DownloadTransfer() override;

    // Replaces an existing part file and sends the request. Only the first call does anything;
    // a part file that cannot be created, or that another running transfer writes, ends the
    // transfer as failed before anything is sent.
    void start();
    // Goes on from the part file's length at the resolved file's address (its address and size
    // replace the transfer's; the name and the part file stay): asks for the rest with a range
    // request and appends it. A host that ignores the range and sends the whole file (200) has
    // the part file started over. Possible before the first start (a download listed again after
    // a restart) and after a failure; otherwise it does nothing.
    void resume(const BTResourceFile &resolved);
    // Stops the transfer and removes its part file, also after a failure or before any start
    // (unless another transfer of the same file writes it now); a finished download keeps its
    // final file. A cancelled transfer never starts.
    void cancel();

    bool isRunning() const { return m_state == State::Running; }
    // Not running, not finished and not cancelled: start() or resume() may go on.
    bool canResume() const { return m_state == State::Idle || m_state == State::Failed; }
    const BTResourceFile &file() const { return m_file; }
    // Where the running or last request began in the file: 0, or the part file's length that a
    // range answer continued from.
    qint64 resumedFrom() const { return m_offset; }
    // The part file's share of the file's size in per cent (0 when it is unknown or missing).
    double partPercent() const;
    QString finalPath() const { return m_finalPath; }
    QString partPath() const { return m_finalPath + QStringLiteral(".tmp"); }

    // A transfer that receives nothing for this long fails; its part file stays.
    static constexpr int DefaultStallLimitMs = 30000;
    // How often the shown rate is brought up to date, data or not.
    static constexpr int RateIntervalMs = 1000;
    static constexpr int ProgressIntervalMs = 100;
    void setStallLimit(int ms) { m_stallLimitMs = ms; }

    // "1023.0B/S", "1.5KB/S", ...: the rate in the largest unit that fits, with one decimal;
    // zero and negative rates read "0.0B/S".
    static QString formatSpeed(qint64 bytesPerSecond);
    // The file name without \ / : * ? " < > | and control characters. A name that ends up empty,
    // "." or ".." is replaced by "<resource hash>_<index>.mp4", so it always names a file inside
    // the download directory.
    static QString safeFileName(const BTResourceFile &file);

signals:
    // "12.34%" of the expected size, every ProgressIntervalMs while it grows and at the end; never
    // sent when the size is unknown (0).
    void progressText(const QString &text);
    // The same share as a number, for a bar.
    void progress(double percent);
    // The current rate (over the last RateIntervalMs), also while nothing arrives; an empty text
    // when the transfer ends.
    void speedText(const QString &text);
    void finished(bool succeeded);

private:
    enum class State { Idle, Running, Succeeded, Failed, Cancelled };

    void begin(bool resuming);
    bool openPart(QFile &part, bool resuming);
    void onWorkerDone(bool succeeded, qint64 offset, quint64 id);
    void stopWorker();
    void showRate();
    void reportProgress(qint64 length);
    qint64 knownSize() const;
    void end(bool succeeded);

    BTResourceFile m_file;
    QString m_finalPath;
    State m_state = State::Idle;
    QThread *m_thread = nullptr;
    DownloadWorker *m_worker = nullptr;
    // Counts the requests handed to the worker, so that the end of a stopped one is ignored.
    quint64 m_run = 0;
    QElapsedTimer m_clock;
    qint64 m_previousMs = 0;
    qint64 m_previousReceived = 0;
    qint64 m_reported = -1;
    QTimer m_rateTimer;
    QTimer m_progressTimer;
    int m_stallLimitMs = DefaultStallLimitMs;
    bool m_ownsPart = false;
    qint64 m_offset = 0;
};
