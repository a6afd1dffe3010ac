#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <memory>

class QEventLoop;
class QNetworkAccessManager;
class QNetworkReply;
class QTcpSocket;

// One trial of a video host: the host is accepted when more than 1024 bytes of the file arrive
// within 500 ms of the connection being up and its Content-Length is the file's size. Waits in a
// local event loop. A host that misses the limit but is still sending becomes late: it keeps
// going in the background and reports later whether it answered correctly.
class HostProbe : public QObject
{
    Q_OBJECT

public:
    enum Outcome { Aborted = -1, Rejected = 0, Accepted = 1, Late = 2 };

    static constexpr int TimeLimitMs = 500;
    static constexpr qint64 ByteThreshold = 1024;
    // How long the trial waits for a connection before the host is left late.
    static constexpr int ConnectLimitMs = 2000;
    // A late host counts if it answers correctly within this time of the trial's start.
    static constexpr int LateLimitMs = 5000;

    explicit HostProbe(QObject *parent = nullptr);
    ~HostProbe() override;

    // finishEndsProbe: a reply that ends (an error page, say) rejects at once instead of after
    // the time limit.
    Outcome run(const QUrl &url, const QByteArray &cookie, quint64 expectedSize, bool finishEndsProbe);

    // Frees the reply and its manager; a late trial then never reports.
    void release();

public slots:
    // Ends a running trial as Aborted.
    void abort();

signals:
    // Once, after run() returned Late.
    void lateAnswer(bool correct);

private:
    enum class Phase { Idle, Running, Late };

    void finish(int code);
    void onProgress(qint64 received);
    void onReplyFinished();
    void onTimeLimit();
    void decideLate(bool correct);
    bool lengthMatches() const;

    std::unique_ptr<QNetworkAccessManager> m_manager;
    QNetworkReply *m_reply = nullptr;
    // A second connection to the host, opened with the request's own, tells when the request's
    // connection is up: QNetworkReply has no signal for that.
    QTcpSocket *m_connection = nullptr;
    QEventLoop *m_loop = nullptr;
    QTimer m_limit;
    QTimer m_lateLimit;
    Phase m_phase = Phase::Idle;
    quint64 m_expectedSize = 0;
    qint64 m_received = 0;
    bool m_finishEndsProbe = false;
    bool m_replyFinished = false;
    int m_code = 0;
    bool m_decided = false;
};
