#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>

class HttpResponseParser;
class QTcpSocket;
class QUrl;

// The receiving half of a DownloadTransfer, living on a thread of its own so that the transfer
// runs at the link's speed however busy the GUI thread is: sends the GET, checks the answer,
// appends what arrives to the part file and fails a transfer that stalls. The transfer reads
// the counters at its own pace and learns the outcome from done().
// It speaks HTTP/1.1 over a socket of its own (TLS for https) rather than through a network access
// manager: that one receives on a thread of its own and hands every batch over to this one, and on
// a busy machine the hand-overs, not the link, set the pace.
class DownloadWorker : public QObject
{
    Q_OBJECT

public:
    DownloadWorker();
    ~DownloadWorker() override;

    // Bytes of the body received and the part file's length so far; read from any thread.
    std::atomic<qint64> received{0};
    std::atomic<qint64> partSize{0};

    // The GET for url, asking from offset onwards when offset > 0.
    static QByteArray requestFor(const QUrl &url, qint64 offset);

public slots:
    // Appends to the existing part file from offset (its length; 0 writes it from the start),
    // asking for the rest with a range request when offset > 0. knownSize: the size the file list
    // or the resolution gave, 0 when unknown.
    void run(const QString &url, const QString &partPath, qint64 offset, qint64 knownSize, int stallLimitMs,
             quint64 id);
    // Aborts a running request without reporting it and closes the part file.
    void stop();

signals:
    // offset: where the answer began in the file (0 when a host ignored the range); id: run()'s.
    void done(bool succeeded, qint64 offset, quint64 id);

private:
    void onReadyRead();
    void onClosed();
    bool checkAnswer();
    bool writeBody(const char *data, qint64 size);
    void end(bool succeeded);
    void release();

    QTcpSocket *m_socket = nullptr;
    std::unique_ptr<HttpResponseParser> m_parser;
    QFile m_part;
    QTimer m_stallTimer;
    QByteArray m_buffer;
    qint64 m_offset = 0;
    qint64 m_knownSize = 0;
    // The file's whole size as the answer tells it (Content-Range or Content-Length), else as the
    // file list or resolution said; the part file must have it at the end. 0: unknown.
    qint64 m_expected = 0;
    int m_stallLimitMs = 0;
    quint64 m_id = 0;
    bool m_answerChecked = false;
    // A write failed or the answer is not the part asked for: the end is a failure.
    bool m_failedHere = false;
    // Small enough that the bytes are still in the cache when they go on from the buffer to the
    // file: with 1 MiB a byte cost three times the CPU beside other work on the machine.
    static constexpr int ReadBufferSize = 256 * 1024;
};
